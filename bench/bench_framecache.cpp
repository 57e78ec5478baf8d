// Frame cache benchmarks: lookups beside a std::unordered_map-plus-list LRU
// of the same capacity, adding frames with block reuse beside malloc+memcpy,
// and eviction under pool pressure.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <list>
#include <random>
#include <unordered_map>
#include <vector>

#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"

namespace {

constexpr int32_t kThumb = 8;  // 8 x 8 frames keep 10,000 entries small

// A fresh pool and cache of `poolBytes`.
void startCache(uint32_t poolBytes) {
    if (GetAGlobal(kSlotFrameCacheHead)) KillFrameQueue();
    SetupGlobals();
    InitMemoryMgr();
    KillFMem();
    InitFMem(poolBytes);
    InitFrameQueue();
}

void stopCache() {
    KillFrameQueue();
    KillFMem();
}

PPixHand makeSource(int32_t w, int32_t h) {
    FmRect b{0, 0, w, h};
    PPixHand p = ppixNew(&b);
    if (p) std::memset(reinterpret_cast<PPixRecord*>(*p)->pixels, 0x5A, size_t(w) * h * 4);
    return p;
}

// Frame numbers looked up, spread over the cached ones.
std::vector<int32_t> probeOrder(int32_t count) {
    std::mt19937 rng(99);
    std::vector<int32_t> v(4096);
    for (auto& x : v) x = int32_t(rng() % uint32_t(count));
    return v;
}

void BM_FindFrameHit(benchmark::State& state) {
    const int32_t n = int32_t(state.range(0));
    startCache(64u << 20);
    PPixHand src = makeSource(kThumb, kThumb);
    FmRect r{0, 0, kThumb, kThumb};
    for (int32_t i = 0; i < n; ++i) AddFrame(1 + i % 5, i, &r, 32, src);
    std::vector<int32_t> probes = probeOrder(n);
    size_t k = 0;
    for (auto _ : state) {
        const int32_t f = probes[k++ & 4095];
        benchmark::DoNotOptimize(FindFrame(1 + f % 5, f, &r, 32));
    }
    ppixDispose(src);
    stopCache();
}
BENCHMARK(BM_FindFrameHit)->Arg(10)->Arg(1000)->Arg(10000);

void BM_FindFrameMiss(benchmark::State& state) {
    const int32_t n = int32_t(state.range(0));
    startCache(64u << 20);
    PPixHand src = makeSource(kThumb, kThumb);
    FmRect r{0, 0, kThumb, kThumb};
    for (int32_t i = 0; i < n; ++i) AddFrame(1 + i % 5, i, &r, 32, src);
    std::vector<int32_t> probes = probeOrder(n);
    size_t k = 0;
    for (auto _ : state) {
        const int32_t f = probes[k++ & 4095] + n;  // never cached
        benchmark::DoNotOptimize(FindFrame(1 + f % 5, f, &r, 32));
    }
    ppixDispose(src);
    stopCache();
}
BENCHMARK(BM_FindFrameMiss)->Arg(10)->Arg(1000)->Arg(10000);

// The peer: an LRU of frame keys in a std::list with a std::unordered_map
// from key to list position; a hit moves the key to the front.
struct PeerKey {
    int32_t file, frame, width, height, depth;
    bool operator==(const PeerKey& o) const {
        return file == o.file && frame == o.frame && width == o.width && height == o.height &&
               depth == o.depth;
    }
};
struct PeerHash {
    size_t operator()(const PeerKey& k) const {
        uint64_t h = uint64_t(uint32_t(k.file)) << 32 | uint32_t(k.frame);
        h ^= (uint64_t(uint32_t(k.width)) << 40) ^ (uint64_t(uint32_t(k.height)) << 20) ^
             uint64_t(k.depth);
        return size_t(h * 0x9E3779B97F4A7C15ull >> 16);
    }
};
struct PeerValue {
    std::list<PeerKey>::iterator pos;
    std::vector<uint8_t> pixels;
};
struct PeerLRU {
    std::list<PeerKey> order;
    std::unordered_map<PeerKey, PeerValue, PeerHash> map;
    const PeerValue* find(const PeerKey& k) {
        auto it = map.find(k);
        if (it == map.end()) return nullptr;
        order.splice(order.begin(), order, it->second.pos);
        return &it->second;
    }
};

void fillPeer(PeerLRU& lru, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        PeerKey k{1 + i % 5, i, kThumb, kThumb, 32};
        lru.order.push_front(k);
        lru.map.emplace(k, PeerValue{lru.order.begin(),
                                     std::vector<uint8_t>(size_t(kThumb) * kThumb * 4, 0x5A)});
    }
}

void BM_PeerUnorderedMapLRUHit(benchmark::State& state) {
    const int32_t n = int32_t(state.range(0));
    PeerLRU lru;
    fillPeer(lru, n);
    std::vector<int32_t> probes = probeOrder(n);
    size_t k = 0;
    for (auto _ : state) {
        const int32_t f = probes[k++ & 4095];
        benchmark::DoNotOptimize(lru.find(PeerKey{1 + f % 5, f, kThumb, kThumb, 32}));
    }
}
BENCHMARK(BM_PeerUnorderedMapLRUHit)->Arg(10)->Arg(1000)->Arg(10000);

void BM_PeerUnorderedMapLRUMiss(benchmark::State& state) {
    const int32_t n = int32_t(state.range(0));
    PeerLRU lru;
    fillPeer(lru, n);
    std::vector<int32_t> probes = probeOrder(n);
    size_t k = 0;
    for (auto _ : state) {
        const int32_t f = probes[k++ & 4095] + n;
        benchmark::DoNotOptimize(lru.find(PeerKey{1 + f % 5, f, kThumb, kThumb, 32}));
    }
}
BENCHMARK(BM_PeerUnorderedMapLRUMiss)->Arg(10)->Arg(1000)->Arg(10000);

// Adding a stream of same-sized frames with the kind limit at 2: every add
// takes over the oldest entry's block.
void BM_AddFrameReuse(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    startCache(64u << 20);
    SetAGlobal(kSlotFrameCacheKindLimit, 2);
    PPixHand src = makeSource(w, h);
    FmRect r{0, 0, w, h};
    int32_t frame = 0;
    for (auto _ : state) benchmark::DoNotOptimize(AddFrame(1, frame++, &r, 32, src));
    state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 4);
    ppixDispose(src);
    stopCache();
}
BENCHMARK(BM_AddFrameReuse)->Args({720, 480})->Args({1920, 1080});

// The peer: a plain copy of each frame into fresh memory, dropping the
// oldest of three as a cache of the same depth would.
void BM_PeerMallocMemcpy(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0)) * size_t(state.range(1)) * 4;
    std::vector<uint8_t> src(bytes, 0x5A);
    void* kept[3] = {nullptr, nullptr, nullptr};
    size_t k = 0;
    for (auto _ : state) {
        std::free(kept[k % 3]);
        void* p = std::malloc(bytes);
        std::memcpy(p, src.data(), bytes);
        benchmark::DoNotOptimize(p);
        kept[k++ % 3] = p;
    }
    for (void* p : kept) std::free(p);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_PeerMallocMemcpy)->Args({720, 480})->Args({1920, 1080});

// Seconds of audio of ever-changing sizes into a pool that holds about forty
// of them, so nearly every add evicts through the pool's purge callback.
void BM_EvictionUnderPressure(benchmark::State& state) {
    startCache(8u << 20);
    std::vector<uint8_t> second(200000, 0x11);
    int32_t s = 0;
    for (auto _ : state) {
        const int32_t n = 150000 + (s % 97) * 448;
        benchmark::DoNotOptimize(AddAudioSec(1, s++, 0x300, 44100, second.data(), n));
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    stopCache();
}
BENCHMARK(BM_EvictionUnderPressure);

}  // namespace

BENCHMARK_MAIN();
