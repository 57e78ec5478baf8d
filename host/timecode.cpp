// `reelhost timecode`: show a tick count in every time display format, or
// read a typed time back into ticks, so a value can be checked by hand.
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/resources.h"
#include "reelcore/timecode.h"
#include "reelcore/timerecord.h"

namespace {

constexpr int32_t kShowHours = int32_t{kTimeShowHoursUnits} | kTimeShowHoursTens;

// "2997/100", "25" (samp 1) or "48000/1"; decimal numbers.
bool parseTimeBase(const std::string& text, TDB* tb) {
    const size_t slash = text.find('/');
    int64_t scale = 0, samp = 1;
    if (!host::parseDecimal(text.substr(0, slash), scale)) return false;
    if (slash != std::string::npos && !host::parseDecimal(text.substr(slash + 1), samp))
        return false;
    if (scale <= 0 || scale > INT32_MAX || samp <= 0 || samp > INT32_MAX) return false;
    TDB_SetTimeRecord(0, int32_t(scale), int32_t(samp), tb);
    return true;
}

// A list index (0-6), a short name, or a format code such as 0x4001E.
const struct {
    const char* name;
    int32_t code;
} kNames[] = {{"24", kTimeFormat24},         {"25", kTimeFormat25},
              {"30drop", kTimeFormat30Drop}, {"30", kTimeFormat30NonDrop},
              {"frames", kTimeFormatFrames}, {"16mm", kTimeFormatFeet16mm},
              {"35mm", kTimeFormatFeet35mm}, {"drop", kTimeFormat30Drop}};

// A format code names exactly one kind and no bits beyond the display flags.
bool validFormatCode(int64_t code) {
    constexpr int64_t kKnownBits = kTimeRateMask | kTimeKindMask | kTimeShowHoursUnits |
                                   kTimeShowHoursTens | kTimeSecondsOnly | kTimeStripLeading;
    const int64_t kind = code & kTimeKindMask;
    return code > 0 && (code & ~kKnownBits) == 0 &&
           (kind == kTimeKindFrames || kind == kTimeKindNonDrop || kind == kTimeKindDrop ||
            kind == kTimeKindFeet);
}

bool parseFormat(const std::string& text, int32_t* format) {
    for (const auto& n : kNames)
        if (text == n.name) {
            *format = n.code;
            return true;
        }
    int64_t v = 0;
    if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) {
        char* end = nullptr;
        v = text.size() > 2 ? int64_t(std::strtoll(text.c_str() + 2, &end, 16)) : -1;
        if (v < 0 || *end != '\0' || !validFormatCode(v)) return false;
        *format = int32_t(v);
        return true;
    }
    if (!host::parseDecimal(text, v) || v < 0 || v >= kTimeFormatCount) return false;
    *format = ListIndexToTimeFormat(int32_t(v));
    return true;
}

const char* formatName(int32_t format) {
    for (const auto& n : kNames)
        if (n.code == format) return n.name;
    return "";
}

// Frames per second (or per foot) the format counts in.
int64_t framesPerUnit(int32_t format) {
    const int32_t rate = format & kTimeRateMask;
    return rate == 0 ? 1 : rate == 2997 ? 30 : rate;
}

// Is the text a time written in the format? Only digits and the format's
// separators, no more fields than it has, and each field after the first
// below its limit (frames under the rate, seconds and minutes under 60), so
// that the time reads back as written.
bool isTimeInFormat(const std::string& text, int32_t format) {
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    if (text[i] == '-') ++i;
    std::vector<int64_t> fields;
    bool inDigits = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (!inDigits) fields.push_back(0);
            inDigits = true;
            if (fields.back() > INT32_MAX) return false;
            fields.back() = fields.back() * 10 + (c - '0');
        } else if (std::strchr(":;.+", c) && inDigits) {
            inDigits = false;
        } else {
            return false;
        }
    }
    if (fields.empty() || !inDigits) return false;
    const int64_t rate = framesPerUnit(format);
    std::vector<int64_t> limits;  // last field first
    switch (format & kTimeKindMask) {
        case kTimeKindFrames:
            break;
        case kTimeKindFeet:
            limits = {rate};
            break;
        case kTimeKindDrop:
        case kTimeKindNonDrop:
            limits = {rate, 60, 60};
            break;
        default:
            return false;
    }
    if (fields.size() > limits.size() + 1) return false;
    for (size_t k = 0; k + 1 < fields.size(); ++k)  // the first field may be any size
        if (fields[fields.size() - 1 - k] >= limits[k]) return false;
    return true;
}

struct {
    bool parsing = false;  // --parse TEXT given
    std::string parseText;
    std::string value;  // TICKS, or FORMAT with --parse
    std::string timeBase;
    int64_t ticks = 0;
    int32_t format = 0;
    TDB tb{0, 2997, 100};
} args;

// The first positional means ticks or a format depending on --parse; both
// are checked once the command line is read.
void checkTimecodeArgs() {
    if (!args.timeBase.empty() && !parseTimeBase(args.timeBase, &args.tb))
        throw CLI::ValidationError("TIMEBASE", "'" + args.timeBase +
                                                   "' is not SCALE[/SAMP] with positive "
                                                   "decimal numbers");
    if (args.parsing) {
        if (!parseFormat(args.value, &args.format))
            throw CLI::ValidationError(
                "FORMAT", "'" + args.value +
                              "' is not a format: 0-6, 24, 25, 30drop, 30, frames, 16mm, 35mm "
                              "or a code such as 0x4001E");
    } else if (!host::parseDecimal(args.value, args.ticks) || args.ticks < INT32_MIN ||
               args.ticks > INT32_MAX) {
        throw CLI::ValidationError("TICKS",
                                   "'" + args.value + "' is not a decimal tick count (32 bits)");
    }
}

int showTicks() {
    const int64_t ticks = args.ticks;
    const TDB& tb = args.tb;
    const TDB time{int32_t(ticks), tb.scale, tb.samp};
    std::printf("%" PRId64 " ticks at %d/%d: %.6f s, frame %d\n", ticks, tb.scale, tb.samp,
                double(ticks) / tb.scale, TDB_TotalNumFrames(&time));
    for (int32_t i = 0; i < kTimeFormatCount; ++i) {
        const int32_t format = ListIndexToTimeFormat(i);
        char text[kTimecodeTextSize];
        FmTimecodeToStr(int32_t(ticks), &tb, format | kShowHours, text);
        char name[256] = "";
        GetIndString(name, kTimeFormatNameList, int16_t(i + 1));
        std::printf("%d  %-7s %-31s %s\n", i, formatName(format), name, text);
    }
    return 0;
}

int parseText() {
    const int32_t format = args.format;
    const TDB& tb = args.tb;
    if (!isTimeInFormat(args.parseText, format)) {
        std::fprintf(stderr, "reelhost timecode: '%s' is not a time in format %s\n",
                     args.parseText.c_str(), args.value.c_str());
        return 1;
    }
    const int32_t ticks = FmStrToTimecode(args.parseText.c_str(), format, &tb);
    char text[kTimecodeTextSize];
    FmTimecodeToStr(ticks, &tb, format | kShowHours, text);
    std::printf("%d ticks at %d/%d (%.6f s); shown again: %s\n", ticks, tb.scale, tb.samp,
                double(ticks) / tb.scale, text);
    return 0;
}

host::Registrar timecodeCommand(host::Command{
    "timecode", "show ticks in every time format, or read a typed time back into ticks",
    [](CLI::App& cmd) {
        cmd.add_option_function<std::string>(
               "-p,--parse",
               [](const std::string& text) {
                   args.parsing = true;
                   args.parseText = text;
               },
               "read TEXT typed in FORMAT (the first positional) back into ticks")
            ->type_name("TEXT");
        cmd.add_option("TICKS|FORMAT", args.value,
                       "decimal ticks; with --parse the format: 0-6 (list order), 24, 25, "
                       "30drop, 30, frames, 16mm, 35mm or a code such as 0x4001E")
            ->required();
        cmd.add_option("TIMEBASE", args.timeBase, "SCALE[/SAMP], default 2997/100 (29.97 fps)")
            ->type_name("SCALE[/SAMP]");
        cmd.callback(checkTimecodeArgs);
    },
    [] { return args.parsing ? parseText() : showTicks(); }});

void printTimeBase(FILE* out, const char* name, const TDB* t) {
    if (t)
        std::fprintf(out, "%s time base: %d/%d\n", name, t->scale, t->samp);
    else
        std::fprintf(out, "%s time base: unset\n", name);
}

void printTimeBases(FILE* out) {
    printTimeBase(out, "current (slot 21)", GetCurrentTimeBase(0));
    printTimeBase(out, "current, second (slot 22)", GetCurrentTimeBase(1));
    printTimeBase(out, "preferred (slot 204)", GetPreferredTimeBase(0));
    printTimeBase(out, "preferred, second (slot 205)", GetPreferredTimeBase(1));
}

host::Registrar info(host::InfoSection{210, printTimeBases});

}  // namespace
