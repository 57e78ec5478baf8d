// Pixel aspect ratios: reading a 1,000-line rules text beside a plain sscanf
// loop with the same two patterns, ratio conversion beside libavutil's
// av_d2q, and width scaling beside av_rescale (when libavutil is there).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pixels/aspect_internal.h"
#include "reelcore/aspect.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

#if REEL_HAVE_AVUTIL
extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}
#endif

namespace {

constexpr size_t kRatios = 1 << 20;

void setUp() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
}

// 1,000 lines: sizes with ratios, every tenth with a name, a few comments.
const std::string& rulesText() {
    static const std::string text = [] {
        std::string t;
        std::mt19937 rng(5);
        char line[128];
        for (int i = 0; i < 1000; ++i) {
            const int w = 320 + int(rng() % 3000), h = 240 + int(rng() % 2000);
            const int num = 1 + int(rng() % 2000), den = num / 2 + 1 + int(rng() % (num * 2));
            if (i % 50 == 0)
                std::snprintf(line, sizeof line, "# group %d\r\n", i / 50);
            else if (i % 10 == 0)
                std::snprintf(line, sizeof line, "%d,%d=%d/%d/\"Preset %d\"\r\n", w, h, num, den,
                              i);
            else if (i % 3 == 0)
                std::snprintf(line, sizeof line, "%d, %d = %d.5/%d\r\n", w, h, num, den);
            else
                std::snprintf(line, sizeof line, "%d,%d=%d/%d\r\n", w, h, num, den);
            t += line;
        }
        return t;
    }();
    return text;
}

void BM_RulesReadIntoTables(benchmark::State& state) {
    setUp();
    const std::string& text = rulesText();
    for (auto _ : state) {
        rc::aspect::resetTables();
        benchmark::DoNotOptimize(
            rc::aspect::readRules(text, kPARSourceRulesFile, true, nullptr, nullptr));
    }
    FmPixelAspectRatioShutdown();
}
BENCHMARK(BM_RulesReadIntoTables);

// The whole initialisation with the same text as the user's rules file
// (the library's resources, the file read from disk, both tables).
void BM_InitWith1000LineRules(benchmark::State& state) {
    setUp();
    InitResMgr(nullptr);
    char path[] = "/tmp/reel_bench_rulesXXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        state.SkipWithError("no scratch file");
        return;
    }
    FILE* f = fdopen(fd, "wb");
    std::fwrite(rulesText().data(), 1, rulesText().size(), f);
    std::fclose(f);
    FmPARSetRulesPath(path);
    for (auto _ : state) benchmark::DoNotOptimize(FmPixelAspectRatioInit());
    FmPARSetRulesPath(nullptr);
    FmPixelAspectRatioShutdown();
    std::remove(path);
}
BENCHMARK(BM_InitWith1000LineRules)->Unit(benchmark::kMicrosecond);

// The peer: the same lines through the two scanf patterns, the same checks
// and conversion, results kept in vectors.
void BM_RulesSscanfLoop(benchmark::State& state) {
    setUp();
    const std::string& text = rulesText();
    struct Preset {
        std::string name;
        FmPARCode code;
    };
    std::vector<Preset> presets;
    std::vector<FmPARFrameDefault> defaults;
    std::string line;
    for (auto _ : state) {
        presets.clear();
        defaults.clear();
        size_t i = 0;
        while (i < text.size()) {
            size_t end = text.find_first_of("\r\n", i);
            if (end == std::string::npos) end = text.size();
            line.assign(text, i, end - i);
            i = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
            size_t lead = line.find_first_not_of(" \t");
            if (lead == std::string::npos || line[lead] == '#' || line.size() - lead <= 6) continue;
            long w, h;
            double n, d;
            char name[256];
            int k = std::sscanf(line.c_str() + lead, "%ld, %ld%*[^=]= %lf/%lf/\"%255[^\"]\"", &w,
                                &h, &n, &d, name);
            if (k == 2)
                k = std::sscanf(line.c_str() + lead, "%ld, %ld = %lf/%lf/\"%255[^\"]\"", &w, &h, &n,
                                &d, name);
            if (k < 4 || !(n > 0) || d < 0) continue;
            const FmPARCode code = FmPARRatioToCode(n, d);
            if (k == 5) presets.push_back({name, code});
            if (code != kPARSquare) {
                bool present = false;
                for (const auto& e : defaults)
                    if (e.width == w && e.height == h) present = true;
                if (!present)
                    defaults.push_back({int32_t(w), int32_t(h), int32_t(FmPARNumerator(code)),
                                        int32_t(FmPARDenominator(code)), 0, 0});
            }
        }
        benchmark::DoNotOptimize(defaults.data());
    }
}
BENCHMARK(BM_RulesSscanfLoop);

struct Ratios {
    std::vector<double> a, b;
    std::vector<FmPARCode> codes;
    std::vector<int32_t> widths;
};
const Ratios& ratios() {
    static const Ratios r = [] {
        Ratios x;
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> frac(0.1, 10.0);
        for (size_t i = 0; i < kRatios; ++i) {
            if (i % 2) {  // whole terms
                x.a.push_back(1 + rng() % 4000);
                x.b.push_back(1 + rng() % 4000);
            } else {
                x.a.push_back(frac(rng));
                x.b.push_back(1.0);
            }
            x.codes.push_back(FmPARMakeCode(1 + rng() % 65535, 1 + rng() % 65535));
            x.widths.push_back(int32_t(rng() % 8192));
        }
        return x;
    }();
    return r;
}

void BM_RatioToCode(benchmark::State& state) {
    const Ratios& r = ratios();
    for (auto _ : state) {
        uint32_t sum = 0;
        for (size_t i = 0; i < kRatios; ++i) sum += FmPARRatioToCode(r.a[i], r.b[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRatios);
}
BENCHMARK(BM_RatioToCode);

void BM_WidthScale(benchmark::State& state) {
    const Ratios& r = ratios();
    for (auto _ : state) {
        int64_t sum = 0;
        for (size_t i = 0; i < kRatios; ++i) sum += FmPixelWidthScale(r.codes[i], r.widths[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRatios);
}
BENCHMARK(BM_WidthScale);

#if REEL_HAVE_AVUTIL
void BM_AvD2q(benchmark::State& state) {
    const Ratios& r = ratios();
    for (auto _ : state) {
        int64_t sum = 0;
        for (size_t i = 0; i < kRatios; ++i) {
            const AVRational q = av_d2q(r.a[i] / r.b[i], 65535);
            sum += q.num + q.den;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRatios);
}
BENCHMARK(BM_AvD2q);

void BM_AvRescale(benchmark::State& state) {
    const Ratios& r = ratios();
    for (auto _ : state) {
        int64_t sum = 0;
        for (size_t i = 0; i < kRatios; ++i)
            sum +=
                av_rescale(r.widths[i], FmPARNumerator(r.codes[i]), FmPARDenominator(r.codes[i]));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kRatios);
}
BENCHMARK(BM_AvRescale);
#endif

}  // namespace

BENCHMARK_MAIN();
