// GetLocalFrame: ordinary playback forwards and backwards, every frame-hold
// source, the hold window, the filter timing flag and the reduced frame rate.
#include "tracks_fixture.h"

using namespace trackstest;

namespace {

class LocalFrame : public TracksTest {
  protected:
    const TDB tb30{0, 30, 1};
    // In 100, Out 199; the item covers [10, 110).
    Handle forward = clip(1, 100, 199);
    Handle backward = clip(1, 100, 199, {0, 30, 1}, true);

    int32_t at(int32_t t, Handle clipHandle, uint16_t flags, bool forFilters = false,
               int32_t holdStart = 0, int32_t holdEnd = 0, int8_t holdRate = 0) {
        Handle it = item(10, 110, clipHandle, flags);
        rec(it)->holdStart = holdStart;
        rec(it)->holdEnd = holdEnd;
        rec(it)->holdRate = holdRate;
        return GetLocalFrame(t, &tb30, rec(it), forFilters);
    }
};

TEST_F(LocalFrame, PlaysFromInOrBackFromOut) {
    EXPECT_EQ(at(10, forward, 0), 100);
    EXPECT_EQ(at(15, forward, 0), 105);
    EXPECT_EQ(at(5, forward, 0), 0);  // before the item
    EXPECT_EQ(at(10, backward, 0), 199);
    EXPECT_EQ(at(15, backward, 0), 194);
    EXPECT_EQ(at(5, backward, 0), 0);
    // The caller's time base is converted into the clip's.
    Handle it = item(10, 110, forward);
    const TDB tb60{0, 60, 1};
    EXPECT_EQ(GetLocalFrame(40, &tb60, rec(it), 0), 110);
    EXPECT_EQ(GetLocalFrame(40, nullptr, rec(it), 0), 130);
    EXPECT_EQ(GetLocalFrame(40, &tb30, nullptr, 0), 0);
}

TEST_F(LocalFrame, FixedHoldSources) {
    const uint16_t hold = kItemHoldOn;
    for (Handle c : {forward, backward}) {
        EXPECT_EQ(at(50, c, hold | kItemHoldIn), 100);
        EXPECT_EQ(at(5, c, hold | kItemHoldIn), 100);
        EXPECT_EQ(at(50, c, hold | kItemHoldOut), 199);
        EXPECT_EQ(at(50, c, hold | kItemHoldMarker), 100);  // marker 0 unset: In
    }
    reinterpret_cast<FmClipRecord*>(*forward)->markers[2] = 150;
    EXPECT_EQ(at(50, forward, hold | kItemHoldMarker), 150);
    // Sources 3, 5, 6 and 7 hold nothing.
    for (uint16_t source : {3, 5, 6, 7}) EXPECT_EQ(at(50, forward, hold | source), 140);
    // Without the hold flag the source is ignored.
    EXPECT_EQ(at(50, forward, kItemHoldOut), 140);
    // For filters the hold applies only with the filter flag.
    EXPECT_EQ(at(50, forward, hold | kItemHoldOut, true), 140);
    EXPECT_EQ(at(50, forward, hold | kItemHoldOut | kItemHoldFilters, true), 199);
    EXPECT_EQ(at(50, forward, hold | kItemHoldOut | kItemHoldFilters, false), 199);
}

TEST_F(LocalFrame, HoldWindowFreezesOnlyOutsideIt) {
    const uint16_t window = kItemHoldOn | kItemHoldWindow;
    // Before the window: the first frame; after it: the last.
    EXPECT_EQ(at(15, forward, window, false, 20, 50), 100);
    EXPECT_EQ(at(15, backward, window, false, 20, 50), 199);
    EXPECT_EQ(at(60, forward, window, false, 20, 50), 199);
    EXPECT_EQ(at(60, backward, window, false, 20, 50), 100);
    // Inside (bounds included): ordinary playback.
    EXPECT_EQ(at(20, forward, window, false, 20, 50), 110);
    EXPECT_EQ(at(30, forward, window, false, 20, 50), 120);
    EXPECT_EQ(at(50, backward, window, false, 20, 50), 159);
    // Open bounds never freeze; before the item the window shows the first frame.
    EXPECT_EQ(at(100, forward, window, false, 0, 0), 190);
    EXPECT_EQ(at(5, forward, window, false, 0, 0), 100);
    EXPECT_EQ(at(5, backward, window, false, 0, 0), 199);
    EXPECT_EQ(at(5, forward, window, false, 0, 50), 100);
    // The window only times filters with the filter flag.
    EXPECT_EQ(at(60, forward, window, true, 20, 50), 150);
    EXPECT_EQ(at(5, forward, window, true, 20, 50), 0);
}

TEST_F(LocalFrame, ReducedFrameRateSteps) {
    // 30 ÷ 10: a step of 3 ticks.
    EXPECT_EQ(at(16, forward, kItemFieldA, false, 0, 0, 10), 105);
    EXPECT_EQ(at(18, forward, kItemFieldA, false, 0, 0, 10), 108);
    EXPECT_EQ(at(16, backward, kItemFieldA, false, 0, 0, 10), 194);
    // Both field flags: no reduction.
    EXPECT_EQ(at(16, forward, kItemFieldA | kItemFieldB, false, 0, 0, 10), 106);
    // A rate of 0 or below, or one above the scale (a step of 0): no reduction
    // instead of a division by zero.
    EXPECT_EQ(at(16, forward, kItemFieldA, false, 0, 0, 0), 106);
    EXPECT_EQ(at(16, forward, kItemFieldA, false, 0, 0, -5), 106);
    EXPECT_EQ(at(16, forward, kItemFieldA, false, 0, 0, 100), 106);
    // The step is computed in 32 bits: 2,000,000 ÷ 25 = 80,000 ticks.
    const TDB fine{0, 2000000, 1};
    Handle c = clip(1, 0, 100000000, fine);
    Handle it = item(0, 100000000, c, kItemFieldA);
    rec(it)->holdRate = 25;
    EXPECT_EQ(GetLocalFrame(100000, &fine, rec(it), 0), 80000);
    EXPECT_EQ(GetLocalFrame(159999, &fine, rec(it), 0), 80000);
    EXPECT_EQ(GetLocalFrame(160000, &fine, rec(it), 0), 160000);
}

}  // namespace
