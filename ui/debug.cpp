// The debug channel: formatted text delivered piece by piece to the first
// DBUG window.
#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <string_view>

#include "reelcore/handlers.h"

namespace {

std::atomic<int32_t> gDebugOn{0};
// Set while text is being delivered: a DBUG handler that logs in turn would
// otherwise recurse without end.
thread_local bool tDelivering = false;

// Longest text piece handed to the window; longer texts go in several.
constexpr size_t kMaxPiece = 255;

enum : intptr_t { kTextMessage = 15, kNumberMessage = 16 };

class DebugSink {
  public:
    DebugSink(FmWindow window, int32_t channel) : window_(window), channel_(channel) {}

    void text(std::string_view s) {
        while (!s.empty()) {
            size_t n = std::min(s.size(), kMaxPiece);
            char piece[kMaxPiece + 1];
            std::memcpy(piece, s.data(), n);
            piece[n] = 0;
            send(kTextMessage, reinterpret_cast<intptr_t>(piece));
            s.remove_prefix(n);
        }
    }

    void number(int32_t value) { send(kNumberMessage, value); }

    // A four-character code as a counted text of four characters.
    void code(uint32_t value) {
        unsigned char counted[6] = {4,
                                    static_cast<unsigned char>(value >> 24),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value),
                                    0};
        send(kTextMessage, reinterpret_cast<intptr_t>(counted));
    }

  private:
    void send(intptr_t code, intptr_t value) {
        intptr_t block[kMessageBlockWords] = {code, value, channel_};
        Message(window_, block);
    }

    FmWindow window_;
    int32_t channel_;
};

bool skippedLetter(char c) {
    return (c >= 'e' && c <= 'o') || c == 'q';
}

}  // namespace

RC_API int32_t DBActivate(int32_t flag) {
    return gDebugOn.exchange(flag != 0 ? 1 : 0);
}

RC_API int32_t FmDebug(int32_t channel, const char* format, ...) {
    if (!gDebugOn.load() || !format || tDelivering) return 0;
    FmWindow window = GetFirstWind(kHandlerDBUG);
    if (!window) return 0;
    struct Delivering {
        Delivering() { tDelivering = true; }
        ~Delivering() { tDelivering = false; }
    } delivering;

    DebugSink sink(window, channel);
    va_list args;
    va_start(args, format);
    const char* run = format;  // start of the pending literal text
    const char* p = format;
    auto flush = [&](const char* end) {
        if (end > run) sink.text(std::string_view(run, size_t(end - run)));
    };
    while (*p) {
        if (*p != '%') {
            ++p;
            continue;
        }
        flush(p);
        const char* conversion = p++;
        while (skippedLetter(*p)) ++p;
        switch (*p) {
            case 'd':
                sink.number(va_arg(args, int));
                break;
            case 's': {
                const char* s = va_arg(args, const char*);
                sink.text(s ? s : "(null)");
                break;
            }
            case 't':
                sink.code(va_arg(args, uint32_t));
                break;
            case 'p': {
                const FmPoint* pt = va_arg(args, const FmPoint*);
                if (!pt) {
                    sink.text("(null)");
                    break;
                }
                sink.text("[x=");
                sink.number(pt->x);
                sink.text(",y=");
                sink.number(pt->y);
                sink.text("]");
                break;
            }
            case 'r': {
                const FmRect* r = va_arg(args, const FmRect*);
                if (!r) {
                    sink.text("(null)");
                    break;
                }
                sink.text("[L=");
                sink.number(r->left);
                sink.text(",T=");
                sink.number(r->top);
                sink.text(",R=");
                sink.number(r->right);
                sink.text(",B=");
                sink.number(r->bottom);
                sink.text("]");
                break;
            }
            case '%':
                run = p;  // the second percent sign starts the next literal run
                ++p;
                continue;
            case 0:
                // A trailing percent sign (and skipped letters) is kept as text.
                run = conversion;
                continue;
            default:
                // An unknown conversion stays in the text as written, taking no argument.
                run = conversion;
                ++p;
                continue;
        }
        ++p;
        run = p;
    }
    flush(p);
    va_end(args);
    return 1;
}
