// Row converters: known values, a slow reference written from the layout
// rules on random rows, strides (padded and negative), and the guards.
#include <gtest/gtest.h>

#include "pixels/depthcon_rows.h"
#include "pixel_test_util.h"
#include "reelcore/depthcon.h"
#include "reelcore/globals.h"

using pixtest::RowBlock;

namespace {

// ---- reference conversions, one pixel at a time ----
uint16_t ref555(int b, int g, int r) {
    return uint16_t(((r / 8) << 10) + ((g / 8) << 5) + b / 8);
}
void refExpand(uint16_t v, uint8_t out[3]) {
    out[0] = uint8_t((v % 32) * 8);
    out[1] = uint8_t(((v / 32) % 32) * 8);
    out[2] = uint8_t(((v / 1024) % 32) * 8);
}

enum class Conv { k32To16, k24To16, k16To24, k16To32, k24To32, k32To24, kCopy32, kQ16, kQ32, kQ24 };

struct ConvInfo {
    Conv conv;
    int srcBytes, dstBytes;
    bool flips;
    const char* name;
};

const ConvInfo kConversions[] = {
    {Conv::k32To16, 4, 2, false, "32To16"}, {Conv::k24To16, 3, 2, false, "24To16"},
    {Conv::k16To24, 2, 3, false, "16To24"}, {Conv::k16To32, 2, 4, false, "16To32"},
    {Conv::k24To32, 3, 4, false, "24To32"}, {Conv::k32To24, 4, 3, false, "32To24"},
    {Conv::kCopy32, 4, 4, false, "Copy32"}, {Conv::kQ16, 4, 2, true, "32ToQ16"},
    {Conv::kQ32, 4, 4, true, "32ToQ32"},    {Conv::kQ24, 4, 3, true, "32ToQ24"},
};

void refPixel(Conv c, const uint8_t* s, uint8_t* d) {
    switch (c) {
        case Conv::k32To16:
        case Conv::k24To16: {
            const uint16_t v = ref555(s[0], s[1], s[2]);
            d[0] = uint8_t(v % 256), d[1] = uint8_t(v / 256);
            break;
        }
        case Conv::k16To24:
            refExpand(uint16_t(s[0] + 256 * s[1]), d);
            break;
        case Conv::k16To32:
            refExpand(uint16_t(s[0] + 256 * s[1]), d);
            d[3] = 255;
            break;
        case Conv::k24To32:
            d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
            break;
        case Conv::k32To24:
            d[0] = s[0], d[1] = s[1], d[2] = s[2];
            break;
        case Conv::kCopy32:
            d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = s[3];
            break;
        case Conv::kQ16: {
            const uint16_t v = ref555(s[0], s[1], s[2]);
            d[0] = uint8_t(v / 256), d[1] = uint8_t(v % 256);
            break;
        }
        case Conv::kQ32:
            d[0] = s[3], d[1] = s[2], d[2] = s[1], d[3] = s[0];
            break;
        case Conv::kQ24:
            d[0] = s[2], d[1] = s[1], d[2] = s[0];
            break;
    }
}

void runConversion(Conv c, const void* s, void* d, int32_t w, int32_t rows, int32_t ss,
                   int32_t ds) {
    switch (c) {
        case Conv::k32To16:
            DepthCon32To16(s, d, w, rows, ss, ds);
            break;
        case Conv::k24To16:
            DepthCon24To16(s, d, w, rows, ss, ds);
            break;
        case Conv::k16To24:
            DepthCon16To24(s, d, w, rows, ss, ds);
            break;
        case Conv::k16To32:
            DepthCon16To32(s, d, w, rows, ss, ds);
            break;
        case Conv::k24To32:
            DepthCon24To32(s, d, w, rows, ss, ds);
            break;
        case Conv::k32To24:
            DepthCon32To24(s, d, w, rows, ss, ds);
            break;
        case Conv::kCopy32:
            Copy32(s, d, w, rows, ss, ds);
            break;
        case Conv::kQ16:
            DepthCon32ToQ16(s, d, w, rows, ss, ds);
            break;
        case Conv::kQ32:
            Con32ToQ32(s, d, w, rows, ss, ds);
            break;
        case Conv::kQ24:
            Con32ToQ24(s, d, w, rows, ss, ds);
            break;
    }
}

// Converts random rows and compares with the reference, checking that the
// padding and guard bytes of the destination are untouched.
void checkConversion(const ConvInfo& ci, int32_t width, int32_t rows, bool negSrc, bool negDst) {
    RowBlock src(size_t(width) * ci.srcBytes, rows, 5, negSrc);
    src.randomize();
    RowBlock dst(size_t(width) * ci.dstBytes, rows, 3, negDst, 0xA5);
    RowBlock want(size_t(width) * ci.dstBytes, rows, 3, negDst, 0xA5);
    // a flipping converter writes row y at the start minus y strides
    uint8_t* dstStart = ci.flips ? dst.row(rows - 1) : dst.first();
    const int32_t dstStride = dst.step();
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < width; ++x)
            refPixel(ci.conv, src.row(y) + x * ci.srcBytes,
                     want.row(ci.flips ? rows - 1 - y : y) + x * ci.dstBytes);
    runConversion(ci.conv, src.first(), dstStart, width, rows, src.step(), dstStride);
    ASSERT_EQ(pixtest::firstDifference(dst.mem, want.mem), -1)
        << ci.name << " width " << width << " rows " << rows << (negSrc ? " negative source" : "")
        << (negDst ? " negative destination" : "");
}

class DepthConTest : public ::testing::Test {
  protected:
    void SetUp() override { pixtest::resetRuntime(); }
};

}  // namespace

TEST_F(DepthConTest, KnownValuesOfTheChannelRules) {
    const uint8_t bgr[4] = {0xFF, 0x80, 0x08, 0x00};
    uint16_t v = 0;
    DepthCon32To16(bgr, &v, 1, 1, 0, 0);
    EXPECT_EQ(v, 0x061F);
    const uint16_t white = 0x7FFF;
    uint32_t word = 0;
    DepthCon16To32(&white, &word, 1, 1, 0, 0);
    EXPECT_EQ(word, 0xFFF8F8F8u);  // 31 expands to 248, alpha 255
    const uint8_t full[3] = {255, 255, 255};
    DepthCon24To16(full, &v, 1, 1, 0, 0);
    EXPECT_EQ(v, 0x7FFF);  // 255 reduces to 31 in each channel
    uint8_t three[3] = {};
    DepthCon16To24(&white, three, 1, 1, 0, 0);
    EXPECT_EQ(three[0], 248);
    const uint8_t px[4] = {1, 2, 3, 4};
    uint8_t out[4] = {};
    CopyIGLine(px, out, 1);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{3, 2, 1, 4}));
    Con32ToQ32(px, out, 1, 1, 0, 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{4, 3, 2, 1}));
}

TEST_F(DepthConTest, EveryConverterMatchesTheReferenceOnRandomRows) {
    for (int mmx = 0; mmx < 2; ++mmx) {
        SetAGlobal(kSlotIsMMX, mmx);
        FmBNInitialize();
        for (const ConvInfo& ci : kConversions) {
            for (int32_t width = 0; width <= 70; ++width)
                checkConversion(ci, width, 3, false, false);
            checkConversion(ci, 37, 5, true, false);
            checkConversion(ci, 64, 4, false, true);
            checkConversion(ci, 19, 6, true, true);
        }
    }
}

TEST_F(DepthConTest, TableAndBitConverters) {
    std::vector<uint32_t> table(256);
    for (auto& t : table) t = static_cast<uint32_t>(pixtest::rng()());
    RowBlock src(45, 4, 3, true);
    src.randomize();
    RowBlock d24(45 * 4, 4, 0, false), d32(45 * 4, 4, 0, false);
    DepthCon8To24(src.first(), d24.first(), 45, 4, src.step(), d24.step(), table.data());
    DepthCon8To32(src.first(), d32.first(), 45, 4, src.step(), d32.step(), table.data());
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 45; ++x) {
            uint32_t a, b;
            std::memcpy(&a, d24.row(y) + 4 * x, 4);
            std::memcpy(&b, d32.row(y) + 4 * x, 4);
            ASSERT_EQ(a, table[src.row(y)[x]]);
            ASSERT_EQ(b, table[src.row(y)[x]] | 0xFF000000u);
        }

    // 1-bit rows: most significant bit first, background before foreground
    RowBlock bits(3, 2, 1, false);
    bits.randomize();
    RowBlock d1(19 * 4, 2, 0, false);
    DepthCon1(bits.first(), d1.first(), 19, 2, bits.step(), d1.step(), 0x11111111u, 0xEEEEEEEEu);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 19; ++x) {
            uint32_t w;
            std::memcpy(&w, d1.row(y) + 4 * x, 4);
            const bool set = (bits.row(y)[x / 8] & (128 >> (x % 8))) != 0;
            ASSERT_EQ(w, set ? 0xEEEEEEEEu : 0x11111111u) << x;
        }

    // inverse-table reduction indexes by the 15-bit code
    std::vector<uint8_t> inverse = pixtest::randomVector(32768);
    RowBlock s24(33 * 3, 3, 2, false), s32(33 * 4, 3, 0, true);
    s24.randomize();
    s32.randomize();
    RowBlock o24(33, 3, 1, false), o32(33, 3, 1, false);
    AReduce24(s24.first(), o24.first(), 33, 3, s24.step(), o24.step(), inverse.data());
    AReduce32(s32.first(), o32.first(), 33, 3, s32.step(), o32.step(), inverse.data());
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 33; ++x) {
            const uint8_t* p = s24.row(y) + 3 * x;
            ASSERT_EQ(o24.row(y)[x], inverse[ref555(p[0], p[1], p[2])]);
            p = s32.row(y) + 4 * x;
            ASSERT_EQ(o32.row(y)[x], inverse[ref555(p[0], p[1], p[2])]);
        }
}

TEST_F(DepthConTest, PackAndUnpackAlphaAreOneRowConversions) {
    std::vector<uint8_t> px = pixtest::randomVector(23 * 4), packed(23 * 3), back(23 * 4);
    PackAlpha(px.data(), packed.data(), 23);
    UnpackAlpha(packed.data(), back.data(), 23);
    for (int x = 0; x < 23; ++x) {
        for (int i = 0; i < 3; ++i) ASSERT_EQ(back[4 * x + i], px[4 * x + i]);
        ASSERT_EQ(back[4 * x + 3], 255);
    }
}

TEST_F(DepthConTest, DegenerateArgumentsWriteNothing) {
    std::vector<uint8_t> src = pixtest::randomVector(64), dst(64, 0x5A);
    const std::vector<uint8_t> before = dst;
    DepthCon32To16(src.data(), dst.data(), 0, 4, 16, 16);
    DepthCon16To32(src.data(), dst.data(), -3, 1, 0, 0);
    Copy32(src.data(), dst.data(), 4, 0, 16, 16);
    DepthCon24To32(nullptr, dst.data(), 4, 1, 0, 0);
    AReduce32(src.data(), dst.data(), 4, 1, 0, 0, nullptr);
    DepthCon8To32(src.data(), dst.data(), 4, 1, 0, 0, nullptr);
    EXPECT_EQ(dst, before);
}
