// Where a track's gain comes from, clip audio for waveforms, post-processing,
// loops, automation and the filter setup.
#include <cmath>

#include "mixer_fixture.h"
#include "reelcore/sdk/effect.h"
#include "reelcore/utility_table.h"

namespace {

using namespace mixtest;

int16_t sampleAt(const std::vector<uint8_t>& b, size_t i) {
    int16_t v;
    std::memcpy(&v, b.data() + 2 * i, 2);
    return v;
}

// A one-track timeline over a 16-bit mono pattern: the first sample of
// frame 0 is pattern16(0, 0, 1) = -28763.
class Sources : public MixerTest {
  protected:
    int32_t clip = 0;
    TrackItemRec* item = nullptr;
    void SetUp() override {
        MixerTest::SetUp();
        PatternFile f;
        f.format = 0x200;
        clip = addClip(f, 0, 250);
        addTrack();
        item = addItem(0, clip, 0, 250);
    }
    // Sample 10 of the frame's mix.
    int16_t mixed(int32_t frame, FmMixerRecord* mixer = nullptr) {
        return sampleAt(mix(frame, 0x200, 48000, mixer, nullptr), 10);
    }
    static int16_t scaled(int64_t frame, int32_t gain) {
        const int32_t s = pattern16(frame * 1920 + 10, 0, 1);
        return int16_t(
            std::clamp(((std::clamp(gain >> 4, -32768, 32767) * s) >> 8), -0x80000, 0x7FFFF) >> 4);
    }
};

TEST_F(Sources, EveryGainSource) {
    // No band, no mixer: unity. A band of level 64 (a quarter of full): 0x4000 / 4 * 8.
    EXPECT_EQ(mixed(0), scaled(0, 65536));
    band(item, true, {{0, 64}, {0, 64}});
    EXPECT_EQ(mixed(1), scaled(1, 32768));

    // Read mode: the envelope; the fader follows it.
    Mixer m(1);
    m.strip(0)->flags = kMixerModeRead;
    EXPECT_EQ(mixed(2, m.record()), scaled(2, 32768));
    EXPECT_EQ(m.strip(0)->gainSetting, 0.5f);
    // Mode off: the fader's gain; mute: nothing.
    m.strip(0)->flags = kMixerModeOff;
    SetMixerGain(m.record(), 0, 0.25f);
    EXPECT_EQ(mixed(3, m.record()), scaled(3, 16384));
    m.strip(0)->mute = 1;
    EXPECT_EQ(mixed(4, m.record()), 0);
    m.strip(0)->mute = 0;
    // Negative and NaN gains give 0; a huge one stays within AudioSum's range.
    SetMixerGain(m.record(), 0, -1.0f);
    EXPECT_EQ(mixed(5, m.record()), 0);
    SetMixerGain(m.record(), 0, std::nanf(""));
    EXPECT_EQ(mixed(6, m.record()), 0);
    SetMixerGain(m.record(), 0, 1e9f);
    EXPECT_EQ(mixed(7, m.record()), scaled(7, 524287));

    // Clip volume: p x g / 100, kept within range.
    SetMixerGain(m.record(), 0, 1.0f);
    auto* rec = reinterpret_cast<FmClipRecord*>(*FindClip(clip));
    rec->settings[kClipVolumeOffset] = 50;
    EXPECT_EQ(mixed(8, m.record()), scaled(8, 32768));
    rec->settings[kClipVolumeOffset] = 0xE8;  // 1000 %
    rec->settings[kClipVolumeOffset + 1] = 0x03;
    SetMixerGain(m.record(), 0, 4.0f);
    EXPECT_EQ(mixed(9, m.record()), scaled(9, 524287));
    rec->settings[kClipVolumeOffset] = rec->settings[kClipVolumeOffset + 1] = 0;

    // Log fade: a fader at 50 % gives about 9864; unity stays, 0 stays 0.
    setLogFade(true);
    SetMixerGain(m.record(), 0, 0.5f);
    EXPECT_EQ(mixed(10, m.record()), scaled(10, 9864));
    SetMixerGain(m.record(), 0, 1.0f);
    EXPECT_EQ(mixed(11, m.record()), scaled(11, 65536));
    SetMixerGain(m.record(), 0, 0.0f);
    EXPECT_EQ(mixed(12, m.record()), 0);
    setLogFade(false);
}

TEST_F(Sources, DelayedFaderAndHeldFaderWithResampleQualityRestored) {
    const FmMixerDelay delay{1, 2};
    ASSERT_EQ(SetAudMixerVUDelay(&delay), 0);
    InitAudMixerMasterVUHistory();
    Mixer m(1);
    setResampleQuality(2);
    static int32_t seen;
    seen = -1;
    rc::mixer::setClipFilters([](Handle, int32_t, int64_t, void*, int32_t, int32_t, int32_t) {
        // While meters run the resample quality is nearest sample.
        seen = psetGetResampleQuality(nullptr);
    });
    // A fader setting made with the fader released applies two frames later.
    m.strip(0)->gainSetting = 0.5f;
    EXPECT_EQ(mixed(0, m.record()), scaled(0, 65536));
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(psetGetResampleQuality(nullptr), 2);
    EXPECT_EQ(mixed(1, m.record()), scaled(1, 65536));
    EXPECT_EQ(mixed(2, m.record()), scaled(2, 32768));
    EXPECT_EQ(m.strip(0)->gain, 0.5f);
    // Held (0x100): at once, and the history slot holds -1 so the release
    // keeps the setting.
    m.strip(0)->flags = kMixerGainMoving;
    m.strip(0)->gainSetting = 0.25f;
    EXPECT_EQ(mixed(3, m.record()), scaled(3, 16384));
    // Released: frame 2's 0.5 still leaves the line, then the -1 slot
    // gives the setting.
    m.strip(0)->flags = 0;
    EXPECT_EQ(mixed(4, m.record()), scaled(4, 32768));
    EXPECT_EQ(mixed(5, m.record()), scaled(5, 16384));
    EXPECT_EQ(mixed(6, m.record()), scaled(6, 16384));
    // Pan on a mono block changes nothing; a held pan applies at once.
    m.strip(0)->flags = kMixerPanMoving;
    m.strip(0)->panSetting = 0.0f;
    mixed(7, m.record());
    EXPECT_EQ(m.strip(0)->pan, 0.0f);
}

TEST_F(Sources, GetAudioBlipAcrossSecondsFailuresAndUnknownClips) {
    std::vector<uint8_t> out(10000);
    // 4000 bytes from 94000 bytes into second 1: across into second 2.
    ASSERT_EQ(GetAudioBlip(clip, 1, 94000, 4000, out.data(), 0x200, 48000), 0);
    for (size_t i = 0; i < 2000; i += 111)
        ASSERT_EQ(sampleAt(out, i), pattern16(48000 + 47000 + int64_t(i), 0, 1)) << i;
    // A byte offset past a second carries into the following ones.
    ASSERT_EQ(GetAudioBlip(clip, 0, 96000 * 3 + 2, 4, out.data(), 0x200, 48000), 0);
    EXPECT_EQ(sampleAt(out, 0), pattern16(3 * 48000 + 1, 0, 1));
    // Seconds come from the cache the second time.
    const int32_t reads = files()[ClipFile(clip)].reads;
    ASSERT_EQ(GetAudioBlip(clip, 1, 0, 100, out.data(), 0x200, 48000), 0);
    EXPECT_EQ(files()[ClipFile(clip)].reads, reads);

    // An unknown clip: 1 and silence.
    std::fill(out.begin(), out.end(), 0x55);
    EXPECT_EQ(GetAudioBlip(9999, 0, 0, 8, out.data(), 0x000, 48000), 1);
    EXPECT_EQ(out[0], 128);
    EXPECT_EQ(out[7], 128);
    EXPECT_EQ(out[8], 0x55);
    // A failed read: silence, and nothing cached (the next read asks again).
    files()[ClipFile(clip)].failReads = true;
    std::fill(out.begin(), out.end(), 0x55);
    EXPECT_EQ(GetAudioBlip(clip, 7, 0, 16, out.data(), 0x200, 48000), 1);
    EXPECT_EQ(sampleAt(out, 0), 0);
    EXPECT_EQ(sampleAt(out, 7), 0);
    files()[ClipFile(clip)].failReads = false;
    ASSERT_EQ(GetAudioBlip(clip, 7, 0, 16, out.data(), 0x200, 48000), 0);
    EXPECT_EQ(sampleAt(out, 3), pattern16(7 * 48000 + 3, 0, 1));
}

struct PostSeen {
    int calls = 0;
    FmAudioPostRequest last{};
    std::vector<uint8_t> input;
};
PostSeen postSeen;
int32_t recordPost(const FmAudioPostRequest* r) {
    ++postSeen.calls;
    postSeen.last = *r;
    const auto* in = static_cast<const uint8_t*>(r->input);
    postSeen.input.assign(in, in + r->prevBytes + r->curBytes + r->nextBytes);
    std::memset(r->output, 0x11, size_t(r->outBytes));
    return 0;
}

TEST_F(Sources, PostProcessingGetsThreeFrames) {
    FmUtilityTable table = *FmDefaultUtilityTable();
    table.audioPost = recordPost;
    SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(&table));
    SetAGlobal(kSlotAudioPostProcess, 1);
    SetAGlobal(kSlotAudioPost16Bit, 1);
    SetAGlobal(kSlotAudioPostRate, 24000);
    postSeen = PostSeen{};
    const std::vector<uint8_t> out = mix(5, 0x300, 48000);
    ASSERT_EQ(postSeen.calls, 1);
    EXPECT_EQ(postSeen.last.prevBytes, 960 * 4);  // 24 kHz, 16-bit, the request's channels
    EXPECT_EQ(postSeen.last.curBytes, 960 * 4);
    EXPECT_EQ(postSeen.last.inFormat, 0x300);
    EXPECT_EQ(postSeen.last.inRate, 24000);
    EXPECT_EQ(postSeen.last.outBytes, 1920 * 4);
    EXPECT_EQ(postSeen.last.outFormat, 0x300);
    EXPECT_EQ(out.size(), 1920u * 4);
    EXPECT_EQ(out[100], 0x11);
    // The current frame's block is the mix of frame 5 at 24 kHz; the
    // neighbours' blocks frames 4 and 6.
    const std::vector<uint8_t> cur(postSeen.input.begin() + 3840, postSeen.input.begin() + 7680);
    SetAGlobal(kSlotAudioPostProcess, 0);
    EXPECT_EQ(mix(5, 0x300, 24000), cur);
    EXPECT_NE(cur, std::vector<uint8_t>(3840, 0));
    const std::vector<uint8_t> next(postSeen.input.begin() + 7680, postSeen.input.end());
    EXPECT_EQ(mix(6, 0x300, 24000), next);

    SetAGlobal(kSlotAudioPostProcess, 0);
    SetAGlobal(kSlotUtilityTable, 0);
}

TEST_F(Sources, LoopBackAndAutomationAtTheHeardFrames) {
    const FmMixerDelay delay{1, 2};
    ASSERT_EQ(SetAudMixerVUDelay(&delay), 0);
    InitAudMixerMasterVUHistory();
    Handle gain = band(item, true, {{0, 128}, {0, 128}});
    FmLoopedPlay play{1, 1, 3, 20, 0, 250};
    SetAGlobal(kSlotLoopedPlay, reinterpret_cast<intptr_t>(&play));
    static int cleanups = 0;
    cleanups = 0;
    rc::mixer::setFilterCleanup([] { ++cleanups; });

    // Write mode, the fader held at 0.5 on frame 4: heard, and written, at
    // frame 6.
    Mixer m(1);
    m.strip(0)->flags = kMixerModeWrite;
    for (int32_t f = 3; f < 5; ++f) mixed(f, m.record());
    m.strip(0)->flags = kMixerModeWrite | kMixerGainMoving | kMixerMoveStart;
    m.strip(0)->gainSetting = 0.5f;
    mixed(4, m.record());
    EXPECT_EQ(m.strip(0)->flags & kMixerMoveStart, 0);
    m.strip(0)->flags = kMixerModeWrite;
    mixed(5, m.record());
    EXPECT_EQ(ValueAtPoint(6, 256, gain), 128);  // not yet
    mixed(6, m.record());
    EXPECT_EQ(ValueAtPoint(6, 256, gain), 64);
    EXPECT_EQ(ValueAtPoint(2, 256, gain), 128);
    EXPECT_EQ(cleanups, 0);

    // Backward while playing forward, not from the loop start: a loop.
    m.strip(0)->flags = kMixerModeWrite | kMixerGainMoving;
    m.strip(0)->gainSetting = 1.5f;
    mixed(7, m.record());  // queued for frame 9, flushed by the loop
    m.strip(0)->flags = kMixerModeWrite;
    SetMixerVU(m.record(), 0, 0.9f);
    mixed(3, m.record());
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(ValueAtPoint(9, 256, gain), 192);
    EXPECT_EQ(rc::mixer::state().mixerPos, 1);  // reset, then one frame
    // From the loop's start frame backwards is no loop.
    mixed(2, m.record());
    EXPECT_EQ(cleanups, 1);
    // Outside the play range a pending move is dropped at the flush.
    play.playEnd = 8;
    m.strip(0)->flags = kMixerModeWrite | kMixerGainMoving;
    m.strip(0)->gainSetting = 0.0f;
    mixed(10, m.record());
    FlushAudMixerAutomationHistory();
    EXPECT_EQ(ValueAtPoint(12, 256, gain), 128);
    SetAGlobal(kSlotLoopedPlay, 0);
}

TEST_F(Sources, AudFilterSetupWithoutModuleOrClip) {
    RcFilterListEntry entry{};
    entry.fileID = 4000;  // no such module
    SetAGlobal(kSlotNoCacheOverride, 7);
    EXPECT_EQ(AudFilterSetup(clip, &tb, 50, &entry, table, 1), 1);
    EXPECT_EQ(GetAGlobal(kSlotNoCacheOverride), 7);
    EXPECT_EQ(AudFilterSetup(9999, &tb, 50, &entry, table, 1), 1);
    EXPECT_EQ(AudFilterSetup(clip, &tb, 50, nullptr, table, 1), 1);
    EXPECT_EQ(GetAGlobal(kSlotNoCacheOverride), 7);
}

}  // namespace
