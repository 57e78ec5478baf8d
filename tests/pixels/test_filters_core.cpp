// Image filters on raw rows: gamma table, median, the two 3 x 3 kernels,
// the alpha blur and the soft alpha edge, each against a slow reference
// written from the rules; the vector kernels against the plain ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "pixels/imagefilters_core.h"
#include "pixel_test_util.h"

using pixtest::RowBlock;
using rc::pix::Rows;

namespace {

Rows rowsOf(RowBlock& b, int32_t width) {
    return Rows{b.first(), b.step(), width, b.rows};
}

const FmKernel3x3 kBlur{{0, 1, 0, 1, 2, 1, 0, 1, 0}, 6};
const FmKernel3x3 kGaussian{{1, 2, 1, 2, 5, 2, 1, 2, 1}, 17};

// Reference 3 x 3 filter: fn receives the nine bytes of one channel.
template <typename Fn>
void reference3x3(RowBlock& src, RowBlock& dst, int32_t w, Fn fn) {
    const int32_t h = src.rows;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                if (y == 0 || y == h - 1 || x == 0 || x == w - 1) {
                    dst.row(y)[4 * x + c] = src.row(y)[4 * x + c];
                    continue;
                }
                int v[9], k = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) v[k++] = src.row(y + dy)[4 * (x + dx) + c];
                dst.row(y)[4 * x + c] = static_cast<uint8_t>(fn(v));
            }
}

int medianOf(int v[9]) {
    std::sort(v, v + 9);
    return v[4];
}

}  // namespace

TEST(FilterCore, GammaTableTruncatesAndKeepsTheEnds) {
    uint8_t t[256];
    rc::pix::gammaTable(20, t);
    EXPECT_EQ(t[128], 64);  // 255 * (128/255)^2 = 64.25
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[255], 255);
    for (int g : {1, 5, 10, 20, 33}) {
        rc::pix::gammaTable(g, t);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(t[i],
                      static_cast<int>(std::floor(255.0 * std::pow(i * (1.0 / 255.0), g * 0.1))))
                << "gamma " << g << " at " << i;
    }

    RowBlock img(5 * 4, 3, 4, true);
    img.randomize();
    RowBlock before = img;
    rc::pix::gammaTable(5, t);
    rc::pix::applyColorTable(rowsOf(img, 5), t);
    for (int32_t y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(img.row(y)[4 * x + c], t[before.row(y)[4 * x + c]]);
            ASSERT_EQ(img.row(y)[4 * x + 3], before.row(y)[4 * x + 3]);  // alpha untouched
        }
}

TEST(FilterCore, MedianAndKernelsMatchTheReferenceAtEveryWidth) {
    for (int32_t w = 1; w <= 70; w += (w < 12 ? 1 : 7)) {
        for (int32_t h : {1, 2, 3, 7}) {
            RowBlock src(size_t(w) * 4, h, 8, (w + h) % 2 == 0);
            src.randomize();
            RowBlock want(size_t(w) * 4, h, 8, false, 0x11);
            for (const char* level : {"plain", "avx2"}) {
                RowBlock got(size_t(w) * 4, h, 8, false, 0x11);
                reference3x3(src, want, w, medianOf);
                rc::pix::median3x3(rowsOf(src, w), rowsOf(got, w), level);
                ASSERT_EQ(pixtest::firstDifference(got.mem, want.mem), -1)
                    << "median " << level << " " << w << "x" << h;
                for (const FmKernel3x3* k : {&kBlur, &kGaussian}) {
                    reference3x3(src, want, w, [k](int v[9]) {
                        int sum = 0;
                        for (int i = 0; i < 9; ++i) sum += k->weights[i] * v[i];
                        return std::min(255, sum / k->divisor);
                    });
                    rc::pix::convolve3x3(rowsOf(src, w), rowsOf(got, w), *k, level);
                    ASSERT_EQ(pixtest::firstDifference(got.mem, want.mem), -1)
                        << "kernel " << k->divisor << " " << level << " " << w;
                }
            }
        }
    }
}

TEST(FilterCore, ConvolutionClampsNegativeAndLargeSums) {
    const FmKernel3x3 edge{{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1};
    RowBlock src(8 * 4, 5, 0, false);
    src.randomize();
    RowBlock want(8 * 4, 5, 0, false), got(8 * 4, 5, 0, false);
    reference3x3(src, want, 8, [&](int v[9]) {
        int sum = 0;
        for (int i = 0; i < 9; ++i) sum += edge.weights[i] * v[i];
        return std::clamp(sum, 0, 255);
    });
    rc::pix::convolve3x3(rowsOf(src, 8), rowsOf(got, 8), edge);
    EXPECT_EQ(pixtest::firstDifference(got.mem, want.mem), -1);
}

TEST(FilterCore, AlphaBlurWeightsAndResult) {
    EXPECT_TRUE(rc::pix::alphaBlurWeights(0).empty());
    EXPECT_TRUE(rc::pix::alphaBlurWeights(-2).empty());
    const std::vector<int32_t> w = rc::pix::alphaBlurWeights(2.5);
    ASSERT_EQ(w.size(), 4u);  // ceil(2.5) = 3 weights after the centre
    EXPECT_EQ(w[0], 255);
    for (int c = 1; c <= 3; ++c) {
        const double t = c / 3.5;
        EXPECT_EQ(w[c], std::lround(255 * (1 - 1.102 * (1 - std::exp(-2.378 * t * t)))));
        EXPECT_LT(w[c], w[c - 1]);
    }

    // separable reference: horizontal then vertical, edges extended, rounded;
    // widths below and above the vector step, odd and even tap counts
    struct Case {
        int32_t W, H;
        double radius;
    };
    for (const Case& cs : {Case{13, 9, 2.5}, Case{53, 21, 2.5}, Case{40, 17, 1}, Case{37, 30, 7.3},
                           Case{70, 45, 20}})
        for (bool field : {false, true}) {
            const int32_t W = cs.W, H = cs.H;
            RowBlock img(W * 4, H, 4, true);
            img.randomize();
            std::vector<int> a(W * H);
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x) a[y * W + x] = img.row(y)[4 * x + 3];
            auto pass = [](const std::vector<int>& in, int32_t W, int32_t H, bool horizontal,
                           const std::vector<int32_t>& k) {
                if (k.empty()) return in;
                std::vector<int> out(in.size());
                int64_t total = k[0];
                for (size_t c = 1; c < k.size(); ++c) total += 2 * k[c];
                for (int32_t y = 0; y < H; ++y)
                    for (int32_t x = 0; x < W; ++x) {
                        int64_t s = 0;
                        for (int c = -int(k.size()) + 1; c < int(k.size()); ++c) {
                            const int32_t xx = horizontal ? std::clamp(x + c, 0, W - 1) : x;
                            const int32_t yy = horizontal ? y : std::clamp(y + c, 0, H - 1);
                            s += int64_t{k[std::abs(c)]} * in[yy * W + xx];
                        }
                        out[y * W + x] = int((s + total / 2) / total);
                    }
                return out;
            };
            const auto kh = rc::pix::alphaBlurWeights(cs.radius);
            const auto kv = rc::pix::alphaBlurWeights(field ? cs.radius / 2 : cs.radius);
            const std::vector<int> want = pass(pass(a, W, H, true, kh), W, H, false, kv);
            RowBlock before = img;
            ASSERT_TRUE(rc::pix::blurAlpha(Rows{img.first(), img.step(), W, H}, cs.radius, field));
            for (int32_t y = 0; y < H; ++y)
                for (int32_t x = 0; x < W; ++x) {
                    ASSERT_EQ(img.row(y)[4 * x + 3], want[y * W + x])
                        << x << "," << y << " width " << W << " radius " << cs.radius;
                    ASSERT_EQ(img.row(y)[4 * x], before.row(y)[4 * x]);  // colour untouched
                }
        }
}

TEST(FilterCore, SmoothAlphaRing) {
    RowBlock one(6 * 4, 1, 0, false);
    one.randomize();
    rc::pix::smoothAlpha(Rows{one.first(), one.step(), 6, 1});
    for (int x = 0; x < 6; ++x) EXPECT_EQ(one.row(0)[4 * x + 3], 127);
    RowBlock img(5 * 4, 4, 4, true);
    img.randomize();
    SmoothAlpha(img.first(), img.step(), 5, 4);
    for (int32_t y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool ring = y == 0 || y == 3 || x == 0 || x == 4;
            ASSERT_EQ(img.row(y)[4 * x + 3], ring ? 127 : 255);
        }
}
