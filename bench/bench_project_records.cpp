// Saving and loading the media groups of a large project: 10,000 files and
// 50,000 clips with markers and titles (the files are not on disk, so a load
// keeps them offline). The peers are the ceilings of the same text: memcpy of
// it (no writer can do less) and one pass that looks at every byte (no reader
// can do less). Save and load must grow linearly with the clips: the /1 and
// /5 arguments are a fifth and the whole project.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "project/stream_internal.h"
#include "reelcore/clips.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/project_records.h"

namespace {

constexpr int kFiles = 10000;
constexpr int kClipsPerFile = 5;

void freshTables() {
    rc::media::disposeClipTable();
    rc::media::disposeFileTable();
    InitFileQueue();
    InitClipQueue();
}

// A project of `files` files and five clips of each; the clip list.
Handle buildProject(int files) {
    static bool ready = false;
    if (!ready) {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 100);
        ready = true;
    }
    freshTables();
    Handle clips = FmNewHandle(0);
    const TDB tb{0, 30, 1};
    for (int f = 0; f < files; ++f) {
        char path[64];
        std::snprintf(path, sizeof path, "/nonexistent/reel/f%05d.avi", f);
        const int16_t id = AddFile(path, 0, 0, 0);
        if (FmFileRecord* r = rc::media::findFileRec(id)) {
            r->info.mediaFlags = 1;
            r->info.video = TDB{9000, 30, 1};
        }
        for (int c = 0; c < kClipsPerFile; ++c) {
            int32_t times[kClipFixedMarkers];
            for (int32_t& t : times) t = -1;
            times[0] = c * 100;
            times[1] = c * 100 + 99;
            times[2] = c * 100 + 10;
            times[5] = c * 100 + 50;
            const int32_t clip = AddClip(id, times, &tb, kClipVideo);
            char title[32];
            std::snprintf(title, sizeof title, "Take %d/%d", f, c);
            SetClipTitle(clip, title);
            FmSetClipMarker(clip, kClipInsertMarker, c * 100 + 70, nullptr);
            AddToClipList(clips, clip);
        }
    }
    return clips;
}

std::string saveText(Handle clips) {
    const int32_t room = 256 << 20;
    Ptr block = FmNewPtr(room);
    std::string text;
    ProjBufHand out = CreateProjBufHandMemory(block, room, kProjModeWrite);
    Handle files = FmNewHandle(0);
    FmProjHeader header{0x524C504A, kProjCurrentVersion, 0, kProjPlatformOwn};
    OSErr err = WriteProjHeader(out, &header);
    if (!err) err = SaveClips(out, clips, files);
    if (!err) err = SaveFiles(out, files);
    if (!err) err = SaveClipTitles(out, clips);
    if (!err) err = SaveClipMarkers(out, clips);
    if (!err) {
        ProjBufRecord* r = reinterpret_cast<ProjBufRecord*>(*out);
        text.assign(r->buffer, r->cursor);
    }
    FmDisposeHandle(files);
    DiscardProjBufHand(out);
    FmDisposePtr(block);
    return text;
}

struct Project {
    Handle clips = nullptr;
    std::string text;
};
const Project& project(int fifths) {
    static Project made[6];
    Project& p = made[fifths];
    if (p.text.empty()) {
        p.clips = buildProject(kFiles * fifths / 5);
        p.text = saveText(p.clips);
    }
    return p;
}

void BM_SaveProjectRecords(benchmark::State& state) {
    Handle clips = buildProject(kFiles * int(state.range(0)) / 5);
    size_t bytes = 0;
    for (auto _ : state) {
        std::string text = saveText(clips);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["clips"] = double(FmGetHandleSize(clips) / 4);
    state.SetBytesProcessed(int64_t(bytes) * state.iterations());
    FmDisposeHandle(clips);
}

void BM_LoadProjectRecords(benchmark::State& state) {
    const Project& p = project(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        freshTables();
        Handle fileMap = FmNewHandle(0), clipMap = FmNewHandle(0);
        state.ResumeTiming();
        rc::project::MemorySource source{reinterpret_cast<const uint8_t*>(p.text.data()),
                                         int32_t(p.text.size())};
        ProjBufHand in = rc::project::createSourceStream(&source, kProjBufSize);
        const TDB base{0, 30, 1};
        LoadFiles(in, fileMap, 0, 0, kProjCurrentVersion);
        LoadClips(in, clipMap, fileMap, &base, kProjCurrentVersion);
        LoadClipTitles(in, clipMap);
        LoadClipMarkers(in, clipMap);
        CloseProjBufHand(in);
        state.PauseTiming();
        if (FmGetHandleSize(clipMap) / 8 != FmGetHandleSize(p.clips) / 4)
            state.SkipWithError("not every clip loaded");
        FmDisposeHandle(fileMap);
        FmDisposeHandle(clipMap);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(p.text.size()) * state.iterations());
}

// Peers: the least a writer and a reader of this text can do.
void BM_PeerCopyText(benchmark::State& state) {
    const Project& p = project(int(state.range(0)));
    std::vector<char> out(p.text.size());
    for (auto _ : state) {
        std::memcpy(out.data(), p.text.data(), p.text.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(p.text.size()) * state.iterations());
}

void BM_PeerScanText(benchmark::State& state) {
    const Project& p = project(int(state.range(0)));
    for (auto _ : state) {
        size_t lines = 0;
        for (char c : p.text) lines += c == '\n';
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(p.text.size()) * state.iterations());
}

BENCHMARK(BM_SaveProjectRecords)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadProjectRecords)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerCopyText)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerScanText)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
