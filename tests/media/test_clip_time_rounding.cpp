// Clip times converted into a base whose sample is more than one tick are
// floored to the sample, below zero as well as above.
#include <gtest/gtest.h>

#include "media/clip_table_internal.h"

namespace {

TEST(ClipTimes, NegativeTimesFloorToTheSample) {
    EXPECT_EQ(rc::media::floorToSample(-150, 100), -200);  // never truncated to -100
    EXPECT_EQ(rc::media::floorToSample(-200, 100), -200);
    EXPECT_EQ(rc::media::floorToSample(150, 100), 100);
    EXPECT_EQ(rc::media::floorToSample(-7, 1), -7);
    // -200 ticks at 2997/1 is -150 after the half-sample rounding at
    // 2997/100: the sample starting at -200 holds it.
    const TDB ticks{0, 2997, 1}, frames{0, 2997, 100};
    EXPECT_EQ(rc::media::convertTime(-200, ticks, frames), -200);
    EXPECT_EQ(rc::media::convertTime(-250, ticks, frames), -200);
    EXPECT_EQ(rc::media::convertTime(-251, ticks, frames), -300);
    EXPECT_EQ(rc::media::convertTime(249, ticks, frames), 200);
}

}  // namespace
