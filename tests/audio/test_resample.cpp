// The resampler: exactness against the reference arithmetic, quality (SNR
// and stopband), the nearest-sample and equal-rate paths, dither, the
// filter cache, and failures leaving silence.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio/resample_context.h"
#include "audio/resample_filter.h"
#include "audio/sample_simd.h"
#include "audio_test_util.h"
#include "platform/alloc.h"
#include "reelcore/audio.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/utility_table.h"
#include "reelcore/windows.h"
#include "resample_reference.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class Resample : public ::testing::Test {
  protected:
    void SetUp() override {
        audiotest::resetRuntime();
        audiotest::useSettings(1, false);
    }
    void TearDown() override { audiotest::resetRuntime(); }
};

struct Format {
    bool is16, stereo;
    int32_t flags() const { return (is16 ? kAudio16Bit : 0) | (stereo ? kAudioStereo : 0); }
    int bytes() const { return (is16 ? 2 : 1) * (stereo ? 2 : 1); }
    int channels() const { return stereo ? 2 : 1; }
};

// Source frames as raw bytes of the format, from per-channel 16-bit values.
std::vector<uint8_t> encode(const std::vector<std::vector<int32_t>>& ch, Format f) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < ch[0].size(); ++i)
        for (int c = 0; c < f.channels(); ++c) {
            const int32_t v = ch[size_t(c)][i];
            if (f.is16) {
                const int16_t s = int16_t(v);
                uint8_t b[2];
                std::memcpy(b, &s, 2);
                out.insert(out.end(), b, b + 2);
            } else {
                out.push_back(uint8_t((v >> 8) + 128));
            }
        }
    return out;
}

// A test signal: two sines and noise, with a few full-scale steps so the
// output clips somewhere.
std::vector<std::vector<int32_t>> testSignal(int frames, int channels, int rate) {
    std::vector<std::vector<int32_t>> ch(static_cast<size_t>(channels),
                                         std::vector<int32_t>(static_cast<size_t>(frames)));
    for (int c = 0; c < channels; ++c)
        for (int i = 0; i < frames; ++i) {
            double v = 12000 * std::sin(2 * kPi * (700.0 + 300 * c) * i / rate) +
                       6000 * std::sin(2 * kPi * 5100.0 * i / rate) +
                       double(int32_t(audiotest::rng()() % 4001) - 2000);
            if ((i / 97) % 11 == 3) v = (i / 97) % 2 ? 32767 : -32768;
            ch[size_t(c)][i] = int32_t(std::clamp(v, -32768.0, 32767.0));
        }
    return ch;
}

// The reference output of a whole request, in the destination's bytes.
std::vector<uint8_t> referenceResample(const std::vector<uint8_t>& src, Format in, Format out,
                                       int first, int srcCount, int dstFrames, int srcRate,
                                       int dstRate, int quality, resref::Dither* dither) {
    const int nmult = quality == 2 ? 27 : 13;
    const double rolloff = dstFrames >= srcCount ? 0.5 : (quality == 2 ? 0.46 : 0.41);
    const resref::Filter filter = resref::design(nmult, rolloff, 4.0);
    const size_t frames = src.size() / size_t(in.bytes());
    std::vector<std::vector<int16_t>> y;
    const int filtered = std::min(in.channels(), out.channels());
    for (int c = 0; c < filtered; ++c) {
        std::vector<int32_t> x(frames);
        for (size_t i = 0; i < frames; ++i) {
            const uint8_t* p = &src[i * size_t(in.bytes())];
            x[i] = in.is16 ? audiotest::load16(p + 2 * c) : resref::expand(p[c]);
        }
        y.push_back(resref::channel(x, first, dstFrames, srcRate, dstRate, filter));
    }
    std::vector<uint8_t> bytes;
    for (int i = 0; i < dstFrames; ++i)
        for (int c = 0; c < out.channels(); ++c) {
            const int32_t v = y[size_t(std::min(c, filtered - 1))][size_t(i)];
            if (out.is16) {
                const int16_t s = int16_t(v);
                uint8_t b[2];
                std::memcpy(b, &s, 2);
                bytes.insert(bytes.end(), b, b + 2);
            } else {
                bytes.push_back(dither ? dither->narrow(v, c) : uint8_t((v >> 8) + 128));
            }
        }
    return bytes;
}

FmResampleRequest request(const std::vector<uint8_t>& src, Format in, int first, int count,
                          std::vector<uint8_t>& dst, Format out, int dstFrames, int srcRate,
                          int dstRate) {
    FmResampleRequest r{};
    r.src = src.data();
    r.srcFirst = first;
    r.srcAvailable = int32_t(src.size() / size_t(in.bytes()));
    r.srcCount = count;
    r.srcFormat = in.flags();
    r.dst = dst.data();
    r.dstFrames = dstFrames;
    r.dstFormat = out.flags();
    r.srcRate = srcRate;
    r.dstRate = dstRate;
    return r;
}

TEST_F(Resample, FilterDesignMatchesTheReferenceAndItsLimits) {
    for (int nmult : {13, 27})
        for (double rolloff : {0.41, 0.46, 0.5}) {
            const int n = (nmult + 1) * 128;
            std::vector<int16_t> coefs(static_cast<size_t>(n));
            uint32_t scale = 0;
            ASSERT_EQ(rc::audio::designFilter(n, rolloff, 4.0, coefs.data(), &scale), 0);
            const resref::Filter want = resref::design(nmult, rolloff, 4.0);
            EXPECT_EQ(coefs, want.c) << nmult << " " << rolloff;
            EXPECT_EQ(scale, want.scale);
            EXPECT_EQ(coefs[0], 32767);
        }
    // A&S approximations of I0 agree with the series to their stated accuracy.
    for (double x : {0.0, 1.0, 3.7, 3.8, 4.0, 10.0}) {
        double series = 0, term = 1;
        for (int k = 1; k < 60; ++k) {
            series += term;
            term *= (x / 2) * (x / 2) / (double(k) * k);
        }
        EXPECT_NEAR(rc::audio::besselI0(x) / series, 1.0, 2e-7) << x;
    }
    int16_t c[8];
    uint32_t s;
    std::vector<int16_t> wide(5123);
    EXPECT_EQ(rc::audio::designFilter(5123, 0.5, 4.0, wide.data(), &s), -50);
    EXPECT_EQ(rc::audio::designFilter(5122, 0.5, 4.0, wide.data(), &s), 0);
    EXPECT_EQ(rc::audio::designFilter(8, 0.0, 4.0, c, &s), -50);
    EXPECT_EQ(rc::audio::designFilter(8, 1.01, 4.0, c, &s), -50);
    EXPECT_EQ(rc::audio::designFilter(8, 0.5, 0.5, c, &s), -50);
}

class ResampleKernels : public Resample, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        Resample::SetUp();
        rc::audio::setScalarKernelsOnly(GetParam());
    }
    void TearDown() override {
        rc::audio::setScalarKernelsOnly(false);
        Resample::TearDown();
    }
};

INSTANTIATE_TEST_SUITE_P(VectorAndScalar, ResampleKernels, ::testing::Bool());

TEST_P(ResampleKernels, MatchesTheReferenceArithmetic) {
    struct Case {
        int srcRate, dstRate, quality;
        Format in, out;
        bool dither;
    };
    const Format m16{true, false}, s16{true, true}, m8{false, false}, s8{false, true};
    const Case cases[] = {
        {44100, 48000, 1, m16, m16, false}, {48000, 44100, 1, s16, s16, false},
        {48000, 8000, 1, m16, m16, false},  {44100, 48000, 2, s16, s16, false},
        {48000, 44100, 2, m16, m16, false}, {48000, 8000, 2, s16, m16, false},
        {22050, 44100, 1, s8, m16, false},  {32000, 48000, 2, m8, s16, false},
        {48000, 11025, 1, s16, s8, true},   {11025, 22050, 2, m16, s8, false},
        {44100, 32000, 5, s8, s8, true},    {8000, 48000, 1, m16, m16, false},
    };
    for (const Case& k : cases) {
        audiotest::useSettings(k.quality, k.dither);
        const int margin = std::max(k.srcRate / 24, 100);
        const int count = k.srcRate / 5;  // a fifth of a second
        const auto signal = testSignal(count + 2 * margin, k.in.channels(), k.srcRate);
        const auto src = encode(signal, k.in);
        const int dstFrames = int(int64_t(count) * k.dstRate / k.srcRate);
        std::vector<uint8_t> dst(size_t(dstFrames) * k.out.bytes() + 2, 0xEE);
        const FmResampleRequest r =
            request(src, k.in, margin, count, dst, k.out, dstFrames, k.srcRate, k.dstRate);
        rc::audio::disposeResamplerContext();  // the dither starts afresh
        ASSERT_EQ(DoResample(&r), 0) << k.srcRate << "->" << k.dstRate;
        resref::Dither d;
        const auto want = referenceResample(src, k.in, k.out, margin, count, dstFrames, k.srcRate,
                                            k.dstRate, k.quality, k.dither ? &d : nullptr);
        EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.end() - 2), want)
            << k.srcRate << "->" << k.dstRate << " q" << k.quality;
        EXPECT_EQ(dst[dst.size() - 1], 0xEE);
    }
    // The full-scale steps clipped somewhere in the last conversion.
    Handle* table =
        reinterpret_cast<Handle*>(*reinterpret_cast<Handle>(GetAGlobal(kSlotHandleTable)));
    const auto* context =
        reinterpret_cast<rc::audio::ResamplerContext*>(*table[kHandleTableResampler]);
    EXPECT_GT(context->clipped, 0u);
}

TEST_F(Resample, SourceOutsideTheBufferCountsAsSilence) {
    // No margin and more output than input: the filter reads zeros, not
    // memory around the buffer.
    const auto signal = testSignal(300, 1, 44100);
    const Format m16{true, false};
    const auto src = encode(signal, m16);
    std::vector<uint8_t> dst(2000 * 2);
    FmResampleRequest r = request(src, m16, 0, 300, dst, m16, 2000, 44100, 48000);
    ASSERT_EQ(DoResample(&r), 0);
    EXPECT_EQ(dst, referenceResample(src, m16, m16, 0, 300, 2000, 44100, 48000, 1, nullptr));
}

// Output of a 1 kHz sine at half scale, 16-bit mono, as doubles; `cycles`
// receives the output's frequency in cycles per output sample.
std::vector<double> convertSine(int srcRate, int dstRate, double frequency, double* cycles,
                                int32_t amplitude = 16384) {
    const int count = srcRate, margin = std::max(srcRate / 24, 100);
    std::vector<std::vector<int32_t>> ch(1);
    for (int i = 0; i < count + 2 * margin; ++i)
        ch[0].push_back(int32_t(
            std::lround(amplitude * std::sin(2 * kPi * frequency * (i - margin) / srcRate))));
    const Format m16{true, false};
    const auto src = encode(ch, m16);
    std::vector<uint8_t> dst(size_t(dstRate) * 2);
    const FmResampleRequest r =
        request(src, m16, margin, count, dst, m16, dstRate, srcRate, dstRate);
    EXPECT_EQ(DoResample(&r), 0);
    std::vector<double> y(static_cast<size_t>(dstRate));
    for (int i = 0; i < dstRate; ++i) y[size_t(i)] = audiotest::load16(&dst[size_t(i) * 2]);
    // Output i sits at source time i x dtb / 2^15.
    const double dtb = std::floor(double(srcRate) / dstRate * 32768 + 0.5);
    *cycles = frequency / srcRate * dtb / 32768;
    return y;
}

TEST_F(Resample, SineQualityAtBothQualities) {
    struct Pair {
        int srcRate, dstRate;
        double minSnr[2];  // quality 1, 2
    };
    // Between 44.1 and 48 kHz the filter table's 256 phases per zero
    // crossing (no interpolation between entries) bound the SNR; from 48 to
    // 8 kHz every output falls on phase 0 and only the arithmetic's 15 bits
    // remain.
    const Pair pairs[] = {
        {44100, 48000, {52, 52}}, {48000, 44100, {50, 50}}, {48000, 8000, {80, 80}}};
    for (const Pair& p : pairs)
        for (int q : {1, 2}) {
            audiotest::useSettings(q, false);
            double cycles = 0;
            const auto y = convertSine(p.srcRate, p.dstRate, 1000.0, &cycles);
            const double snr = resref::sineSnr(y, 100, y.size() - 100, cycles);
            EXPECT_GT(snr, p.minSnr[q - 1]) << p.srcRate << "->" << p.dstRate << " q" << q;
            RecordProperty("snr_" + std::to_string(p.srcRate) + "_" + std::to_string(p.dstRate) +
                               "_q" + std::to_string(q),
                           std::to_string(snr));
        }
}

TEST_F(Resample, StopbandRejectsAliasesAndImages) {
    // Stepped sweeps of tones whose aliases (downsampling) or images
    // (upsampling) land in the output band: the component there must stay
    // far below the tone.
    struct Run {
        int srcRate, dstRate, quality;
        std::vector<double> tones;
        double minRejection;
    };
    std::vector<Run> runs;
    for (int q : {1, 2}) {
        // 48 -> 8 kHz: everything from 0.6 x the output rate up aliases.
        Run down8{48000, 8000, q, {}, 38};
        for (double f = 4800; f < 23500; f += 1100) down8.tones.push_back(f);
        runs.push_back(down8);
        // 48 -> 44.1 kHz: the top of the input band aliases below 22.05 kHz.
        Run down441{48000, 44100, q, {22900, 23300, 23700}, 38};
        runs.push_back(down441);
        // 44.1 -> 48 kHz: images of the band's top at 44.1 kHz - f.
        Run up{44100, 48000, q, {16000, 17000, 18000}, 38};
        runs.push_back(up);
    }
    for (const Run& run : runs) {
        audiotest::useSettings(run.quality, false);
        double worst = 1e9;
        for (double tone : run.tones) {
            double cycles = 0;
            const auto y = convertSine(run.srcRate, run.dstRate, tone, &cycles, 30000);
            // Where the unwanted component lands in the output band.
            double unwanted = run.srcRate > run.dstRate ? tone : run.srcRate - tone;
            unwanted = std::fmod(unwanted, run.dstRate);
            if (unwanted > run.dstRate / 2.0) unwanted = run.dstRate - unwanted;
            const double at = resref::amplitudeAt(y, 200, y.size() - 200, unwanted / run.dstRate);
            const double rejection = 20 * std::log10(30000.0 / std::max(at, 1e-3));
            worst = std::min(worst, rejection);
        }
        EXPECT_GT(worst, run.minRejection)
            << run.srcRate << "->" << run.dstRate << " q" << run.quality;
        RecordProperty("stopband_" + std::to_string(run.srcRate) + "_" +
                           std::to_string(run.dstRate) + "_q" + std::to_string(run.quality),
                       std::to_string(worst));
    }
}

// A munge entry that records its request.
FmAudioMungeRequest gMunged;
int gMungeCalls = 0;
int32_t recordingMunge(const FmAudioMungeRequest* r) {
    gMunged = *r;
    ++gMungeCalls;
    return DoAudioMunge(r);
}

// The debug window's text pieces.
std::string gDebugText;
int16_t debugWindow(FmWindow, intptr_t* block) {
    if (block[0] == 15) gDebugText += reinterpret_cast<const char*>(block[1]);
    if (block[0] == 16) gDebugText += std::to_string(block[1]);
    return 0;
}

TEST_F(Resample, FarApartRatesUseNearestSampleAndSayWhy) {
    // A DBUG window as the main window receives the debug line.
    Handle methods = FmNewHandle(0);
    SetAGlobal(kSlotMethodTable, reinterpret_cast<intptr_t>(methods));
    void* entries[8] = {nullptr, nullptr, reinterpret_cast<void*>(debugWindow)};
    ASSERT_EQ(AddMethod(kHandlerDBUG, entries, methods, 0), noErr);
    const FmRect rect{0, 0, 10, 10};
    const FmWindow window = FmWndCreate(0, &rect, "", nullptr, 1);
    Handle data = NewWData(window);
    const OSType type = kHandlerDBUG;
    std::memcpy(*data + 4, &type, 4);
    SetAGlobal(kSlotMainWnd, window);
    DBActivate(1);
    gDebugText.clear();

    static FmUtilityTable table;
    table = *FmDefaultUtilityTable();
    table.audioMunge = recordingMunge;
    SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(&table));
    gMungeCalls = 0;

    const std::vector<uint8_t> src = audiotest::randomBytes(8000 + 20);
    std::vector<uint8_t> dst(96000 * 4);
    FmResampleRequest r{};
    r.src = src.data();
    r.srcFirst = 10;
    r.srcAvailable = 8020;
    r.srcCount = 8000;
    r.srcFormat = 0;
    r.dst = dst.data();
    r.dstFrames = 96000;
    r.dstFormat = kAudio16Bit | kAudioStereo;
    r.srcRate = 8000;
    r.dstRate = 96000;
    r.dstStart = 3;
    r.srcStart = 0;
    ASSERT_EQ(DoResample(&r), 0);
    EXPECT_EQ(gDebugText, "Calling RSMunge() 8000/1 ==> 96000/4");
    ASSERT_EQ(gMungeCalls, 1);
    // Upsampling keeps a non-zero step: 8000 x 65536 / 96000.
    EXPECT_EQ(gMunged.step, 5461u);
    EXPECT_EQ(gMunged.position, 3 * 5461);
    EXPECT_EQ(gMunged.src, src.data() + 10);
    EXPECT_EQ(gMunged.srcFrames, 8010);
    EXPECT_EQ(gMunged.dstFormat, kAudio16Bit | kAudioStereo);
    // Output frame 12 takes source frame (3 x 5461 + 12 x 5461) >> 16 = 1.
    const int16_t want = int16_t(src[10 + 1] * 257 - 32768);
    EXPECT_EQ(audiotest::load16(&dst[12 * 4]), want);
    EXPECT_EQ(audiotest::load16(&dst[12 * 4 + 2]), want);

    // Quality 0 from the settings takes the same road at any ratio, and the
    // library's own entry serves when the table is too old to hold one.
    table.size = offsetof(FmUtilityTable, audioMunge);
    audiotest::useSettings(0, false);
    r.srcRate = 8000;
    r.dstRate = 11025;
    r.dstStart = 0;
    r.srcStart = 2;
    r.dstFrames = 100;
    ASSERT_EQ(DoResample(&r), 0);
    EXPECT_EQ(gMungeCalls, 1);
    const uint32_t step = (8000u << 16) / 11025u;
    for (int i = 0; i < 100; ++i) {
        const int64_t p = -2 * 65536 + int64_t(i) * step;
        const int64_t index = std::max<int64_t>(0, p >> 16);
        EXPECT_EQ(audiotest::load16(&dst[size_t(i) * 4]),
                  int16_t(src[size_t(10 + index)] * 257 - 32768))
            << i;
    }

    DBActivate(0);
    FmWndDestroy(window);
    FmDisposeHandle(methods);
}

TEST_F(Resample, EqualRatesConvertTheFormatOnly) {
    audiotest::useSettings(2, false);
    const std::vector<uint8_t> u = {0, 255, 128, 128, 10, 200};  // three 8-bit stereo frames
    std::vector<int16_t> mono(3);
    FmResampleRequest r{};
    r.src = u.data();
    r.srcAvailable = 3;
    r.srcCount = 3;
    r.srcFormat = kAudioStereo;
    r.dst = mono.data();
    r.dstFrames = 3;
    r.dstFormat = kAudio16Bit;
    r.srcRate = r.dstRate = 22050;
    ASSERT_EQ(DoResample(&r), 0);
    // The two expanded channels averaged: (-32768 + 32767) / 2 = 0.
    EXPECT_EQ(mono, (std::vector<int16_t>{
                        0, 0, int16_t((resref::expand(10) + resref::expand(200)) / 2)}));

    // 16-bit stereo to 16-bit mono keeps the left channel.
    const std::vector<int16_t> s = {100, -100, -7, 9};
    r.src = s.data();
    r.srcAvailable = r.srcCount = 2;
    r.srcFormat = kAudio16Bit | kAudioStereo;
    r.dstFrames = 2;
    ASSERT_EQ(DoResample(&r), 0);
    EXPECT_EQ(mono[0], 100);
    EXPECT_EQ(mono[1], -7);

    // 8-bit mono to 16-bit stereo through the expansion table; a short
    // source leaves silence after it.
    const uint8_t m[2] = {1, 254};
    std::vector<int16_t> st(6, 99);
    r.src = m;
    r.srcFirst = 1;
    r.srcAvailable = 2;
    r.srcFormat = 0;
    r.dst = st.data();
    r.dstFrames = 3;
    r.dstFormat = kAudio16Bit | kAudioStereo;
    ASSERT_EQ(DoResample(&r), 0);
    EXPECT_EQ(st, (std::vector<int16_t>{int16_t(resref::expand(254)), int16_t(resref::expand(254)),
                                        0, 0, 0, 0}));

    // 16-bit to 8-bit: high byte + 128, or with dither.
    const std::vector<int16_t> w = audiotest::randomSamples(1000);
    std::vector<uint8_t> b(1000);
    r.src = w.data();
    r.srcFirst = 0;
    r.srcAvailable = r.srcCount = 500;
    r.srcFormat = kAudio16Bit | kAudioStereo;
    r.dst = b.data();
    r.dstFrames = 500;
    r.dstFormat = kAudioStereo;
    ASSERT_EQ(DoResample(&r), 0);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(b[size_t(i)], uint8_t((w[size_t(i)] >> 8) + 128)) << i;
    audiotest::useSettings(1, true);
    rc::audio::disposeResamplerContext();
    ASSERT_EQ(DoResample(&r), 0);
    resref::Dither d;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(b[size_t(i)], d.narrow(w[size_t(i)], i % 2)) << i;
    // The generator goes on from where the last call left it.
    ASSERT_EQ(DoResample(&r), 0);
    d.previous[0] = d.previous[1] = 0;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(b[size_t(i)], d.narrow(w[size_t(i)], i % 2)) << i;
}

TEST_F(Resample, FailuresLeaveSilenceAndAnError) {
    const Format m16{true, false}, s8{false, true};
    const auto src = encode(testSignal(100, 1, 44100), m16);
    std::vector<uint8_t> dst(200 * 2, 0x55);
    // Fewer than 2X input frames (X = 7 + 10 at quality 1).
    const std::vector<uint8_t> shortSrc(src.begin(), src.begin() + 33 * 2);
    FmResampleRequest r = request(shortSrc, m16, 0, 33, dst, s8, 100, 44100, 48000);
    EXPECT_NE(DoResample(&r), 0);
    EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + 200), std::vector<uint8_t>(200, 128));
    EXPECT_EQ(dst[200], 0x55);
    // 34 frames are enough.
    const std::vector<uint8_t> enough(src.begin(), src.begin() + 34 * 2);
    r = request(enough, m16, 0, 34, dst, s8, 100, 44100, 48000);
    EXPECT_EQ(DoResample(&r), 0);

    // Bad requests: silence of the destination format.
    std::vector<int16_t> out(50, 7);
    FmResampleRequest bad = r;
    bad.dst = out.data();
    bad.dstFrames = 50;
    bad.dstFormat = kAudio16Bit;
    for (int k = 0; k < 5; ++k) {
        FmResampleRequest b = bad;
        if (k == 0) b.src = nullptr;
        if (k == 1) b.srcRate = 0;
        if (k == 2) b.dstRate = -5;
        if (k == 3) b.srcFirst = b.srcAvailable;
        if (k == 4) b.srcAvailable = 0;
        std::fill(out.begin(), out.end(), 7);
        EXPECT_NE(DoResample(&b), 0) << k;
        EXPECT_EQ(out, std::vector<int16_t>(50, 0)) << k;
    }
    EXPECT_NE(DoResample(nullptr), 0);

    // Out of memory for the scratch buffers: silence, -108.
    std::vector<int16_t> big(4000, 3);
    const auto longSrc = encode(testSignal(4000, 1, 44100), m16);
    FmResampleRequest m = request(longSrc, m16, 0, 4000, dst, m16, 4000, 44100, 48000);
    m.dst = big.data();
    rc::audio::disposeResamplerContext();
    ASSERT_EQ(DoResample(&m), 0);  // context and filter made
    MemoryTerminate();             // scratch purged
    rc::platform::failAllocationsAbove(4096);
    const int32_t err = DoResample(&m);
    rc::platform::resetAllocationFaults();
    EXPECT_EQ(err, -108);
    EXPECT_EQ(big, std::vector<int16_t>(4000, 0));
    // A context that cannot be made at all.
    rc::audio::disposeResamplerContext();
    rc::platform::failNextAllocations(100);
    std::fill(big.begin(), big.end(), 3);
    EXPECT_NE(DoResample(&m), 0);
    rc::platform::resetAllocationFaults();
    EXPECT_EQ(big, std::vector<int16_t>(4000, 0));
}

TEST_F(Resample, FilterCacheKeepsFiveAndSurvivesPurging) {
    const Format m16{true, false};
    const auto src = encode(testSignal(3000, 1, 48000), m16);
    std::vector<uint8_t> dst(6000 * 2);
    auto run = [&](int q, int srcRate, int dstRate, int dstFrames) {
        audiotest::useSettings(q, false);
        FmResampleRequest r = request(src, m16, 100, 2000, dst, m16, dstFrames, srcRate, dstRate);
        return DoResample(&r);
    };
    auto context = [] {
        Handle* table =
            reinterpret_cast<Handle*>(*reinterpret_cast<Handle>(GetAGlobal(kSlotHandleTable)));
        return reinterpret_cast<rc::audio::ResamplerContext*>(*table[kHandleTableResampler]);
    };
    // Six different filters: q1/q2 x roll-off 0.5 / preset.
    ASSERT_EQ(run(1, 48000, 44100, 1000), 0);  // 0.41, 1792
    ASSERT_EQ(run(2, 48000, 44100, 1000), 0);  // 0.46, 3584
    ASSERT_EQ(run(1, 44100, 48000, 3000), 0);  // 0.5, 1792
    ASSERT_EQ(run(2, 44100, 48000, 3000), 0);  // 0.5, 3584
    Handle first = context()->cache[0].coefs;
    ASSERT_EQ(run(1, 48000, 44100, 1000), 0);  // a hit moves to the front
    EXPECT_EQ(context()->cache[0].coefCount, 1792);
    EXPECT_EQ(context()->cache[0].rolloff, 0.41);
    EXPECT_EQ(context()->cache[1].coefs, first);
    EXPECT_EQ(context()->cache[4].coefs, nullptr);
    // Filter designs need not be repeated for the same results.
    const std::vector<uint8_t> before = dst;
    ASSERT_EQ(run(1, 48000, 44100, 1000), 0);
    EXPECT_EQ(dst, before);

    // Scratch buffers are purgeable between calls and come back when purged.
    EXPECT_TRUE(IsPurgeableHandle(context()->scratchIn));
    EXPECT_TRUE(IsPurgeableHandle(context()->scratchOut));
    MemoryTerminate();
    EXPECT_EQ(*context()->scratchIn, nullptr);
    ASSERT_EQ(run(1, 48000, 44100, 1000), 0);
    EXPECT_EQ(dst, before);
    EXPECT_NE(*context()->scratchIn, nullptr);
}

}  // namespace
