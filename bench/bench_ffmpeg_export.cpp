// The FFmpeg exporter against the ffmpeg command writing the same file from
// the same raw pictures with the same settings and threads: FFV1 (level 3,
// 32-bit B, G, R, A kept) in Matroska and H.264 (libx264, CRF 23, preset
// medium, 4:2:0 through swscale) in MPEG-4, 1080p. The module is called as
// the export host calls it, its frames served from memory; ffmpeg reads them
// from a raw file (in the page cache). Each iteration times a 24-frame and a
// 4-frame export and counts the difference, so start-up (ffmpeg's process,
// opening encoders and files) is left out on both sides: the time is per
// extra frame, in wall time since ffmpeg runs as a child process. Compare
// the items_per_second (frames) of each pair.
#include <chrono>
#include <benchmark/benchmark.h>

#ifdef REEL_FFEXPORT_MODULE
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../plugins/ffmpeg/ff_export_prefs.h"
#include "reelcore/sdk/export.h"

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080, kFrames = 24, kShort = 4, kThreads = 2;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight * 4;

struct Job {
    const char* name;
    RcOSType compressor;
    int32_t depth;
    const char* extension;
    const char* peerArgs;  // ffmpeg's encoder settings, the same as ours
};

const Job kJobs[] = {
    {"ffv1", RC_FOURCC('F', 'F', 'V', '1'), kRcDepth32, "mkv", "-c:v ffv1 -level 3"},
    {"h264", RC_FOURCC('a', 'v', 'c', '1'), kRcDepth24, "mp4",
     "-c:v libx264 -crf 23 -preset medium -pix_fmt yuv420p"},
};

// The pictures: ffmpeg's test pattern, kept in memory and in a raw file.
struct Pictures {
    std::string dir, raw;
    std::vector<uint8_t> bytes;
    bool haveX264 = false;
    Pictures() {
        char tmpl[] = "/tmp/reelbenchffxXXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        raw = dir + "/frames.bgra";
        const std::string cmd =
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=" + std::to_string(kWidth) + "x" +
            std::to_string(kHeight) + ":r=25 -frames:v " + std::to_string(kFrames) +
            " -f rawvideo -pix_fmt bgra '" + raw + "'";
        if (std::system(cmd.c_str()) != 0) {
            raw.clear();
            return;
        }
        if (FILE* f = std::fopen(raw.c_str(), "rb")) {
            bytes.resize(kFrameBytes * kFrames);
            if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
            std::fclose(f);
        }
        haveX264 =
            std::system("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' libx264 '") == 0;
    }
    ~Pictures() {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
};

Pictures& pictures() {
    static Pictures p;
    return p;
}

// ---- the host services the module calls ----
int32_t getAudio(int32_t, int32_t, void**, int32_t*) {
    return kRcServiceNoFrame;
}
intptr_t getRecordValue(int32_t) {
    return -1;
}
int32_t getFrameAtDepth(int32_t frame, int32_t bits, void** pixels, int32_t* rowBytes,
                        RcCompileFrameInfo* info) {
    if (bits != 32 || frame < 0 || frame >= kFrames) return kRcServiceNoFrame;
    *pixels = pictures().bytes.data() + size_t(frame) * kFrameBytes;
    *rowBytes = kWidth * 4;
    if (info) *info = RcCompileFrameInfo{1, 0, 0};
    return kRcServiceOK;
}
int32_t getFrame(int32_t frame, void** pixels, int32_t* rowBytes, RcCompileFrameInfo* info) {
    return getFrameAtDepth(frame, 32, pixels, rowBytes, info);
}
void setProgressText(const char*) {}
int32_t progress(int32_t, int32_t) {
    return 0;
}

const RcCompileAudioFuncs kAudio{getAudio, getRecordValue};
const RcCompileVideoFuncs kVideo{getFrame, getFrameAtDepth, nullptr, nullptr, nullptr,
                                 nullptr,  nullptr,         nullptr, nullptr};
const RcCompileStatusFuncs kStatus{setProgressText, progress};
const RcCompileServiceGroups kGroups{nullptr, &kAudio,  &kVideo, nullptr,
                                     nullptr, &kStatus, nullptr};
RcCompileServices gServices{kRcCompileServicesVersion, 0, &kGroups, 0};

RcCompileEntryProc entry() {
    static void* module = dlopen(REEL_FFEXPORT_MODULE, RTLD_NOW | RTLD_LOCAL);
    return module ? reinterpret_cast<RcCompileEntryProc>(dlsym(module, RC_COMPILE_ENTRY_NAME))
                  : nullptr;
}

// Seconds the call takes.
template <class F>
double timed(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool ready(benchmark::State& state, const Job& job) {
    if (pictures().bytes.empty()) {
        state.SkipWithError("ffmpeg could not make the pictures");
        return false;
    }
    if (job.compressor == RC_FOURCC('a', 'v', 'c', '1') && !pictures().haveX264) {
        state.SkipWithError("no libx264");
        return false;
    }
    return true;
}

void OursExport(benchmark::State& state) {
    const Job& job = kJobs[state.range(0)];
    if (!ready(state, job)) return;
    const RcCompileEntryProc call = entry();
    if (!call) return state.SkipWithError("the exporter module cannot be loaded");
    FFExportPrefs prefs{};
    prefs.magic = FF_EXPORT_PREFS_MAGIC;
    prefs.crf = 23;
    prefs.threads = kThreads;
    std::strcpy(prefs.preset, "medium");
    RcCompileRecord r{};
    RcCompileSettings& s = r.settings;
    s.compilerPrefs = &prefs;
    s.doVideo = 1;
    s.videoCompressor = job.compressor;
    s.depth = job.depth;
    s.keyframeEvery = 1;
    s.width = kWidth;
    s.height = kHeight;
    s.timeScale = 25;
    s.timeSampleSize = 1;
    s.timeOne = 1;
    s.audioBlockFrames = 1;
    const std::string out = pictures().dir + "/ours." + job.extension;
    std::snprintf(r.output.name, sizeof r.output.name, "%s", out.c_str());
    r.fileRef = -1;
    r.lastFrame = kFrames;
    r.exportKind = kRcExportMovie;
    bool failed = false;
    auto run = [&](int32_t frames) {
        r.lastFrame = frames;
        failed |= call(kRcCompileDoCompile, &gServices, &r, 0) != kRcCompileOK;
    };
    for (auto _ : state) {
        const double little = timed([&] { run(kShort); });
        const double whole = timed([&] { run(kFrames); });
        if (failed) return state.SkipWithError("the export failed");
        state.SetIterationTime(std::max(whole - little, 1e-6));
    }
    state.SetItemsProcessed(state.iterations() * (kFrames - kShort));
}

void FfmpegExport(benchmark::State& state) {
    const Job& job = kJobs[state.range(0)];
    if (!ready(state, job)) return;
    auto command = [&](int32_t frames) {
        return "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgra -s " +
               std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -r 25 -i '" +
               pictures().raw + "' -frames:v " + std::to_string(frames) + " " + job.peerArgs +
               " -threads " + std::to_string(kThreads) + " -an '" + pictures().dir + "/peer." +
               job.extension + "'";
    };
    const std::string little = command(kShort), whole = command(kFrames);
    bool failed = false;
    for (auto _ : state) {
        const double a = timed([&] { failed |= std::system(little.c_str()) != 0; });
        const double b = timed([&] { failed |= std::system(whole.c_str()) != 0; });
        if (failed) return state.SkipWithError("ffmpeg failed");
        state.SetIterationTime(std::max(b - a, 1e-6));
    }
    state.SetItemsProcessed(state.iterations() * (kFrames - kShort));
}

// 0: FFV1 in Matroska, 1: H.264 in MPEG-4.
BENCHMARK(OursExport)->DenseRange(0, 1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FfmpegExport)->DenseRange(0, 1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

#else
void FfmpegExportNotBuilt(benchmark::State& state) {
    state.SkipWithError("the FFmpeg exporter is not built");
}
BENCHMARK(FfmpegExportNotBuilt);
#endif

BENCHMARK_MAIN();
