// Runtime spine benchmarks, each beside the system peer doing the same work.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace {

// Sizes 16 B to 8 KB, the same sequence for both sides.
std::vector<uint32_t> churnSizes(size_t n) {
    std::mt19937 rng(42);
    std::vector<uint32_t> sizes(n);
    for (auto& s : sizes) s = 16u << (rng() % 10);
    return sizes;
}

// Keep `live` blocks alive; each iteration replaces one at random.
void BM_HandleChurn(benchmark::State& state) {
    InitMemoryMgr();
    const size_t live = size_t(state.range(0));
    auto sizes = churnSizes(live * 4);
    std::vector<Handle> hs(live);
    for (size_t i = 0; i < live; ++i) hs[i] = NewHandle(sizes[i]);
    std::mt19937 rng(7);
    size_t k = 0;
    for (auto _ : state) {
        size_t i = rng() % live;
        DisposeHandle(hs[i]);
        uint32_t size = sizes[k++ % sizes.size()];
        Handle h = NewHandle(size);
        (*h)[0] = 1;
        (*h)[size - 1] = 2;
        hs[i] = h;
    }
    for (Handle h : hs) DisposeHandle(h);
}
BENCHMARK(BM_HandleChurn)->Arg(1000)->Arg(100000);

void BM_MallocChurn(benchmark::State& state) {
    const size_t live = size_t(state.range(0));
    auto sizes = churnSizes(live * 4);
    std::vector<char*> ps(live);
    for (size_t i = 0; i < live; ++i) ps[i] = static_cast<char*>(std::malloc(sizes[i]));
    std::mt19937 rng(7);
    size_t k = 0;
    for (auto _ : state) {
        size_t i = rng() % live;
        std::free(ps[i]);
        uint32_t size = sizes[k++ % sizes.size()];
        char* p = static_cast<char*>(std::malloc(size));
        p[0] = 1;
        p[size - 1] = 2;
        benchmark::DoNotOptimize(p);
        ps[i] = p;
    }
    for (char* p : ps) std::free(p);
}
BENCHMARK(BM_MallocChurn)->Arg(1000)->Arg(100000);

// Small handle blocks are always zero-filled; calloc gives the same promise.
void BM_CallocChurn(benchmark::State& state) {
    const size_t live = size_t(state.range(0));
    auto sizes = churnSizes(live * 4);
    std::vector<char*> ps(live);
    for (size_t i = 0; i < live; ++i) ps[i] = static_cast<char*>(std::calloc(1, sizes[i]));
    std::mt19937 rng(7);
    size_t k = 0;
    for (auto _ : state) {
        size_t i = rng() % live;
        std::free(ps[i]);
        uint32_t size = sizes[k++ % sizes.size()];
        char* p = static_cast<char*>(std::calloc(1, size));
        p[0] = 1;
        p[size - 1] = 2;
        benchmark::DoNotOptimize(p);
        ps[i] = p;
    }
    for (char* p : ps) std::free(p);
}
BENCHMARK(BM_CallocChurn)->Arg(1000)->Arg(100000);

// Grow one block by 16 bytes 100,000 times.
void BM_SetHandleSizeGrowth(benchmark::State& state) {
    for (auto _ : state) {
        Handle h = NewHandle(16);
        for (uint32_t n = 32; n <= 16u * 100000; n += 16) SetHandleSize(h, n);
        benchmark::DoNotOptimize(*h);
        DisposeHandle(h);
    }
}
BENCHMARK(BM_SetHandleSizeGrowth)->Unit(benchmark::kMillisecond);

void BM_ReallocGrowth(benchmark::State& state) {
    for (auto _ : state) {
        void* p = std::malloc(16);
        for (size_t n = 32; n <= 16u * 100000; n += 16) p = std::realloc(p, n);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}
BENCHMARK(BM_ReallocGrowth)->Unit(benchmark::kMillisecond);

// Frames in an LRU-like pattern: a ring of 8 live frames, the oldest freed
// for each new one; every page of a new frame is touched.
void touchPages(char* p, size_t n) {
    for (size_t i = 0; i < n; i += 4096) p[i] = char(i);
}

void BM_FramePoolFrames(benchmark::State& state) {
    const uint32_t frame = uint32_t(state.range(0));
    InitFMem(frame * 10 + (1u << 20));
    std::vector<FBlock> ring(8, nullptr);
    size_t k = 0;
    for (auto _ : state) {
        FBlock& slot = ring[k++ % ring.size()];
        if (slot) DisposeFBlock(slot);
        slot = NewFBlock(frame);
        touchPages(slot->address, frame);
    }
    for (FBlock b : ring)
        if (b) DisposeFBlock(b);
    KillFMem();
}
BENCHMARK(BM_FramePoolFrames)->Arg(720 * 480 * 4)->Arg(1920 * 1080 * 4);

void BM_MallocFrames(benchmark::State& state) {
    const size_t frame = size_t(state.range(0));
    std::vector<char*> ring(8, nullptr);
    size_t k = 0;
    for (auto _ : state) {
        char*& slot = ring[k++ % ring.size()];
        std::free(slot);
        slot = static_cast<char*>(std::malloc(frame));
        touchPages(slot, frame);
    }
    for (char* p : ring) std::free(p);
}
BENCHMARK(BM_MallocFrames)->Arg(720 * 480 * 4)->Arg(1920 * 1080 * 4);

// Sequential 64 KB reads of a 64 MB file, through FSRead and through read(2).
std::string benchFile() {
    static std::string path;
    if (path.empty()) {
        path = "/tmp/reelcore_bench_read.bin";
        std::vector<char> chunk(1 << 20, 'r');
        int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        for (int i = 0; i < 64; ++i)
            if (::write(fd, chunk.data(), chunk.size()) < 0) break;
        ::close(fd);
    }
    return path;
}

void BM_FSReadSequential(benchmark::State& state) {
    SetupGlobals();
    std::string path = benchFile();
    std::vector<char> buf(65536);
    FileRef ref = -1;
    HOpen(0, 0, path.c_str(), fsRdPerm, &ref);
    for (auto _ : state) {
        int32_t n = int32_t(buf.size());
        if (FSRead(ref, &n, buf.data()) == eofErr) SetFPos(ref, fsFromStart, 0);
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 65536);
    FSClose(ref);
}
BENCHMARK(BM_FSReadSequential);

void BM_RawReadSequential(benchmark::State& state) {
    std::string path = benchFile();
    std::vector<char> buf(65536);
    int fd = ::open(path.c_str(), O_RDONLY);
    for (auto _ : state) {
        if (::read(fd, buf.data(), buf.size()) == 0) ::lseek(fd, 0, SEEK_SET);
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 65536);
    ::close(fd);
}
BENCHMARK(BM_RawReadSequential);

}  // namespace

BENCHMARK_MAIN();
