// FFmpeg's DV profiles as an oracle for the pixel aspect tables: where both
// describe a raster they must agree under the code equality, and give the
// same square-pixel widths.
#include <cmath>

#include "aspect_fixture.h"

#ifdef REEL_HAVE_AVCODEC
extern "C" {
#include <libavcodec/dv_profile.h>
}
#endif

using namespace aspecttest;

namespace {

#ifdef REEL_HAVE_AVCODEC

struct Sar {
    int num, den;
};

// The 4:3 (index 0) and 16:9 (index 1) sample aspect ratios of a DV raster.
Sar dvSar(int width, int height, AVPixelFormat format, AVRational rate, int index) {
    const AVDVProfile* p = av_dv_codec_profile2(width, height, format, rate);
    if (!p) {
        ADD_FAILURE() << "no DV profile for " << width << "x" << height;
        return {1, 1};
    }
    return {p->sar[index].num, p->sar[index].den};
}

FmPARCode presetCode(const char* name) {
    FmPARPreset p;
    for (int32_t i = 0; FmPARGetPreset(i, &p); ++i)
        if (std::string(p.name) == name) return p.code;
    ADD_FAILURE() << "no preset " << name;
    return 0;
}

FmPARCode defaultCode(int32_t width, int32_t height) {
    FmPixelAspectRec rec;
    const FmRect frame{0, 0, width, height};
    FmInitPixelAspectRec(&rec, &frame, 0, 0);
    return rec.interpreted;
}

TEST_F(AspectTest, PalAgreesWithFFmpeg) {
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const Sar narrow = dvSar(720, 576, AV_PIX_FMT_YUV420P, {25, 1}, 0);
    const Sar wide = dvSar(720, 576, AV_PIX_FMT_YUV420P, {25, 1}, 1);
    EXPECT_EQ(narrow.num * 15, narrow.den * 16);  // 16/15
    EXPECT_EQ(wide.num * 45, wide.den * 64);      // 64/45
    const FmPARCode ffNarrow = FmPARRatioToCode(narrow.num, narrow.den);
    const FmPARCode ffWide = FmPARRatioToCode(wide.num, wide.den);
    const FmPARCode pal = defaultCode(720, 576);
    const FmPARCode palWide = presetCode("D1/DV PAL Widescreen 16:9 (1.422)");
    EXPECT_EQ(pal, code(768, 720));
    EXPECT_TRUE(FmPARCodesEqual(pal, ffNarrow));
    EXPECT_TRUE(FmPARCodesEqual(palWide, ffWide));
    EXPECT_EQ(FmPixelWidthScale(pal, 720), 768);
    EXPECT_EQ(FmPixelWidthScale(ffNarrow, 720), 768);
    EXPECT_EQ(FmPixelWidthScale(palWide, 720), 1024);
    EXPECT_EQ(FmPixelWidthScale(ffWide, 720), 1024);
}

TEST_F(AspectTest, HdvAndDvcproHdRulesReproduceFFmpeg) {
    writeRules("1440,1080=4/3\n960,720=4/3\n");
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    struct Raster {
        int width, height;
        AVRational rate;
        int squareWidth;
    } rasters[] = {{1440, 1080, {25, 1}, 1920}, {960, 720, {50, 1}, 1280}};
    for (const Raster& r : rasters) {
        SCOPED_TRACE(r.width);
        const Sar sar = dvSar(r.width, r.height, AV_PIX_FMT_YUV422P, r.rate, 1);
        EXPECT_EQ(sar.num * 3, sar.den * 4);  // 4/3 for 16:9
        const FmPARCode ours = defaultCode(r.width, r.height);
        EXPECT_EQ(ours, code(4, 3));
        EXPECT_TRUE(FmPARCodesEqual(ours, FmPARRatioToCode(sar.num, sar.den)));
        EXPECT_EQ(FmPixelWidthScale(ours, r.width), r.squareWidth);
        EXPECT_EQ(FmPixelWidthScale(FmPARRatioToCode(sar.num, sar.den), r.width), r.squareWidth);
    }
}

TEST_F(AspectTest, NtscKeepsItsOwnRatiosCloseToFFmpeg) {
    ASSERT_EQ(FmPixelAspectRatioInit(), 0);
    const AVRational ntsc{30000, 1001};
    const Sar narrow = dvSar(720, 480, AV_PIX_FMT_YUV411P, ntsc, 0);
    const Sar wide = dvSar(720, 480, AV_PIX_FMT_YUV411P, ntsc, 1);
    EXPECT_EQ(narrow.num * 9, narrow.den * 8);  // 8/9
    EXPECT_EQ(wide.num * 27, wide.den * 32);    // 32/27
    const FmPARCode ours = defaultCode(720, 480);
    const FmPARCode oursWide = presetCode("D1/DV NTSC Widescreen 16:9 (1.2)");
    EXPECT_EQ(ours, code(648, 720));
    EXPECT_EQ(oursWide, code(864, 720));
    EXPECT_FALSE(FmPARCodesEqual(ours, FmPARRatioToCode(narrow.num, narrow.den)));
    const double gap = std::fabs(FmGetPixelAspectRatioF(ours, 0) * narrow.den / narrow.num - 1);
    const double gapWide = std::fabs(FmGetPixelAspectRatioF(oursWide, 0) * wide.den / wide.num - 1);
    EXPECT_LT(gap, 0.013);
    EXPECT_LT(gapWide, 0.013);
    EXPECT_EQ(FmPixelWidthScale(ours, 720), 648);
    EXPECT_EQ(FmPixelWidthScale(oursWide, 720), 864);
}

#else

TEST(AspectFFmpegOracle, NeedsLibavcodec) {
    GTEST_SKIP() << "libavcodec-dev is not installed";
}

#endif

}  // namespace
