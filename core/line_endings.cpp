// Line-ending conversion between CR (mode 'm') and CR LF (mode 'w') texts.
#include <cstring>

#include "core/strings_internal.h"
#include "reelcore/memory.h"
#include "reelcore/strings.h"

namespace rc::str {

namespace {

class Sink {
  public:
    explicit Sink(char* dst) : dst_(dst) {}
    void put(const char* s, size_t n) {
        if (dst_) std::memcpy(dst_ + length_, s, n);
        length_ += n;
    }
    void put(char c) {
        if (dst_) dst_[length_] = c;
        ++length_;
    }
    size_t finish() {
        if (dst_) dst_[length_] = '\0';
        return length_;
    }

  private:
    char* dst_;
    size_t length_ = 0;
};

}  // namespace

size_t fixLineEndings(const char* src, size_t n, char* dst, bool toMac, bool& changed) {
    n = strnlen(src, n);
    Sink out(dst);
    changed = false;
    size_t i = 0;
    if (toMac) {
        // Every LF goes: after a CR that was copied it is dropped (CR LF),
        // otherwise it becomes a CR and swallows a CR right after it (LF CR).
        while (i < n) {
            const auto* lf = static_cast<const char*>(std::memchr(src + i, '\n', n - i));
            const size_t p = lf ? static_cast<size_t>(lf - src) : n;
            out.put(src + i, p - i);
            if (p == n) break;
            changed = true;
            if (p > i && src[p - 1] == '\r') {
                i = p + 1;
            } else {
                out.put('\r');
                i = (p + 1 < n && src[p + 1] == '\r') ? p + 2 : p + 1;
            }
        }
    } else {
        while (i < n) {
            const auto* cr = static_cast<const char*>(std::memchr(src + i, '\r', n - i));
            const size_t p = cr ? static_cast<size_t>(cr - src) : n;
            out.put(src + i, p - i);
            if (p == n) break;
            out.put("\r\n", 2);
            if (p + 1 < n && src[p + 1] == '\n') {
                i = p + 2;
            } else {
                changed = true;
                i = p + 1;
            }
        }
    }
    return out.finish();
}

}  // namespace rc::str

RC_API Boolean FmFixLineEnding(const char* src, char* dst, int32_t mode, int32_t* outLength) {
    if (src == nullptr) {
        if (outLength) *outLength = 0;
        return 0;
    }
    bool changed = false;
    const size_t n = rc::str::fixLineEndings(src, std::strlen(src), dst, mode == 'm', changed);
    if (outLength) *outLength = static_cast<int32_t>(n + 1);
    return changed ? 1 : 0;
}

RC_API OSErr FmFixHandleLineEnding(Handle text, Handle* result, int32_t mode) {
    if (result == nullptr) return nilHandleErr;
    *result = text;
    if (text == nullptr || *text == nullptr) return noErr;
    const uint32_t size = FmGetHandleSize(text);
    if (size == 0) return noErr;
    bool changed = false;
    const size_t n = rc::str::fixLineEndings(*text, size, nullptr, mode == 'm', changed);
    if (!changed) return noErr;
    Handle converted = FmNewHandle(static_cast<uint32_t>(n + 1));
    if (converted == nullptr) return memFullErr;
    rc::str::fixLineEndings(*text, size, *converted, mode == 'm', changed);
    *result = converted;
    return noErr;
}
