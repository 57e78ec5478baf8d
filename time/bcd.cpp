// Frame counts to and from the packed BCD timecode word and its text.
//
// BCD word, bit 0 the least significant:
//   2-3 hours tens      4-7 hours units
//   9-11 minutes tens   12-15 minutes units
//   17-19 seconds tens  20-23 seconds units
//   25 drop frame       26-27 frames tens     28-31 frames units
// Bits 0, 1, 8, 16 and 24 belong to the caller and are kept.
#include <cstdlib>
#include <cstring>

#include "reelcore/timecode.h"
#include "time/tc_text.h"
#include "time/time_hooks.h"

namespace {

struct FrameCounts {
    int64_t hour, tenMinutes, minute, second, day;
};

constexpr FrameCounts k25{90000, 15000, 1500, 25, 2160000};
constexpr FrameCounts k24{86400, 14400, 1440, 24, 2073600};
constexpr FrameCounts k30{108000, 18000, 1800, 30, 2592000};
constexpr FrameCounts k30Drop{107892, 17982, 1798, 30, 2589408};

constexpr uint32_t kKeptBits = 0x01010103u;  // bits 0, 1, 8, 16 and 24

const FrameCounts& countsFor(int type) {
    if (type == kTimecode25) return k25;
    if (type == kTimecode24) return k24;
    return k30;  // 30 fps, and any unknown type
}

int largestFrameLabel(int type) {
    if (type == kTimecode25) return 24;
    if (type == kTimecode24) return 23;
    return 29;
}

struct Digits {
    uint32_t hoursTens, hoursUnits, minutesTens, minutesUnits;
    uint32_t secondsTens, secondsUnits, framesTens, framesUnits;
};

Digits unpack(uint32_t w) {
    return Digits{(w >> 2) & 0x3,  (w >> 4) & 0xF,  (w >> 9) & 0x7,  (w >> 12) & 0xF,
                  (w >> 17) & 0x7, (w >> 20) & 0xF, (w >> 26) & 0x3, (w >> 28) & 0xF};
}

uint32_t pack(int64_t hours, int64_t minutes, int64_t seconds, int64_t frames) {
    const auto u = [](int64_t v) { return static_cast<uint32_t>(v); };
    return (u(hours / 10) & 0x3) << 2 | (u(hours % 10) & 0xF) << 4 | (u(minutes / 10) & 0x7) << 9 |
           (u(minutes % 10) & 0xF) << 12 | (u(seconds / 10) & 0x7) << 17 |
           (u(seconds % 10) & 0xF) << 20 | (u(frames / 10) & 0x3) << 26 |
           (u(frames % 10) & 0xF) << 28;
}

bool isBcdSeparator(char c) {
    return c == ',' || c == '.' || c == ':' || c == ';';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Bounded copy of caller text for the parsers that edit it.
constexpr size_t kWorkText = 64;
void copyText(char (&dst)[kWorkText], const char* src, size_t limit) {
    size_t n = 0;
    if (src)
        while (n < limit && n + 1 < kWorkText && src[n]) {
            dst[n] = src[n];
            ++n;
        }
    dst[n] = 0;
}

int typeForRate(int32_t rate) {
    if (rate == 30) return kTimecode30;
    if (rate == 25) return kTimecode25;
    return kTimecode24;
}

}  // namespace

RC_API void StrToBcd(const char* text, uint32_t* bcd, int16_t type) {
    if (!bcd) return;
    char buf[kWorkText];
    copyText(buf, text, kWorkText - 1);
    size_t pos = std::strlen(buf);
    while (pos > 0 && buf[pos - 1] == ' ') buf[--pos] = 0;

    // Up to four fields of one or two digits, read from the right:
    // frames, seconds, minutes, hours.
    int64_t field[4] = {0, 0, 0, 0};
    int count = 0;
    while (count < 4 && pos > 0) {
        int64_t v = 0, place = 1;
        int digits = 0;
        while (digits < 2 && pos > 0 && isDigit(buf[pos - 1])) {
            v += (buf[pos - 1] - '0') * place;
            place *= 10;
            ++digits;
            --pos;
        }
        if (digits == 0 && !(pos > 0 && isBcdSeparator(buf[pos - 1]))) break;
        field[count++] = v;
        if (pos == 0) break;
        if (isBcdSeparator(buf[pos - 1]))
            --pos;
        else if (!isDigit(buf[pos - 1]))
            break;
    }
    int64_t& frames = field[0];
    int64_t& seconds = field[1];
    int64_t& minutes = field[2];
    int64_t& hours = field[3];
    const int largest = largestFrameLabel(type);
    if (frames > largest) {
        if (seconds != 0 || minutes != 0 || hours != 0) {
            frames = 0;
        } else {
            seconds = frames / (largest + 1);
            frames %= largest + 1;
        }
    }
    if (seconds > 59) seconds = 0;
    if (minutes > 59) minutes = 0;
    if (hours > 23) hours = 0;
    *bcd = (*bcd & (kKeptBits | kBcdDropFlag)) | pack(hours, minutes, seconds, frames);
}

RC_API void BcdToStr(char* out, uint32_t bcd) {
    if (!out) return;
    const Digits d = unpack(bcd);
    const uint32_t order[8] = {d.hoursTens,   d.hoursUnits,   d.minutesTens, d.minutesUnits,
                               d.secondsTens, d.secondsUnits, d.framesTens,  d.framesUnits};
    // A nibble that is not a decimal digit shows as a hexadecimal one.
    const auto digit = [](uint32_t v) {
        return static_cast<char>(v < 10 ? '0' + v : 'A' + v - 10);
    };
    int n = 0;
    for (int i = 0; i < 8; ++i) {
        if (i > 0 && i % 2 == 0) out[n++] = ':';
        out[n++] = digit(order[i]);
    }
    out[n] = 0;
}

RC_API int16_t BinToBcd(const BinTimecode* bin, uint32_t* bcd, Boolean keepDropped) {
    if (!bin || !bcd) return 0;
    const bool drop = bin->drop != 0;
    const FrameCounts& c = drop ? k30Drop : countsFor(bin->type);
    // Any count wraps into one day, so the hours always fit their field.
    int64_t count = int64_t{bin->frames} % c.day;
    if (count < 0) count += c.day;
    const int64_t hours = count / c.hour;
    int64_t rest = count % c.hour;
    const int64_t tens = rest / c.tenMinutes;
    rest %= c.tenMinutes;
    int64_t minutes = rest / c.minute;
    rest %= c.minute;
    if (drop && (minutes == 10 || (minutes != 0 && rest < 2 && !keepDropped))) {
        // these belong to the end of the previous minute (…:59;28, …:59;29)
        --minutes;
        rest += c.minute;
    }
    const int64_t seconds = rest / c.second;
    const int64_t frames = rest % c.second;
    *bcd = (*bcd & kKeptBits) | pack(hours, tens * 10 + minutes, seconds, frames) |
           (drop ? uint32_t{kBcdDropFlag} : 0u);
    return 0;
}

RC_API void BcdToBin(uint32_t bcd, BinTimecode* out, int16_t type) {
    if (!out) return;
    const bool drop = type != kTimecode25 && (bcd & kBcdDropFlag) != 0;
    Digits d = unpack(bcd);
    if (drop && d.minutesUnits != 0 && d.secondsTens == 0 && d.secondsUnits == 0 &&
        d.framesTens == 0 && d.framesUnits < 2)
        d.framesUnits = 2;  // a label that drop frame skips names the next frame
    const FrameCounts& c = drop ? k30Drop : countsFor(type);
    const int64_t frames = (d.hoursTens * 10 + d.hoursUnits) * c.hour +
                           d.minutesTens * c.tenMinutes + d.minutesUnits * c.minute +
                           (d.secondsTens * 10 + d.secondsUnits) * c.second + d.framesTens * 10 +
                           d.framesUnits;
    out->frames = static_cast<int32_t>(frames);  // at most 39 × 107892 + …: fits
    out->drop = drop ? 1 : 0;
    out->type = static_cast<uint8_t>(type);
}

RC_API void StrToBin(const char* text, BinTimecode* out, Boolean drop, int16_t type) {
    if (!out) return;
    uint32_t word = 0;
    StrToBcd(text, &word, type);
    word = drop ? (word | kBcdDropFlag) : (word & ~kBcdDropFlag);
    BcdToBin(word, out, type);
}

RC_API void BinToStr(const BinTimecode* bin, char* out) {
    if (!out) return;
    uint32_t word = 0;
    BinToBcd(bin, &word, 0);
    BcdToStr(out, word);
}

RC_API void FormatTimecode(const BinTimecode* bin, char* out) {
    if (!bin || !out) return;
    BinToStr(bin, out);
    if (bin->drop)
        for (char* p = out; *p; ++p)
            if (*p == ':') *p = ';';
    if (bin->type == kTimecode25) std::strcat(out, " [25]");
    if (bin->type == kTimecode24) std::strcat(out, " [24]");
}

RC_API void ParseTimecode(const char* text, BinTimecode* out) {
    if (!out) return;
    const int32_t projectScale = rc::timehooks::projectScale();
    int type = projectScale == 24 ? kTimecode24 : projectScale == 25 ? kTimecode25 : kTimecode30;
    char buf[kWorkText];
    copyText(buf, text, kWorkText - 1);
    bool drop = false;
    for (char* p = buf; *p; ++p) {
        if (*p == ' ') {
            *p = 0;
            // a bracketed rate after the time selects the type
            if (const char* bracket = std::strchr(p + 1, '[')) {
                const long rate = std::strtol(bracket + 1, nullptr, 10);
                type = rate == 24 ? kTimecode24 : rate == 25 ? kTimecode25 : kTimecode30;
            }
            break;
        }
        if (*p == ';') {
            *p = ':';
            drop = true;
        }
    }
    StrToBin(buf, out, drop, static_cast<int16_t>(type));
}

RC_API int32_t Str2Time(const char* text, int32_t length, int16_t shortFormat) {
    char buf[kWorkText];
    copyText(buf, text, length < 0 ? 0 : length > 63 ? 63 : static_cast<size_t>(length));
    const uint16_t sf = static_cast<uint16_t>(shortFormat);
    BinTimecode bin{};
    StrToBin(buf, &bin, (sf & 0x8000) != 0, static_cast<int16_t>(typeForRate(sf & 0x7FFF)));
    return bin.frames;
}

RC_API void Time2Str(int32_t frames, char* out, int16_t shortFormat, int32_t flags) {
    if (!out) return;
    const uint16_t sf = static_cast<uint16_t>(shortFormat);
    const BinTimecode bin{frames, static_cast<uint8_t>((sf & 0x8000) ? 1 : 0),
                          static_cast<uint8_t>(typeForRate(sf & 0x7FFF))};
    char tc[kTimecodeTextSize];
    BinToStr(&bin, tc);
    const char* shown = tc;
    if (!(flags & 2)) shown += (flags & 4) ? 1 : 3;  // h:mm:ss:ff or mm:ss:ff
    char prefix[kTimecodeTextSize] = "";
    if (flags & 1) rc::time::indString(prefix, sizeof prefix, 1003, 26);
    rc::time::TextOut t(out, kTimecodeTextSize);
    t.putText(prefix);
    t.putText(shown);
    t.finish();
}
