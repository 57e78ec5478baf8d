// DoImageKey: every key type on small pictures against values worked out
// from the formulas.
#include <cmath>

#include "motion_test_util.h"
#include "reelcore/keying.h"

using namespace motiontest;

namespace {

constexpr Pixel kBack{100, 100, 100, 255};  // the picture below

class Keys : public MotionTest {
  protected:
    FmKeySettings key(int16_t type) {
        FmKeySettings k{};
        k.keyType = type;
        return k;
    }
    // Keys a row of source pixels over kBack and returns the result.
    std::vector<Pixel> run(const std::vector<Pixel>& row, const FmKeySettings& k,
                           int32_t opacity = 65535, PPixHand matte = nullptr) {
        const int32_t w = int32_t(row.size());
        PPixHand src = keep(picture(w, 1, [&](int32_t x, int32_t) { return row[size_t(x)]; }));
        PPixHand dst = keep(solid(w, 1, kBack));
        EXPECT_EQ(DoImageKey(src, dst, matte, nullptr, opacity, &k), 0);
        return pixelsOf(dst);
    }
    uint8_t M(int x, int y) { return GetMultiplyTable()[x * 256 + y]; }
};

Pixel grey(int v) {
    return Pixel{uint8_t(v), uint8_t(v), uint8_t(v), 255};
}

TEST_F(Keys, AlphaKeyAtFullAndZeroOpacity) {
    const std::vector<Pixel> row = {{10, 20, 30, 255}, {10, 20, 30, 0}, {200, 0, 50, 128}};
    FmKeySettings k = key(kKeyAlpha);
    auto out = run(row, k);
    EXPECT_EQ(out[0], row[0]);
    EXPECT_EQ(out[1], kBack);
    // half: (s * 128 + d * 127) / 255, rounded
    EXPECT_EQ(out[2], (Pixel{uint8_t(std::lround((200 * 128 + 100 * 127) / 255.0)),
                             uint8_t(std::lround(100 * 127 / 255.0)),
                             uint8_t(std::lround((50 * 128 + 100 * 127) / 255.0)), 255}));
    out = run(row, k, 0);
    for (const Pixel& p : out) EXPECT_EQ(p, kBack);
    // reversed: alpha 0 shows the source, alpha 255 the destination
    k.reverse = 1;
    out = run(row, k);
    EXPECT_EQ(out[0], kBack);
    EXPECT_EQ(out[1], row[1]);
    // mask only: the coverage as grey
    k.reverse = 0;
    k.maskOnly = 1;
    out = run(row, k);
    EXPECT_EQ(out[0], grey(255));
    EXPECT_EQ(out[1], grey(0));
    EXPECT_EQ(out[2], grey(128));
}

TEST_F(Keys, GarbageMatteLimitsEveryKey) {
    // the left half of the 117 x 87 frame: pixel centres left of 58 / 117
    FmKeySettings k = key(kKeyAlpha);
    k.garbage[0] = {0, 0};
    k.garbage[1] = {58, 0};
    k.garbage[2] = {58, 87};
    k.garbage[3] = {0, 87};
    k.keyColour = 0x0000FF;  // red, which the alpha key does not remove
    const std::vector<Pixel> red(10, Pixel{0, 0, 255, 255});
    for (int16_t type : {kKeyAlpha, kKeyBlackAlphaMatte, kKeyWhiteAlphaMatte, kKeyNone,
                         kKeyLuminance, kKeyBlueScreen}) {
        k.keyType = type;
        k.similarity = 0;
        k.threshold = 250;
        k.cutoff = 255;
        const auto out = run(red, k);
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(out[x], x < 5 ? red[x] : kBack) << "type " << type << " x " << x;
    }
    // a caller's scratch serves as the mask
    k.keyType = kKeyNone;
    std::vector<uint8_t> scratch(10, 7);
    PPixHand src = keep(solid(10, 1, red[0]));
    PPixHand dst = keep(solid(10, 1, kBack));
    ASSERT_EQ(DoImageKey(src, dst, nullptr, scratch.data(), 65535, &k), 0);
    EXPECT_EQ(scratch[0], 255);
    EXPECT_EQ(scratch[9], 0);
    // type 0 reversed shows the source outside the matte instead
    k.reverse = 1;
    auto out = run(red, k);
    EXPECT_EQ(out[0], kBack);
    EXPECT_EQ(out[9], red[9]);
    // mask only: coverage inside, black outside
    k.reverse = 0;
    k.maskOnly = 1;
    k.keyType = kKeyAlpha;
    out = run(red, k);
    EXPECT_EQ(out[0], grey(255));
    EXPECT_EQ(out[9], grey(0));
}

TEST_F(Keys, KeyOffAndMissingMattes) {
    FmKeySettings k = key(kKeyChroma);
    k.keyOff = 1;
    const std::vector<Pixel> row = {{1, 2, 3, 4}, {200, 100, 50, 0}};
    EXPECT_EQ(run(row, k), row);
    // a track or image matte without a matte picture draws nothing
    for (int16_t type : {kKeyTrackMatte, kKeyImageMatte}) {
        k = key(type);
        for (const Pixel& p : run(row, k)) EXPECT_EQ(p, kBack);
    }
    // bad arguments
    PPixHand src = keep(solid(2, 2, kBack));
    k.keyType = 15;
    EXPECT_EQ(DoImageKey(src, src, nullptr, nullptr, 0, &k), -50);
    EXPECT_EQ(DoImageKey(src, nullptr, nullptr, nullptr, 0, &k), -50);
    EXPECT_EQ(DoImageKey(src, src, nullptr, nullptr, 0, nullptr), -50);
}

TEST_F(Keys, ThresholdKeysRampBetweenThresholdAndCutoff) {
    FmKeySettings k = key(kKeyBlueScreen);
    k.threshold = 100;
    k.cutoff = 200;
    const std::vector<Pixel> row = {{255, 0, 0, 255}, {0, 0, 255, 255}, {150, 100, 0, 255}};
    auto out = run(row, k);
    EXPECT_EQ(out[0], kBack);                    // blueness 254: removed
    EXPECT_EQ(out[1], (Pixel{0, 0, 255, 255}));  // blueness 0: kept opaque
    // blueness 149: factor 255 * 51 / 100 = 130; blue limited to green
    EXPECT_EQ(out[2], (Pixel{uint8_t(M(130, 100) + M(125, 100)), uint8_t(M(130, 100) + M(125, 100)),
                             uint8_t(M(130, 0) + M(125, 100)), 130}));
    // threshold above cutoff: the ramp runs the other way
    k.threshold = 200;
    k.cutoff = 100;
    out = run(row, k);
    EXPECT_EQ(out[0], (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(out[1], kBack);
    // threshold = cutoff: a hard step instead of a division by zero
    k.threshold = k.cutoff = 128;
    out = run({{0, 0, 0, 255}, {128, 0, 0, 255}, {129, 0, 0, 255}}, k);
    EXPECT_EQ(out[0], (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(out[1], (Pixel{0, 0, 0, 255}));  // blueness 127
    EXPECT_EQ(out[2], kBack);                  // blueness 128
    // the opacity scales the bounds and the kept coverage
    k.threshold = 100;
    k.cutoff = 200;
    out = run({{0, 0, 255, 255}}, k, 128 << 8);
    EXPECT_EQ(out[0], (Pixel{uint8_t(M(128, 0) + M(127, 100)), uint8_t(M(127, 100)),
                             uint8_t(M(128, 255) + M(127, 100)), 128}));

    // green screen limits green to the larger of red and blue
    k = key(kKeyGreenScreen);
    k.threshold = 150;
    k.cutoff = 200;
    out = run({{50, 120, 0, 255}, {0, 255, 0, 255}}, k);
    EXPECT_EQ(out[0], (Pixel{50, 50, 0, 255}));
    EXPECT_EQ(out[1], kBack);

    // luminance: white removed, black kept
    k = key(kKeyLuminance);
    k.threshold = 100;
    k.cutoff = 200;
    out = run({grey(255), grey(0)}, k);
    EXPECT_EQ(out[0], kBack);
    EXPECT_EQ(out[1], grey(0));

    // non-red: red kept, cyan removed; reversed the other way round
    k = key(kKeyNonRed);
    k.threshold = 100;
    k.cutoff = 200;
    out = run({{0, 0, 255, 255}, {255, 255, 0, 255}}, k);
    EXPECT_EQ(out[0], (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(out[1], kBack);
    k.reverse = 1;
    out = run({{0, 0, 255, 255}, {255, 255, 0, 255}}, k);
    EXPECT_EQ(out[0], kBack);
    EXPECT_EQ(out[1], (Pixel{255, 255, 0, 255}));
}

TEST_F(Keys, ChromaKeyRegions) {
    FmKeySettings k = key(kKeyChroma);
    k.keyColour = 0x00FF00;  // green
    k.similarity = 30;
    k.smoothing = 200;
    const Pixel green{0, 255, 0, 255}, red{0, 0, 255, 255};
    auto out = run({green, red}, k);
    EXPECT_EQ(out[0], kBack);  // keyed out, no shadows
    EXPECT_EQ(out[1], red);    // far away: the source at full opacity
    // greens moving away from the key colour: keyed out, then blended with
    // rising coverage, then kept
    std::vector<Pixel> ramp;
    for (int i = 0; i < 12; ++i) ramp.push_back(Pixel{uint8_t(i * 16), 255, uint8_t(i * 16), 255});
    out = run(ramp, k);
    int previous = 0, blended = 0;
    for (size_t i = 0; i < ramp.size(); ++i) {
        if (out[i] == kBack) {
            EXPECT_EQ(previous, 0) << i;  // keyed out only before any blending
            continue;
        }
        EXPECT_GE(out[i].a, previous) << i;
        previous = out[i].a;
        blended += out[i].a < 255;
    }
    EXPECT_GE(blended, 3);
    // shadows: threshold 100, cutoff 200; pure green's luminance 149 gives
    // factor 255 * 51 / 100 = 130
    k.threshold = 100;
    k.cutoff = 200;
    out = run({green}, k);
    EXPECT_EQ(out[0], (Pixel{100 * 130 >> 8, 100 * 130 >> 8, 100 * 130 >> 8, 255 * 130 >> 8}));
    // half opacity outside the key: src * o / 255 + dst * (255 - o) / 255
    k.threshold = k.cutoff = 0;
    out = run({red}, k, 0x8000);
    EXPECT_EQ(out[0],
              (Pixel{100 * 127 / 255, 100 * 127 / 255, uint8_t(255 * 128 / 255 + 100 * 127 / 255),
                     uint8_t(255 * 128 / 255 + 255 * 127 / 255)}));
    // the masked variant: a transparent source pixel leaves the destination
    k.shadow[0] = 1;
    out = run({{0, 0, 255, 0}}, k);
    EXPECT_EQ(out[0], kBack);
    // mask only
    k.shadow[0] = 0;
    k.maskOnly = 1;
    out = run({green, red}, k);
    EXPECT_EQ(out[0], grey(0));
    EXPECT_EQ(out[1], grey(255));
}

// Mask-only pictures of the decided difference keys against the coverage
// worked out per pixel: largest channel distance D, removed up to the
// similarity S, a ramp over the smoothing W, then kept.
TEST_F(Keys, DifferenceKeysFollowTheLargestChannelDistance) {
    const int S = 20, W = 40;
    auto coverage = [&](int d) { return d <= S ? 0 : d >= S + W ? 255 : (d - S) * 255 / W; };
    std::vector<Pixel> row;
    for (int i = 0; i < 80; ++i)
        row.push_back(Pixel{uint8_t(128 + i), uint8_t(128 - i / 2), uint8_t(128 + i / 3), 255});
    FmKeySettings k = key(kKeyRGBDifference);
    k.keyColour = 0x808080;
    k.similarity = S;
    k.smoothing = W;
    k.maskOnly = 1;
    auto out = run(row, k);
    for (int i = 0; i < 80; ++i) EXPECT_EQ(out[i], grey(coverage(i))) << i;
    // composited: M(f, s) + M(255 - f, d), alpha f + M(255 - f, d.alpha)
    k.maskOnly = 0;
    out = run(row, k);
    for (int i : {30, 45}) {
        const int f = coverage(i), g = 255 - f;
        EXPECT_EQ(out[i],
                  (Pixel{uint8_t(M(f, row[i].b) + M(g, 100)), uint8_t(M(f, row[i].g) + M(g, 100)),
                         uint8_t(M(f, row[i].r) + M(g, 100)), uint8_t(f + M(g, 255))}))
            << i;
    }

    // the difference matte measures against the matte picture
    PPixHand matte = keep(picture(80, 1, [](int32_t x, int32_t) {
        return Pixel{uint8_t(60 + x), 60, uint8_t(200 - x), 255};
    }));
    std::vector<Pixel> moved;
    for (int i = 0; i < 80; ++i)
        moved.push_back(Pixel{uint8_t(60 + i), uint8_t(60 + i), uint8_t(200 - i), 255});
    k = key(kKeyDifferenceMatte);
    k.similarity = S;
    k.smoothing = W;
    k.maskOnly = 1;
    out = run(moved, k, 65535, matte);
    for (int i = 0; i < 80; ++i) EXPECT_EQ(out[i], grey(coverage(i))) << i;
    // without a matte picture the reference is black
    out = run({grey(10), grey(100)}, k);
    EXPECT_EQ(out[0], grey(0));
    EXPECT_EQ(out[1], grey(255));
}

TEST_F(Keys, ImageAndTrackMattesUseTheMattesBrightness) {
    PPixHand matte = keep(picture(3, 1, [](int32_t x, int32_t) {
        return grey(x == 0 ? 255 : x == 1 ? 0 : 128);
    }));
    const Pixel s{10, 200, 30, 255};
    for (int16_t type : {kKeyImageMatte, kKeyTrackMatte}) {
        FmKeySettings k = key(type);
        auto out = run({s, s, s}, k, 65535, matte);
        EXPECT_EQ(out[0], s);
        EXPECT_EQ(out[1], kBack);
        const int f = 128 * 255 / 255, g = 255 - f;
        EXPECT_EQ(out[2], (Pixel{uint8_t(M(f, 10) + M(g, 100)), uint8_t(M(f, 200) + M(g, 100)),
                                 uint8_t(M(f, 30) + M(g, 100)), uint8_t(f + M(g, 255))}));
        k.reverse = 1;
        out = run({s, s, s}, k, 65535, matte);
        EXPECT_EQ(out[0], kBack);
        EXPECT_EQ(out[1], s);
    }
}

TEST_F(Keys, MultiplyAndScreenMoveTowardsTheCombination) {
    const Pixel s{200, 50, 128, 255};
    FmKeySettings k = key(kKeyMultiply);
    k.cutoff = 255;
    auto out = run({s}, k);
    EXPECT_EQ(out[0], (Pixel{M(200, 100), M(50, 100), M(128, 100), 255}));
    k.keyType = kKeyScreen;
    out = run({s}, k);
    EXPECT_EQ(out[0], (Pixel{uint8_t(255 - M(55, 155)), uint8_t(255 - M(205, 155)),
                             uint8_t(255 - M(127, 155)), 255}));
    // half strength: d + (M - d) * 128 / 255, truncated toward zero
    k.keyType = kKeyMultiply;
    k.cutoff = 128;
    out = run({s}, k);
    auto towards = [](int d, int m) { return uint8_t(d + (m - d) * 128 / 255); };
    EXPECT_EQ(out[0], (Pixel{towards(100, M(200, 100)), towards(100, M(50, 100)),
                             towards(100, M(128, 100)), 255}));
    // opacity 0: no change
    out = run({s}, k, 0);
    EXPECT_EQ(out[0], kBack);
}

TEST_F(Keys, SplitBandsMatchOneThread) {
    const int w = 7;
    for (int rows : {159, 160}) {
        auto src = [&] {
            return picture(w, rows, [](int32_t x, int32_t y) {
                return Pixel{uint8_t(x * 40 + y), uint8_t(y * 3), uint8_t(255 - y),
                             uint8_t(y * 5 + x)};
            });
        };
        std::vector<std::vector<Pixel>> results;
        for (int n : {1, 2}) {
            usePool(n);
            for (int16_t type = 0; type < kKeyTypeCount; ++type) {
                FmKeySettings k = key(type);
                k.keyColour = 0x204080;
                k.similarity = 40;
                k.smoothing = 60;
                k.threshold = 60;
                k.cutoff = 190;
                k.garbage[0] = {10, 5};
                k.garbage[1] = {110, 0};
                k.garbage[2] = {100, 80};
                k.garbage[3] = {0, 87};
                PPixHand s = keep(src());
                PPixHand d = keep(solid(w, rows, kBack));
                PPixHand m = keep(solid(w, rows, grey(90)));
                ASSERT_EQ(DoImageKey(s, d, m, nullptr, 50000, &k), 0);
                results.push_back(pixelsOf(d));
            }
        }
        const size_t half = results.size() / 2;
        for (size_t i = 0; i < half; ++i)
            EXPECT_EQ(results[i], results[half + i]) << rows << " type " << i;
    }
}

}  // namespace
