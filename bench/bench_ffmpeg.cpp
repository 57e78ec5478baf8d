// Everyday media through the library as a host reads it: the FFmpeg importer
// module registered by AddPlugins, the file added to the file table, and
// frames asked for with GetVideo into a 32-bit pixel world. The peer is the
// ffmpeg command doing the same work with the same decoder threads:
//   - sequential decode of 1080p H.264 and FFV1 into BGRA; ffmpeg's time per
//     frame leaves out its start-up (a short and a long run of the same
//     file, the difference divided by the extra frames);
//   - random access: the same seeded list of frames, one GetVideo each
//     against `ffmpeg -ss T -accurate_seek -i IN -frames:v 1` each.
// Compare items_per_second (sequential) and median_ms (seeks) of each pair
// from the same run.
#include <benchmark/benchmark.h>

#ifdef REEL_BENCH_FFIMPORT
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "reelcore/plugins.h"
#include "reelcore/pworld.h"

namespace {

constexpr int32_t kThreads = 2;
constexpr int32_t kWidth = 1920, kHeight = 1080, kRate = 25;
constexpr int32_t kH264Frames = 100, kFfv1Frames = 50;
constexpr int32_t kShortRun = 10;  // frames of ffmpeg's short run
constexpr int32_t kSeeksPerPass = 12;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// The library started as a host starts it, with the importer modules of the
// build registered from their folder.
struct Library {
    bool ready = false;
    Library() {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 200);
        if (InitFMem(256u << 20) != 0 || InitFrameQueue() != 0 || pwInit() != 0) return;
        InitFileQueue();
        InitClipQueue();
        // The importer decodes on as many threads as the processor pool has.
        SetAGlobal(kSlotProcessorCount, kThreads);
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(REEL_FFMPEG_DIR));
        AddPlugins();
        SetAGlobal(kSlotPluginFolder, 0);
        ready = true;
    }
};

struct Media {
    std::string dir, h264, ffv1;
    Media() {
        char tmpl[] = "/tmp/reelbenchffXXXXXX";
        if (!mkdtemp(tmpl)) return;
        dir = tmpl;
        h264 = dir + "/h264.mp4";
        ffv1 = dir + "/ffv1.mkv";
        const std::string src = "-f lavfi -i testsrc2=s=1920x1080:r=" + std::to_string(kRate);
        // One-second groups of pictures with B-frames, as cameras and phones write.
        const std::string cmd = "ffmpeg -nostdin -v error -y " + src + " -frames:v " +
                                std::to_string(kH264Frames) +
                                " -pix_fmt yuv420p -c:v libx264 -preset veryfast -g 25 -bf 3 '" +
                                h264 + "' && ffmpeg -nostdin -v error -y " + src + " -frames:v " +
                                std::to_string(kFfv1Frames) +
                                " -pix_fmt yuv420p -c:v ffv1 -level 3 -slices 4 '" + ffv1 + "'";
        if (std::system(cmd.c_str()) != 0) h264.clear(), ffv1.clear();
    }
    ~Media() {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
};

Library& library() {
    static Library l;
    return l;
}

Media& media() {
    static Media m;
    return m;
}

// Argument 0: H.264, 1: FFV1.
const std::string& fileFor(int64_t which) {
    return which == 0 ? media().h264 : media().ffv1;
}
int32_t framesFor(int64_t which) {
    return which == 0 ? kH264Frames : kFfv1Frames;
}

// A file open in the file table and a world of its size.
struct OpenFile {
    int16_t id = 0;
    FmMediaInfo info{};
    PWorld world = 0;
    FmRect bounds{0, 0, kWidth, kHeight};
    explicit OpenFile(const std::string& path) {
        if (!library().ready) return;
        id = AddFile(path.c_str(), 0, 0, 0);
        if (id <= 0 || GetInfo(id, &info, 1) != 0 || NewPWorld(&world, &bounds) != 0) id = 0;
    }
    ~OpenFile() {
        if (world) DisposePWorld(world);
        if (id > 0) FileCancel(id);
    }
    int32_t frames() const { return info.video.samp > 0 ? info.video.value / info.video.samp : 0; }
    OSErr read(int32_t n) const {
        const TDB t{n * info.video.samp, info.video.scale, info.video.samp};
        return GetVideo(&t, id, world, &bounds, 32, 0);
    }
};

std::string ffmpegDecode(const std::string& path, const std::string& before,
                         const std::string& after) {
    return "ffmpeg -nostdin -v error -threads " + std::to_string(kThreads) + " " + before +
           " -i '" + path + "' " + after + " -f rawvideo -pix_fmt bgra - > /dev/null";
}

// The same frames for both sides of a random-access pair.
std::vector<int32_t> seekList(int32_t frames) {
    std::mt19937 rng(27);
    std::uniform_int_distribution<int32_t> pick(0, frames - 1);
    std::vector<int32_t> list(kSeeksPerPass);
    for (int32_t& n : list) n = pick(rng);
    return list;
}

void BM_GetVideoSequential(benchmark::State& state) {
    const std::string& path = fileFor(state.range(0));
    if (path.empty()) return state.SkipWithError("ffmpeg could not make the media");
    int64_t frames = 0;
    for (auto _ : state) {
        OpenFile file(path);
        if (!file.id) return state.SkipWithError("the importer could not open the file");
        // Frames only: adding and describing the file is its start-up.
        const auto start = Clock::now();
        for (int32_t n = 0; n < file.frames(); ++n)
            if (file.read(n) != 0) return state.SkipWithError("a frame could not be read");
        state.SetIterationTime(secondsSince(start));
        frames += file.frames();
    }
    state.SetItemsProcessed(frames);
}

void BM_FfmpegSequential(benchmark::State& state) {
    const std::string& path = fileFor(state.range(0));
    if (path.empty()) return state.SkipWithError("ffmpeg could not make the media");
    const int32_t all = framesFor(state.range(0));
    const std::string shortRun = ffmpegDecode(path, "", "-frames:v " + std::to_string(kShortRun));
    const std::string longRun = ffmpegDecode(path, "", "");
    for (auto _ : state) {
        auto start = Clock::now();
        if (std::system(shortRun.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
        const double shortTime = secondsSince(start);
        start = Clock::now();
        if (std::system(longRun.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
        state.SetIterationTime(std::max(1e-6, secondsSince(start) - shortTime));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * (all - kShortRun));
}

void BM_GetVideoRandomSeek(benchmark::State& state) {
    const std::string& path = fileFor(state.range(0));
    if (path.empty()) return state.SkipWithError("ffmpeg could not make the media");
    OpenFile file(path);
    if (!file.id) return state.SkipWithError("the importer could not open the file");
    const std::vector<int32_t> list = seekList(file.frames());
    std::vector<double> times;
    for (auto _ : state) {
        double pass = 0;
        for (int32_t n : list) {
            const auto start = Clock::now();
            if (file.read(n) != 0) return state.SkipWithError("a frame could not be read");
            times.push_back(secondsSince(start));
            pass += times.back();
        }
        state.SetIterationTime(pass);
    }
    state.SetItemsProcessed(int64_t(times.size()));
    state.counters["median_ms"] = median(times) * 1e3;
}

void BM_FfmpegRandomSeek(benchmark::State& state) {
    const std::string& path = fileFor(state.range(0));
    if (path.empty()) return state.SkipWithError("ffmpeg could not make the media");
    const std::vector<int32_t> list = seekList(framesFor(state.range(0)));
    std::vector<double> times, startups;
    // Its start-up alone: the first frame, no seek.
    const std::string first = ffmpegDecode(path, "", "-frames:v 1");
    for (auto _ : state) {
        double pass = 0;
        for (int32_t n : list) {
            char at[32];
            std::snprintf(at, sizeof at, "%.6f", double(n) / kRate);
            const std::string cmd =
                ffmpegDecode(path, std::string("-ss ") + at + " -accurate_seek", "-frames:v 1");
            const auto start = Clock::now();
            if (std::system(cmd.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
            times.push_back(secondsSince(start));
            pass += times.back();
        }
        state.SetIterationTime(pass);
        const auto start = Clock::now();
        if (std::system(first.c_str()) != 0) return state.SkipWithError("ffmpeg failed");
        startups.push_back(secondsSince(start));
    }
    state.SetItemsProcessed(int64_t(times.size()));
    state.counters["median_ms"] = median(times) * 1e3;
    state.counters["startup_ms"] = median(startups) * 1e3;
}

BENCHMARK(BM_GetVideoSequential)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FfmpegSequential)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_GetVideoRandomSeek)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FfmpegRandomSeek)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
#endif

BENCHMARK_MAIN();
