// Pixel aspect ratios in reelhost: the configuration folder goes into slot
// 337 so the user's "Interpretation Rules.txt" is read from there, the
// tables are filled at start-up, and `reelhost aspect` explains them.
#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/aspect.h"
#include "reelcore/globals.h"

namespace {

FSSpec& appFolder() {
    static FSSpec spec{};
    return spec;
}

struct Line {
    int32_t source, line, outcome, fields, defaultOutcome;
    std::string text, preset;
    FmPARCode code;
};

std::vector<Line>& lines() {
    static std::vector<Line> v;
    return v;
}

struct {
    host::Size size;
    std::string rules;
} aspectArgs;

void keepLine(const FmPARLineReport* r, void*) {
    lines().push_back(Line{r->source, r->line, r->outcome, r->fields, r->defaultOutcome,
                           r->text ? std::string(r->text, size_t(r->length)) : std::string(),
                           r->presetName ? r->presetName : "", r->code});
}

// The folder of the settings file (slot 374) is the configuration folder.
void setAppFolder() {
    const char* settings = reinterpret_cast<const char*>(GetAGlobal(kSlotSettingsFilePath));
    if (!settings || !*settings) return;
    std::string folder = settings;
    const size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || slash == 0 || slash >= sizeof appFolder().name) return;
    folder.resize(slash);
    std::memcpy(appFolder().name, folder.c_str(), folder.size() + 1);
    SetAGlobal(kSlotAppFolder, reinterpret_cast<intptr_t>(&appFolder()));
}

bool startAspect(const host::Options&) {
    setAppFolder();
    if (!aspectArgs.rules.empty()) FmPARSetRulesPath(aspectArgs.rules.c_str());
    lines().clear();
    FmPARSetLineReport(keepLine, nullptr);
    const int32_t result = FmPixelAspectRatioInit();
    FmPARSetLineReport(nullptr, nullptr);
    return result == 0;
}

void stopAspect() {
    FmPixelAspectRatioShutdown();
    FmPARSetRulesPath(nullptr);
    SetAGlobal(kSlotAppFolder, 0);
}

host::Registrar aspectStep(host::Step{410, "pixel aspect ratios", startAspect, stopAspect});

std::string rulesPath() {
    if (!aspectArgs.rules.empty()) return aspectArgs.rules;
    const auto* folder = reinterpret_cast<const FSSpec*>(GetAGlobal(kSlotAppFolder));
    if (!folder) return "(no configuration folder)";
    return std::string(folder->name) + "/Interpretation Rules.txt";
}

std::string sourceText(int32_t source, int32_t line) {
    switch (source) {
        case kPARSourceResource:
            return "resource line " + std::to_string(line);
        case kPARSourceBuiltInPresets:
            return "built-in presets line " + std::to_string(line);
        case kPARSourceRulesFile:
            return "rules line " + std::to_string(line);
        case kPARSourceBuiltInDefaults:
            return "built-in defaults line " + std::to_string(line);
        default:
            return "line " + std::to_string(line);
    }
}

const char* outcomeText(int32_t outcome) {
    switch (outcome) {
        case kPARLineComment:
            return "comment";
        case kPARLineShort:
            return "6 characters or fewer";
        case kPARLineFields:
            return "not width,height=numerator/denominator";
        case kPARLineSizeRange:
            return "width or height outside 32 bits";
        case kPARLineNumerator:
            return "numerator not above 0";
        case kPARLineDenominator:
            return "negative denominator";
        default:
            return "used";
    }
}

std::string ratioText(FmPARCode code) {
    char text[kPARTextSize];
    FmGetPixelAspectRatioStr(code, 0, text);
    return std::to_string(FmPARNumerator(code)) + "/" + std::to_string(FmPARDenominator(code)) +
           " (" + text + ")";
}

void printFileState() {
    const char* state = "read";
    for (const Line& l : lines()) {
        if (l.outcome == kPARFileMissing) state = "missing or unreadable";
        if (l.outcome == kPARFileTooLarge) state = "over 1 MiB: not read";
    }
    std::printf("rules file: %s (%s)\n", rulesPath().c_str(), state);
}

void printLines() {
    std::printf("\nlines:\n");
    for (const Line& l : lines()) {
        if (l.outcome == kPARFileMissing || l.outcome == kPARFileTooLarge) continue;
        std::printf("  %-26s %s\n", sourceText(l.source, l.line).c_str(), l.text.c_str());
        if (l.outcome != kPARLineUsed) {
            std::printf("  %-26s   skipped: %s\n", "", outcomeText(l.outcome));
            continue;
        }
        std::string what = "code " + ratioText(l.code);
        if (!l.preset.empty()) what += "; preset \"" + l.preset + "\"";
        if (l.defaultOutcome == kPARDefaultAdded) what += "; frame-size default";
        if (l.defaultOutcome == kPARDefaultSizePresent) what += "; size already has a default";
        if (l.defaultOutcome == kPARDefaultNoRoom) what += "; no room for the default";
        std::printf("  %-26s   %s\n", "", what.c_str());
    }
}

void printSize(int32_t w, int32_t h) {
    FmPixelAspectRec rec;
    const FmRect frame{0, 0, w, h};
    FmInitPixelAspectRec(&rec, &frame, 0, 0);
    char desc[256];
    FmGetPixelAspectRatioDesc(rec.interpreted, 0, desc, sizeof desc);
    FmRect display;
    FmCalcMovieRect(nullptr, w, h, rec.interpreted, 0, 0, &display);
    std::printf("\n%dx%d: code 0x%08" PRIX32 " = %s, \"%s\"\n", w, h, rec.interpreted,
                ratioText(rec.interpreted).c_str(), desc);
    std::printf("  square-pixel width %d; display rectangle (%d,%d)-(%d,%d)%s\n",
                FmPixelWidthScale(rec.interpreted, w), display.left, display.top, display.right,
                display.bottom,
                GetAGlobal(kSlotPARDisplay) ? "" : " (display switch off: stored width)");
}

int runAspect() {
    printFileState();
    std::printf("display switch (slot 395): %" PRIdPTR ", correction switch (slot 396): %" PRIdPTR
                "\n",
                GetAGlobal(kSlotPARDisplay), GetAGlobal(kSlotPARCorrection));
    std::printf("\npresets:\n");
    FmPARPreset p;
    for (int32_t i = 0; FmPARGetPreset(i, &p); ++i)
        std::printf("  %-40s %-22s %s\n", p.name, ratioText(p.code).c_str(),
                    sourceText(p.source, p.line).c_str());
    std::printf("\nframe-size defaults:\n");
    FmPARFrameDefault d;
    for (int32_t i = 0; FmPARGetFrameDefault(i, &d); ++i) {
        const std::string size = std::to_string(d.width) + "x" + std::to_string(d.height);
        std::printf(
            "  %-12s %-22s %s\n", size.c_str(),
            ratioText(FmPARMakeCode(uint32_t(d.numerator), uint32_t(d.denominator))).c_str(),
            sourceText(d.source, d.line).c_str());
    }
    printLines();
    if (aspectArgs.size.width > 0) printSize(aspectArgs.size.width, aspectArgs.size.height);
    return 0;
}

void declareAspect(CLI::App& cmd) {
    host::addSize(cmd, "SIZE", aspectArgs.size, 1, 65535, "a frame size to look up");
    cmd.add_option("--rules", aspectArgs.rules,
                   "rules file read instead of the configuration folder's "
                   "\"Interpretation Rules.txt\"")
        ->check(CLI::Validator(CLI::ExistingFile).description(""));
}

host::Registrar aspectCommand(host::Command{
    "aspect", "list pixel aspect presets and frame-size defaults, and explain the rules lines",
    declareAspect, runAspect});

void printAspect(FILE* out) {
    std::fprintf(out, "pixel aspect ratios: %d presets, %d frame-size defaults; rules file %s\n",
                 FmPARPresetCount(), FmPARFrameDefaultCount(), rulesPath().c_str());
}

host::Registrar info(host::InfoSection{410, printAspect});

}  // namespace
