// TimeInfo: what lies under the playhead, the superimposed items that count
// or hide everything, the cut transition and a lone B item.
#include "render_fixture.h"

namespace {

using namespace rendertest;

class TimeInfoTest : public RenderTest {
  protected:
    struct Info {
        int16_t cls;
        Boolean hasA, hasB, hasT;
        TrackItemRec a, b, t;
        int32_t supers;
    };
    Info at(int32_t time) {
        Info i{};
        i.cls = TimeInfo(&time, 0, &kBase, &i.hasA, &i.a, &i.hasB, &i.b, &i.hasT, &i.t, &i.supers,
                         table);
        return i;
    }
};

TEST_F(TimeInfoTest, ALoneBItemIsShownAsA) {
    Handle b = item(disc, 0, 10);
    abTracks({}, {b});
    const Info i = at(5);
    EXPECT_TRUE(i.hasA);
    EXPECT_EQ(int32_t(i.a.clipID), int32_t(rec(b)->clipID));
    EXPECT_FALSE(i.hasB);
    EXPECT_FALSE(i.hasT);
    EXPECT_NE(i.cls, kRenderNothing);
    // Nothing at all after the item.
    const Info after = at(12);
    EXPECT_FALSE(after.hasA);
    EXPECT_EQ(after.cls, kRenderNothing);
}

TEST_F(TimeInfoTest, TheCutTransitionIsDroppedForOneSide) {
    const int16_t cut = addSynth("cut.synth", "kind bars\n");
    SetAGlobal(kSlotCutTransition, cut);
    Handle a = item(bars, 0, 10), b = item(disc, 5, 15), t = transition(5, 10, cut);
    abTracks({a}, {b}, {t});
    Info i = at(7);
    EXPECT_FALSE(i.hasT);
    EXPECT_FALSE(i.hasB);
    EXPECT_EQ(int32_t(i.a.clipID), int32_t(rec(b)->clipID));  // settings byte 0 is 0: B shows
    rec(t)->transition.source = 1;
    i = at(7);
    EXPECT_EQ(int32_t(i.a.clipID), int32_t(rec(a)->clipID));
    EXPECT_FALSE(i.hasT);
    // Another module stays a transition between A and B.
    SetAGlobal(kSlotCutTransition, 0);
    i = at(7);
    EXPECT_TRUE(i.hasT);
    EXPECT_TRUE(i.hasB);
    EXPECT_EQ(i.cls, kRenderComposite);
}

TEST_F(TimeInfoTest, AFullFrameOpaqueSuperimposeHidesEverythingBelow) {
    Handle a = item(bars, 0, 10), b = item(disc, 0, 10), t = transition(0, 10);
    abTracks({a}, {b}, {t});
    Handle s = item(disc, 0, 10);
    fade(s, 256);
    addTrack(kTrackTypeSuperimpose, {s});
    Info i = at(3);
    EXPECT_EQ(int32_t(i.a.clipID), int32_t(rec(s)->clipID));
    EXPECT_FALSE(i.hasB);
    EXPECT_FALSE(i.hasT);
    EXPECT_EQ(i.supers, 0);
    rec(s)->opacity = 100;  // 100 % is as plain as 0
    EXPECT_EQ(int32_t(at(3).a.clipID), int32_t(rec(s)->clipID));

    // Anything that lets the layers below show through keeps them.
    rec(s)->opacity = 60;
    i = at(3);
    EXPECT_EQ(int32_t(i.a.clipID), int32_t(rec(a)->clipID));
    EXPECT_TRUE(i.hasT);
    EXPECT_EQ(i.supers, 1);
    rec(s)->opacity = 0;
    rec(s)->keyType = kKeyGreenScreen;
    EXPECT_EQ(at(3).supers, 1);
    rec(s)->keyOff = 1;  // a key switched off keys nothing
    EXPECT_EQ(at(3).supers, 0);
    rec(s)->keyType = kKeyNone;
    rec(s)->keyOff = 0;
    rec(s)->garbageMatte[1] = FmPoint{100, 0};  // a matte cutting the frame
    rec(s)->garbageMatte[2] = FmPoint{100, 87};
    rec(s)->garbageMatte[3] = FmPoint{0, 87};
    EXPECT_FALSE(FullGarbage(rec(s)));
    EXPECT_EQ(at(3).supers, 1);
    rec(s)->garbageMatte[1] = FmPoint{117, 0};
    rec(s)->garbageMatte[2] = FmPoint{117, 87};
    EXPECT_TRUE(FullGarbage(rec(s)));
    EXPECT_EQ(at(3).supers, 0);
}

TEST_F(TimeInfoTest, AFadedOutSuperimposeDoesNotCount) {
    Handle a = item(bars, 0, 10);
    abTracks({a}, {});
    Handle s = item(disc, 0, 10);
    fade(s, 0);
    rec(s)->keyType = kKeyGreenScreen;
    addTrack(kTrackTypeSuperimpose, {s});
    Info i = at(3);
    EXPECT_EQ(i.supers, 0);
    EXPECT_EQ(int32_t(i.a.clipID), int32_t(rec(a)->clipID));
    EXPECT_NE(i.cls, kRenderComposite);
    fade(s, 128);
    i = at(3);
    EXPECT_EQ(i.supers, 1);
    EXPECT_EQ(i.cls, kRenderComposite);
}

TEST_F(TimeInfoTest, RenderClassesOfASingleItem) {
    Handle a = item(bars, 0, 10);
    abTracks({a}, {});
    const int16_t plain = at(2).cls;
    EXPECT_TRUE(plain == kRenderDirect || plain == kRenderFileLevel) << plain;
    rec(a)->flags = kItemHoldOn;  // a held frame
    EXPECT_EQ(at(2).cls, kRenderNothing);
    rec(a)->flags = 0;
    Handle motion = NewHandleClear(12);
    owned.push_back(motion);
    rec(a)->motion = HandleToWord(motion);
    EXPECT_EQ(at(2).cls, kRenderComposite);
    rec(a)->motionOff = 1;
    EXPECT_EQ(at(2).cls, plain);
}

TEST_F(TimeInfoTest, TimeIsConvertedToTheFirstPictureTracksBase) {
    Handle a = item(bars, 0, 10), a2 = item(disc, 10, 20);
    abTracks({a, a2}, {});
    int32_t t = 60;  // 60 / 100 s = frame 15 at 25 fps
    const TDB hundredths{0, 100, 1};
    Boolean hasA = false;
    TrackItemRec ia{};
    TimeInfo(&t, 0, &hundredths, &hasA, &ia, nullptr, nullptr, nullptr, nullptr, nullptr, table);
    EXPECT_EQ(t, 15);
    EXPECT_TRUE(hasA);
    EXPECT_EQ(int32_t(ia.clipID), int32_t(rec(a2)->clipID));
}

}  // namespace
