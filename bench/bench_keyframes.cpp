// Keyframe parameter specs: BuildSingleSpec for a 16-parameter filter
// described by its PiPL's animation properties and for the same settings
// described by a FltD table, at 10, 100 and 10,000 keys, beside MLT's
// keyframe animation evaluating 16 properties with the same keys (linear);
// flattening and unflattening a 100-key XE CompSpec beside memcpy of the
// same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

#if REEL_HAVE_MLT
extern "C" {
#include <mlt-7/framework/mlt_properties.h>
}
#endif

namespace {

constexpr int kParams = 16;
constexpr int kKeySpacing = 10;

struct Modules {
    int16_t anim = 0;
    int16_t fltd = 0;
};

const Modules& modules() {
    static const Modules m = [] {
        SetupGlobals();
        InitMemoryMgr();
        SetAGlobal(kSlotOpenFileBudget, 100);
        InitResMgr(nullptr);
        InitFileQueue();
        Modules r;
        r.anim = AddFile(BENCH_KEYS_ANIM_MODULE, 0, 0, 0x56466C74 /* 'VFlt' */);
        r.fltd = AddFile(BENCH_KEYS_FLTD_MODULE, 0, 0, 0x56466C74);
        FileSubscribe(r.anim);
        FileSubscribe(r.fltd);
        return r;
    }();
    return m;
}

double valueOf(int key, int param) {
    return double((key * 37 + param * 11) % 100) / 4.0;
}

// Keys at 0, 10, 20 …, each 16 doubles.
Handle makeComp(int keys, int16_t module) {
    Handle spec = NewHandle(kParams * sizeof(double));
    Handle comp = nullptr;
    for (int k = 0; k < keys; ++k) {
        double* v = reinterpret_cast<double*>(*spec);
        for (int p = 0; p < kParams; ++p) v[p] = valueOf(k, p);
        if (!comp)
            comp = NewCompSpec(spec, module, 0);
        else
            InsertSingleSpec(comp, spec, k, k * kKeySpacing);
    }
    DisposeHandle(spec);
    return comp;
}

// Times spread over the keys, the same for every contender.
std::vector<int> probeTimes(int keys) {
    std::vector<int> t(997);
    const int span = (keys - 1) * kKeySpacing;
    for (size_t i = 0; i < t.size(); ++i) t[i] = int((i * 7919 + 3) % size_t(span));
    return t;
}

void buildSingleSpec(benchmark::State& state, int16_t module) {
    const int keys = int(state.range(0));
    Handle comp = makeComp(keys, module);
    const std::vector<int> times = probeTimes(keys);
    size_t i = 0;
    double sum = 0;
    for (auto _ : state) {
        Handle out = nullptr;
        BuildSingleSpec(comp, module, times[i++ % times.size()], &out);
        sum += reinterpret_cast<const double*>(*out)[kParams - 1];
        DisposeHandle(out);
    }
    benchmark::DoNotOptimize(sum);
    DisposeCompSpec(comp);
}

void BM_BuildAnim(benchmark::State& state) {
    buildSingleSpec(state, modules().anim);
}
void BM_BuildFltD(benchmark::State& state) {
    buildSingleSpec(state, modules().fltd);
}
BENCHMARK(BM_BuildAnim)->Arg(10)->Arg(100)->Arg(10000);
BENCHMARK(BM_BuildFltD)->Arg(10)->Arg(100)->Arg(10000);

#if REEL_HAVE_MLT
// The peer: 16 animated properties with the same keys, each evaluated at
// the same time (MLT parses each animation once and keeps it).
void BM_MltAnimGetDouble(benchmark::State& state) {
    const int keys = int(state.range(0));
    mlt_properties props = mlt_properties_new();
    std::vector<std::string> names;
    for (int p = 0; p < kParams; ++p) {
        std::string anim;
        for (int k = 0; k < keys; ++k)
            anim += std::to_string(k * kKeySpacing) + "=" + std::to_string(valueOf(k, p)) + ";";
        // appended rather than "p" + ..., which GCC 12 misreads as an
        // overlapping copy in optimised builds
        names.emplace_back(1, 'p');
        names.back() += std::to_string(p);
        mlt_properties_set(props, names.back().c_str(), anim.c_str());
    }
    const int length = (keys - 1) * kKeySpacing + 1;
    const std::vector<int> times = probeTimes(keys);
    size_t i = 0;
    double sum = 0;
    for (auto _ : state) {
        const int t = times[i++ % times.size()];
        for (int p = 0; p < kParams; ++p)
            sum += mlt_properties_anim_get_double(props, names[size_t(p)].c_str(), t, length);
    }
    benchmark::DoNotOptimize(sum);
    mlt_properties_close(props);
}
BENCHMARK(BM_MltAnimGetDouble)->Arg(10)->Arg(100)->Arg(10000);
#endif

// ---- Flattening ----

// A live XE block of 16 parameter records (sliders, colours, points, reals).
std::vector<uint8_t> xeBlock(int16_t fileID, int seed) {
    std::vector<uint8_t> b(536 + kParams * 148, 0);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); };
    put(0, 0xCE40F00D);
    put(4, 0x65464B54);
    put(8, 1);
    put(12, uint32_t(b.size()));
    put(16, uint16_t(fileID));
    put(24, kParams);
    for (int i = 0; i < 127; ++i) put(28 + 4 * size_t(i), i < kParams ? uint32_t(i * 148) : ~0u);
    static const int types[] = {1, 2, 3, 5, 6, 10, 4, 7};
    for (int i = 0; i < kParams; ++i) {
        const size_t rec = 536 + size_t(i) * 148;
        put(rec + 12, uint32_t(types[i % 8]));
        put(rec + 56, uint32_t(seed * 31 + i));
    }
    return b;
}

Handle xeComp(int keys) {
    Handle comp = nullptr;
    for (int k = 0; k < keys; ++k) {
        const std::vector<uint8_t> b = xeBlock(1, k);
        Handle spec = NewHandle(uint32_t(b.size()));
        std::memcpy(*spec, b.data(), b.size());
        if (!comp)
            comp = NewCompSpec(spec, 0, 0);
        else
            InsertSingleSpec(comp, spec, k, k * kKeySpacing);
        DisposeHandle(spec);
    }
    return comp;
}

// One flatten and one unflatten of the whole CompSpec per iteration: twice
// its bytes.
void BM_FlattenUnflattenXE(benchmark::State& state) {
    modules();
    Handle comp = xeComp(100);
    const size_t bytes = GetHandleSize(comp);
    for (auto _ : state) {
        FlattenCompSpec(comp);
        UnflattenCompSpec(comp);
        benchmark::DoNotOptimize(**comp);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(2 * bytes));
    DisposeCompSpec(comp);
}
BENCHMARK(BM_FlattenUnflattenXE);

// The peer: memcpy of the same bytes, twice per iteration.
void BM_MemcpySameBytes(benchmark::State& state) {
    modules();
    Handle comp = xeComp(100);
    const size_t bytes = GetHandleSize(comp);
    std::vector<uint8_t> a(bytes), b(bytes);
    std::memcpy(a.data(), *comp, bytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::ClobberMemory();
        std::memcpy(a.data(), b.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(2 * bytes));
    DisposeCompSpec(comp);
}
BENCHMARK(BM_MemcpySameBytes);

}  // namespace

BENCHMARK_MAIN();
