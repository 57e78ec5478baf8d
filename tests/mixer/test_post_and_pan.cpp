// Post-processing while the meters run and when its buffer cannot be had,
// and pan bands holding values out of their range.
#include "mixer_fixture.h"
#include "platform/alloc.h"
#include "reelcore/utility_table.h"

namespace {

using namespace mixtest;

struct PostCalls {
    int calls = 0;
    FmAudioPostRequest last{};
    std::vector<uint8_t> input;
};
PostCalls post;

int32_t recordPost(const FmAudioPostRequest* r) {
    ++post.calls;
    post.last = *r;
    const auto* in = static_cast<const uint8_t*>(r->input);
    post.input.assign(in, in + r->prevBytes + r->curBytes + r->nextBytes);
    // The output is the current frame passed through (same format and rate
    // in these tests).
    std::memcpy(r->output, in + r->prevBytes, size_t(std::min(r->curBytes, r->outBytes)));
    return 0;
}

class PostAndPan : public MixerTest {
  protected:
    FmUtilityTable utilities{};
    TrackItemRec* item = nullptr;

    void SetUp() override {
        MixerTest::SetUp();
        PatternFile f;  // 16-bit stereo
        const int32_t clip = addClip(f, 0, 250);
        addTrack();
        item = addItem(0, clip, 0, 250);
        utilities = *FmDefaultUtilityTable();
        utilities.audioPost = recordPost;
        post = PostCalls{};
    }
    void TearDown() override {
        rc::platform::resetAllocationFaults();
        for (int32_t slot : {int32_t(kSlotAudioPostProcess), int32_t(kSlotAudioPost16Bit),
                             int32_t(kSlotAudioPostRate), int32_t(kSlotUtilityTable)})
            SetAGlobal(slot, 0);
        MixerTest::TearDown();
    }
    void postProcessing(bool on, bool sixteenBit, int32_t rate) {
        SetAGlobal(kSlotUtilityTable, on ? reinterpret_cast<intptr_t>(&utilities) : 0);
        SetAGlobal(kSlotAudioPostProcess, on);
        SetAGlobal(kSlotAudioPost16Bit, sixteenBit);
        SetAGlobal(kSlotAudioPostRate, rate);
    }
};

TEST_F(PostAndPan, PostProcessingWithMetersAndWithoutMemory) {
    Mixer m(1);
    FmMasterMeter master{2, {{1.0f, 0.0f}, {1.0f, 0.0f}}};
    static int sinkCalls;
    sinkCalls = 0;
    MixerSetMeterSink(
        [](void*, int32_t, const FmMixerRecord*, const FmMasterMeter*) { ++sinkCalls; }, nullptr);

    // 16-bit at the request's rate (slot 173 is 0): three frames of 7680
    // bytes; the current one is mixed live, so the meters move.
    postProcessing(true, true, 0);
    const std::vector<uint8_t> out = mix(7, 0x300, 48000, m.record(), &master);
    ASSERT_EQ(post.calls, 1);
    EXPECT_EQ(post.last.prevBytes, 7680);
    EXPECT_EQ(post.last.curBytes, 7680);
    EXPECT_EQ(post.last.nextBytes, 7680);
    EXPECT_EQ(post.last.inFormat, 0x300);
    EXPECT_EQ(post.last.inRate, 48000);
    EXPECT_EQ(post.last.outFormat, 0x300);
    EXPECT_EQ(post.last.outRate, 48000);
    EXPECT_EQ(sinkCalls, 1);
    EXPECT_GT(m.strip(0)->meter, 0.5f);
    EXPECT_GT(master.channels[0].level, 0.5f);
    // The three blocks are the plain mixes of frames 6, 7 and 8.
    postProcessing(false, false, 0);
    std::vector<uint8_t> plain;
    for (int32_t f = 6; f <= 8; ++f) {
        const std::vector<uint8_t> b = mix(f, 0x300, 48000);
        plain.insert(plain.end(), b.begin(), b.end());
    }
    EXPECT_EQ(post.input, plain);
    EXPECT_EQ(out, std::vector<uint8_t>(plain.begin() + 7680, plain.begin() + 15360));

    // 8-bit for the post-processor (slot 172 is 0): the request's channels.
    postProcessing(true, false, 0);
    mix(9, 0x300, 48000);
    ASSERT_EQ(post.calls, 2);
    EXPECT_EQ(post.last.inFormat, 0x100);
    EXPECT_EQ(post.last.curBytes, 3840);

    // Without memory for the three frames: -108, silence, meters at zero,
    // the post-processor not called; the sink still hears of the frame.
    postProcessing(true, true, 0);
    rc::platform::failAllocationsAbove(20000);
    sinkCalls = 0;
    OSErr err = 0;
    const std::vector<uint8_t> silent =
        mix(10, 0x300, 48000, m.record(), &master, kMixAllTracks, &err);
    rc::platform::resetAllocationFaults();
    EXPECT_EQ(err, -108);
    EXPECT_EQ(post.calls, 2);
    EXPECT_EQ(silent, std::vector<uint8_t>(7680, 0));
    EXPECT_EQ(m.strip(0)->meter, 0.0f);
    EXPECT_EQ(master.channels[0].level, 0.0f);
    EXPECT_EQ(master.channels[1].level, 0.0f);
    EXPECT_EQ(sinkCalls, 1);
    // Memory back: the same frame is processed and nothing stale was kept.
    EXPECT_EQ(mix(10, 0x300, 48000, m.record(), &master, kMixAllTracks, &err).size(), 7680u);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(post.calls, 3);
    postProcessing(false, false, 0);
    EXPECT_EQ(std::vector<uint8_t>(post.input.begin() + 7680, post.input.begin() + 15360),
              mix(10, 0x300, 48000));
    MixerSetMeterSink(nullptr, nullptr);
}

// A pan band from a file may hold levels beyond 0 ... 256: the pan is held
// at full left or right, on the envelope path and the mixer's alike, and a
// channel is never inverted or amplified.
TEST_F(PostAndPan, OutOfRangePanBandsAreClampedOnBothPaths) {
    Handle pan = band(item, false, {{0, 128}, {0, 128}});
    auto setLevel = [&](int16_t level) {
        auto* p = reinterpret_cast<RubberHandPt*>(*pan + sizeof(RubberHand));
        for (int i = 0; i < 2; ++i) p[i].level = p[i].height = level;
    };
    auto channel = [](const std::vector<uint8_t>& b, int c) {
        std::vector<int16_t> v(b.size() / 4);
        for (size_t i = 0; i < v.size(); ++i) std::memcpy(&v[i], b.data() + 4 * i + 2 * c, 2);
        return v;
    };
    const std::vector<int16_t> silence(1920, 0);
    // A channel as the pattern plays it at unity gain.
    auto plain = [](int32_t frame, int c) {
        std::vector<int16_t> v(1920);
        for (int32_t i = 0; i < 1920; ++i) v[size_t(i)] = pattern16(frame * 1920 + i, c, 1);
        return v;
    };
    int32_t frame = 0;
    for (const bool withMixer : {false, true}) {
        Mixer m(1);
        m.strip(0)->flags = kMixerModeRead;
        FmMixerRecord* mixer = withMixer ? m.record() : nullptr;
        // Level 256 keeps the left channel alone; far beyond it the same.
        setLevel(256);
        const std::vector<uint8_t> atLeft = mix(frame, 0x300, 48000, mixer);
        EXPECT_EQ(channel(atLeft, 0), plain(frame, 0)) << withMixer;
        EXPECT_EQ(channel(atLeft, 1), silence) << withMixer;
        setLevel(1000);
        const std::vector<uint8_t> beyondLeft = mix(frame + 1, 0x300, 48000, mixer);
        EXPECT_EQ(channel(beyondLeft, 0), plain(frame + 1, 0)) << withMixer;
        EXPECT_EQ(channel(beyondLeft, 1), silence) << withMixer;
        // Level 0 keeps the right channel alone; below it the same.
        setLevel(0);
        const std::vector<uint8_t> atRight = mix(frame + 2, 0x300, 48000, mixer);
        EXPECT_EQ(channel(atRight, 0), silence) << withMixer;
        EXPECT_EQ(channel(atRight, 1), plain(frame + 2, 1)) << withMixer;
        if (withMixer) {
            EXPECT_EQ(m.strip(0)->pan, 1.0f);
        }
        setLevel(-300);
        const std::vector<uint8_t> beyondRight = mix(frame + 3, 0x300, 48000, mixer);
        EXPECT_EQ(channel(beyondRight, 0), silence) << withMixer;
        EXPECT_EQ(channel(beyondRight, 1), plain(frame + 3, 1)) << withMixer;
        frame += 4;
    }
}

}  // namespace
