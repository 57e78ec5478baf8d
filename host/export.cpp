// `reelhost export TIMELINE OUT`: exports an OpenTimelineIO timeline through
// the export modules of the export-plug-ins folder beside reelhost (the exporter chosen by OUT's
// extension: .avi movies, .wav audio, .png sequences or, with --still, one
// picture); `reelhost exporters` lists what the export modules offer.
// Progress goes to stderr; Ctrl-C cancels the export.
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "host.h"
#include "otio.h"
#include "otio_tracks.h"
#include "reelcore/compiler.h"
#include "reelcore/globals.h"
#include "reelcore/plugins.h"
#include "reelcore/settings.h"

namespace {

struct {
    std::string timeline, out, range, still;
    host::Size size;
} args;

std::atomic<bool> gInterrupted{false};
int32_t gLastTenth = -1;

std::string besideProgram(const char* name) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

std::string codeText(OSType code) {
    std::string t;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char(code >> shift);
        t += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return t;
}

void loadExporters() {
    static bool loaded = false;
    if (loaded) return;
    loaded = true;
    // The media importers the timeline's clips need, then the exporters.
    for (const char* name : {"media-plug-ins", "export-plug-ins"}) {
        const std::string folder = besideProgram(name);
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder.c_str()));
        AddPlugins();
    }
    SetAGlobal(kSlotPluginFolder, 0);
}

void progressText(const char* text) {
    std::fprintf(stderr, "export: %s\n", text);
}

int32_t progress(int32_t done, int32_t total) {
    const int32_t tenth = total > 0 ? int32_t(int64_t(done) * 10 / total) : 10;
    if (tenth != gLastTenth) {
        gLastTenth = tenth;
        std::fprintf(stderr, "export: %d of %d frames\n", int(done), int(total));
    }
    return gInterrupted ? 1 : 0;
}

void onInterrupt(int) {
    gInterrupted = true;
}

// The exporter for OUT's extension: for .png a sequence, or a still.
bool exporterFor(const std::string& out, bool still, RcCompilerInfo* found) {
    const std::string ext = std::filesystem::path(out).extension().string();
    RcCompilerInfo info{};
    for (int32_t i = 0; GetIndexedCompilerEntry(i, &info); ++i) {
        if (ext.size() < 2 || strcasecmp(info.extension, ext.c_str() + 1) != 0) continue;
        const bool makesStills = info.flags & kRcCompileMakesStills;
        const bool makesOthers = info.flags & (kRcCompileMakesMovies | kRcCompileMakesAudio);
        if (still ? makesStills : (makesOthers || !makesStills)) {
            *found = info;
            return true;
        }
    }
    return false;
}

bool parseRange(const std::string& text, int64_t& a, int64_t& b) {
    const size_t dash = text.find('-');
    return dash != std::string::npos && host::parseDecimal(text.substr(0, dash), a) &&
           host::parseDecimal(text.substr(dash + 1), b) && b > a;
}

int runExport() {
    loadExporters();
    const bool still = !args.still.empty();
    RcCompilerInfo exporter{};
    if (!exporterFor(args.out, still, &exporter))
        throw CLI::ValidationError("OUT", "no export module writes '" +
                                              std::filesystem::path(args.out).extension().string() +
                                              "' files" + (still ? " as stills" : ""));
    otio::Timeline t;
    std::string error;
    std::vector<std::string> notes;
    if (!otio::readFile(args.timeline, t, error, notes)) {
        std::fprintf(stderr, "reelhost: %s\n", error.c_str());
        return 1;
    }
    const std::string base = std::filesystem::path(args.timeline).parent_path().string();
    otio::LibraryTimeline lib;
    if (!lib.build(t, base.empty() ? "." : base, error)) {
        std::fprintf(stderr, "reelhost: %s: %s\n", args.timeline.c_str(), error.c_str());
        return 1;
    }
    const bool audioOnly =
        (exporter.flags & (kRcCompileMakesAudio | kRcCompileMakesMovies | kRcCompileMakesStills)) ==
        kRcCompileMakesAudio;
    const int32_t kind = still ? kPsetKindStill : audioOnly ? kPsetKindAudio : kPsetKindMovie;
    PsetBlock* s = psetGetBlock(psetGetExportSettings(kind));
    if (!s) return 1;
    s->general.filetype = exporter.fileType;
    s->general.classid = exporter.classID;
    s->general.scale = s->video.scale = t.rate.scale;
    s->general.samplesize = s->video.samplesize = t.rate.samp;
    if (args.size.width > 0) {
        s->video.width = args.size.width;
        s->video.height = args.size.height;
    }
    s->video.depth = 16;  // 24 bits where the exporter offers them, else its best
    s->general.range = 0;
    int64_t in = 0, out = 0;
    if (!args.range.empty()) {
        if (!parseRange(args.range, in, out))
            throw CLI::ValidationError("--range", "'" + args.range + "' is not FIRST-LAST frames");
        s->general.range = 1;
    }
    int64_t at = 0;
    if (still && !host::parseDecimal(args.still, at))
        throw CLI::ValidationError("--still", "'" + args.still + "' is not a frame number");
    psetValidateProjectSettings(psetGetExportSettings(kind), kind);

    CompilerSetTimeline(lib.table());
    CompilerCallbacks callbacks{};
    callbacks.progressText = progressText;
    callbacks.progress = progress;
    CompilerSetCallbacks(&callbacks);
    auto* previous = std::signal(SIGINT, onInterrupt);

    FSSpec spec{};
    std::strncpy(spec.name, args.out.c_str(), sizeof spec.name - 1);
    const int32_t samp = t.rate.samp;
    int32_t result = 0;
    if (still)
        result = CompilerExportStill(&spec, int32_t(at * samp), 0);
    else if (audioOnly)
        result = CompilerExportAudio(&spec, int32_t(in * samp), int32_t(out * samp), 0);
    else
        result = CompilerDoCompile(&spec, int32_t(in * samp), int32_t(out * samp), 0);

    std::signal(SIGINT, previous);
    CompilerSetCallbacks(nullptr);
    CompilerSetTimeline(nullptr);
    if (result != 0) {
        std::fprintf(stderr, "reelhost: export to %s ended with result %d%s\n", args.out.c_str(),
                     int(result), result == 2 ? " (cancelled)" : "");
        return 1;
    }
    if (audioOnly)
        std::printf("%s: exported with \"%s\" ('%s'), %d Hz, %d-bit, %s\n", args.out.c_str(),
                    exporter.name, codeText(exporter.fileType).c_str(), int(s->audio.audrate),
                    s->audio.audsamplesize ? 16 : 8, s->audio.audstereo ? "stereo" : "mono");
    else
        std::printf("%s: exported with \"%s\" ('%s'), %dx%d at %g fps\n", args.out.c_str(),
                    exporter.name, codeText(exporter.fileType).c_str(), int(s->video.width),
                    int(s->video.height), t.rate.fps());
    return 0;
}

int runExporters() {
    loadExporters();
    RcCompilerInfo e{};
    std::printf("exporters (slot 339):\n");
    for (int32_t i = 0; GetIndexedCompilerEntry(i, &e); ++i)
        std::printf("  '%s' class '%s'  %-16s .%-4s FileID %d%s%s\n", codeText(e.fileType).c_str(),
                    codeText(e.classID).c_str(), e.name, e.extension, int(e.fileID),
                    (e.flags & kRcCompileOneFilePerFrame) ? ", one file per frame" : "",
                    e.customExport ? ", custom" : "");
    RcCompressorInfo c{};
    std::printf("video compressors (slot 340):\n");
    for (int32_t i = 0; GetIndexedCompilerSubTypeEntry(i, &c); ++i)
        std::printf("  '%s' %-16s for '%s', depths 0x%x, %dx%d to %dx%d%s\n",
                    codeText(c.code).c_str(), c.name, codeText(c.fileType).c_str(),
                    unsigned(c.depthMask), int(c.minWidth), int(c.minHeight), int(c.maxWidth),
                    int(c.maxHeight), c.fixedRate ? ", fixed rate" : "");
    RcAudioCompressorInfo a{};
    std::printf("audio compressors (slot 348):\n");
    for (int32_t i = 0; GetIndexedCompilerAudioEntry(i, &a); ++i) {
        std::printf("  '%s' %-16s for '%s', formats", codeText(a.code).c_str(), a.name,
                    codeText(a.fileType).c_str());
        for (int32_t k = 0; a.formats && a.formats[k].bits; ++k)
            std::printf(
                " 0x%x@%s", unsigned(a.formats[k].bits),
                a.formats[k].rate == -1 ? "any" : std::to_string(a.formats[k].rate).c_str());
        std::printf("\n");
    }
    return 0;
}

host::Registrar exportStep(host::Step{700, "export host", [](const host::Options&) { return true; },
                                      [] { CompilerShutdown(); }});

host::Registrar exportCommand(host::Command{
    "export", "export a timeline (.otio) to OUT through the export module for its extension",
    [](CLI::App& cmd) {
        cmd.add_option("TIMELINE", args.timeline, "OpenTimelineIO file (.otio)")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        cmd.add_option("OUT", args.out, "output: .avi, .wav or .png (a numbered sequence)")
            ->required();
        cmd.add_option("--range", args.range, "frames FIRST-LAST (LAST not included)");
        host::addSize(cmd, "--size", args.size, 32, 4000, "WIDTHxHEIGHT of the frames");
        cmd.add_option("--still", args.still, "export the one frame FRAME as a picture");
    },
    runExport});

host::Registrar exportersCommand(host::Command{
    "exporters", "list the exporters, video and audio compressors of the export modules",
    [](CLI::App&) {}, runExporters});

}  // namespace
