// `reelhost timecode`: show a tick count in every time display format, or
// read a typed time back into ticks, so a value can be checked by hand.
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host.h"
#include "reelcore/resources.h"
#include "reelcore/timecode.h"
#include "reelcore/timerecord.h"

namespace {

constexpr int32_t kShowHours = int32_t{kTimeShowHoursUnits} | kTimeShowHoursTens;

bool parseNumber(const std::string& text, int64_t* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (*end != 0) return false;
    *out = v;
    return true;
}

// "2997/100", "25" (samp 1) or "48000/1".
bool parseTimeBase(const std::string& text, TDB* tb) {
    const size_t slash = text.find('/');
    int64_t scale = 0, samp = 1;
    if (!parseNumber(text.substr(0, slash), &scale)) return false;
    if (slash != std::string::npos && !parseNumber(text.substr(slash + 1), &samp)) return false;
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

bool parseFormat(const std::string& text, int32_t* format) {
    for (const auto& n : kNames)
        if (text == n.name) {
            *format = n.code;
            return true;
        }
    int64_t v = 0;
    if (!parseNumber(text, &v)) return false;
    if (v >= 0 && v < kTimeFormatCount)
        *format = ListIndexToTimeFormat(int32_t(v));
    else
        *format = int32_t(v);
    return true;
}

const char* formatName(int32_t format) {
    for (const auto& n : kNames)
        if (n.code == format) return n.name;
    return "";
}

int usage() {
    std::fprintf(stderr,
                 "usage: reelhost timecode TICKS [SCALE[/SAMP]]\n"
                 "       reelhost timecode --parse TEXT FORMAT [SCALE[/SAMP]]\n"
                 "FORMAT: 0-6 (list order), 24, 25, 30drop, 30, frames, 16mm, 35mm or a code\n"
                 "such as 0x4001E; the time base defaults to 2997/100 (29.97 fps).\n");
    return 2;
}

int showTicks(const std::vector<std::string>& args) {
    int64_t ticks = 0;
    TDB tb{0, 2997, 100};
    if (!parseNumber(args[0], &ticks) || ticks < INT32_MIN || ticks > INT32_MAX) return usage();
    if (args.size() > 1 && !parseTimeBase(args[1], &tb)) return usage();
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

int parseText(const std::vector<std::string>& args) {
    if (args.size() < 3) return usage();
    int32_t format = 0;
    TDB tb{0, 2997, 100};
    if (!parseFormat(args[2], &format)) return usage();
    if (args.size() > 3 && !parseTimeBase(args[3], &tb)) return usage();
    const int32_t ticks = FmStrToTimecode(args[1].c_str(), format, &tb);
    char text[kTimecodeTextSize];
    FmTimecodeToStr(ticks, &tb, format | kShowHours, text);
    std::printf("%d ticks at %d/%d (%.6f s); shown again: %s\n", ticks, tb.scale, tb.samp,
                double(ticks) / tb.scale, text);
    return 0;
}

int runTimecode(const std::vector<std::string>& args) {
    if (args.empty()) return usage();
    if (args[0] == "--parse" || args[0] == "-p") return parseText(args);
    if (args.size() > 2) return usage();
    return showTicks(args);
}

host::Registrar timecodeCommand(host::Command{
    "timecode", "timecode TICKS [SCALE[/SAMP]] | --parse TEXT FORMAT [SCALE[/SAMP]]", runTimecode});

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
