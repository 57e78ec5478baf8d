// Time-record arithmetic and timecode text, per call, beside libavutil's
// equivalents on the same inputs when it is available.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "reelcore/timecode.h"
#include "reelcore/timerecord.h"

#if REEL_HAVE_AVUTIL
extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/timecode.h>
}
#endif

namespace {

constexpr size_t kCount = 1024;  // a power of two: indices wrap with a mask

struct Inputs {
    std::vector<TDB> a, b;
    std::vector<int32_t> frames;
    std::vector<std::string> dropText;
};

const Inputs& inputs() {
    static const Inputs in = [] {
        Inputs r;
        std::mt19937 rng(42);
        const int32_t scales[] = {25, 2997, 30000, 44100, 48000};
        for (size_t i = 0; i < kCount; ++i) {
            r.a.push_back(TDB{int32_t(rng() % 100000000), scales[rng() % 5], 1});
            r.b.push_back(TDB{int32_t(rng() % 100000000), scales[rng() % 5], 1});
            const int32_t f = int32_t(rng() % 2589408);
            r.frames.push_back(f);
            const TDB tb{0, 30, 1};
            char text[kTimecodeTextSize];
            FmTimecodeToStr(f, &tb, kTimeFormat30Drop | kTimeShowHoursUnits | kTimeShowHoursTens,
                            text);
            // hh:mm:ss;ff, the form both parsers read
            std::string label = text;
            label[2] = label[5] = ':';
            r.dropText.push_back(label);
        }
        return r;
    }();
    return in;
}

void BM_TDB_ConvTime(benchmark::State& state) {
    const Inputs& in = inputs();
    size_t i = 0;
    for (auto _ : state) {
        TDB out;
        TDB_ConvTime(&in.a[i], 48000, &out, nullptr);
        benchmark::DoNotOptimize(out);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_TDB_ConvTime);

void BM_TDB_CompareTime(benchmark::State& state) {
    const Inputs& in = inputs();
    size_t i = 0;
    for (auto _ : state) {
        int32_t r;
        TDB_CompareTime(&in.a[i], &in.b[i], &r);
        benchmark::DoNotOptimize(r);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_TDB_CompareTime);

void BM_FmTimecodeToStr(benchmark::State& state) {
    const Inputs& in = inputs();
    const TDB tb{0, 30, 1};
    const int32_t format = kTimeFormat30Drop | kTimeShowHoursUnits | kTimeShowHoursTens;
    size_t i = 0;
    for (auto _ : state) {
        char text[kTimecodeTextSize];
        FmTimecodeToStr(in.frames[i], &tb, format, text);
        benchmark::DoNotOptimize(text);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_FmTimecodeToStr);

void BM_FmStrToTimecode(benchmark::State& state) {
    const Inputs& in = inputs();
    const TDB tb{0, 30, 1};
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FmStrToTimecode(in.dropText[i].c_str(), kTimeFormat30Drop, &tb));
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_FmStrToTimecode);

#if REEL_HAVE_AVUTIL
void BM_av_rescale_q(benchmark::State& state) {
    const Inputs& in = inputs();
    size_t i = 0;
    for (auto _ : state) {
        const AVRational from{1, in.a[i].scale}, to{1, 48000};
        benchmark::DoNotOptimize(av_rescale_q(in.a[i].value, from, to));
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_av_rescale_q);

void BM_av_compare_ts(benchmark::State& state) {
    const Inputs& in = inputs();
    size_t i = 0;
    for (auto _ : state) {
        const AVRational ta{1, in.a[i].scale}, tb{1, in.b[i].scale};
        benchmark::DoNotOptimize(av_compare_ts(in.a[i].value, ta, in.b[i].value, tb));
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_av_compare_ts);

void BM_av_timecode_make_string(benchmark::State& state) {
    const Inputs& in = inputs();
    AVTimecode tc;
    av_timecode_init(&tc, AVRational{30000, 1001}, AV_TIMECODE_FLAG_DROPFRAME, 0, nullptr);
    size_t i = 0;
    for (auto _ : state) {
        char text[AV_TIMECODE_STR_SIZE];
        av_timecode_make_string(&tc, text, in.frames[i]);
        benchmark::DoNotOptimize(text);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_av_timecode_make_string);

void BM_av_timecode_init_from_string(benchmark::State& state) {
    const Inputs& in = inputs();
    size_t i = 0;
    for (auto _ : state) {
        AVTimecode tc;
        av_timecode_init_from_string(&tc, AVRational{30000, 1001}, in.dropText[i].c_str(), nullptr);
        benchmark::DoNotOptimize(tc.start);
        i = (i + 1) & (kCount - 1);
    }
}
BENCHMARK(BM_av_timecode_init_from_string);
#endif

}  // namespace

BENCHMARK_MAIN();
