// Ratio codes: conversion, resolution, equality, texts and the record kept
// with a file.
#include <cmath>
#include <limits>
#include <random>

#include "aspect_fixture.h"

using namespace aspecttest;

namespace {

double ratio(FmPARCode c) {
    return double(FmPARNumerator(c)) / FmPARDenominator(c);
}

TEST(AspectCodes, ConversionEdgeCases) {
    EXPECT_EQ(FmPARRatioToCode(648, 720), code(648, 720));
    const uint32_t n09 = uint32_t(0.9 * 65535);
    EXPECT_EQ(FmPARRatioToCode(0.9, 1), code(n09, uint32_t(n09 / 0.9)));
    const uint32_t d15 = uint32_t(65535 / 1.5);
    EXPECT_EQ(FmPARRatioToCode(1.5, 1), code(uint32_t(d15 * 1.5), d15));
    EXPECT_EQ(FmPARNumerator(FmPARRatioToCode(1.5, 1)), 65535u);
    EXPECT_EQ(FmPARRatioToCode(20, 2), code(20, 2));  // d = 10 is accepted
    EXPECT_EQ(FmPARRatioToCode(21, 2), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(1, 10), code(1, 10));  // d = 0.1 is accepted
    EXPECT_EQ(FmPARRatioToCode(1, 11), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(131072, 65536), code(32768, 16384));
    EXPECT_EQ(FmPARRatioToCode(65536, 32768), code(32768, 16384));
    EXPECT_EQ(FmPARRatioToCode(0, 5), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(2, 0), code(2, 1));  // b 0 counts as 1
    EXPECT_EQ(FmPARRatioToCode(1.25, 1.25), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(3, 3), code(3, 3));  // whole terms are kept as they are
}

TEST(AspectCodes, ConversionRejectsWhatHasNoCode) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // A NaN denominator used to fall through every branch.
    EXPECT_EQ(FmPARRatioToCode(4, nan), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(nan, 4), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(inf, 4), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(4, inf), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(-4, -3), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(4, -3), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(-4, 3), kPARSquare);
    // Whole numbers of 2^32 and more keep the ratio through the fractional path.
    EXPECT_EQ(FmPARRatioToCode(1e30, 1e30), kPARSquare);
    const FmPARCode big = FmPARRatioToCode(4e30, 3e30);
    EXPECT_NEAR(ratio(big), 4.0 / 3.0, 1e-4);
    const FmPARCode edge = FmPARRatioToCode(4294967296.0 * 3, 4294967296.0 * 2);
    EXPECT_NEAR(ratio(edge), 1.5, 1e-4);
    // Just below 2^32 the halving path still applies.
    EXPECT_EQ(FmPARRatioToCode(4294967295.0, 4294967295.0), code(65535, 65535));
    // Two negative terms from a file record no longer wrap to a square code.
    FmPixelAspectRec rec;
    FmInitPixelAspectRec(&rec, nullptr, -2, -4);
    EXPECT_EQ(rec.interpreted, kPARSquare);
    FmInitPixelAspectRec(&rec, nullptr, INT32_MIN, 5);
    EXPECT_EQ(rec.interpreted, kPARSquare);
}

TEST(AspectCodes, RandomRatiosKeepTheirValue) {
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> frac(0.1, 10.0);
    for (int i = 0; i < 100000; ++i) {
        // whole terms up to 16 bits are stored as they are
        const uint32_t a = 1 + rng() % 65535, b = 1 + rng() % 65535;
        const double d = double(a) / b;
        const FmPARCode c = FmPARRatioToCode(a, b);
        if (d > 10 || d < 0.1)
            ASSERT_EQ(c, kPARSquare) << a << "/" << b;
        else
            ASSERT_EQ(c, code(a, b)) << a << "/" << b;

        // whole terms past 16 bits: both halved the same number of times,
        // the fewest that bring both within 16 bits
        const uint64_t A = 1 + rng() % 0xFFFFFFFFull, B = A / 10 + rng() % (A * 9 / 10 + 1);
        const FmPARCode h = FmPARRatioToCode(double(A), double(B));
        if (B != 0 && double(A) / double(B) <= 10 && double(A) / double(B) >= 0.1) {
            int shift = 0;
            while ((A >> shift) > 0xFFFF || (B >> shift) > 0xFFFF) ++shift;
            ASSERT_EQ(h, code(uint32_t(A >> shift), uint32_t(B >> shift))) << A << "/" << B;
        }

        // fractional ratios: 16-bit terms within one step of the ratio, the
        // larger term as large as the ratio allows
        const double r = frac(rng);
        const FmPARCode f = FmPARRatioToCode(r, 1);
        if (r == 1) continue;
        const double num = FmPARNumerator(f), den = FmPARDenominator(f);
        ASSERT_GT(num, 0);
        ASSERT_GT(den, 0);
        ASSERT_LT(std::fabs(num / den - r), 1.0 / std::min(num, den) + 1e-12) << r;
        if (r > 1)
            ASSERT_GT(num, 65535 - r - 1) << r;
        else
            ASSERT_GT(den, 65535 - 1 / r - 1) << r;
    }
    // the range ends, one step inside and outside
    EXPECT_NE(FmPARRatioToCode(10, 1), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(std::nextafter(10.0, 11.0), 1), kPARSquare);
    EXPECT_NE(FmPARRatioToCode(0.1, 1), kPARSquare);
    EXPECT_EQ(FmPARRatioToCode(std::nextafter(0.1, 0.0), 1), kPARSquare);
    EXPECT_NEAR(ratio(FmPARRatioToCode(std::nextafter(10.0, 9.0), 1)), 10.0, 1e-3);
}

TEST(AspectCodes, ResolutionAndEquality) {
    int32_t n = -1, d = -1;
    EXPECT_EQ(FmGetPixelAspectRatio(0, 0, &n, &d), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(FmGetPixelAspectRatio(code(2, 2), 0, &n, &d), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(FmGetPixelAspectRatio(1, code(648, 720), &n, &d), 1);  // the fallback
    EXPECT_EQ(n, 648);
    EXPECT_EQ(d, 720);
    EXPECT_EQ(FmGetPixelAspectRatio(code(768, 720), code(648, 720), &n, &d), 1);
    EXPECT_EQ(n, 768);
    EXPECT_EQ(FmGetPixelAspectRatio(0x02D00000u, 0, &n, &d), 0);  // zero denominator: square
    EXPECT_EQ(FmGetPixelAspectRatio(code(3, 2), 0, nullptr, nullptr), 1);
    EXPECT_DOUBLE_EQ(FmGetPixelAspectRatioF(kPARSquare, 0), 1.0);
    EXPECT_DOUBLE_EQ(FmGetPixelAspectRatioF(0, code(2, 1)), 2.0);
    EXPECT_DOUBLE_EQ(FmGetPixelAspectRatioF(0x0000FFFFu, 0), 1.0);
    EXPECT_DOUBLE_EQ(FmGetPixelAspectRatioF(code(648, 720), 0), 0.9);

    EXPECT_TRUE(FmPARCodesEqual(0, code(648, 720)));
    EXPECT_TRUE(FmPARCodesEqual(code(768, 720), 1));
    EXPECT_TRUE(FmPARCodesEqual(code(648, 720), code(9, 10)));
    EXPECT_TRUE(FmPARCodesEqual(code(65535, 65534), code(65535, 65534)));
    EXPECT_FALSE(FmPARCodesEqual(code(648, 720), code(768, 720)));
    EXPECT_FALSE(FmPARCodesEqual(code(65535, 65534), code(65534, 65533)));
    EXPECT_TRUE(FmPARCodesEqual(kPARSquare, code(7, 7)));
}

TEST(AspectCodes, TextsAndRectangles) {
    char text[kPARTextSize];
    EXPECT_EQ(FmGetPixelAspectRatioStr(code(648, 720), 0, text), 1);
    EXPECT_STREQ(text, "0.900");
    EXPECT_EQ(FmGetPixelAspectRatioStr(code(1024, 720), 0, text), 1);
    EXPECT_STREQ(text, "1.422");
    EXPECT_EQ(FmGetPixelAspectRatioStr(0, 0, text), 0);
    EXPECT_STREQ(text, "1.0");
    EXPECT_EQ(FmGetPixelAspectRatioStr(code(5, 5), 0, text), 0);
    EXPECT_STREQ(text, "1.0");
    EXPECT_EQ(FmGetPixelAspectRatioStr(code(2, 1), 0, nullptr), 1);

    FmRect r{10, 5, 730, 485};
    EXPECT_EQ(FmPixelRectScale(code(648, 720), &r), 1);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 658);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.bottom, 485);
    EXPECT_EQ(FmPixelRectScale(kPARSquare, &r), 0);
    EXPECT_EQ(r.right, 658);
    r = {-100, 0, 100, 10};
    EXPECT_EQ(FmPixelRectScale(code(2, 1), &r), 1);
    EXPECT_EQ(r.right, 300);
    r = {0, 0, 1, 1};
    EXPECT_EQ(FmPixelRectScale(code(4, 3), &r), 0);  // 1 x 4 / 3 is still 1
    EXPECT_EQ(FmPixelRectScale(code(2, 1), nullptr), 0);
}

TEST(AspectCodes, FileRecord) {
    FmPixelAspectRec rec{123, 456};
    FmInitPixelAspectRec(&rec, nullptr, 648, 720);
    EXPECT_EQ(rec.interpreted, code(648, 720));
    EXPECT_EQ(rec.original, code(648, 720));
    EXPECT_EQ(FmGetPixelAspectRatioForFile(&rec), 0u);
    rec.interpreted = code(768, 720);
    EXPECT_EQ(FmGetPixelAspectRatioForFile(&rec), code(768, 720));
    FmInitPixelAspectRec(&rec, nullptr, 0, 720);  // no frame, no ratio
    EXPECT_EQ(rec.interpreted, kPARSquare);
    EXPECT_EQ(rec.original, kPARSquare);
    FmInitPixelAspectRec(nullptr, nullptr, 1, 2);  // no record: nothing happens
    EXPECT_EQ(FmGetPixelAspectRatioForFile(nullptr), 0u);
}

}  // namespace
