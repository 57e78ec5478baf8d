// Delay lines, faders and meters.
#include <cmath>

#include "mixer_fixture.h"

namespace {

using namespace mixtest;

TEST_F(MixerTest, MeterLevelsShowDepthFramesLater) {
    Mixer m(2);
    const FmMixerDelay delay{2, 3};
    ASSERT_EQ(SetAudMixerVUDelay(&delay), 0);
    InitAudMixerMasterVUHistory();
    // Without a track the mix still moves the ring once per frame.
    SetMixerVU(m.record(), 0, 0.75f);
    EXPECT_EQ(m.strip(0)->meter, 0.0f);
    std::vector<float> shown;
    for (int f = 0; f < 4; ++f) {
        rc::mixer::advanceRings();
        SetMixerVU(m.record(), 0, 0.0f);
        shown.push_back(m.strip(0)->meter);
    }
    EXPECT_EQ(shown, (std::vector<float>{0.0f, 0.0f, 0.75f, 0.0f}));

    // Strip -1 reaches every strip; a strip outside the record nothing.
    SetMixerGain(m.record(), -1, 0.25f);
    EXPECT_EQ(m.strip(0)->gain, 0.25f);
    EXPECT_EQ(m.strip(1)->gainSetting, 0.25f);
    SetMixerGain(m.record(), 2, 2.0f);
    SetMixerPan(m.record(), -2, 0.0f);
    EXPECT_EQ(m.strip(1)->gain, 0.25f);
    EXPECT_EQ(m.strip(1)->pan, 0.5f);
    SetMixerPan(m.record(), 1, 0.9f);
    EXPECT_EQ(m.strip(1)->pan, 0.9f);
    EXPECT_EQ(m.strip(1)->panSetting, 0.9f);
    EXPECT_EQ(m.strip(0)->pan, 0.5f);

    // A mixer of another size than the history shows at once.
    Mixer other(3);
    SetMixerVU(other.record(), 1, 0.5f);
    EXPECT_EQ(other.strip(1)->meter, 0.5f);
}

TEST_F(MixerTest, DelayDepthsAreClampedAndLinesResizeSafelyMidPlay) {
    const FmMixerDelay deep{4, 40};
    ASSERT_EQ(SetAudMixerVUDelay(&deep), 0);
    EXPECT_EQ(rc::mixer::state().depth, 30);
    const FmMasterDelay wide{2, 99}, negative{2, -5};
    ASSERT_EQ(SetAudMasterVUDelay(&wide), 0);
    EXPECT_EQ(rc::mixer::state().width, 30);
    ASSERT_EQ(SetAudMasterVUDelay(&negative), 0);
    EXPECT_EQ(rc::mixer::state().width, 0);

    // Play 20 frames into a depth-30 line, then shrink it to 3 and to fewer
    // strips: the ring starts again at 0, so nothing reads past the block.
    Mixer m(4);
    for (int f = 0; f < 20; ++f) rc::mixer::advanceRings();
    EXPECT_EQ(rc::mixer::state().mixerPos, 20);
    const FmMixerDelay shallow{4, 3};
    ASSERT_EQ(SetAudMixerVUDelay(&shallow), 0);
    EXPECT_EQ(rc::mixer::state().mixerPos, 0);
    for (int f = 0; f < 3; ++f) {
        SetMixerVU(m.record(), -1, 0.5f);
        rc::mixer::advanceRings();
    }
    EXPECT_EQ(m.strip(3)->meter, 0.0f);
    SetMixerVU(m.record(), -1, 0.1f);
    EXPECT_EQ(m.strip(3)->meter, 0.5f);  // fresh slots were filled
    const FmMixerDelay fewer{2, 3};
    ASSERT_EQ(SetAudMixerVUDelay(&fewer), 0);
    SetMixerVU(m.record(), -1, 0.2f);  // 4 strips on a 2-strip line: at once
    EXPECT_EQ(m.strip(3)->meter, 0.2f);
    Mixer two(2);
    SetMixerVU(two.record(), -1, 0.3f);
    EXPECT_EQ(two.strip(1)->meter, 0.0f);
    ASSERT_EQ(SetAudMixerVUDelay(nullptr), 0);
    SetMixerVU(two.record(), 0, 0.4f);
    EXPECT_EQ(two.strip(0)->meter, 0.4f);

    // Master: width 2 shows two frames later; a fresh line shows 0.
    const FmMasterDelay two2{2, 2};
    ASSERT_EQ(SetAudMasterVUDelay(&two2), 0);
    FmMasterMeter master{2, {{1.0f, 0.0f}, {0.5f, 0.0f}}};
    const int16_t loud[2] = {16384, 32767};
    ComputeBufferVU(&master, loud, 0x300, 4);
    EXPECT_EQ(master.channels[0].level, 0.0f);
    rc::mixer::advanceRings();
    const int16_t quiet[2] = {0, 0};
    ComputeBufferVU(&master, quiet, 0x300, 4);
    EXPECT_EQ(master.channels[1].level, 0.0f);
    rc::mixer::advanceRings();
    ComputeBufferVU(&master, quiet, 0x300, 4);
    EXPECT_FLOAT_EQ(master.channels[0].level, 16384.0f / 32767.0f);
    EXPECT_FLOAT_EQ(master.channels[1].level, 0.5f);  // the channel's scale
}

TEST_F(MixerTest, ComputeBufferVUMeasuresPositivePeaksPerChannel) {
    FmMasterMeter stereo{2, {{1.0f, -1.0f}, {1.0f, -1.0f}}};
    // All negative: only positive excursions count.
    const int16_t negative[4] = {-32768, -100, -1, -30000};
    ComputeBufferVU(&stereo, negative, 0x300, 8);
    EXPECT_EQ(stereo.channels[0].level, 0.0f);
    EXPECT_EQ(stereo.channels[1].level, 0.0f);
    // Left and right apart, stride two samples.
    const int16_t lr[6] = {100, 3000, 32767, -5, 7, 9};
    ComputeBufferVU(&stereo, lr, 0x300, 12);
    EXPECT_FLOAT_EQ(stereo.channels[0].level, 1.0f);
    EXPECT_FLOAT_EQ(stereo.channels[1].level, 3000.0f / 32767.0f);
    // 8-bit around 128.
    const uint8_t bytes[4] = {0, 200, 255, 128};
    ComputeBufferVU(&stereo, bytes, 0x100, 4);
    EXPECT_FLOAT_EQ(stereo.channels[0].level, 1.0f);
    EXPECT_FLOAT_EQ(stereo.channels[1].level, 72.0f / 127.0f);
    // Accumulator words: (v >> 4) / 32767, beyond 1.0 when clipped.
    const int32_t words[2] = {0x100000, 16 * 1000};
    ComputeBufferVU(&stereo, words, kMeterAccumulator | 0x100, 8);
    EXPECT_FLOAT_EQ(stereo.channels[0].level, 65536.0f / 32767.0f);
    EXPECT_FLOAT_EQ(stereo.channels[1].level, 1000.0f / 32767.0f);
    // A stereo block on a mono meter: the larger peak.
    FmMasterMeter mono{1, {{2.0f, 0.0f}, {9.0f, 9.0f}}};
    ComputeBufferVU(&mono, lr, 0x300, 8);
    EXPECT_FLOAT_EQ(mono.channels[0].level, 2.0f);
    EXPECT_EQ(mono.channels[1].level, 9.0f);  // not the record's
    // A mono block on a stereo meter shows on both.
    const int16_t m[2] = {16384, 2};
    ComputeBufferVU(&stereo, m, 0x200, 4);
    EXPECT_FLOAT_EQ(stereo.channels[0].level, 16384.0f / 32767.0f);
    EXPECT_FLOAT_EQ(stereo.channels[1].level, 16384.0f / 32767.0f);
    // Other counts: nothing written.
    FmMasterMeter odd{3, {{1.0f, 0.25f}, {1.0f, 0.25f}}};
    ComputeBufferVU(&odd, lr, 0x300, 12);
    EXPECT_EQ(odd.channels[0].level, 0.25f);
    ComputeBufferVU(nullptr, lr, 0x300, 12);
}

TEST_F(MixerTest, MeterSinkIsCalledOncePerMixAfterTheRingsMove) {
    struct Seen {
        std::vector<int32_t> frames;
        std::vector<int32_t> positions;
    } seen;
    auto sink = [](void* context, int32_t frame, const FmMixerRecord*, const FmMasterMeter*) {
        auto* s = static_cast<Seen*>(context);
        s->frames.push_back(frame);
        s->positions.push_back(rc::mixer::state().mixerPos);
    };
    EXPECT_EQ(MixerSetMeterSink(sink, &seen), nullptr);
    const FmMixerDelay delay{1, 4};
    ASSERT_EQ(SetAudMixerVUDelay(&delay), 0);
    Mixer m(1);
    addTrack();
    for (int f = 5; f < 8; ++f) mix(f, 0x300, 48000, m.record());
    mix(8, 0x300, 48000);  // meterless: no ring movement, still reported
    EXPECT_EQ(seen.frames, (std::vector<int32_t>{5, 6, 7, 8}));
    EXPECT_EQ(seen.positions, (std::vector<int32_t>{1, 2, 3, 3}));
    const FmMeterSink installed = sink;
    EXPECT_EQ(MixerSetMeterSink(nullptr, nullptr), installed);
    mix(9, 0x300, 48000, m.record());
    EXPECT_EQ(seen.frames.size(), 4u);
}

}  // namespace
