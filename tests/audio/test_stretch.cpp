// Nearest-sample conversion: all sixteen format pairs against a reference,
// chunked long sources, explicit positions, and bad arguments.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "audio_test_util.h"
#include "reelcore/audio.h"

namespace {

class Stretch : public ::testing::Test {
  protected:
    void SetUp() override { audiotest::resetRuntime(); }
};

int bytesPerFrame(bool is16, bool stereo) {
    return (is16 ? 2 : 1) * (stereo ? 2 : 1);
}

// One destination frame from one source frame, by the rules of the pair.
std::vector<uint8_t> referenceFrame(const uint8_t* in, bool in16, bool inStereo, bool out16,
                                    bool outStereo) {
    auto s16 = [&](int k) { return int32_t(audiotest::load16(in + 2 * k)); };
    std::vector<int32_t> values;  // output samples in the output's width
    if (!in16 && !out16) {
        if (inStereo && !outStereo)
            values = {(in[0] + in[1]) / 2};
        else if (!inStereo && outStereo)
            values = {in[0], in[0]};
        else
            values = inStereo ? std::vector<int32_t>{in[0], in[1]} : std::vector<int32_t>{in[0]};
    } else if (!in16 && out16) {
        auto up = [](int32_t u) { return u * 257 - 32768; };
        if (inStereo && !outStereo)
            values = {up((in[0] + in[1]) / 2)};
        else if (inStereo)
            values = {up(in[0]), up(in[1])};
        else
            values = outStereo ? std::vector<int32_t>{up(in[0]), up(in[0])}
                               : std::vector<int32_t>{up(in[0])};
    } else if (in16 && !out16) {
        auto hiByte = [](int32_t s) { return ((s + 32768) >> 8) & 0xFF; };
        if (inStereo && !outStereo) {
            const int32_t l = int8_t(uint8_t(s16(0) >> 8)), r = int8_t(uint8_t(s16(1) >> 8));
            values = {(l + r) / 2 + 128};
        } else if (inStereo) {
            values = {hiByte(s16(0)), hiByte(s16(1))};
        } else {
            values = outStereo ? std::vector<int32_t>{hiByte(s16(0)), hiByte(s16(0))}
                               : std::vector<int32_t>{hiByte(s16(0))};
        }
    } else {
        if (inStereo && !outStereo)
            values = {(s16(0) + s16(1)) >> 1};
        else if (!inStereo && outStereo)
            values = {s16(0), s16(0)};
        else
            values = inStereo ? std::vector<int32_t>{s16(0), s16(1)} : std::vector<int32_t>{s16(0)};
    }
    std::vector<uint8_t> out;
    for (int32_t v : values) {
        if (out16) {
            const int16_t s = int16_t(v);
            uint8_t b[2];
            std::memcpy(b, &s, 2);
            out.insert(out.end(), b, b + 2);
        } else {
            out.push_back(uint8_t(v));
        }
    }
    return out;
}

// Output frame i takes source frame floor((position + i x step) / 65536),
// kept inside the source.
std::vector<uint8_t> referenceMunge(const std::vector<uint8_t>& src, bool in16, bool inStereo,
                                    bool out16, bool outStereo, int64_t dstFrames, int64_t position,
                                    uint64_t step) {
    const int inBytes = bytesPerFrame(in16, inStereo);
    const int64_t srcFrames = int64_t(src.size()) / inBytes;
    std::vector<uint8_t> out;
    for (int64_t i = 0; i < dstFrames; ++i) {
        const __int128 p = __int128(position) + __int128(i) * step;
        int64_t index = int64_t(p >> 16);
        if (index < 0) index = 0;
        if (index >= srcFrames) index = srcFrames - 1;
        const auto f =
            referenceFrame(&src[size_t(index * inBytes)], in16, inStereo, out16, outStereo);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

TEST_F(Stretch, AllSixteenPairsMatchTheReference) {
    for (int s = 0; s < 4; ++s) {
        for (int d = 0; d < 4; ++d) {
            const bool in16 = s & 2, inStereo = s & 1, out16 = d & 2, outStereo = d & 1;
            const int inBytes = bytesPerFrame(in16, inStereo),
                      outBytes = bytesPerFrame(out16, outStereo);
            const int32_t formats = (in16 ? kAudio16Bit : 0) | (inStereo ? kAudioStereo : 0) |
                                    (out16 ? kStretch16Bit : 0) | (outStereo ? kStretchStereo : 0);
            for (int32_t srcFrames : {1, 7, 100, 441}) {
                for (int32_t dstFrames : {1, 3, 100, 480, 1000}) {
                    std::vector<uint8_t> src = audiotest::randomBytes(size_t(srcFrames) * inBytes);
                    // Samples at the extremes exercise the signed and unsigned edges.
                    src[0] = in16 ? 0x00 : 0;
                    if (src.size() > 1) src[1] = in16 ? 0x80 : 255;
                    std::vector<uint8_t> dst(size_t(dstFrames) * outBytes + 3, 0xA5);
                    ASSERT_EQ(StretchAudio(src.data(), int32_t(src.size()), dst.data(),
                                           dstFrames * outBytes, formats),
                              0);
                    const uint64_t step = (uint64_t(srcFrames) << 16) / uint64_t(dstFrames);
                    const auto want =
                        referenceMunge(src, in16, inStereo, out16, outStereo, dstFrames, 0, step);
                    ASSERT_EQ(std::vector<uint8_t>(dst.begin(), dst.end() - 3), want)
                        << "pair " << s << "->" << d << " " << srcFrames << "->" << dstFrames;
                    EXPECT_EQ(dst[dst.size() - 1], 0xA5);  // nothing past the destination
                }
            }
        }
    }
}

TEST_F(Stretch, DoublingAndTheNamedEdges) {
    std::vector<uint8_t> src(100);
    for (int i = 0; i < 100; ++i) src[i] = uint8_t(i * 2 + 1);
    std::vector<uint8_t> dst(200);
    ASSERT_EQ(StretchAudio(src.data(), 100, dst.data(), 200, 0), 0);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(dst[i], src[i / 2]) << i;

    // 16-bit stereo to 16-bit mono averages (arithmetic shift).
    const int16_t pair[2] = {-3, 0};
    int16_t mono = 0;
    ASSERT_EQ(StretchAudio(pair, 4, &mono, 2, kAudio16Bit | kAudioStereo | kStretch16Bit), 0);
    EXPECT_EQ(mono, -2);
    // 16-bit stereo to 8-bit mono: the signed high bytes averaged, toward zero.
    const int16_t lr[2] = {-256, 0};
    uint8_t b = 0;
    ASSERT_EQ(StretchAudio(lr, 4, &b, 1, kAudio16Bit | kAudioStereo), 0);
    EXPECT_EQ(b, 128);
    // 8-bit to 16-bit: 0 -> -32768, 255 -> 32767.
    const uint8_t ends[2] = {0, 255};
    int16_t wide[2];
    ASSERT_EQ(StretchAudio(ends, 2, wide, 4, kStretch16Bit), 0);
    EXPECT_EQ(wide[0], -32768);
    EXPECT_EQ(wide[1], 32767);
}

TEST_F(Stretch, LongSourcesGoInChunksWithTheSameResult) {
    // More than 65000 source frames: shrinking, stretching and an odd ratio.
    const std::vector<uint8_t> src = audiotest::randomBytes(200003 * 2);
    for (int32_t dstFrames : {1, 4097, 65001, 200003, 333333}) {
        std::vector<uint8_t> dst(size_t(dstFrames) * 4);
        ASSERT_EQ(StretchAudio(src.data(), int32_t(src.size()), dst.data(), int32_t(dst.size()),
                               kAudio16Bit | kStretch16Bit | kStretchStereo),
                  0);
        const uint64_t step = (uint64_t(200003) << 16) / uint64_t(dstFrames);
        EXPECT_EQ(dst, referenceMunge(src, true, false, true, true, dstFrames, 0, step))
            << dstFrames;
    }
}

TEST_F(Stretch, MungeTakesPositionAndStep) {
    const std::vector<uint8_t> src = audiotest::randomBytes(3000);
    struct Case {
        int64_t position;
        uint32_t step;
        int32_t frames;
    };
    const Case cases[] = {
        {0, 65536, 1500},           // straight copy
        {0x18000, 32768, 2000},     // start half-way into frame 1, half speed
        {-5 * 65536, 70000, 1000},  // before the source: clamps to the first frame
        {0, 65000u * 65536u, 5},    // a step of 65000 frames: one frame per chunk
        {0, 0xFFFFFFFFu, 3},        // the largest step
        {int64_t(1) << 60, 1, 4},   // far past the end
        {-(int64_t(1) << 62), 0xFFFFFFFFu, 3},
        {123456, 0, 10},  // a zero step repeats one frame
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> dst(size_t(c.frames) * 2, 0);
        FmAudioMungeRequest r{src.data(), 3000,         0,          dst.data(),
                              c.frames,   kAudioStereo, c.position, c.step};
        ASSERT_EQ(DoAudioMunge(&r), 0);
        EXPECT_EQ(dst, referenceMunge(src, false, false, false, true, c.frames, c.position, c.step))
            << c.position << " " << c.step;
    }
}

TEST_F(Stretch, BadArgumentsWriteNothing) {
    std::vector<uint8_t> src(64, 1), dst(64, 0xEE);
    EXPECT_NE(StretchAudio(src.data(), 64, dst.data(), 0, 0), 0);  // no destination frames
    EXPECT_NE(StretchAudio(src.data(), 64, dst.data(), 1, kStretch16Bit), 0);  // less than a frame
    EXPECT_NE(StretchAudio(src.data(), 1, dst.data(), 64, kAudio16Bit), 0);
    EXPECT_NE(StretchAudio(src.data(), 0, dst.data(), 64, 0), 0);
    EXPECT_NE(StretchAudio(src.data(), -4, dst.data(), 64, 0), 0);
    EXPECT_NE(StretchAudio(nullptr, 64, dst.data(), 64, 0), 0);
    EXPECT_NE(StretchAudio(src.data(), 64, nullptr, 64, 0), 0);
    EXPECT_EQ(dst, std::vector<uint8_t>(64, 0xEE));

    FmAudioMungeRequest r{src.data(), 64, 0, dst.data(), 0, 0, 0, 65536};
    EXPECT_NE(DoAudioMunge(&r), 0);
    r.dstFrames = 8;
    r.srcFrames = 0;
    EXPECT_NE(DoAudioMunge(&r), 0);
    r.srcFrames = 64;
    r.src = nullptr;
    EXPECT_NE(DoAudioMunge(&r), 0);
    EXPECT_NE(DoAudioMunge(nullptr), 0);
    EXPECT_EQ(dst, std::vector<uint8_t>(64, 0xEE));
}

}  // namespace
