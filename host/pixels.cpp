// The settings file, pixel worlds and the processor pool at start-up; their
// part of `reelhost info`; and `reelhost fill`, which makes a buffer, fills
// it, draws it into a window surface and saves that as a PNG file.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host.h"
#include "reelcore/globals.h"
#include "reelcore/mp.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"

namespace {

std::string& settingsPath() {
    static std::string path;
    return path;
}

const char kDefaultSettings[] =
    "; Reelcore application settings. Remove the ';' in front of a key to set it.\n"
    "\n"
    "[override]\n"
    "; Processors used for pixel work: 0 or 1 = none beside the caller, at most 16;\n"
    "; without the key every processor this process may use.\n"
    "; NumCPUs=2\n"
    "; NoCompileAsync=1\n"
    "; PixelAspectRatioDisplay=1\n"
    "; PixelAspectRatioCorrection=1\n"
    "\n"
    "[KPT]\n"
    "; AlphaChannelBug=1\n"
    "\n"
    "[Default]\n"
    "; Settings=\n";

bool makeDirs(const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/') continue;
        std::string part = dir.substr(0, pos);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// $XDG_CONFIG_HOME/reelcore/reelcore.ini or ~/.config/reelcore/reelcore.ini,
// written with commented defaults when missing.
bool setUpSettingsFile(const host::Options& options) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    if (base.empty()) return true;  // no settings file: every key reads its default
    std::string dir = base + "/reelcore";
    settingsPath() = dir + "/reelcore.ini";
    struct stat st {};
    if (stat(settingsPath().c_str(), &st) != 0 && makeDirs(dir)) {
        if (FILE* f = std::fopen(settingsPath().c_str(), "w")) {
            std::fputs(kDefaultSettings, f);
            std::fclose(f);
            if (options.debug) std::fprintf(stderr, "reelhost: wrote %s\n", settingsPath().c_str());
        }
    }
    SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(settingsPath().c_str()));
    return true;
}

host::Registrar settingsStep(host::Step{105, "settings file", setUpSettingsFile,
                                        [] { SetAGlobal(kSlotSettingsFilePath, 0); }});

host::Registrar pixelWorldStep(host::Step{400, "pixel worlds",
                                          [](const host::Options&) {
                                              // The headless screen shows 32-bit colour.
                                              if (GetAGlobal(kSlotScreenDepth) == 0)
                                                  SetAGlobal(kSlotScreenDepth, 32);
                                              return pwInit() == 0;
                                          },
                                          [] { pwShutdown(); }});

host::Registrar poolStep(host::Step{450, "processor pool",
                                    [](const host::Options&) {
                                        InitMP();
                                        return true;
                                    },
                                    [] { TerminateMP(); }});

void printPixels(FILE* out) {
    const char* path = reinterpret_cast<const char*>(GetAGlobal(kSlotSettingsFilePath));
    std::fprintf(out, "settings file (slot 374): %s\n", path ? path : "(none)");
    std::fprintf(out, "processor pool: %s, %s\n",
                 host::countText(uint64_t(GetAGlobal(kSlotProcessorCount)), "processor").c_str(),
                 GetAGlobal(kSlotMPWorkers) ? "workers running" : "no workers");
    int used = 0;
    auto* table = reinterpret_cast<const PWorldEntry*>(GetAGlobal(kSlotPWorldTable));
    for (int i = 0; table && i < kPWorldCount; ++i) used += table[i].inUse ? 1 : 0;
    std::fprintf(out, "pixel worlds: %d of %d in use; screen depth %" PRIdPTR "\n", used,
                 int(kPWorldCount), GetAGlobal(kSlotScreenDepth));
}

host::Registrar info(host::InfoSection{400, printPixels});

// "#RRGGBB", "RRGGBB", "0xRRGGBB" or a colour name -> 0x00RRGGBB.
bool parseColour(std::string text, uint32_t& rgb) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const struct {
        const char* name;
        uint32_t rgb;
    } names[] = {{"black", 0x000000}, {"white", 0xFFFFFF},   {"red", 0xFF0000},
                 {"green", 0x00FF00}, {"blue", 0x0000FF},    {"yellow", 0xFFFF00},
                 {"cyan", 0x00FFFF},  {"magenta", 0xFF00FF}, {"grey", 0x808080},
                 {"gray", 0x808080},  {"orange", 0xFF8000}};
    for (const auto& n : names)
        if (text == n.name) {
            rgb = n.rgb;
            return true;
        }
    if (text.rfind("#", 0) == 0)
        text = text.substr(1);
    else if (text.rfind("0x", 0) == 0)
        text = text.substr(2);
    if (text.size() != 6) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    rgb = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

struct {
    host::Size size;
    uint32_t rgb = 0;
    std::string out;
} fillArgs;

int runFill() {
    const int32_t w = fillArgs.size.width, h = fillArgs.size.height;
    const uint32_t rgb = fillArgs.rgb;
    const std::string& outPath = fillArgs.out;
    FmRect bounds{0, 0, w, h};
    PPixHand pix = ppixNew(&bounds);
    if (!pix) {
        std::fprintf(stderr, "reelhost: not enough memory for a %dx%d buffer\n", w, h);
        return 1;
    }
    // Fills take the colour as 0x00BBGGRR.
    const uint32_t bgr = (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
    ppixFillRect(pix, nullptr, bgr);

    // A headless window of the picture's size receives the drawing.
    constexpr uint32_t kFillWindow = 1;
    int32_t made = FmCreateWindowSurface(kFillWindow, w, h,
                                         static_cast<int32_t>(GetAGlobal(kSlotScreenDepth)));
    PWorld window = made == 0 ? RegPWorldWnd(kFillWindow) : 0;
    int32_t drawn = window ? PPixToWind(pix, window, nullptr, nullptr) : 1;
    if (window) pwDispose(window);
    ppixDispose(pix);
    int32_t saved = 0;
    if (drawn == 0)
        saved = host::hasExtension(outPath, ".bmp")
                    ? FmSaveWindowSurfaceBMP(kFillWindow, outPath.c_str())
                    : FmSaveWindowSurfacePNG(kFillWindow, outPath.c_str());
    FmDisposeWindowSurface(kFillWindow);
    if (drawn != 0) {
        std::fprintf(stderr, "reelhost: drawing into the window failed (%d)\n",
                     made ? made : drawn);
        return 1;
    }
    if (saved != 0) {
        std::fprintf(stderr, "reelhost: cannot write %s\n", outPath.c_str());
        return 1;
    }
    std::printf("wrote %s: %dx%d, #%06X\n", outPath.c_str(), w, h, rgb);
    return 0;
}

void declareFill(CLI::App& cmd) {
    host::addSize(cmd, "SIZE", fillArgs.size, 1, 16384, "buffer size")->required();
    cmd.add_option_function<std::string>(
           "COLOUR",
           [](const std::string& text) {
               if (!parseColour(text, fillArgs.rgb))
                   throw CLI::ValidationError("COLOUR", "'" + text +
                                                            "' is neither #RRGGBB nor a colour "
                                                            "name (red, grey, ...)");
           },
           "#RRGGBB or a name: black white red green blue yellow cyan magenta grey orange")
        ->required();
    host::addOutputPicture(cmd, "OUT", fillArgs.out)->required();
}

host::Registrar fillCommand(host::Command{
    "fill", "fill a buffer, draw it into a window surface and save that", declareFill, runFill});

}  // namespace
