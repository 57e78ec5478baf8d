// Width scaling between stored and square pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "reelcore/aspect.h"

namespace {

constexpr FmPARCode kNtsc = (648u << 16) | 720u;

TEST(AspectScale, KnownRatios) {
    EXPECT_EQ(FmPixelWidthScale(kNtsc, 720), 648);
    EXPECT_EQ(FmPixelWidthUnscale(kNtsc, 648), 720);
    EXPECT_EQ(FmPixelWidthScale((1024u << 16) | 720u, 720), 1024);
    EXPECT_EQ(FmPixelWidthScale((2u << 16) | 1u, 100), 200);
    EXPECT_EQ(FmPixelWidthUnscale((2u << 16) | 1u, 100), 50);
    // 720 x 128 / 135 = 682.67, truncated
    EXPECT_EQ(FmPixelWidthScale((128u << 16) | 135u, 720), 682);
    // signed division truncates toward zero
    EXPECT_EQ(FmPixelWidthScale((2u << 16) | 3u, -7), -4);
    EXPECT_EQ(FmPixelWidthScale((2u << 16) | 3u, 7), 4);
    EXPECT_EQ(FmPixelWidthUnscale(kNtsc, -648), -720);
}

TEST(AspectScale, SquareCodesKeepTheWidthBothWays) {
    // Unset, square, equal halves, and codes with a zero half: the last two
    // kinds used to divide by zero or collapse the width to 0.
    const FmPARCode squares[] = {0u,          1u,          kPARSquare,  (2u << 16) | 2u,
                                 0xFFFFFFFFu, 0x02D00000u, 0x00010000u, 0xFFFF0000u,
                                 2u,          0x000002D0u, 0x0000FFFFu};
    for (FmPARCode code : squares) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(FmPARIsSquare(code));
        for (int32_t w : {0, 1, 720, -720, INT32_MAX, INT32_MIN}) {
            EXPECT_EQ(FmPixelWidthScale(code, w), w);
            EXPECT_EQ(FmPixelWidthUnscale(code, w), w);
        }
    }
    EXPECT_FALSE(FmPARIsSquare(kNtsc));
    EXPECT_FALSE(FmPARIsSquare(0x00010002u));
}

TEST(AspectScale, ResultsSaturateTo32Bits) {
    const FmPARCode wide = (65535u << 16) | 1u;
    EXPECT_EQ(FmPixelWidthScale(wide, INT32_MAX), INT32_MAX);
    EXPECT_EQ(FmPixelWidthScale(wide, INT32_MIN), INT32_MIN);
    EXPECT_EQ(FmPixelWidthScale(wide, 40000), INT32_MAX);
    EXPECT_EQ(FmPixelWidthUnscale((1u << 16) | 65535u, 1 << 20), INT32_MAX);
    EXPECT_EQ(FmPixelWidthUnscale((1u << 16) | 65535u, -(1 << 20)), INT32_MIN);
    // just inside the range: exact
    EXPECT_EQ(FmPixelWidthScale(wide, 32768), 32768 * 65535);
}

TEST(AspectScale, RandomCodesAgreeWithExactArithmetic) {
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t num = 1 + rng() % 65535, den = 1 + rng() % 65535;
        if (num == den) continue;
        const FmPARCode code = (num << 16) | den;
        const int32_t w = static_cast<int32_t>(rng() % 200001) - 100000;
        // scaled width is the largest magnitude |s| with |s| x den <= |w| x num
        const int32_t s = FmPixelWidthScale(code, w);
        const long double exact = static_cast<long double>(w) * num / den;
        ASSERT_LE(std::abs(static_cast<long double>(s)), std::abs(exact) + 1e-9L)
            << code << " " << w;
        ASSERT_GT(std::abs(static_cast<long double>(s)) + 1, std::abs(exact)) << code << " " << w;
        ASSERT_EQ(s < 0, exact <= -1) << code << " " << w;
        const int32_t u = FmPixelWidthUnscale(code, w);
        const long double exactU = static_cast<long double>(w) * den / num;
        ASSERT_LE(std::abs(static_cast<long double>(u)), std::abs(exactU) + 1e-9L);
        ASSERT_GT(std::abs(static_cast<long double>(u)) + 1, std::abs(exactU));
    }
}

}  // namespace
