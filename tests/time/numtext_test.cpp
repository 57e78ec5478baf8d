// Byte counts and decimal numbers as text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/timecode.h"
#include "time/time_hooks.h"

namespace {

std::string unit(int16_t item) {
    char u[64];
    rc::time::indString(u, sizeof u, 1066, item);
    return u;
}

std::string bytes(int64_t count, int32_t decimals) {
    char out[kNumberTextSize];
    std::memset(out, '#', sizeof out);
    const uint64_t bits = static_cast<uint64_t>(count);
    const int32_t n = FmBytes64ToStr(static_cast<uint32_t>(bits), static_cast<int32_t>(bits >> 32),
                                     out, decimals);
    EXPECT_EQ(n, static_cast<int32_t>(std::strlen(out)));
    return out;
}

class NumberTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
    }
};

TEST_F(NumberTextTest, ByteCountsPickTheirUnit) {
    EXPECT_EQ(bytes(512, 2), "512");
    EXPECT_EQ(bytes(1536, 0), "1" + unit(10));
    EXPECT_EQ(bytes(1536, 1), "1.5" + unit(10));
    EXPECT_EQ(bytes(1536, 1), "1.5 KB");            // the unit texts come from the resources
    EXPECT_EQ(bytes(1536, 9), "1.500" + unit(10));  // at most three decimals for K
    EXPECT_EQ(bytes((int64_t{3} << 20) + (int64_t{1} << 18), 2), "3.25" + unit(11));
    EXPECT_EQ(bytes(int64_t{7} << 30, 3), "7.000" + unit(12));
    EXPECT_EQ(bytes((int64_t{5} << 40) + (int64_t{1} << 39), 1), "5.5" + unit(13));
    // Terabyte remainders times 10^12 need more than 64 bits.
    EXPECT_EQ(bytes((int64_t{2} << 40) - 1, 12), "1.999999999999" + unit(13));
    // 12345 × 10^12 ÷ 2^40 = 11227.7…
    EXPECT_EQ(bytes((int64_t{1} << 62) + 12345, 12), "4194304.000000011227" + unit(13));
    // Negative counts print the low word.
    EXPECT_EQ(bytes(-5, 2), "-5");
    EXPECT_EQ(bytes(-(int64_t{1} << 32) + 7, 2), "7");

    SetAGlobal(kSlotDecimalSeparator, ',');
    EXPECT_EQ(bytes(1536, 1), "1,5" + unit(10));
    char a[kNumberTextSize], b[kNumberTextSize];
    FmBytesFToStr(1536.9, a, 1);
    FmBytes64ToStr(1536, 0, b, 1);
    EXPECT_STREQ(a, b);
    const int32_t n = FmBytesFToStr(1e300, a, 12);
    EXPECT_EQ(n, static_cast<int32_t>(std::strlen(a)));
    EXPECT_LT(std::strlen(a), static_cast<size_t>(kNumberTextSize));
    FmBytesFToStr(NAN, a, 1);
    EXPECT_STREQ(a, "0");
}

TEST_F(NumberTextTest, DecimalNumbers) {
    char out[kNumberTextSize];
    EXPECT_EQ(FmFloatToStr(3.14159, out, 2), 4);
    EXPECT_STREQ(out, "3.14");
    FmFloatToStr(2.999, out, 2);  // the fraction rounds up into the whole part
    EXPECT_STREQ(out, "3.00");
    FmFloatToStr(7.9, out, 0);
    EXPECT_STREQ(out, "7");
    FmFloatToStr(-1.5, out, 1);
    EXPECT_STREQ(out, "-1.5");
    FmFloatToStr(-0.25, out, 2);
    EXPECT_STREQ(out, "-0.25");
    FmFloatToStr(-0.4, out, 0);
    EXPECT_STREQ(out, "0");
    FmFloatToStr(0.05, out, 3);
    EXPECT_STREQ(out, "0.050");
    SetAGlobal(kSlotDecimalSeparator, ',');
    FmFloatToStr(29.97, out, 2);
    EXPECT_STREQ(out, "29,97");
    for (double v : {1e30, -1e30, 9.3e18, double(INFINITY), -double(INFINITY), double(NAN)}) {
        for (int32_t d : {0, 3, 40}) {
            const int32_t n = FmFloatToStr(v, out, d);
            EXPECT_EQ(n, static_cast<int32_t>(std::strlen(out)));
        }
    }
}

}  // namespace
