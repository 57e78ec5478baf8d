// The FFmpeg importer's readers (what GetVideo reaches through the module)
// against the ffmpeg command doing the same work with the same threads:
// sequential decode of 1080p H.264 and FFV1 into 32-bit BGRA, and random
// access to single frames (ffmpeg -ss before -i, which seeks accurately).
// Compare the items_per_second of each pair from the same run.
#include <benchmark/benchmark.h>

#ifdef REEL_BENCH_FFIMPORT
#include <stdlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ff_media.h"

namespace {

constexpr int32_t kThreads = 2;
constexpr int32_t kWidth = 1920, kHeight = 1080;

struct Media {
    std::string dir, h264, ffv1;
    Media() {
        char tmpl[] = "/tmp/reelbenchffXXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        h264 = dir + "/h264.mp4";
        ffv1 = dir + "/ffv1.mkv";
        const std::string src = "-f lavfi -i testsrc2=s=1920x1080:r=25 -frames:v 50 ";
        const std::string cmd = "ffmpeg -nostdin -v error -y " + src +
                                "-pix_fmt yuv420p -c:v libx264 -preset veryfast '" + h264 +
                                "' && ffmpeg -nostdin -v error -y " + src +
                                "-pix_fmt yuv420p -c:v ffv1 '" + ffv1 + "'";
        if (std::system(cmd.c_str()) != 0) h264.clear(), ffv1.clear();
    }
    ~Media() {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
};

Media& media() {
    static Media m;
    return m;
}

const std::string& fileFor(int64_t which) {
    return which == 0 ? media().h264 : media().ffv1;
}

void ReaderSequential(benchmark::State& state) {
    const std::string& path = fileFor(state.range(0));
    if (path.empty()) return state.SkipWithError("ffmpeg could not make the media");
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4);
    int64_t frames = 0;
    for (auto _ : state) {
        ffimport::MediaSource source(path);
        if (!source.open(kThreads)) return state.SkipWithError("cannot open");
        for (int64_t n = 0; n < source.facts().video.frames; ++n) {
            // Bottom-up like the library's buffers.
            source.readVideo(n, kWidth, kHeight, frame.data() + size_t(kWidth) * 4 * (kHeight - 1),
                             -int64_t(kWidth) * 4);
            ++frames;
        }
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(frames);
}

void FfmpegSequential(benchmark::State& state) {
    const std::string& path = fileFor(state.range(0));
    if (path.empty()) return state.SkipWithError("ffmpeg could not make the media");
    const std::string cmd = "ffmpeg -nostdin -v error -threads " + std::to_string(kThreads) +
                            " -i '" + path + "' -f rawvideo -pix_fmt bgra - > /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
    state.SetItemsProcessed(int64_t(state.iterations()) * 50);
}

void ReaderRandomSeek(benchmark::State& state) {
    const std::string& path = media().h264;
    if (path.empty()) return state.SkipWithError("ffmpeg could not make the media");
    ffimport::MediaSource source(path);
    if (!source.open(kThreads)) return state.SkipWithError("cannot open");
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4);
    std::mt19937 rng(27);
    std::uniform_int_distribution<int64_t> pick(0, source.facts().video.frames - 1);
    for (auto _ : state) source.readVideo(pick(rng), kWidth, kHeight, frame.data(), kWidth * 4);
    state.SetItemsProcessed(state.iterations());
}

void FfmpegRandomSeek(benchmark::State& state) {
    const std::string& path = media().h264;
    if (path.empty()) return state.SkipWithError("ffmpeg could not make the media");
    std::mt19937 rng(27);
    std::uniform_int_distribution<int32_t> pick(0, 49);
    for (auto _ : state) {
        char at[32];
        std::snprintf(at, sizeof at, "%.3f", pick(rng) / 25.0);
        const std::string cmd = "ffmpeg -nostdin -v error -threads " + std::to_string(kThreads) +
                                " -ss " + at + " -i '" + path +
                                "' -frames:v 1 -f rawvideo -pix_fmt bgra - > /dev/null";
        if (std::system(cmd.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
    }
    state.SetItemsProcessed(state.iterations());
}

// Argument 0: H.264, 1: FFV1.
BENCHMARK(ReaderSequential)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(FfmpegSequential)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ReaderRandomSeek)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(FfmpegRandomSeek)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
#endif

BENCHMARK_MAIN();
