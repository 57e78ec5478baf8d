// Processor pool round trips and banded fills, against OpenMP when it is
// available; ppixFillRect against memset of the same bytes.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pixels/ppix_internal.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "reelcore/ppix.h"
#include "timeline/mp_bands.h"

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
BENCHMARK(BM_PoolForkJoinEmpty)->UseRealTime();

// Fills rows [first, first + count) of a 1920 x 1080 32-bit picture.
void fillRows(uint32_t* pixels, int32_t first, int32_t count, uint32_t value) {
    rc::pixels::fillWords(pixels + static_cast<size_t>(first) * kWidth,
                          static_cast<size_t>(count) * kWidth, value);
}

void BM_FillSerial(benchmark::State& state) {
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    uint32_t v = 0;
    for (auto _ : state) {
        fillRows(pixels.data(), 0, kHeight, ++v);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
}
BENCHMARK(BM_FillSerial)->UseRealTime();

void BM_FillPoolTwoBands(benchmark::State& state) {
    startWith(2);
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    uint32_t v = 0;
    for (auto _ : state) {
        ++v;
        rc::mp::runRowBands(kHeight, kMPMinSplitRows, [&](int32_t first, int32_t count) {
            fillRows(pixels.data(), first, count, v);
        });
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
    TerminateMP();
}
BENCHMARK(BM_FillPoolTwoBands)->UseRealTime();

#ifdef REEL_BENCH_OPENMP
void BM_OmpForkJoinEmpty(benchmark::State& state) {
    int blocks[2] = {0, 0};
    for (auto _ : state) {
#pragma omp parallel for num_threads(2)
        for (int i = 0; i < 2; ++i) noop(&blocks[i]);
    }
}
BENCHMARK(BM_OmpForkJoinEmpty)->UseRealTime();

void BM_FillOmpTwoBands(benchmark::State& state) {
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    uint32_t v = 0;
    for (auto _ : state) {
        ++v;
#pragma omp parallel for num_threads(2) schedule(static)
        for (int band = 0; band < 2; ++band)
            fillRows(pixels.data(), band * (kHeight / 2), kHeight / 2, v);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
}
BENCHMARK(BM_FillOmpTwoBands)->UseRealTime();
#endif

void BM_PpixFillRect1080(benchmark::State& state) {
    SetupGlobals();
    InitMemoryMgr();
    FmRect bounds{0, 0, kWidth, kHeight};
    PPixHand pix = ppixNew(&bounds);
    uint32_t colour = 0;
    for (auto _ : state) {
        ppixFillRect(pix, nullptr, ++colour);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 4);
    ppixDispose(pix);
}
BENCHMARK(BM_PpixFillRect1080);

void BM_Memset1080(benchmark::State& state) {
    const size_t bytes = size_t{kWidth} * kHeight * 4;
    auto* block = static_cast<char*>(std::aligned_alloc(64, bytes));
    int value = 0;
    for (auto _ : state) {
        std::memset(block, ++value & 0xFF, bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
    std::free(block);
}
BENCHMARK(BM_Memset1080);

}  // namespace

BENCHMARK_MAIN();
