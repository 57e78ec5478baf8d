#include <gtest/gtest.h>

#include <time.h>

#include "platform/clock.h"
#include "reelcore/globals.h"

namespace {

TEST(Globals, SlotsStoreAndBoundsAreRespected) {
    SetupGlobals();
    for (int32_t s = 0; s < kGlobalSlotCount; ++s) {
        if (s != kSlotTick60 && s != kSlotDoubleClick) {
            ASSERT_EQ(GetAGlobal(s), 0) << s;
        }
    }
    EXPECT_EQ(SetAGlobal(425, 7), 0);
    EXPECT_EQ(SetAGlobal(425, intptr_t(1) << 40), 7);
    EXPECT_EQ(GetAGlobal(425), intptr_t(1) << 40);
    EXPECT_EQ(SetAGlobal(426, 5), 0);
    EXPECT_EQ(GetAGlobal(426), 0);
    EXPECT_EQ(SetAGlobal(-1, 5), 0);
    EXPECT_EQ(GetAGlobal(-1), 0);
    EXPECT_EQ(GetAGlobal(INT32_MIN), 0);
    SetAGlobal(kSlotMainWnd, 42);
    EXPECT_EQ(GetMainWnd(), 42);
    SetupGlobals();
    EXPECT_EQ(GetAGlobal(425), 0);
    EXPECT_EQ(GetMainWnd(), 0);
}

TEST(Globals, ComputedSlotsIgnoreWrites) {
    SetupGlobals();
    EXPECT_EQ(SetAGlobal(kSlotDoubleClick, 99), 0);
    EXPECT_EQ(GetAGlobal(kSlotDoubleClick), 30);  // 500 ms in 60 Hz ticks
    rc::platform::setDoubleClickMilliseconds(250);
    EXPECT_EQ(GetAGlobal(kSlotDoubleClick), 15);
    rc::platform::setDoubleClickMilliseconds(500);
    EXPECT_EQ(SetAGlobal(kSlotTick60, 12345), 0);
    intptr_t t0 = GetAGlobal(kSlotTick60);
    timespec pause{0, 200 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    intptr_t t1 = GetAGlobal(kSlotTick60);
    EXPECT_GE(t1 - t0, 11);  // 200 ms is 12 ticks
    EXPECT_NE(t1, 12345);
}

TEST(Globals, ClocksCountFromTheFirstCall) {
    uint32_t a = FmGetMilliseconds();
    timespec pause{0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    uint32_t b = FmGetMilliseconds();
    EXPECT_GE(b - a, 50u);
    EXPECT_LT(b - a, 5000u);
    uint32_t ms = FmGetMilliseconds();
    uint32_t ticks = FmGetTick60();
    EXPECT_LE(uint64_t(ms) * 3 / 50, uint64_t(ticks));
    EXPECT_LE(uint64_t(ticks), (uint64_t(ms) + 100) * 3 / 50);
}

}  // namespace
