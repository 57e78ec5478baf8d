// Message templates: two-character escapes filled from arguments, string
// lists and timecodes.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/resources_internal.h"
#include "core/strings_internal.h"
#include "core/text_hooks.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace {

constexpr int32_t kTimecodeAltFlag = 0x100000;
constexpr OSType kTextType = 0x54455854;  // 'TEXT'

bool isMarker(char c) {
    return c == '^' || c == '/' || c == '&' || c == '}' || c == '%';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Output bounded by the destination's capacity (which includes the NUL).
class Output {
  public:
    Output(char* dst, size_t capacity) : dst_(dst), capacity_(capacity) {}
    void put(const char* s, size_t n) {
        const size_t room = capacity_ - 1 - length_;
        if (n > room) n = room;
        std::memcpy(dst_ + length_, s, n);
        length_ += n;
    }
    void put(const char* s) { put(s, std::strlen(s)); }
    size_t finish() {
        dst_[length_] = '\0';
        return length_;
    }

  private:
    char* dst_;
    size_t capacity_;
    size_t length_ = 0;
};

// Calls visit(marker, digit) for each escape and copy(bytes, n) for the text
// between them; stops at a NUL or the template's end.
template <typename Escape, typename Copy>
void walkTemplate(const char* t, size_t n, Escape escape, Copy copy) {
    const int16_t script = rc::str::script();
    size_t i = 0;
    while (i < n && t[i] != '\0') {
        const char c = t[i];
        if (script != 0 && rc::str::isLeadByte(script, static_cast<uint8_t>(c))) {
            // Both bytes go out unread (just the lead byte when it is last).
            const size_t take = (i + 1 < n && t[i + 1] != '\0') ? 2 : 1;
            copy(t + i, take);
            i += take;
            continue;
        }
        if (isMarker(c) && i + 1 < n) {
            const char next = t[i + 1];
            if (next == c) {
                copy(t + i, 1);
                i += 2;
                continue;
            }
            if (isDigit(next)) {
                escape(c, next - '0');
                i += 2;
                continue;
            }
        }
        // Plain text up to the next byte that may need a look.
        size_t j = i + 1;
        while (j < n && t[j] != '\0' && !isMarker(t[j]) &&
               !(script != 0 && rc::str::isLeadByte(script, static_cast<uint8_t>(t[j]))))
            ++j;
        copy(t + i, j - i);
        i = j;
    }
}

size_t expand(const char* t, size_t n, char* dst, size_t capacity, const intptr_t* args,
              const void* timeBase, int32_t flags) {
    Output out(dst, capacity);
    walkTemplate(
        t, n,
        [&](char marker, int d) {
            const intptr_t arg = args ? args[d] : 0;
            char text[256];
            switch (marker) {
                case '^':
                    std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(arg));
                    out.put(text);
                    break;
                case '/':
                    if (arg != 0) out.put(reinterpret_cast<const char*>(arg));
                    break;
                case '&':
                    text[0] = '\0';
                    GetIndString(text, static_cast<int16_t>(flags), static_cast<int16_t>(arg));
                    out.put(text);
                    break;
                case '}':
                case '%':
                    text[0] = '\0';
                    rc::texthooks::timecodeToStr(static_cast<int32_t>(arg), timeBase,
                                                 marker == '%' ? flags | kTimecodeAltFlag : flags,
                                                 text);
                    text[sizeof text - 1] = '\0';
                    out.put(text);
                    break;
            }
        },
        [&](const char* s, size_t len) { out.put(s, len); });
    return out.finish();
}

size_t templateLength(const char* tmpl, int32_t length) {
    return length < 0 ? std::strlen(tmpl) : static_cast<size_t>(length);
}

}  // namespace

RC_API void FmDoExpandString(const char* tmpl, int32_t templateLength_, char* dst,
                             int32_t* outLength, const intptr_t* args, const void* timeBase,
                             int32_t flags) {
    if (dst == nullptr) return;
    size_t n = 0;
    if (tmpl != nullptr)
        n = expand(tmpl, templateLength(tmpl, templateLength_), dst, kExpandStringMax, args,
                   timeBase, flags);
    else
        dst[0] = '\0';
    if (outLength) *outLength = static_cast<int32_t>(n);
}

RC_API void DoExpandString(const char* tmpl, int32_t templateLength_, char* dst, int32_t* outLength,
                           const intptr_t* args, const void* timeBase, int32_t flags) {
    FmDoExpandString(tmpl, templateLength_, dst, outLength, args, timeBase, flags);
}

namespace {

Handle expandResource(int16_t textID, const void* timeBase, int32_t flags, va_list ap) {
    Handle text = GetResource(kTextType, textID);
    Handle out = FmNewHandleClear(kExpandStringMax);
    if (out == nullptr) {
        if (text) ReleaseResource(text);
        return nullptr;
    }
    if (text == nullptr || *text == nullptr) {
        FmSetHandleSize(out, 0);
        return out;
    }
    const uint32_t length = rc::res::resourceDataLength(text);
    // Only the arguments the template refers to are taken from the list.
    int highest = -1;
    walkTemplate(
        *text, length, [&](char, int d) { highest = d > highest ? d : highest; },
        [](const char*, size_t) {});
    intptr_t args[10] = {};
    for (int i = 0; i <= highest; ++i) args[i] = va_arg(ap, intptr_t);
    const size_t n = expand(*text, length, *out, kExpandStringMax, args, timeBase, flags);
    FmSetHandleSize(out, static_cast<uint32_t>(n + 1));  // keeps the NUL
    ReleaseResource(text);
    return out;
}

}  // namespace

RC_API Handle FmExpandString(int16_t textID, const void* timeBase, int32_t flags, ...) {
    va_list ap;
    va_start(ap, flags);
    Handle h = expandResource(textID, timeBase, flags, ap);
    va_end(ap);
    return h;
}

RC_API Handle ExpandString(int16_t textID, const void* timeBase, int32_t flags, ...) {
    va_list ap;
    va_start(ap, flags);
    Handle h = expandResource(textID, timeBase, flags, ap);
    va_end(ap);
    return h;
}
