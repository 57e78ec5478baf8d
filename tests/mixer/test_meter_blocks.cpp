// ComputeBufferVU over frame-sized blocks of every sample kind, against the
// positive peaks worked out here sample by sample.
#include <random>

#include "mixer_fixture.h"

namespace {

using namespace mixtest;

// The positive peak of channel c (of `channels`) of n values.
template <typename T>
int32_t peakOf(const std::vector<T>& v, int32_t channels, int32_t c, int32_t bias, int shift) {
    int32_t top = 0;
    for (size_t i = size_t(c); i < v.size(); i += size_t(channels))
        top = std::max(top, (int32_t(v[i]) - bias) >> shift);
    return top;
}

TEST_F(MixerTest, ComputeBufferVUOverLongBlocksOfEveryKind) {
    std::mt19937 random(7);
    FmMasterMeter meter{2, {{1.0f, 0.0f}, {1.0f, 0.0f}}};
    // Lengths around whole vectors, odd ones among them; the peak placed at
    // the start, the end and in between.
    for (const int32_t n : {1, 2, 31, 64, 65, 1919, 1920, 3841}) {
        for (const int32_t where : {0, n / 2, n - 1}) {
            std::vector<int16_t> s16(static_cast<size_t>(n));
            for (auto& v : s16) v = int16_t(int32_t(random() % 20001) - 15000);
            s16[size_t(where)] = 32000;
            for (const int32_t format : {0x200, 0x300}) {
                const int32_t channels = (format & 0x100) ? 2 : 1;
                ComputeBufferVU(&meter, s16.data(), format, n * 2);
                const int32_t left = peakOf(s16, channels, 0, 0, 0);
                const int32_t right = channels == 2 ? peakOf(s16, 2, 1, 0, 0) : left;
                ASSERT_FLOAT_EQ(meter.channels[0].level, float(left) / 32767.0f)
                    << n << " " << where;
                ASSERT_FLOAT_EQ(meter.channels[1].level, float(right) / 32767.0f)
                    << n << " " << where;
            }
            std::vector<uint8_t> s8(static_cast<size_t>(n));
            for (auto& v : s8) v = uint8_t(random() % 200);
            s8[size_t(where)] = 250;
            ComputeBufferVU(&meter, s8.data(), 0x100, n);
            ASSERT_FLOAT_EQ(meter.channels[0].level, float(peakOf(s8, 2, 0, 128, 0)) / 127.0f) << n;
            ASSERT_FLOAT_EQ(meter.channels[1].level, float(peakOf(s8, 2, 1, 128, 0)) / 127.0f) << n;
            std::vector<int32_t> words(static_cast<size_t>(n));
            for (auto& v : words) v = int32_t(random() % 2000001) - 1000000;
            words[size_t(where)] = 0x7FFFF;
            ComputeBufferVU(&meter, words.data(), kMeterAccumulator | 0x100, n * 4);
            ASSERT_FLOAT_EQ(meter.channels[0].level, float(peakOf(words, 2, 0, 0, 4)) / 32767.0f)
                << n;
            ASSERT_FLOAT_EQ(meter.channels[1].level, float(peakOf(words, 2, 1, 0, 4)) / 32767.0f)
                << n;
        }
    }
    // Every value negative: silence on both channels, however long.
    std::vector<int16_t> negative(1920, -5);
    ComputeBufferVU(&meter, negative.data(), 0x300, 3840);
    EXPECT_EQ(meter.channels[0].level, 0.0f);
    EXPECT_EQ(meter.channels[1].level, 0.0f);
}

}  // namespace
