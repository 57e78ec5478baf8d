// `reelhost transcode IN OUT [--codec C] [--crf N] [--threads N]`: runs a
// media file through its importer and the FFmpeg exporter (ffmpeg-plug-ins
// beside reelhost). The codec comes from OUT's extension unless --codec names
// it: ffv1 (.mkv), h264 (.mp4), prores (.mov), avi, wav, flac, png (a
// numbered sequence). The file is cut as one clip and exported as a clip
// export, its sound mixed from an audio track holding the same clip.
// Progress goes to stderr; Ctrl-C cancels and leaves OUT as it was.
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <string>

#include "../plugins/ffmpeg/ff_export_prefs.h"
#include "host.h"
#include "otio.h"
#include "otio_tracks.h"
#include "reelcore/clips.h"
#include "reelcore/compiler.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/settings.h"
#include "reelcore/tracks.h"

namespace {

struct {
    std::string in, out, codec;
    int64_t crf = kFFExportDefaultCrf;
    int64_t threads = 0;
} args;

struct Codec {
    const char* name;
    const char* extension;
    OSType fileType;
    bool audioOnly;
};

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

const Codec kCodecs[] = {
    {"ffv1", "mkv", cc("MKV "), false},   {"h264", "mp4", cc("MPG4"), false},
    {"prores", "mov", cc("MooV"), false}, {"avi", "avi", cc("VfW "), false},
    {"wav", "wav", cc("WAVE"), true},     {"flac", "flac", cc("FLAC"), true},
    {"png", "png", cc("PNG "), false},
};

std::atomic<bool> gInterrupted{false};
int32_t gLastTenth = -1;

std::string besideProgram(const char* name) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

void loadModules() {
    // The importers first, then the exporter.
    for (const char* name : {"media-plug-ins", "plug-ins", "ffmpeg-plug-ins"}) {
        const std::string folder = besideProgram(name);
        if (access(folder.c_str(), R_OK) != 0) continue;
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder.c_str()));
        AddPlugins();
    }
    SetAGlobal(kSlotPluginFolder, 0);
}

const Codec* codecFor(const std::string& out, const std::string& name) {
    for (const Codec& c : kCodecs) {
        if (!name.empty() ? name == c.name
                          : strcasecmp(std::filesystem::path(out).extension().string().c_str(),
                                       (std::string(".") + c.extension).c_str()) == 0)
            return &c;
    }
    return nullptr;
}

void progressText(const char* text) {
    std::fprintf(stderr, "transcode: %s\n", text);
}

int32_t progress(int32_t done, int32_t total) {
    const int32_t tenth = total > 0 ? int32_t(int64_t(done) * 10 / total) : 10;
    if (tenth != gLastTenth) {
        gLastTenth = tenth;
        std::fprintf(stderr, "transcode: %d of %d frames\n", int(done), int(total));
    }
    return gInterrupted ? 1 : 0;
}

void onInterrupt(int) {
    gInterrupted = true;
}

std::string resultText(int32_t result) {
    switch (result) {
        case kRcCompileCancelled:
            return "cancelled; nothing was written";
        case kRcCompileFileNotFound:
            return "its folder does not exist";
        case kRcCompilePermission:
            return "permission denied";
        case kRcCompileOpenFailed:
            return "the encoder or the file format could not be set up";
        case kRcCompileFileBusy:
            return "the file is in use";
        case kRcCompileOutOfMemory:
            return "out of memory";
        default:
            return result < 0 ? "the file cannot be created (error " + std::to_string(result) + ")"
                              : "the export failed with result " + std::to_string(result);
    }
}

int fail(const std::string& message) {
    std::fprintf(stderr, "reelhost: transcode: %s\n", message.c_str());
    return 1;
}

// The whole file as a one-clip timeline: a video track and, with sound, an
// audio track, at the file's frame rate (25 for sound alone).
otio::Timeline timelineOf(const std::string& path, const FmMediaInfo& info, int32_t& frames) {
    otio::Timeline t;
    const bool video = info.mediaFlags & 1, audio = info.mediaFlags & 2;
    if (video && info.video.scale > 0 && info.video.samp > 0)
        t.rate = otio::Rate{info.video.scale, info.video.samp};
    const double fps = t.rate.fps();
    if (video)
        frames = info.video.samp > 0 ? info.video.value / info.video.samp : 0;
    else
        frames = info.audio.scale > 0
                     ? int32_t(std::ceil(double(info.audio.value) / info.audio.scale * fps))
                     : 0;
    otio::Item clip;
    clip.kind = otio::Kind::Clip;
    clip.schema = "Clip.1";
    clip.targetUrl = path;
    clip.range = otio::TimeRange{{0, fps}, {double(frames), fps}};
    for (int kind = 0; kind < 2; ++kind) {
        if (!(kind == 0 ? video : audio)) continue;
        otio::Track track;
        track.kind = kind == 0 ? otio::TrackKind::Video : otio::TrackKind::Audio;
        track.items.push_back(clip);
        t.tracks.push_back(track);
    }
    return t;
}

int runTranscode() {
    const Codec* codec = codecFor(args.out, args.codec);
    if (!codec)
        throw CLI::ValidationError(
            "OUT", args.codec.empty() ? "no codec writes '" +
                                            std::filesystem::path(args.out).extension().string() +
                                            "' files: name one with --codec"
                                      : "'" + args.codec + "' is not a codec");
    loadModules();
    RcCompilerInfo exporter{};
    if (!FindCompiler(codec->fileType, FF_EXPORT_CLASS, &exporter) ||
        exporter.classID != FF_EXPORT_CLASS)
        return fail(std::string("no FFmpeg exporter for ") + codec->name +
                    " (ffmpeg-plug-ins beside reelhost)");

    char real[PATH_MAX];
    const std::string in = realpath(args.in.c_str(), real) ? real : args.in;
    const int16_t file = AddFile(in.c_str(), 0, 0, 0);
    FmMediaInfo info{};
    if (file <= 0 || GetInfo(file, &info, 1) != 0)
        return fail(args.in + ": no importer can read it");
    const bool hasVideo = info.mediaFlags & 1, hasAudio = info.mediaFlags & 2;
    if (codec->audioOnly && !hasAudio)
        return fail(args.in + " has no sound to write as " + codec->name);
    if (!codec->audioOnly && !hasVideo && codec->fileType == cc("PNG "))
        return fail(args.in + " has no pictures to write as PNG");
    if (!hasVideo && !hasAudio) return fail(args.in + " has neither pictures nor sound");

    int32_t frames = 0;
    const otio::Timeline t = timelineOf(in, info, frames);
    if (frames <= 0) return fail(args.in + " is empty");
    otio::LibraryTimeline lib;
    std::string error;
    if (!lib.build(t, ".", error)) return fail(args.in + ": " + error);
    Handle first = lib.placed().empty() ? nullptr : lib.placed().front().record;
    const int32_t clip = first ? reinterpret_cast<const TrackItemRec*>(*first)->clipID : 0;
    if (clip <= 0) return fail(args.in + ": no clip can be cut from it");

    const int32_t kind = codec->audioOnly ? kPsetKindAudio : kPsetKindMovie;
    Handle settings = psetGetExportSettings(kind);
    PsetBlock* s = psetGetBlock(settings);
    if (!s) return fail("no export settings");
    s->general.filetype = exporter.fileType;
    s->general.classid = exporter.classID;
    s->general.range = 0;
    s->general.scale = s->video.scale = t.rate.scale;
    s->general.samplesize = s->video.samplesize = t.rate.samp;
    if (hasVideo) {
        s->video.width = info.frame.right - info.frame.left;
        s->video.height = info.frame.bottom - info.frame.top;
        s->video.depth = info.depth == 32 ? 32 : 16;  // depth mask bits: 32 or 24 bits
        s->video.pixelAspect = info.pixelAspect;
    }
    if (hasAudio) {
        s->audio.audrate = info.audio.scale;
        s->audio.audsamplesize = (info.audioFormat & 0x200) ? 1 : 0;
        s->audio.audstereo = (info.audioFormat & 0x100) ? 1 : 0;
    }
    if (s->general.compilerprefs) DisposePtr(s->general.compilerprefs);
    s->general.compilerprefs = NewPtrClear(sizeof(FFExportPrefs));
    if (!s->general.compilerprefs) return fail("out of memory");
    FFExportPrefs prefs{};
    prefs.magic = FF_EXPORT_PREFS_MAGIC;
    prefs.crf = int32_t(args.crf);
    prefs.threads = int32_t(args.threads);
    std::memcpy(s->general.compilerprefs, &prefs, sizeof prefs);
    psetValidateProjectSettings(settings, kind);

    CompilerSetTimeline(lib.table());
    CompilerCallbacks callbacks{};
    callbacks.progressText = progressText;
    callbacks.progress = progress;
    CompilerSetCallbacks(&callbacks);
    auto* previous = std::signal(SIGINT, onInterrupt);
    FSSpec spec{};
    std::strncpy(spec.name, args.out.c_str(), sizeof spec.name - 1);
    const int32_t result = codec->audioOnly ? CompilerExportAudio(&spec, 0, 0, clip)
                                            : CompilerDoCompile(&spec, 0, 0, clip);
    std::signal(SIGINT, previous);
    CompilerSetCallbacks(nullptr);
    CompilerSetTimeline(nullptr);
    lib.release();
    FileCancel(file);
    if (result != 0) return fail(args.out + ": " + resultText(result));

    s = psetGetBlock(settings);
    std::printf("%s: %s, %d frames", args.out.c_str(), exporter.name, int(frames));
    if (hasVideo && !codec->audioOnly)
        std::printf(", %dx%d at %g fps", int(s->video.width), int(s->video.height), t.rate.fps());
    if (hasAudio && codec->fileType != cc("PNG "))
        std::printf(", sound %d Hz %s", int(s->audio.audrate),
                    s->audio.audstereo ? "stereo" : "mono");
    std::printf("\n");
    return 0;
}

host::Registrar transcodeCommand(host::Command{
    "transcode",
    "run a media file through import and export: OUT's extension (or --codec) picks the codec",
    [](CLI::App& cmd) {
        cmd.add_option("IN", args.in, "a media file an importer reads")
            ->required()
            ->check(CLI::ExistingFile);
        cmd.add_option("OUT", args.out,
                       "output: .mkv (FFV1), .mp4 (H.264), .mov (ProRes), .avi, .wav, .flac, .png")
            ->required();
        cmd.add_option("--codec", args.codec, "ffv1, h264, prores, avi, wav, flac or png")
            ->check(CLI::IsMember({"ffv1", "h264", "prores", "avi", "wav", "flac", "png"}));
        host::addInteger(cmd, "--crf", args.crf, 0, kFFExportMaxCrf,
                         "H.264 quality, 0 lossless to 51 (default 23)");
        host::addInteger(cmd, "--threads", args.threads, 0, 64,
                         "encoder threads (default 0: the codec chooses)");
    },
    runTranscode});

}  // namespace
