// Processor pool round trips and banded fills, against OpenMP when it is
// available; ppixFillRect against memset of the same bytes. The banded
// figures measure the whole process's processor time beside the wall time,
// so a pool that spins never looks free.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "reelcore/ppix.h"

#ifdef REEL_BENCH_OPENMP
#include <omp.h>
#endif

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// Starts the library with a pool of `cpus` processors (through the settings
// file, as the executable would).
void startWith(int cpus) {
    static std::string path;
    TerminateMP();
    SetupGlobals();
    InitMemoryMgr();
    if (path.empty()) path = "/tmp/reel_bench_pool_" + std::to_string(getpid()) + ".ini";
    if (FILE* f = std::fopen(path.c_str(), "w")) {
        std::fprintf(f, "[override]\nNumCPUs=%d\n", cpus);
        std::fclose(f);
    }
    SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(path.c_str()));
    InitMP();
    std::remove(path.c_str());  // read once at start-up; leave nothing behind
}

void noop(void* block) {
    benchmark::DoNotOptimize(block);
}

void BM_PoolForkJoinEmpty(benchmark::State& state) {
    startWith(2);
    int blocks[2] = {0, 0};
    for (auto _ : state) {
        int32_t c = FmLockMP(2);
        FmExecuteMP(c, noop, blocks, sizeof(int));
    }
    state.counters["processors"] = static_cast<double>(GetAGlobal(kSlotProcessorCount));
    TerminateMP();
}
BENCHMARK(BM_PoolForkJoinEmpty)->UseRealTime()->MeasureProcessCPUTime();

// One band of rows of a 1920 x 1080 32-bit picture: every band job of the
// pool, of OpenMP and of the serial loop runs this same fill.
struct Band {
    uint32_t* pixels;
    int32_t first, count;
    uint32_t value;
};

void fillBand(void* block) {
    const Band* b = static_cast<const Band*>(block);
    std::fill_n(b->pixels + static_cast<size_t>(b->first) * kWidth,
                static_cast<size_t>(b->count) * kWidth, b->value);
}

void BM_FillSerial(benchmark::State& state) {
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    uint32_t v = 0;
    for (auto _ : state) {
        Band whole{pixels.data(), 0, kHeight, ++v};
        fillBand(&whole);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
}
BENCHMARK(BM_FillSerial)->UseRealTime()->MeasureProcessCPUTime();

void BM_FillPoolTwoBands(benchmark::State& state) {
    startWith(2);
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    uint32_t v = 0;
    for (auto _ : state) {
        ++v;
        Band bands[2] = {{pixels.data(), 0, kHeight / 2, v},
                         {pixels.data(), kHeight / 2, kHeight - kHeight / 2, v}};
        const int32_t granted = FmLockMP(2);
        FmExecuteMP(2, fillBand, bands, sizeof(Band));
        if (granted < 2) state.SkipWithError("the pool granted one processor");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
    TerminateMP();
}
BENCHMARK(BM_FillPoolTwoBands)->UseRealTime()->MeasureProcessCPUTime();

#ifdef REEL_BENCH_OPENMP
// OMP_WAIT_POLICY (active: workers spin; passive: they sleep at once) is read
// when the process starts; tools/run.sh bench runs these both ways.
void BM_OmpForkJoinEmpty(benchmark::State& state) {
    int blocks[2] = {0, 0};
    for (auto _ : state) {
#pragma omp parallel for num_threads(2)
        for (int i = 0; i < 2; ++i) noop(&blocks[i]);
    }
}
BENCHMARK(BM_OmpForkJoinEmpty)->UseRealTime()->MeasureProcessCPUTime();

void BM_FillOmpTwoBands(benchmark::State& state) {
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    uint32_t v = 0;
    for (auto _ : state) {
        ++v;
#pragma omp parallel for num_threads(2) schedule(static)
        for (int band = 0; band < 2; ++band) {
            Band b{pixels.data(), band * (kHeight / 2), kHeight / 2, v};
            fillBand(&b);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
}
BENCHMARK(BM_FillOmpTwoBands)->UseRealTime()->MeasureProcessCPUTime();
#endif

// ppixFillRect of a whole 32-bit buffer against memset of the same bytes.
const int32_t kFillSizes[][2] = {{720, 480}, {1920, 1080}, {3840, 2160}};

void BM_PpixFillRect(benchmark::State& state) {
    SetupGlobals();
    InitMemoryMgr();
    const int32_t w = kFillSizes[state.range(0)][0], h = kFillSizes[state.range(0)][1];
    FmRect bounds{0, 0, w, h};
    PPixHand pix = ppixNew(&bounds);
    uint32_t colour = 0;
    for (auto _ : state) {
        ppixFillRect(pix, nullptr, ++colour);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{w} * h * 4);
    ppixDispose(pix);
}
BENCHMARK(BM_PpixFillRect)->DenseRange(0, 2)->ArgName("size");

void BM_Memset(benchmark::State& state) {
    const int32_t w = kFillSizes[state.range(0)][0], h = kFillSizes[state.range(0)][1];
    const size_t bytes = size_t(w) * h * 4;
    auto* block = static_cast<char*>(std::aligned_alloc(64, bytes));
    int value = 0;
    for (auto _ : state) {
        std::memset(block, ++value & 0xFF, bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
    std::free(block);
}
BENCHMARK(BM_Memset)->DenseRange(0, 2)->ArgName("size");

}  // namespace

BENCHMARK_MAIN();
