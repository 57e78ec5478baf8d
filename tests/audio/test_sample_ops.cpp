// Halving, reversing, summing, limiting and the three-way mix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/sample_simd.h"
#include "audio_test_util.h"
#include "reelcore/audio.h"
#include "reelcore/globals.h"

namespace {

class SampleOps : public ::testing::Test {
  protected:
    void SetUp() override { audiotest::resetRuntime(); }
};

TEST_F(SampleOps, MuteHalvesTowardSilence) {
    std::vector<uint8_t> b = {0, 127, 128, 255, 1, 129, 130, 126};
    BlockMute(b.data(), int32_t(b.size()) - 1);  // the last byte is outside the count
    EXPECT_EQ(b, (std::vector<uint8_t>{64, 128, 128, 191, 65, 128, 129, 126}));

    std::vector<int16_t> s = {-32768, -3, -1, 0, 1, 3, 32767, 99};
    BlockMute16(s.data(), 7);
    EXPECT_EQ(s, (std::vector<int16_t>{-16384, -1, 0, 0, 0, 1, 16383, 99}));

    BlockMute(nullptr, 4);
    BlockMute16(s.data(), 0);
    BlockMute16(s.data(), -5);
    EXPECT_EQ(s[0], -16384);
}

TEST_F(SampleOps, ReverseCopiesAndInPlace) {
    const std::vector<uint8_t> bytes = audiotest::randomBytes(37);
    std::vector<uint8_t> out(38, 0xEE);
    BlockBackwards(bytes.data(), out.data(), 37);
    for (size_t i = 0; i < 37; ++i) EXPECT_EQ(out[i], bytes[36 - i]);
    EXPECT_EQ(out[37], 0xEE);  // nothing past the count

    const std::vector<uint16_t> words = {1, 2, 3, 4, 5};
    std::vector<uint16_t> wout(5);
    BlockBackwardsWord(words.data(), wout.data(), 5);
    EXPECT_EQ(wout, (std::vector<uint16_t>{5, 4, 3, 2, 1}));

    // In place: 8-bit mono, 16-bit mono or 8-bit stereo, 16-bit stereo frames.
    std::vector<uint8_t> b = {1, 2, 3, 4};
    BlockBackwards_inplace(b.data(), 4);
    EXPECT_EQ(b, (std::vector<uint8_t>{4, 3, 2, 1}));
    std::vector<uint16_t> w = {0x0102, 0x0304, 0x0506};
    BlockBackwardsWord_inplace(w.data(), 3);
    EXPECT_EQ(w, (std::vector<uint16_t>{0x0506, 0x0304, 0x0102}));
    std::vector<uint32_t> l = {10, 20, 30, 40, 50, 60};
    BlockBackwardsLong_inplace(l.data(), 6);
    EXPECT_EQ(l, (std::vector<uint32_t>{60, 50, 40, 30, 20, 10}));

    // Counts below 2 leave the buffer alone.
    BlockBackwardsLong_inplace(l.data(), 1);
    BlockBackwardsWord_inplace(w.data(), 0);
    BlockBackwards_inplace(b.data(), -3);
    EXPECT_EQ(l[0], 60u);
    EXPECT_EQ(w[0], 0x0506);
    EXPECT_EQ(b[0], 4);
}

TEST_F(SampleOps, SumScalesIntoTheAccumulator) {
    // 16-bit at unity: s x 16.
    const std::vector<int16_t> s = {-32768, -1, 0, 1, 32767};
    std::vector<int32_t> acc(6, 5);
    AudioSum(s.data(), acc.data(), 10, 65536, kAudio16Bit);
    EXPECT_EQ(acc, (std::vector<int32_t>{5 - 524288, 5 - 16, 5, 5 + 16, 5 + 524272, 5}));

    // Other gains: (g >> 4) x s >> 8, flooring.
    std::fill(acc.begin(), acc.end(), 0);
    AudioSum(s.data(), acc.data(), 10, 32768, kAudio16Bit | kAudioStereo);
    EXPECT_EQ(acc, (std::vector<int32_t>{-262144, -8, 0, 8, 262136, 0}));
    std::fill(acc.begin(), acc.end(), 0);
    AudioSum(s.data(), acc.data(), 10, 1000, kAudio16Bit);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(acc[i], ((1000 >> 4) * s[i]) >> 8) << i;

    // 8-bit: (u - 128) x 4096 at unity, g x (u - 128) otherwise.
    const std::vector<uint8_t> u = {0, 127, 128, 255};
    std::vector<int32_t> acc8(4, 0);
    AudioSum(u.data(), acc8.data(), 4, 65536, 0);
    EXPECT_EQ(acc8, (std::vector<int32_t>{-524288, -4096, 0, 520192}));
    AudioSum(u.data(), acc8.data(), 4, 16384, kAudioStereo);
    EXPECT_EQ(acc8, (std::vector<int32_t>{-524288 - 131072, -4096 - 1024, 0, 520192 + 130048}));

    // Gains at and beyond 32768 x 16 behave as the largest gain, without
    // overflowing; words stick at the ends of their range.
    std::vector<int32_t> big(1, INT32_MAX - 10);
    const int16_t top = 32767;
    AudioSum(&top, big.data(), 2, 0x7FFFFFFF, kAudio16Bit);
    EXPECT_EQ(big[0], INT32_MAX);
    big[0] = 0;
    AudioSum(&top, big.data(), 2, 0x7FFFFFFF, kAudio16Bit);
    EXPECT_EQ(big[0], (32767 * 32767) >> 8);
}

TEST_F(SampleOps, LimitClipsAtTheEdgesOfBothSizes) {
    const std::vector<int32_t> acc = {0x80000, 0x7FFFF,   -0x80000,  -0x80001, 16,
                                      -17,     INT32_MAX, INT32_MIN, 0};
    std::vector<int16_t> out(acc.size() + 1, 77);
    AudioLimit(acc.data(), out.data(), int32_t(acc.size()) * 2, kAudio16Bit);
    EXPECT_EQ(out,
              (std::vector<int16_t>{32767, 32767, -32768, -32768, 1, -2, 32767, -32768, 0, 77}));

    const std::vector<int32_t> acc8 = {0,         4095,      4096,         -4096,       -4097,
                                       127 << 12, 128 << 12, -(128 << 12), -(129 << 12)};
    std::vector<uint8_t> out8(acc8.size() + 1, 9);
    AudioLimit(acc8.data(), out8.data(), int32_t(acc8.size()), kAudioStereo);
    EXPECT_EQ(out8, (std::vector<uint8_t>{128, 128, 129, 127, 126, 255, 255, 0, 0, 9}));

    // Sum then limit returns the samples at unity.
    const std::vector<int16_t> s = audiotest::randomSamples(64);
    std::vector<int32_t> a(64, 0);
    AudioSum(s.data(), a.data(), 128, 65536, kAudio16Bit);
    std::vector<int16_t> back(64);
    AudioLimit(a.data(), back.data(), 128, kAudio16Bit);
    EXPECT_EQ(back, s);
    const std::vector<uint8_t> u = audiotest::randomBytes(64);
    std::fill(a.begin(), a.end(), 0);
    AudioSum(u.data(), a.data(), 64, 65536, 0);
    std::vector<uint8_t> back8(64);
    AudioLimit(a.data(), back8.data(), 64, 0);
    EXPECT_EQ(back8, u);
}

TEST_F(SampleOps, Mix16WithThreeGains) {
    const int16_t top[2] = {32767, 32767}, bottom[2] = {-32768, -32768};
    int16_t out[2];
    AudioMix(top, 10000, top, 10000, top, 10000, 4, out, kAudio16Bit);
    EXPECT_EQ(out[0], 32767);
    AudioMix(bottom, 10000, bottom, 10000, bottom, 10000, 4, out, kAudio16Bit | kAudioStereo);
    EXPECT_EQ(out[1], -32767);  // -32768 never results

    const std::vector<int16_t> a = audiotest::randomSamples(100), b = audiotest::randomSamples(100),
                               c = audiotest::randomSamples(100);
    std::vector<int16_t> mixed(101, 5);
    const int32_t g1 = 2500, g2 = 7000, g3 = 3333;
    AudioMix(a.data(), g1, b.data(), g2, c.data(), g3, 200, mixed.data(), kAudio16Bit);
    for (int i = 0; i < 100; ++i) {
        const int32_t want = g1 * a[i] / 10000 + g2 * b[i] / 10000 + g3 * c[i] / 10000;
        EXPECT_EQ(mixed[i], std::clamp(want, -32767, 32767)) << i;
    }
    EXPECT_EQ(mixed[100], 5);

    // Gains far above unity clip instead of overflowing; a null source is silence.
    AudioMix(top, 2000000000, nullptr, 10000, bottom, 0, 2, out, kAudio16Bit);
    EXPECT_EQ(out[0], 32767);
    AudioMix(nullptr, 10000, bottom, 5000, nullptr, 10000, 2, out, kAudio16Bit);
    EXPECT_EQ(out[0], -16384);
}

TEST_F(SampleOps, Mix8ThroughTheSlotTables) {
    const std::vector<uint8_t> a = audiotest::randomBytes(300), b = audiotest::randomBytes(300),
                               c = audiotest::randomBytes(300);
    std::vector<uint8_t> out(300);
    // Gains in thousandths become tenths: 10 is unity.
    AudioMix(a.data(), 10000, b.data(), 5000, c.data(), 2500, 300, out.data(), 0);
    for (int i = 0; i < 300; ++i) {
        const int32_t sum = (a[i] - 128) * 10 / 10 + (b[i] - 128) * 5 / 10 + (c[i] - 128) * 2 / 10;
        EXPECT_EQ(out[i], std::clamp(sum + 128, 0, 255)) << i;
    }
    // The library put its tables in slots 65 and 66.
    EXPECT_NE(GetAGlobal(kSlotAudioMixScale), 0);
    EXPECT_NE(GetAGlobal(kSlotAudioMixClip), 0);

    // Full-scale sums clip to one byte.
    const uint8_t hi = 255, lo = 0;
    uint8_t o = 0;
    AudioMix(&hi, 10000, &hi, 10000, &hi, 10000, 1, &o, kAudioStereo);
    EXPECT_EQ(o, 255);
    AudioMix(&lo, 10000, &lo, 10000, &lo, 10000, 1, &o, 0);
    EXPECT_EQ(o, 0);

    // Gains outside the table's rows are clamped to its first and last rows
    // instead of reading beyond them.
    AudioMix(&lo, 1000000000, &lo, 1000000000, &lo, 1000000000, 1, &o, 0);
    EXPECT_EQ(o, 0);
    const uint8_t quiet = 129;
    AudioMix(&quiet, 999999, nullptr, 0, nullptr, 0, 1, &o, 0);
    EXPECT_EQ(o, 128 + (kAudioMixGainRows - 1) / 10);
    AudioMix(&hi, -50000, &hi, 10000, nullptr, 0, 1, &o, 0);
    EXPECT_EQ(o, 255);  // a negative gain counts as 0
    AudioMix(&hi, -50000, &quiet, 10000, nullptr, 0, 1, &o, 0);
    EXPECT_EQ(o, 129);

    // Tables the executable puts in the slots are used.
    static int16_t scale[kAudioMixGainRows * 256];
    static uint8_t clip[kAudioMixClipSize];
    for (int i = 0; i < kAudioMixGainRows * 256; ++i) scale[i] = 1;
    for (int i = 0; i < kAudioMixClipSize; ++i) clip[i] = uint8_t(i);
    SetAGlobal(kSlotAudioMixScale, reinterpret_cast<intptr_t>(scale));
    SetAGlobal(kSlotAudioMixClip, reinterpret_cast<intptr_t>(clip));
    AudioMix(&lo, 10000, &lo, 10000, nullptr, 10000, 1, &o, 0);
    EXPECT_EQ(o, uint8_t(kAudioMixClipBias + 2));
}

}  // namespace

namespace {

// Long blocks go through the vector loops: every word must still follow the
// per-sample rules, saturation included.
class SampleKernels : public SampleOps, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        SampleOps::SetUp();
        rc::audio::setScalarKernelsOnly(GetParam());
    }
    void TearDown() override { rc::audio::setScalarKernelsOnly(false); }
};

INSTANTIATE_TEST_SUITE_P(VectorAndScalar, SampleKernels, ::testing::Bool());

TEST_P(SampleKernels, LongBlocksFollowThePerSampleRules) {
    const int n = 1003;
    const std::vector<int16_t> s = audiotest::randomSamples(n);
    const std::vector<uint8_t> u = audiotest::randomBytes(n);
    std::vector<int32_t> start(n);
    for (int i = 0; i < n; ++i) {
        const int32_t r = int32_t(audiotest::rng()());
        // Some words close to the ends of the range, so that adds saturate.
        start[i] =
            i % 3 == 0 ? (r < 0 ? INT32_MIN + (r & 0xFFFFF) : INT32_MAX - (r & 0xFFFFF)) : r >> 8;
    }
    auto saturated = [](int64_t v) {
        return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    };
    for (int32_t gain : {65536, 40000, 0x7FFFFFFF, -0x7FFFFFFF, 0}) {
        const int32_t g = std::clamp(gain >> 4, -32768, 32767);
        std::vector<int32_t> acc = start;
        AudioSum(s.data(), acc.data(), n * 2, gain, kAudio16Bit);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(acc[i], saturated(int64_t(start[i]) + ((g * s[i]) >> 8))) << gain << " " << i;
        acc = start;
        AudioSum(u.data(), acc.data(), n, gain, kAudioStereo);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(acc[i], saturated(int64_t(start[i]) + g * (u[i] - 128))) << gain << " " << i;
    }
    std::vector<int16_t> out16(n);
    AudioLimit(start.data(), out16.data(), n * 2, kAudio16Bit);
    std::vector<uint8_t> out8(n);
    AudioLimit(start.data(), out8.data(), n, 0);
    for (int i = 0; i < n; ++i) {
        const int32_t v = start[i];
        ASSERT_EQ(out16[i], v >= 0x80000 ? 32767 : v < -0x80000 ? -32768 : v >> 4) << i;
        ASSERT_EQ(out8[i], std::clamp(v >> 12, -128, 127) + 128) << i;
    }
}

}  // namespace
