// Sample-rate conversion of 10 s of 16-bit audio beside soxr, libsamplerate
// and libswresample when they are installed, each with the SNR it reached on
// a 1 kHz sine (counter snr_db); and the block operations beside memcpy of
// the same bytes. Everything runs on one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "reelcore/audio.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/settings.h"

#ifdef REEL_BENCH_SOXR
#include <soxr.h>
#endif
#ifdef REEL_BENCH_SAMPLERATE
#include <samplerate.h>
#endif
#ifdef REEL_BENCH_SWRESAMPLE
extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSeconds = 10;
constexpr double kToneHz = 1000.0;

void startLibrary() {
    static bool started = false;
    if (started) return;
    started = true;
    SetupGlobals();
    InitMemoryMgr();
    InitProjectSettings();
}

void setQuality(int quality) {
    psetGetBlock(InitProjectSettings())->audio.resampleQ = quality;
}

struct Pair {
    int srcRate, dstRate;
};
const Pair kPairs[] = {{44100, 48000}, {48000, 44100}, {48000, 8000}};

// 10 s of a half-scale 1 kHz sine, interleaved, with `margin` frames of
// history before and after.
std::vector<int16_t> sineInput(int rate, int channels, int margin) {
    const int frames = rate * kSeconds + 2 * margin;
    std::vector<int16_t> v(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        const auto s =
            int16_t(std::lround(16384 * std::sin(2 * kPi * kToneHz * (i - margin) / rate)));
        for (int c = 0; c < channels; ++c) v[size_t(i) * channels + c] = s;
    }
    return v;
}

// SNR (dB) of the first channel against the best-fitting sine at `cycles`
// per sample, over the middle of the output (edges and latency skipped).
double snrDb(const int16_t* y, size_t frames, int channels, double cycles) {
    const size_t from = frames / 10, to = frames - frames / 10;
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (size_t i = from; i < to; ++i) {
        const double s = std::sin(2 * kPi * cycles * double(i)),
                     c = std::cos(2 * kPi * cycles * double(i));
        const double v = y[i * channels];
        ss += s * s, sc += s * c, cc += c * c, ys += v * s, yc += v * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    double signal = 0, noise = 0;
    for (size_t i = from; i < to; ++i) {
        const double fit =
            a * std::sin(2 * kPi * cycles * double(i)) + b * std::cos(2 * kPi * cycles * double(i));
        signal += fit * fit;
        noise += (y[i * channels] - fit) * (y[i * channels] - fit);
    }
    return 10 * std::log10(signal / std::max(noise, 1e-30));
}

void report(benchmark::State& state, const Pair& p, int channels, double snr) {
    state.counters["snr_db"] = snr;
    state.SetItemsProcessed(int64_t(state.iterations()) * p.srcRate * kSeconds * channels);
}

// Arguments: pair, channels, quality (ours) or peer setting.
void pairArgs(benchmark::internal::Benchmark* b, int settings) {
    for (int pair = 0; pair < 3; ++pair)
        for (int ch : {1, 2})
            for (int s = 0; s < settings; ++s) b->Args({pair, ch, s});
    b->ArgNames({"pair", "ch", "q"})->Unit(benchmark::kMillisecond);
}

void BM_ResampleOurs(benchmark::State& state) {
    startLibrary();
    const Pair p = kPairs[state.range(0)];
    const int channels = int(state.range(1));
    const int quality = int(state.range(2)) + 1;
    setQuality(quality);
    const int margin = std::max(p.srcRate / 24, 100);
    const std::vector<int16_t> in = sineInput(p.srcRate, channels, margin);
    const int dstFrames = p.dstRate * kSeconds;
    std::vector<int16_t> out(size_t(dstFrames) * channels);
    FmResampleRequest r{};
    r.src = in.data();
    r.srcFirst = margin;
    r.srcAvailable = int32_t(in.size() / channels);
    r.srcCount = p.srcRate * kSeconds;
    r.srcFormat = kAudio16Bit | (channels == 2 ? kAudioStereo : 0);
    r.dst = out.data();
    r.dstFrames = dstFrames;
    r.dstFormat = r.srcFormat;
    r.srcRate = p.srcRate;
    r.dstRate = p.dstRate;
    for (auto _ : state) {
        DoResample(&r);
        benchmark::DoNotOptimize(out.data());
    }
    // Output i sits at source time i x dtb / 2^15.
    const double dtb = std::floor(double(p.srcRate) / p.dstRate * 32768 + 0.5);
    report(state, p, channels,
           snrDb(out.data(), size_t(dstFrames), channels, kToneHz / p.srcRate * dtb / 32768));
}
BENCHMARK(BM_ResampleOurs)->Apply([](auto* b) { pairArgs(b, 2); });

#ifdef REEL_BENCH_SOXR
void BM_ResampleSoxr(benchmark::State& state) {
    const Pair p = kPairs[state.range(0)];
    const int channels = int(state.range(1));
    const unsigned long recipes[] = {SOXR_LQ, SOXR_MQ, SOXR_HQ};
    const soxr_quality_spec_t quality = soxr_quality_spec(recipes[state.range(2)], 0);
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    const std::vector<int16_t> in = sineInput(p.srcRate, channels, 0);
    const size_t dstFrames = size_t(p.dstRate) * kSeconds;
    std::vector<int16_t> out(dstFrames * channels);
    size_t done = 0;
    for (auto _ : state) {
        soxr_oneshot(p.srcRate, p.dstRate, unsigned(channels), in.data(), in.size() / channels,
                     nullptr, out.data(), dstFrames, &done, &io, &quality, &runtime);
        benchmark::DoNotOptimize(out.data());
    }
    report(state, p, channels, snrDb(out.data(), done, channels, kToneHz / p.dstRate));
}
BENCHMARK(BM_ResampleSoxr)->Apply([](auto* b) { pairArgs(b, 3); });
#endif

#ifdef REEL_BENCH_SAMPLERATE
void BM_ResampleLibsamplerate(benchmark::State& state) {
    const Pair p = kPairs[state.range(0)];
    const int channels = int(state.range(1));
    const int converters[] = {SRC_SINC_FASTEST, SRC_SINC_MEDIUM_QUALITY};
    const std::vector<int16_t> in = sineInput(p.srcRate, channels, 0);
    const size_t dstFrames = size_t(p.dstRate) * kSeconds;
    std::vector<float> fin(in.size()), fout(dstFrames * channels);
    std::vector<int16_t> out(dstFrames * channels);
    SRC_DATA data{};
    for (auto _ : state) {
        // Both conversions to and from float belong to the job.
        src_short_to_float_array(in.data(), fin.data(), int(in.size()));
        data.data_in = fin.data();
        data.data_out = fout.data();
        data.input_frames = long(in.size() / channels);
        data.output_frames = long(dstFrames);
        data.src_ratio = double(p.dstRate) / p.srcRate;
        src_simple(&data, converters[state.range(2)], channels);
        src_float_to_short_array(fout.data(), out.data(), int(data.output_frames_gen * channels));
        benchmark::DoNotOptimize(out.data());
    }
    report(state, p, channels,
           snrDb(out.data(), size_t(data.output_frames_gen), channels, kToneHz / p.dstRate));
}
BENCHMARK(BM_ResampleLibsamplerate)->Apply([](auto* b) { pairArgs(b, 2); });
#endif

#ifdef REEL_BENCH_SWRESAMPLE
void BM_ResampleSwresample(benchmark::State& state) {
    const Pair p = kPairs[state.range(0)];
    const int channels = int(state.range(1));
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    const std::vector<int16_t> in = sineInput(p.srcRate, channels, 0);
    const int dstFrames = p.dstRate * kSeconds;
    std::vector<int16_t> out(size_t(dstFrames + 4096) * channels);
    int produced = 0;
    for (auto _ : state) {
        SwrContext* swr = nullptr;
        swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_S16, p.dstRate, &layout, AV_SAMPLE_FMT_S16,
                            p.srcRate, 0, nullptr);
        swr_init(swr);
        const uint8_t* inPlanes[1] = {reinterpret_cast<const uint8_t*>(in.data())};
        uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(out.data())};
        produced =
            swr_convert(swr, outPlanes, dstFrames + 4096, inPlanes, int(in.size() / channels));
        swr_free(&swr);
        benchmark::DoNotOptimize(out.data());
    }
    report(state, p, channels,
           snrDb(out.data(), size_t(std::max(produced, 0)), channels, kToneHz / p.dstRate));
}
BENCHMARK(BM_ResampleSwresample)->Apply([](auto* b) { pairArgs(b, 1); });
#endif

// ---- Block operations beside memcpy: bytes read plus bytes written ----

std::vector<uint8_t> noise(size_t n) {
    std::vector<uint8_t> v(n);
    uint32_t x = 12345;
    for (auto& b : v) b = uint8_t((x = x * 1664525 + 1013904223) >> 24);
    return v;
}

constexpr int kFrames = 48000;  // one second

// StretchAudio cases: 16-bit stereo 44.1 to 48 kHz frames, 8-bit mono to
// 16-bit stereo, 16-bit stereo to 16-bit mono.
struct StretchCase {
    int srcFormat, dstLow, srcFrames;
};
const StretchCase kStretch[] = {{kAudio16Bit | kAudioStereo, kStretch16Bit | kStretchStereo, 44100},
                                {0, kStretch16Bit | kStretchStereo, kFrames},
                                {kAudio16Bit | kAudioStereo, kStretch16Bit, kFrames}};

int bytesPerFrame(bool is16, bool stereo) {
    return (is16 ? 2 : 1) * (stereo ? 2 : 1);
}

void BM_StretchAudio(benchmark::State& state) {
    startLibrary();
    const StretchCase c = kStretch[state.range(0)];
    const int inBytes =
        c.srcFrames * bytesPerFrame(c.srcFormat & kAudio16Bit, c.srcFormat & kAudioStereo);
    const int outBytes =
        kFrames * bytesPerFrame(c.dstLow & kStretch16Bit, c.dstLow & kStretchStereo);
    const std::vector<uint8_t> in = noise(size_t(inBytes));
    std::vector<uint8_t> out(static_cast<size_t>(outBytes));
    for (auto _ : state) {
        StretchAudio(in.data(), inBytes, out.data(), outBytes, c.srcFormat | c.dstLow);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (inBytes + outBytes));
}
BENCHMARK(BM_StretchAudio)->DenseRange(0, 2)->ArgName("case");

void BM_AudioSum(benchmark::State& state) {
    startLibrary();
    const std::vector<uint8_t> in = noise(size_t(kFrames) * 4);  // 16-bit stereo
    std::vector<int32_t> acc(size_t(kFrames) * 2, 0);
    const int32_t gain = state.range(0) ? 40000 : 65536;
    for (auto _ : state) {
        AudioSum(in.data(), acc.data(), kFrames * 4, gain, kAudio16Bit | kAudioStereo);
        benchmark::DoNotOptimize(acc.data());
    }
    // Samples read, accumulator read and written.
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrames * 2 * (2 + 4 + 4));
}
BENCHMARK(BM_AudioSum)->Arg(0)->Arg(1)->ArgName("gain");

void BM_AudioLimit(benchmark::State& state) {
    startLibrary();
    std::vector<int32_t> acc(size_t(kFrames) * 2);
    const std::vector<uint8_t> bytes = noise(acc.size() * 4);
    std::memcpy(acc.data(), bytes.data(), bytes.size());
    for (auto& v : acc) v >>= 11;  // around the clipping edges
    std::vector<int16_t> out(acc.size());
    for (auto _ : state) {
        AudioLimit(acc.data(), out.data(), int32_t(out.size() * 2), kAudio16Bit | kAudioStereo);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(acc.size()) * (4 + 2));
}
BENCHMARK(BM_AudioLimit);

// memcpy of the sizes above (bytes read plus written, as for the operations).
void BM_Memcpy(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const std::vector<uint8_t> in = noise(n);
    std::vector<uint8_t> out(n);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n) * 2);
}
BENCHMARK(BM_Memcpy)->Arg(kFrames * 4)->Arg(kFrames * 8);

}  // namespace

BENCHMARK_MAIN();
