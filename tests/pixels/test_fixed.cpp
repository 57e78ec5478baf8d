// 16.16 fixed-point multiply and divide, against the rules computed in wide
// arithmetic on random operands.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "reelcore/imagefilters.h"

namespace {

int64_t refMul(int32_t a, int32_t b) {
    const __int128 p = static_cast<__int128>(a) * b;
    // round half up for positive products, towards +infinity by 0x7FFF for negative
    __int128 r = p >= 0 ? (p + 0x8000) / 65536 : -((-p - 0x7FFF + 65535) / 65536);
    if (r > INT32_MAX) r = INT32_MAX;
    if (r < INT32_MIN) r = INT32_MIN;
    return static_cast<int64_t>(r);
}

int64_t refDiv(int32_t a, int32_t b) {
    if (a == 0 || b == 0) return 0;
    const int64_t ma = a < 0 ? -int64_t{a} : a, mb = b < 0 ? -int64_t{b} : b;
    if (ma / 65536 >= mb) return a;
    int64_t q = (ma * 65536 + ma / 65536) / mb;
    if (q > INT32_MAX) q = INT32_MAX;
    return ((a < 0) != (b < 0)) ? -q : q;
}

}  // namespace

TEST(FixedPoint, KnownProductsAndQuotients) {
    EXPECT_EQ(FixedMul(0x00018000, 0x00020000), 0x00030000);
    EXPECT_EQ(FixedMul(0x7FFF0000, 0x00020000), 0x7FFFFFFF);
    EXPECT_EQ(FixedMul(-0x00018000, 0x00020000), -0x00030000);
    EXPECT_EQ(FixedDiv(0x00030000, 0x00020000), 0x00018000);
    EXPECT_EQ(FixedDiv(0x00030000, 0), 0);
    EXPECT_EQ(FixedDiv(0, 0x00020000), 0);
    EXPECT_EQ(FixedDiv(-0x00030000, 0x00020000), -0x00018000);
    EXPECT_EQ(FixedDiv(-0x00030000, -0x00020000), 0x00018000);
}

TEST(FixedPoint, DivisionSaturatesInsteadOfWrapping) {
    // 32767 / 0.5 does not fit: it must stay positive and as large as possible
    EXPECT_EQ(FixedDiv(0x7FFF0000, 0x8000), 0x7FFFFFFF);
    EXPECT_EQ(FixedDiv(-0x7FFF0000, 0x8000), -0x7FFFFFFF);
    EXPECT_GT(FixedDiv(0x40000000, 0x10000 / 2 + 1), 0);
}

TEST(FixedPoint, RandomOperandsFollowTheRules) {
    std::mt19937 gen(7);
    for (int i = 0; i < 200000; ++i) {
        const int shiftA = gen() % 32, shiftB = gen() % 32;
        const int32_t a = static_cast<int32_t>(gen()) >> shiftA;
        const int32_t b = static_cast<int32_t>(gen()) >> shiftB;
        ASSERT_EQ(FixedMul(a, b), refMul(a, b)) << a << " * " << b;
        ASSERT_EQ(FixedDiv(a, b), refDiv(a, b)) << a << " / " << b;
    }
}
