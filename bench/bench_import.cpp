// Frames and sound through media access with the synthetic importer: a
// frame cache hit beside memcpy of the same frame (its peer), a miss, and a
// second of sound with and without resampling.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "plugins/importer_host.h"
#include "plugins/type_tables.h"
#include "reelcore/clips.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"

#define RC_SYNTH_ENTRY benchSynthEntry
#include "plugins/samples/synth/synth_importer.cpp"

namespace {

constexpr OSType kSynt = 0x53594E54;  // 'SYNT'

struct Setup {
    std::string dir;
    Setup() {
        SetupGlobals();
        InitMemoryMgr();
        InitFMem(256u << 20);
        InitFrameQueue();
        pwInit();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        rc::plugins::ensureTypeTables();
        FmAddBuiltinImporter(kSynt, benchSynthEntry);
        Add1XREF(kSynt, kSynt, kSynt, 0);
        char tmpl[] = "/tmp/reelbenchXXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    }
    int16_t file(const std::string& name, const std::string& text) {
        const std::string p = dir + "/" + name;
        if (FILE* f = std::fopen(p.c_str(), "wb")) {
            std::fputs(text.c_str(), f);
            std::fclose(f);
        }
        const int16_t id = AddFile(p.c_str(), 0, 0, kSynt);
        FmMediaInfo info{};
        GetInfo(id, &info, 0);
        return id;
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

int16_t discFile(int32_t w, int32_t h) {
    return setup().file("disc" + std::to_string(w) + ".synth",
                        "kind disc\nwidth " + std::to_string(w) + "\nheight " + std::to_string(h) +
                            "\nrate 25\nframes 250\n");
}

PWorld worldOf(int32_t w, int32_t h) {
    PWorld id = 0;
    const FmRect b{0, 0, w, h};
    NewPWorld(&id, &b);
    return id;
}

void BM_GetVideoCacheHit(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    const int16_t id = discFile(w, h);
    const PWorld world = worldOf(w, h);
    const FmRect r{0, 0, w, h};
    const TDB t{10, 25, 1};
    GetVideo(&t, id, world, &r, 32 | kVideoUseCache, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(GetVideo(&t, id, world, &r, 32 | kVideoUseCache, 0));
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 4);
    DisposePWorld(world);
}

// The peer: one copy of the same frame.
void BM_MemcpyFrame(benchmark::State& state) {
    const size_t n = size_t(state.range(0)) * size_t(state.range(1)) * 4;
    std::vector<uint8_t> a(n, 1), b(n);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

void BM_GetVideoCacheMiss(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    const int16_t id = discFile(w, h);
    const PWorld world = worldOf(w, h);
    const FmRect r{0, 0, w, h};
    int32_t frame = 0;
    for (auto _ : state) {
        const TDB t{frame++ % 250, 25, 1};
        benchmark::DoNotOptimize(GetVideo(&t, id, world, &r, 32, 0));
    }
    DisposePWorld(world);
}

void BM_GetAudioSec(benchmark::State& state) {
    const bool resample = state.range(0) != 0;
    const int16_t id = setup().file(
        "tone.synth", "kind tone\nfrequency 440\nsamplerate 48000\nchannels 2\nseconds 10\n");
    SetAGlobal(kSlotResamplerOn, resample ? 1 : 0);
    const int32_t rate = resample ? 44100 : 48000;
    std::vector<uint8_t> out(size_t(rate) * 4);
    int32_t second = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(GetAudioSec(second++ % 10, id, out.data(), 0x300, rate, 100));
    SetAGlobal(kSlotResamplerOn, 0);
}

}  // namespace

BENCHMARK(BM_GetVideoCacheHit)->Args({720, 480})->Args({1920, 1080});
BENCHMARK(BM_MemcpyFrame)->Args({720, 480})->Args({1920, 1080});
BENCHMARK(BM_GetVideoCacheMiss)->Args({720, 480})->Args({1920, 1080});
BENCHMARK(BM_GetAudioSec)->Arg(0)->Arg(1);
BENCHMARK_MAIN();
