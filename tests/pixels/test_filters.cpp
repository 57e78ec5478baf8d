// Image filters and alpha utilities on buffers: gamma, median, the kernels
// through the utility table, the alpha blur, alpha fills and masks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pixel_test_util.h"
#include "pixels/imagefilters_core.h"
#include "reelcore/depthcon.h"
#include "reelcore/imagefilters.h"
#include "reelcore/ppix.h"
#include "reelcore/utility_table.h"

namespace {

class FilterTest : public ::testing::Test {
  protected:
    void SetUp() override { pixtest::resetRuntime(); }
};

PPixHand randomBuffer(int32_t w, int32_t h) {
    const FmRect b{0, 0, w, h};
    PPixHand p = ppixNew(&b);
    pixtest::randomBytes(reinterpret_cast<uint8_t*>(ppixGetPixels(p)), size_t(w) * h * 4);
    return p;
}

uint8_t* px(PPixHand p) {
    return reinterpret_cast<uint8_t*>(ppixGetPixels(p));
}

}  // namespace

TEST_F(FilterTest, GammaMapsColourAndKeepsAlpha) {
    PPixHand p = randomBuffer(6, 4);
    std::vector<uint8_t> before(px(p), px(p) + 96);
    px(p)[0] = 128;
    before[0] = 128;
    DoGamma(p, 20);
    EXPECT_EQ(px(p)[0], 64);
    for (int i = 3; i < 96; i += 4) ASSERT_EQ(px(p)[i], before[i]);
    ppixDispose(p);
}

TEST_F(FilterTest, MedianAndKernelsOnBuffersIncludingInPlace) {
    PPixHand src = randomBuffer(20, 9), a = randomBuffer(20, 9), b = randomBuffer(20, 9);
    DoMedian(src, a);
    // in place gives the same as into another buffer
    std::memcpy(px(b), px(src), 20 * 9 * 4);
    DoMedian(b, b);
    EXPECT_EQ(0, std::memcmp(px(a), px(b), 20 * 9 * 4));
    // interior pixel: median of the 3 x 3 block, per byte
    const int32_t rb = ppixGetRowbytes(src);
    for (int c = 0; c < 4; ++c) {
        std::vector<int> v;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) v.push_back(px(src)[(4 + dy) * rb + (7 + dx) * 4 + c]);
        std::sort(v.begin(), v.end());
        EXPECT_EQ(px(a)[4 * rb + 7 * 4 + c], v[4]);
    }

    DoBlur(src, a);
    DoGaussian(src, b);
    for (int c = 0; c < 4; ++c) {
        auto at = [&](int dx, int dy) { return int(px(src)[(4 + dy) * rb + (7 + dx) * 4 + c]); };
        EXPECT_EQ(px(a)[4 * rb + 28 + c],
                  (at(0, -1) + at(-1, 0) + 2 * at(0, 0) + at(1, 0) + at(0, 1)) / 6);
        const int g = at(-1, -1) + 2 * at(0, -1) + at(1, -1) + 2 * at(-1, 0) + 5 * at(0, 0) +
                      2 * at(1, 0) + at(-1, 1) + 2 * at(0, 1) + at(1, 1);
        EXPECT_EQ(px(b)[4 * rb + 28 + c], g / 17);
    }

    // the kernels go through the convolution entry of the table in slot 81
    static const FmKernel3x3* seen = nullptr;
    static FmUtilityTable table;
    table = *FmDefaultUtilityTable();
    table.convolve = [](PPixHand, PPixHand, const FmKernel3x3* k) { seen = k; };
    SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(&table));
    DoGaussian(src, a);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(seen->divisor, 17);
    EXPECT_EQ(seen->weights[4], 5);
    DoBlur(src, a);
    EXPECT_EQ(seen->divisor, 6);
    EXPECT_EQ(seen->weights[0], 0);
    ppixDispose(src);
    ppixDispose(a);
    ppixDispose(b);
}

TEST_F(FilterTest, BlurMaskSmoothsAnEdgeOnlyInAlpha) {
    const FmRect bounds{0, 0, 30, 10};
    PPixHand p = ppixNew(&bounds);
    ppixFillRect(p, nullptr, 0x00336699);
    // left half opaque, right half clear
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 30; ++x) px(p)[y * 120 + 4 * x + 3] = x < 15 ? 255 : 0;
    ppixBlurMask(p, 5.0, 0);
    int previous = 256;
    for (int32_t x = 0; x < 30; ++x) {
        const int a = px(p)[5 * 120 + 4 * x + 3];
        EXPECT_LE(a, previous);
        previous = a;
    }
    EXPECT_EQ(px(p)[5 * 120 + 3], 255);
    EXPECT_EQ(px(p)[5 * 120 + 29 * 4 + 3], 0);
    EXPECT_GT(px(p)[5 * 120 + 15 * 4 + 3], 0);
    EXPECT_LT(px(p)[5 * 120 + 14 * 4 + 3], 255);
    EXPECT_EQ(ppixGetPixel(p, 14, 5), 0x00996633u);  // colour untouched
    ppixBlurMask(p, 0, 1);                           // radius 0 blurs nothing
    ppixDispose(p);
}

// Radii of about 300 exceed the vector path's 24-bit sums and take the
// plain loop; it must round like the reference: each pass (sum + total/2)
// / total, edges extended.
TEST_F(FilterTest, LargeRadiusBlurMatchesTheRoundedReference) {
    const int32_t w = 37, h = 23;
    const double radius = 300;
    PPixHand p = randomBuffer(w, h);
    const int32_t rb = ppixGetRowbytes(p);
    std::vector<int32_t> weights = rc::pix::alphaBlurWeights(radius);
    const int32_t n = int32_t(weights.size()) - 1;
    int64_t total = weights[0];
    for (int32_t c = 1; c <= n; ++c) total += 2 * int64_t{weights[c]};
    ASSERT_GE(total * 256, int64_t{1} << 24);  // beyond the vector path
    auto alpha = [&](int32_t x, int32_t y) {
        return int64_t{px(p)[size_t(std::clamp(y, 0, h - 1)) * size_t(rb) +
                             4 * size_t(std::clamp(x, 0, w - 1)) + 3]};
    };
    auto rounded = [&](int64_t sum) { return std::min<int64_t>(255, (sum + total / 2) / total); };
    std::vector<int64_t> across(size_t(w) * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int64_t sum = 0;
            for (int32_t c = -n; c <= n; ++c) sum += weights[size_t(std::abs(c))] * alpha(x + c, y);
            across[size_t(y) * w + x] = rounded(sum);
        }
    std::vector<uint8_t> want(size_t(w) * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            int64_t sum = 0;
            for (int32_t c = -n; c <= n; ++c)
                sum += weights[size_t(std::abs(c))] *
                       across[size_t(std::clamp(y + c, 0, h - 1)) * w + x];
            want[size_t(y) * w + x] = uint8_t(rounded(sum));
        }
    ppixBlurMask(p, radius, 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            ASSERT_EQ(px(p)[size_t(y) * size_t(rb) + 4 * size_t(x) + 3], want[size_t(y) * w + x])
                << x << "," << y;
    ppixDispose(p);
}

TEST_F(FilterTest, AlphaUtilities) {
    PPixHand p = randomBuffer(5, 4);
    ppixFillAlpha(p, 77);
    for (int i = 3; i < 80; i += 4) ASSERT_EQ(px(p)[i], 77);
    px(p)[7] = 9;
    AlphaToRGB(p);
    EXPECT_EQ(px(p)[4] + px(p)[5] + px(p)[6] + px(p)[7], 4 * 9);
    EXPECT_EQ(px(p)[0], 77);

    // FillMaskRGB: region clipped to the rectangle and the bounds, alpha 0
    const FmRect r1{1, 1, 9, 3};
    FmRgn rgn = FmNewRectRgn(&r1);
    const FmRect area{0, 0, 3, 4};
    ppixFillAlpha(p, 255);
    FillMaskRGB(p, rgn, &area, 0x000000FF);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) {
            const bool in = x >= 1 && x < 3 && y >= 1 && y < 3;
            if (in) {
                EXPECT_EQ(ppixGetPixel(p, x, y), 0x00FF0000u);
            }
            const uint8_t alpha = px(p)[(3 - y) * 20 + 4 * x + 3];
            EXPECT_EQ(alpha, in ? 0 : 255) << x << "," << y;
        }
    FmDisposeRgn(rgn);
    ppixDispose(p);
}
