// The frame-grab sample run through Export: the BMP it writes reads back as
// the frame it was handed; records it cannot use and paths it cannot write
// are refused without a file; the floating-point state and slot 333 are put
// back after each call.
#include <cfenv>
#include <sys/stat.h>

#include "filter_fixture.h"
#include "reelcore/depthcon.h"

using namespace filtertest;

namespace {

class Grab : public FilterTest {
  protected:
    RcExportModuleRecord recordFor(PPixHand pix, const std::string& path) {
        RcExportModuleRecord r{};
        r.version = kRcExportModuleRecordVersion;
        r.frame = 7;
        r.picture = HandleToWord(pix);
        std::snprintf(r.path, sizeof r.path, "%s", path.c_str());
        return r;
    }
    static bool exists(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }
};

TEST_F(Grab, WrittenPictureReadsBackAsTheFrame) {
    const int16_t grab = sample("exp-grab", cc("ExpM"));
    ASSERT_EQ(GetFileVersion(grab), 2);
    // Odd widths exercise the rows' padding; alpha is not kept.
    for (const auto& [w, h] : {std::pair{13, 7}, std::pair{4, 1}, std::pair{1, 5}}) {
        PPixHand frame = picture(w, h, [](int32_t x, int32_t y) {
            return bgra(uint8_t(17 * x + y), uint8_t(200 - 11 * y), uint8_t(x * y * 3),
                        uint8_t(x * 20));
        });
        const std::string path = scratch() + "/grab" + std::to_string(w) + ".bmp";
        RcExportModuleRecord r = recordFor(frame, path);
        SetAGlobal(kSlotCurrentHandlerFile, 9);
        std::fesetround(FE_DOWNWARD);
        ASSERT_EQ(Export(grab, kRcExportFrame, &r), noErr) << w << "x" << h;
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(std::fegetround(), FE_TONEAREST);
        EXPECT_EQ(GetAGlobal(kSlotCurrentHandlerFile), 9);

        PPixHand back = FmReadBmpFile(path.c_str());
        ASSERT_NE(back, nullptr);
        FmRect b;
        ppixGetBounds(back, &b);
        EXPECT_EQ(b.right - b.left, w);
        EXPECT_EQ(b.bottom - b.top, h);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t want = at(frame, x, y), got = at(back, x, y);
                ASSERT_EQ(red(got), red(want)) << x << "," << y;
                ASSERT_EQ(green(got), green(want)) << x << "," << y;
                ASSERT_EQ(blue(got), blue(want)) << x << "," << y;
            }
        ppixDispose(back);
    }
    std::fesetround(FE_TONEAREST);
    EXPECT_EQ(Export(grab, kRcExportStartup, nullptr), noErr);
    EXPECT_EQ(Export(grab, kRcExportShutdown, nullptr), noErr);
}

TEST_F(Grab, UnusableRecordsAndPathsWriteNothing) {
    const int16_t grab = sample("exp-grab", cc("ExpM"));
    PPixHand frame = picture(8, 8, [](int32_t, int32_t) { return bgra(1, 2, 3); });
    const std::string path = scratch() + "/refused.bmp";

    RcExportModuleRecord r = recordFor(frame, path);
    r.version = 1;
    EXPECT_EQ(Export(grab, kRcExportFrame, &r), 3) << "a record of another version";
    r = recordFor(nullptr, path);
    EXPECT_EQ(Export(grab, kRcExportFrame, &r), 3) << "no picture";
    EXPECT_EQ(Export(grab, kRcExportFrame, nullptr), 3) << "no record";
    EXPECT_FALSE(exists(path));

    r = recordFor(frame, scratch() + "/no/such/folder/grab.bmp");
    EXPECT_EQ(Export(grab, kRcExportFrame, &r), 4);
    EXPECT_EQ(r.result, 4);
    // A path that fills the record without a terminating NUL is cut short,
    // never read past its end; a name that long cannot be made.
    r = recordFor(frame, path);
    std::memset(r.path, 'a', sizeof r.path);
    r.result = -1;
    EXPECT_EQ(Export(grab, kRcExportFrame, &r), 4);
    EXPECT_EQ(r.result, 4);
    EXPECT_EQ(Export(grab, 17, &r), kRcModuleUnsupported);
}

}  // namespace
