// The coverage blends of DoNewImpose and the application tables.
#include <cmath>

#include "motion_test_util.h"
#include "reelcore/keying.h"
#include "timeline/keying/keying_internal.h"

using namespace motiontest;

namespace {

class Impose : public MotionTest {};

// The alpha-key table at full opacity: factor = alpha, flag = 255 - alpha.
std::vector<FmCoverageEntry> alphaTable() {
    std::vector<FmCoverageEntry> t(256);
    for (int a = 0; a < 256; ++a) t[a] = FmCoverageEntry{uint8_t(a), uint8_t(255 - a)};
    return t;
}

uint8_t rounded255(double x) {
    return uint8_t(std::lround(x / 255.0));
}

TEST_F(Impose, ApplicationTablesFillOnlyEmptySlots) {
    EXPECT_EQ(GetAGlobal(kSlotLumaTables), 0);
    InitMP();
    const auto* luma = reinterpret_cast<const FmLumaTables*>(GetAGlobal(kSlotLumaTables));
    const auto* chroma = reinterpret_cast<const FmChromaTables*>(GetAGlobal(kSlotChromaTables));
    ASSERT_NE(luma, nullptr);
    ASSERT_NE(chroma, nullptr);
    EXPECT_EQ(luma->red[255] + luma->green[255] + luma->blue[255], 253);
    EXPECT_EQ(luma->green[128], 75);
    for (int v = 0; v < 256; ++v) {
        // greys have no chroma
        EXPECT_LE(std::abs(chroma->xr[v] + chroma->xg[v] + chroma->xb[v]), 1) << v;
        EXPECT_LE(std::abs(chroma->yr[v] + chroma->yg[v] + chroma->yb[v]), 1) << v;
    }
    EXPECT_EQ(chroma->xb[255], 128);
    EXPECT_EQ(chroma->yr[255], 128);
    EXPECT_EQ(chroma->xr[255], -43);
    // an executable's own table is kept
    TerminateMP();
    SetupGlobals();
    FmLumaTables mine{};
    SetAGlobal(kSlotLumaTables, reinterpret_cast<intptr_t>(&mine));
    InitMP();
    EXPECT_EQ(GetAGlobal(kSlotLumaTables), reinterpret_cast<intptr_t>(&mine));
    EXPECT_NE(GetAGlobal(kSlotChromaTables), 0);
    SetAGlobal(kSlotLumaTables, 0);

    const uint8_t* M = GetMultiplyTable();
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(M[255 * 256 + x], x);
        EXPECT_EQ(M[x], 0);
        EXPECT_EQ(M[x * 256 + 77], M[77 * 256 + x]);
    }
    EXPECT_EQ(M[128 * 256 + 128], 64);
    EXPECT_STREQ(FmKeyTypeName(kKeyRGBDifference), "RGB Difference");
    EXPECT_STREQ(FmKeyTypeName(kKeyNonRed), "Non-Red");
    EXPECT_EQ(FmKeyTypeName(15), nullptr);
}

TEST_F(Impose, NormalModeDividesBy255Rounded) {
    // every alpha against two destinations, through the alpha-key table
    std::vector<Pixel> src, dst;
    for (int a = 0; a < 256; ++a)
        for (int k = 0; k < 2; ++k) {
            src.push_back(Pixel{uint8_t(a * 7), uint8_t(255 - a), uint8_t(a / 3), uint8_t(a)});
            dst.push_back(
                Pixel{uint8_t(200 - k * 90), uint8_t(a), uint8_t(13), uint8_t(k ? 0 : 180)});
        }
    std::vector<Pixel> out = dst;
    const auto table = alphaTable();
    DoNewImpose(kImposeNormal, src.data(), out.data(), int32_t(src.size() * 4), int32_t(src.size()),
                1, table.data());
    for (size_t i = 0; i < src.size(); ++i) {
        const Pixel s = src[i], d = dst[i];
        Pixel want;
        if (s.a == 255) {
            want = s;  // flag 0: copied
        } else if (s.a == 0) {
            want = d;  // factor 0: left
        } else {
            const int f = s.a;
            want = Pixel{rounded255(s.b * f + d.b * (255.0 - f)),
                         rounded255(s.g * f + d.g * (255.0 - f)),
                         rounded255(s.r * f + d.r * (255.0 - f)),
                         uint8_t(s.a + rounded255((255.0 - s.a) * d.a))};
        }
        EXPECT_EQ(out[i], want) << i;
    }
    // source alpha 128 over a transparent destination gives alpha 128
    Pixel s{10, 20, 30, 128}, d{0, 0, 0, 0};
    DoNewImpose(kImposeNormal, &s, &d, 4, 1, 1, table.data());
    EXPECT_EQ(d.a, 128);
}

TEST_F(Impose, WhiteAndBlackPremultipliedSources) {
    const auto table = alphaTable();
    // white-premultiplied: a transparent white source leaves the destination
    Pixel s{255, 255, 255, 0}, d{1, 2, 3, 4};
    WhiteImpose(&s, &d, 4, 1, 1, table.data());
    EXPECT_EQ(d, (Pixel{1, 2, 3, 4}));
    // half alpha: max(0, s - 127) * 255 / 128, then the normal blend
    s = Pixel{255, 127, 200, 128};
    d = Pixel{40, 40, 40, 255};
    WhiteImpose(&s, &d, 4, 1, 1, table.data());
    const int straight[3] = {255, 0, 73 * 255 / 128};
    EXPECT_EQ(d.b, rounded255(straight[0] * 128.0 + 40 * 127.0));
    EXPECT_EQ(d.g, rounded255(straight[1] * 128.0 + 40 * 127.0));
    EXPECT_EQ(d.r, rounded255(straight[2] * 128.0 + 40 * 127.0));
    EXPECT_EQ(d.a, 255);

    // black-premultiplied, factor 200 and flag 55 for every alpha
    std::vector<FmCoverageEntry> fixed(256, FmCoverageEntry{200, 55});
    // alpha 0 would divide by zero: the destination stays
    s = Pixel{90, 90, 90, 0};
    d = Pixel{10, 10, 10, 0};
    DoNewImpose(kImposeBlack, &s, &d, 4, 1, 1, fixed.data());
    EXPECT_EQ(d, (Pixel{10, 10, 10, 0}));
    // a colour above its alpha is clamped to 255 instead of overflowing
    s = Pixel{200, 50, 0, 100};
    DoNewImpose(kImposeBlack, &s, &d, 4, 1, 1, fixed.data());
    EXPECT_EQ(d.b, (255 * 200 >> 8) + (10 * 55 >> 8));
    EXPECT_EQ(d.g, (50 * 256 / 100 * 200 >> 8) + (10 * 55 >> 8));
    EXPECT_EQ(d.r, 10 * 55 >> 8);
    EXPECT_EQ(d.a, 100 * 255 * 200 >> 16);
    // unknown modes and empty jobs change nothing
    d = Pixel{1, 1, 1, 1};
    DoNewImpose('x', &s, &d, 4, 1, 1, fixed.data());
    DoNewImpose(kImposeNormal, &s, &d, 4, 0, 1, fixed.data());
    EXPECT_EQ(d, (Pixel{1, 1, 1, 1}));
}

TEST_F(Impose, SplitBandsMatchOneThread) {
    usePool(2);
    const auto table = alphaTable();
    for (int rows : {159, 160, 161}) {
        const int width = 9;
        std::vector<uint8_t> src(size_t(width) * 4 * rows), dst(src.size());
        for (size_t i = 0; i < src.size(); ++i) {
            src[i] = uint8_t(i * 37 + rows);
            dst[i] = uint8_t(i * 11);
        }
        for (int32_t mode : {kImposeNormal, kImposeBlack, kImposeWhite}) {
            std::vector<uint8_t> serial = dst, split = dst;
            rc::keying::imposeRows(mode, src.data(), width * 4, serial.data(), width * 4, width,
                                   rows, table.data());
            DoNewImpose(mode, src.data(), split.data(), width * 4, width, rows, table.data());
            EXPECT_EQ(serial, split) << rows << " rows, mode " << char(mode);
            EXPECT_NE(serial, dst);
        }
    }
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);
}

}  // namespace
