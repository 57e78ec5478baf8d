// Ticks in a time base to and from display text: frames, non-drop and
// drop-frame timecode, feet and frames.
#include <cstring>

#include "core/text_hooks.h"
#include "reelcore/timecode.h"
#include "time/rational.h"
#include "time/tc_text.h"
#include "time/time_hooks.h"

using rc::time::Int128;

namespace {

// 30 fps drop-frame numbering: 17982 frames in ten minutes, 1800 in the
// first minute of each ten and 1798 in the nine others.
constexpr int64_t kDropTenMinutes = 17982;
constexpr int64_t kDropMinute = 1798;
constexpr int64_t kFullMinute = 1800;

int32_t displayRate(int32_t format) {
    const int32_t r = format & kTimeRateMask;
    if (r == 0) return 1;
    if (r == 2997) return 30;
    return r;
}

// Display arithmetic is clamped to ±2^62 so that negating and renumbering
// cannot overflow; no 32-bit tick count comes near it.
int64_t saturate64(Int128 v) {
    constexpr int64_t kLimit = int64_t{1} << 62;
    if (v > kLimit) return kLimit;
    if (v < -kLimit) return -kLimit;
    return static_cast<int64_t>(v);
}

// The time base a caller meant: a null one is the current time base, or
// the project's when none is set. Zero fields read as 1.
struct Base {
    int64_t scale;
    int64_t samp;
};

Base resolveBase(const TDB* tb) {
    Base b{0, 0};
    if (!tb) tb = GetCurrentTimeBase(0);
    if (tb) {
        b.scale = tb->scale;
        b.samp = tb->samp;
    } else {
        b.scale = rc::timehooks::projectScale();
        b.samp = rc::timehooks::projectSampleSize();
    }
    if (b.scale == 0) b.scale = 1;
    if (b.samp == 0) b.samp = 1;
    return b;
}

struct Project {
    int64_t scale;
    int64_t samp;
};

Project projectBase() {
    Project p{rc::timehooks::projectScale(), rc::timehooks::projectSampleSize()};
    if (p.scale == 0) p.scale = 1;
    if (p.samp == 0) p.samp = 1;
    return p;
}

// Audio ticks to project frames.
Int128 toProjectFrames(int64_t a, const Base& tb, const Project& p) {
    return Int128{a} * p.scale / tb.scale / p.samp;
}

int64_t dropLabelCount(int64_t a) {
    if (a < 0) return -dropLabelCount(-a);
    const int64_t groups = a / kDropTenMinutes;
    const int64_t r = a % kDropTenMinutes;
    int64_t n = a + 18 * groups;
    if (r >= kFullMinute) n += 2 + 2 * ((r - kFullMinute) / kDropMinute);
    return n;
}

void writeDigits(rc::time::TextOut& t, int64_t a, int64_t n, char sep, int32_t format) {
    if (a < 0) {
        t.put('-');
        a = -a;
    }
    if (!(format & kTimeSecondsOnly)) {
        const int64_t hours = a / (n * 3600) % 60 % 24;
        const int64_t minutes = a / (n * 60) % 60;
        if (format & kTimeShowHoursTens) t.put(static_cast<char>('0' + hours / 10));
        if (format & kTimeShowHoursUnits) {
            t.put(static_cast<char>('0' + hours % 10));
            t.put(sep);
        }
        t.putFixed(minutes, 2);
        t.put(sep);
    }
    t.putFixed(a / n % 60, 2);
    t.put(sep);
    const int width = n > 10000 ? 5 : n > 1000 ? 4 : n > 100 ? 3 : 2;
    t.putFixed(a % n, width);
}

}  // namespace

RC_API void FmTimecodeToStr(int32_t ticks, const TDB* tb, int32_t format, char* out) {
    if (!out) return;
    const int64_t d = displayRate(format);
    Base base = resolveBase(tb);
    int64_t a = ticks;
    if (base.scale == 2997 && base.samp == 100) {
        // NTSC ticks become rounded frame labels at 30.
        a = a >= 0 ? (a + 50) / 100 : (a - 50) / 100;
        base = {30, 1};
    }
    const bool audio = base.scale / base.samp >= 1000;
    const int32_t kind = format & kTimeKindMask;
    const Project project = projectBase();

    rc::time::TextOut t(out, kTimecodeTextSize);
    switch (kind) {
        case kTimeKindFrames:
            t.putNumber(a / base.samp);
            break;
        case kTimeKindFeet: {
            a = audio ? saturate64(toProjectFrames(a, base, project)) : a / base.samp;
            if (a < 0) {
                t.put('-');
                a = -a;
            }
            t.putNumber(a / d);
            t.put('+');
            t.putFixed(a % d, 2);
            break;
        }
        case kTimeKindNonDrop:
        case kTimeKindDrop: {
            if (d != base.scale) {
                Int128 x;
                if (audio) {
                    const Int128 frames = toProjectFrames(a, base, project);
                    if (project.scale == 2997 && project.samp == 100)
                        x = d * frames / 30;
                    else
                        x = d * frames * project.samp / project.scale;
                } else {
                    x = Int128{d} * a / base.scale;
                }
                a = saturate64(x);
            }
            if (kind == kTimeKindDrop)
                writeDigits(t, dropLabelCount(a), 30, ';', format);
            else
                writeDigits(t, a, d, ':', format);
            break;
        }
        default:
            t.putText("----");
            break;
    }
    t.finish();
    if (format & kTimeStripLeading) rc::time::stripLeading(out);
}

RC_API void TimecodeToStr(int32_t ticks, const TDB* tb, int32_t format, char* out) {
    FmTimecodeToStr(ticks, tb, format, out);
}

namespace {

void templateTimecode(int32_t ticks, const void* timeBase, int32_t format, char* out) {
    TimecodeToStr(ticks, static_cast<const TDB*>(timeBase), format, out);
}

// Message templates show their `}` and `%` arguments as timecode from the
// moment the library is loaded.
[[maybe_unused]] const bool kTemplatesShowTimecode =
    (rc::texthooks::setTimecodeToStr(templateTimecode), true);

}  // namespace

RC_API int32_t FmStrToTimecode(const char* text, int32_t format, const TDB* tb) {
    if (!text) return 0;
    const Base base = resolveBase(tb);
    int32_t kind = format & kTimeKindMask;
    const int32_t rawRate = format & kTimeRateMask;
    const int64_t d = displayRate(format);
    if (kind == kTimeKindDrop && d != 30) kind = kTimeKindNonDrop;

    // A leading minus sign applies to the whole text, not to its first field.
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    }

    Int128 value = 0;      // in recScale
    int64_t recScale = 0;  // 0: already in tb
    switch (kind) {
        case kTimeKindFrames:
            value = Int128{rc::time::parseInteger(text)} * base.samp;
            break;
        case kTimeKindNonDrop: {
            const int64_t f = rc::time::fieldSum(text, d, 4);
            if (rawRate == 2997) {
                value = Int128{f} * 100;
                recScale = 2997;
            } else {
                value = f;
                recScale = d;
            }
            break;
        }
        case kTimeKindDrop: {
            const int64_t f = rc::time::fieldSum(text, 30, 4);
            const int64_t inGroup = f % 18000;  // labels in ten minutes
            int64_t dropped = 2 * (9 * (f / 18000) + inGroup / kFullMinute);
            // ;00 and ;01 of a minute that drops them name the frame at ;02.
            const int64_t frameInMinute = inGroup % kFullMinute;
            if (inGroup >= kFullMinute && frameInMinute < 2) dropped -= 2 - frameInMinute;
            value = Int128{f - dropped} * 100;
            recScale = 2997;
            break;
        }
        case kTimeKindFeet:
            value = Int128{rc::time::fieldSum(text, d, 2)} * base.samp;
            break;
        default:
            return 0;
    }
    if (negative) value = -value;
    if (recScale != 0 && recScale != base.scale) {
        if (recScale == 2997 && base.scale == 30)
            value /= 100;
        else if (recScale == 30 && base.scale == 2997)
            value *= 100;
        else
            value = value * base.scale / recScale;
    }
    return rc::time::saturateInt32(value);
}

RC_API int32_t StrToTimecode(const char* text, int32_t format, const TDB* tb) {
    return FmStrToTimecode(text, format, tb);
}

namespace {

const int32_t kListFormats[kTimeFormatCount] = {
    kTimeFormat24,     kTimeFormat25,       kTimeFormat30Drop,   kTimeFormat30NonDrop,
    kTimeFormatFrames, kTimeFormatFeet16mm, kTimeFormatFeet35mm,
};

}  // namespace

RC_API int32_t TimeFormatToListIndex(int32_t format) {
    const int32_t rate = format & kTimeRateMask;
    switch (format & kTimeKindMask) {
        case kTimeKindFrames:
            return 4;
        case kTimeKindNonDrop:
            return rate == 24 ? 0 : rate == 25 ? 1 : 3;
        case kTimeKindDrop:
            return 2;
        case kTimeKindFeet:
            return rate == 40 ? 5 : rate == 16 ? 6 : 3;
        default:
            return 3;
    }
}

RC_API int32_t ListIndexToTimeFormat(int32_t index) {
    if (index < 0 || index >= kTimeFormatCount) return 0;
    return kListFormats[index];
}

RC_API int32_t NextTimeFormat(int32_t format) {
    return ListIndexToTimeFormat((TimeFormatToListIndex(format) + 1) % kTimeFormatCount);
}

RC_API int32_t ClipTimeFormat(int32_t clipID) {
    return rc::timehooks::clipTimeFormat(clipID);
}
