// EffectFrame over synthetic media: A alone, nothing, superimposed items
// through a recording composite entry, green keying, the field path, and
// the working pictures of a run.
#include <algorithm>

#include "reelcore/keying.h"
#include "reelcore/utility_table.h"

#include "render_fixture.h"

namespace {

using namespace rendertest;

struct CompositeCall {
    int32_t superMode, opacity, keyType;
};
std::vector<CompositeCall> calls;

int32_t recordComposite(int32_t superMode, PPixHand src, PPixHand dst, PPixHand matte,
                        int32_t opacity, const FmKeySettings* key) {
    calls.push_back({superMode, opacity, key ? key->keyType : -1});
    return FmDefaultUtilityTable()->composite(superMode, src, dst, matte, opacity, key);
}

class FrameTest : public RenderTest {
  protected:
    FmUtilityTable utilities{};
    void SetUp() override {
        RenderTest::SetUp();
        calls.clear();
        utilities = *FmDefaultUtilityTable();
        utilities.composite = recordComposite;
        SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(&utilities));
    }
};

// Bar i's centre column in a picture w wide.
int32_t barX(int32_t i, int32_t w) {
    return (2 * i + 1) * w / 14;
}

TEST_F(FrameTest, AnAItemAloneShowsItsSourceAndAnEmptyTimeIsTransparentBlack) {
    abTracks({item(bars, 0, 10)}, {});
    setup();
    PPixHand out = render(4);
    for (int32_t i = 0; i < 7; ++i)
        for (int32_t y : {0, 60, 119}) EXPECT_EQ(at(out, barX(i, 160), y), barColour(i)) << i;
    out = render(12);
    for (int32_t y : {0, 119})
        for (int32_t x : {0, 80, 159}) EXPECT_EQ(at(out, x, y), (Pixel{0, 0, 0, 0}));
    EXPECT_TRUE(calls.empty());
}

TEST_F(FrameTest, SuperimposeOpacityFollowsTheFadeAndPercentClamped) {
    abTracks({item(bars, 0, 10)}, {});
    Handle s = item(disc, 0, 10);
    Handle band = fade(s, 0);
    addTrack(kTrackTypeSuperimpose, {s});
    setup();
    render(3);
    EXPECT_TRUE(calls.empty());  // faded out: not rendered at all

    SetTrackGainBand(rec(s), nullptr);
    DisposeHandle(band);
    owned.erase(std::find(owned.begin(), owned.end(), band));
    fade(s, 256);
    const struct {
        int16_t percent;
        int32_t opacity;
    } cases[] = {{0, 65535}, {100, 65535}, {50, 32767}, {200, 65535}, {1000, 65535}};
    rec(s)->keyType = kKeyGreenScreen;  // keyed: never the full-frame case
    for (const auto& c : cases) {
        calls.clear();
        rec(s)->opacity = c.percent;
        render(3, 0x20, 3, 7);
        ASSERT_EQ(calls.size(), 1u) << c.percent;
        EXPECT_EQ(calls[0].opacity, c.opacity) << c.percent;
        EXPECT_EQ(calls[0].superMode, 7);
        EXPECT_EQ(calls[0].keyType, kKeyGreenScreen);
    }
    // superMode 0 lays nothing over.
    calls.clear();
    render(3, 0x20, 3, 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(FrameTest, AGreenKeyedDiscLiesOverTheBars) {
    abTracks({item(bars, 0, 10)}, {});
    Handle s = item(disc, 0, 10);
    rec(s)->keyType = kKeyGreenScreen;
    rec(s)->threshold = 40;  // key values up to 40 keep, from 100 on key out
    rec(s)->cutoff = 100;
    addTrack(kTrackTypeSuperimpose, {s});
    setup();
    PPixHand out = render(0);
    ASSERT_EQ(calls.size(), 1u);
    // Frame 0 of the disc: centred at (20, 60) in 160 x 120, radius 20.
    const Pixel disc = at(out, 20, 60);
    EXPECT_GT(disc.r, 180);
    EXPECT_LT(disc.g, 40);
    EXPECT_EQ(at(out, barX(6, 160), 5), barColour(6));
    EXPECT_EQ(at(out, barX(3, 160), 110), barColour(3));
}

TEST_F(FrameTest, TheFullFrameSuperimposeAloneIsRendered) {
    abTracks({item(bars, 0, 10)}, {});
    Handle s = item(disc, 0, 10);
    fade(s, 256);
    addTrack(kTrackTypeSuperimpose, {s});
    setup();
    PPixHand out = render(0);
    EXPECT_TRUE(calls.empty());  // drawn as A, not composited
    EXPECT_EQ(at(out, 150, 5), (Pixel{0, 160, 0, 255}));
}

TEST_F(FrameTest, FieldPathMatchesTheFramePathOnAProgressiveSource) {
    abTracks({item(bars, 0, 10)}, {});
    setup();
    std::vector<Pixel> frame, field;
    PPixHand out = render(2);
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 160; ++x) frame.push_back(at(out, x, y));
    for (int32_t flags : {0x120, 0x220}) {
        out = render(2, flags);
        field.clear();
        ASSERT_EQ(heightOf(out), 120);
        for (int32_t y = 0; y < 120; ++y)
            for (int32_t x = 0; x < 160; ++x) field.push_back(at(out, x, y));
        EXPECT_EQ(field, frame) << "flags 0x" << std::hex << flags;
    }
}

// A field is fetched half as tall; the source must come out squeezed into
// it, not laid out anew, so the line-doubled field shows the disc the frame
// path shows (a re-laid disc would come out half as wide).
TEST_F(FrameTest, FieldPathShowsTheSourceAtItsShape) {
    abTracks({item(disc, 0, 10)}, {});
    setup();
    auto redIn = [&](PPixHand out, int32_t y) {
        int32_t n = 0;
        for (int32_t x = 0; x < 160; ++x) n += at(out, x, y).r > 180;
        return n;
    };
    PPixHand out = render(0);
    const int32_t frameWidth = redIn(out, 60), frameTop = redIn(out, 45);
    ASSERT_GT(frameWidth, 30);
    for (int32_t flags : {0x120, 0x220}) {
        out = render(0, flags);
        EXPECT_NEAR(redIn(out, 60), frameWidth, 2) << "flags 0x" << std::hex << flags;
        EXPECT_NEAR(redIn(out, 45), frameTop, 4) << "flags 0x" << std::hex << flags;
    }
}

TEST_F(FrameTest, SequenceSetupMakesFrameSizedPicturesIncludingAWholeFrameScratch) {
    Handle c = NewHandleClear(sizeof(FmRenderContext));
    owned.push_back(c);
    PPixHand s = reinterpret_cast<PPixHand>(1);
    const FmRect empty{0, 0, 0, 10};
    EXPECT_EQ(SequenceSetup(c, &s, &empty), -50);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(SequenceSetup(nullptr, &s, &empty), -50);
    const FmRect r{0, 0, 123, 45};
    ASSERT_EQ(SequenceSetup(c, &s, &r), 0);
    const auto& made = *reinterpret_cast<FmRenderContext*>(*c);
    EXPECT_EQ(made.scratch, s);
    EXPECT_TRUE(made.running);
    for (PPixHand p : {made.source1, made.source2, made.destination, made.scratch, made.matte}) {
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(widthOf(p), 123);
        EXPECT_EQ(heightOf(p), 45);
        EXPECT_EQ(ppixGetDepth(p), 32);
        EXPECT_GE(ppixGetRowbytes(p), 123 * 4);
    }
    // A moving item fills the scratch with a whole 32-bit frame.
    std::memset(ppixGetPixels(s), 0x7F, size_t(ppixGetRowbytes(s)) * 45);
    SequenceCleanup(c, s);
    EXPECT_FALSE(reinterpret_cast<FmRenderContext*>(*c)->running);
    EXPECT_EQ(reinterpret_cast<FmRenderContext*>(*c)->destination, nullptr);
}

TEST_F(FrameTest, RenderHooksCanTakeTheFrameOver) {
    abTracks({item(bars, 0, 10)}, {});
    setup();
    static int hookCalls = 0;
    static int32_t answer = 0;
    hookCalls = 0;
    FmRenderHook hook = [](Handle, int32_t, int32_t time, const TDB*, const FmRect*, int32_t,
                           int32_t, Handle, PWorld, const FmRect*) -> int32_t {
        ++hookCalls;
        EXPECT_EQ(time, 4);
        return answer;
    };
    SetAGlobal(kSlotRenderHook2, reinterpret_cast<intptr_t>(hook));
    PPixHand out = render(4);
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(at(out, barX(2, 160), 60), barColour(2));
    answer = 1;
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 0; x < 160; ++x) at(out, x, y) = Pixel{1, 2, 3, 4};
    render(4);
    EXPECT_EQ(hookCalls, 2);
    EXPECT_EQ(at(out, barX(2, 160), 60), (Pixel{1, 2, 3, 4}));  // untouched
    SetAGlobal(kSlotRenderHook2, 0);
}

}  // namespace
