// Motion settings in project text: the 'MOT5' and 'MOPT' records, and the
// motion record coded through CodeXPMotionRecord.
#include <string>

#include "motion_test_util.h"
#include "reelcore/motion.h"
#include "reelcore/project_stream.h"
#include "reelcore/struct_codec.h"

using namespace motiontest;

namespace {

class MotionIO : public MotionTest {
  protected:
    Handle sample(int count) {
        Handle h = FmNewHandleClear(uint32_t(12 + 46 * count));
        FmMotionHeader header{0x00112233, 1, 0, 3, int16_t(count)};
        std::memcpy(*h, &header, 12);
        for (int i = 0; i < count; ++i) {
            FmMotionPoint p{};
            p.spot[0] = int16_t(10 * i - 7);
            p.spot[1] = int16_t(300 + i);
            p.hasfrac = int16_t(i & 1);
            p.zoom = int16_t(100 + i);
            p.motionMethod = int16_t(i % 3);
            p.time = int16_t(i * 1000 / std::max(1, count - 1));
            p.delay = int16_t(i * 5);
            p.rot = int16_t(-45 * i);
            p.fracH = int8_t(-i);
            p.fracV = int8_t(2 * i);
            p.spotfrac[0] = uint16_t(40000 + i);
            p.spotfrac[1] = uint16_t(i);
            p.ratio = 0x9000;
            p.code = kMotionRatioCode;
            for (int k = 0; k < 8; ++k) p.dest[k] = int16_t(k * i - 3);
            std::memcpy(*h + 12 + 46 * i, &p, 46);
        }
        return h;
    }
    static std::string bytes(Handle h) { return std::string(*h, FmGetHandleSize(h)); }
};

TEST_F(MotionIO, SaveAndLoadRoundTrip) {
    Handle settings = sample(3);
    std::vector<char> text(8192, 0);
    ProjBufHand out = CreateProjBufHandMemory(text.data(), int32_t(text.size()), kProjModeWrite);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(SaveMotionSettings(out, settings), 0);
    ASSERT_EQ(CloseProjBufHand(out), 0);
    const std::string written(text.data());
    EXPECT_EQ(written.rfind("[MOT5]\r\ncolr=1122867\r\nsmooth=1\r\n", 0), 0u) << written;
    EXPECT_NE(written.find("[MOPT]\r\nspot=-7,300\r\nhasfrac=0\r\n"), std::string::npos);
    EXPECT_NE(written.find("code=CTYT\r\ndest=-3,-3,-3,-3,-3,-3,-3,-3\r\n"), std::string::npos);

    // into a Handle too short for the points: it grows
    Handle back = FmNewHandleClear(12);
    ProjBufHand in = CreateProjBufHandMemory(text.data(), int32_t(written.size()), kProjModeRead);
    ASSERT_EQ(LoadMotionSettings(in, back), 0);
    CloseProjBufHand(in);
    EXPECT_EQ(bytes(back), bytes(settings));

    // text with fewer points than its count keeps the points present
    const std::string cut = written.substr(0, written.rfind("[MOPT]"));
    in = CreateProjBufHandMemory(const_cast<char*>(cut.data()), int32_t(cut.size()), kProjModeRead);
    Handle partial = FmNewHandleClear(12);
    EXPECT_EQ(LoadMotionSettings(in, partial), kStructNotFound);
    CloseProjBufHand(in);
    EXPECT_EQ(reinterpret_cast<const FmMotionHeader*>(*partial)->count, 2);
    EXPECT_EQ(std::memcmp(*partial + 12, *settings + 12, 2 * 46), 0);

    // no header at all
    const std::string nothing = "[OTHR]\r\nx=1\r\n";
    in = CreateProjBufHandMemory(const_cast<char*>(nothing.data()), int32_t(nothing.size()),
                                 kProjModeRead);
    EXPECT_EQ(LoadMotionSettings(in, partial), kStructNotFound);
    CloseProjBufHand(in);
    EXPECT_EQ(SaveMotionSettings(nullptr, settings), -50);
    for (Handle h : {settings, back, partial}) FmDisposeHandle(h);
}

TEST_F(MotionIO, NegativeCountsLoadAsNoPoints) {
    const std::string text =
        "[MOT5]\r\ncolr=5\r\nsmooth=0\r\nfillA=0\r\nsmoothMethod=0\r\ncount=-4\r\n";
    ProjBufHand in = CreateProjBufHandMemory(const_cast<char*>(text.data()), int32_t(text.size()),
                                             kProjModeRead);
    Handle h = FmNewHandleClear(12);
    EXPECT_EQ(LoadMotionSettings(in, h), 0);
    CloseProjBufHand(in);
    EXPECT_EQ(FmGetHandleSize(h), 12u);
    EXPECT_EQ(reinterpret_cast<const FmMotionHeader*>(*h)->count, 0);
    EXPECT_EQ(reinterpret_cast<const FmMotionHeader*>(*h)->colr, 5u);
    FmDisposeHandle(h);
}

TEST_F(MotionIO, CodeXPMotionRecordRoundTrip) {
    Handle settings = sample(4);
    Handle text = FmNewHandleClear(8192);
    ASSERT_EQ(CodeXPMotionRecord(text, settings, 1), 0);
    EXPECT_EQ(std::string(*text).rfind("[MOT5]", 0), 0u);
    Handle back = FmNewHandleClear(1);
    ASSERT_EQ(CodeXPMotionRecord(text, back, 0), 0);
    EXPECT_EQ(bytes(back), bytes(settings));
    for (Handle h : {settings, text, back}) FmDisposeHandle(h);
}

}  // namespace
