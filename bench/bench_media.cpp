// The file and clip tables at project scale: 10,000 files and 100,000 clips.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace {

constexpr int kFiles = 10000;
constexpr int kClipsPerFile = 10;
const TDB k30{0, 30, 1};

std::string filePath(int i) {
    return "/projects/big/media/reel" + std::to_string(i / 100) + "/shot" + std::to_string(i) +
           ".avi";
}

// Registers the files and cuts a master clip and nine subclips from each.
void loadProject() {
    InitFileQueue();
    InitClipQueue();
    for (int i = 0; i < kFiles; ++i) {
        int16_t f = AddFile(filePath(i).c_str(), 0, 0, 0);
        FmFileRecord* r = rc::media::findFileRec(f);
        r->info.mediaFlags = kClipVideo;
        r->info.video = {9000, 30, 1};
        int32_t master = NewClip(f, &k30, kClipVideo);
        for (int s = 1; s < kClipsPerFile; ++s) {
            SetClipMarkIn(master, s * 100, nullptr, 1);
            SetClipMarkOut(master, s * 100 + 50, nullptr, 1);
            MakeSubClip(master, nullptr, kClipVideo);
        }
    }
}

void unloadProject() {
    rc::media::disposeClipTable();
    rc::media::disposeFileTable();
}

struct Project {
    Project() {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 1000);
        loadProject();
    }
};

Project& project() {
    static Project p;
    return p;
}

void BM_LoadProjectTables(benchmark::State& state) {
    project();
    for (auto _ : state) {
        state.PauseTiming();
        unloadProject();
        state.ResumeTiming();
        loadProject();
    }
    state.counters["clips"] = kFiles * kClipsPerFile;
}
BENCHMARK(BM_LoadProjectTables)->Unit(benchmark::kMillisecond);

void BM_AddFSSpecExisting(benchmark::State& state) {
    project();
    std::vector<std::string> paths;
    for (int i = 0; i < 1024; ++i) paths.push_back(filePath(i * 9 % kFiles));
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(AddFile(paths[i++ & 1023].c_str(), 0, 0, 0));
}
BENCHMARK(BM_AddFSSpecExisting);

void BM_FindClip(benchmark::State& state) {
    project();
    std::mt19937 rng(1);
    std::vector<int32_t> ids(4096);
    for (auto& id : ids) id = int32_t(1 + rng() % (kFiles * kClipsPerFile));
    size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(FindClip(ids[i++ & 4095]));
}
BENCHMARK(BM_FindClip);

void BM_GetFileMasterClip(benchmark::State& state) {
    project();
    int16_t f = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetFileMasterClip(f));
        f = int16_t(f % kFiles + 1);
    }
}
BENCHMARK(BM_GetFileMasterClip);

void BM_MarkerLookups(benchmark::State& state) {
    project();
    int32_t c = 5;
    for (int m = 0; m < 40; ++m) FmSetClipMarker(c, 255, 60 * m + 7, nullptr);
    int32_t t = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FmNextClipMarker(c, t, &k30));
        benchmark::DoNotOptimize(FmPreviousClipMarker(c, t, &k30));
        benchmark::DoNotOptimize(FmFindClipMarker(c, t, &k30));
        t = (t + 37) % 2400;
    }
}
BENCHMARK(BM_MarkerLookups);

void BM_CloseUpAll(benchmark::State& state) {
    project();
    for (auto _ : state) {
        rc::media::fileTable()->allIdleClosed = 0;
        benchmark::DoNotOptimize(CloseUp(0));
    }
}
BENCHMARK(BM_CloseUpAll)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
