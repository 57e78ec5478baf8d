// Ticks to display text and back, in every display kind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"
#include "reelcore/timecode.h"
#include "time/time_hooks.h"

namespace {

constexpr int32_t kHours = int32_t{kTimeShowHoursUnits} | kTimeShowHoursTens;

std::string show(int32_t ticks, const TDB& tb, int32_t format) {
    char out[kTimecodeTextSize];
    std::memset(out, '#', sizeof out);
    FmTimecodeToStr(ticks, &tb, format, out);
    EXPECT_NE(std::memchr(out, 0, sizeof out), nullptr);
    return out;
}

int32_t gProjectScale = 2997, gProjectSamp = 100;
int32_t projectScale() {
    return gProjectScale;
}
int32_t projectSamp() {
    return gProjectSamp;
}

class TimecodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
        gProjectScale = 2997;
        gProjectSamp = 100;
        rc::timehooks::setProjectScale(projectScale);
        rc::timehooks::setProjectSampleSize(projectSamp);
    }
    void TearDown() override {
        rc::timehooks::setProjectScale(nullptr);
        rc::timehooks::setProjectSampleSize(nullptr);
        rc::timehooks::setClipTimeFormat(nullptr);
    }
};

TEST_F(TimecodeTest, NonDropRoundTripsEveryFrameOfADay) {
    for (int32_t rate : {24, 25, 30}) {
        const TDB tb{0, rate, 1};
        const int32_t format = kTimeKindNonDrop | rate | kHours;
        const int32_t day = rate * 86400;
        for (int32_t a = -3000; a < day; ++a) {
            char text[kTimecodeTextSize];
            FmTimecodeToStr(a, &tb, format, text);
            ASSERT_EQ(FmStrToTimecode(text, format, &tb), a) << rate << " fps: " << text;
        }
    }
    const TDB pal{0, 25, 1};
    EXPECT_EQ(show(25 * 3661 + 7, pal, kTimeFormat25 | kHours), "01:01:01:07");
    EXPECT_EQ(show(-26, pal, kTimeFormat25 | kHours), "-00:00:01:01");
    EXPECT_EQ(show(25 * 3661 + 7, pal, kTimeFormat25), "01:01:07");  // no hours digits
    EXPECT_EQ(show(25 * 3661 + 7, pal, kTimeFormat25 | kTimeShowHoursUnits), "1:01:01:07");
    EXPECT_EQ(show(25 * 3661 + 7, pal, kTimeFormat25 | kTimeSecondsOnly), "01:07");
    EXPECT_EQ(show(25 * 65, pal, kTimeFormat25 | kHours | kTimeStripLeading), "1:05:00");
    EXPECT_EQ(show(0, pal, kTimeFormat25 | kHours | kTimeStripLeading), "0");
    EXPECT_EQ(show(0, pal, 0x30000 | 25), "----");
}

TEST_F(TimecodeTest, DropFrameRoundTripsEveryFrameOfADay) {
    const TDB thirty{0, 30, 1}, ntsc{0, 2997, 100};
    const int32_t format = kTimeFormat30Drop | kHours;
    const int32_t day = 2589408;
    for (int32_t a = -20000; a < day; ++a) {
        char text[kTimecodeTextSize];
        FmTimecodeToStr(a, &thirty, format, text);
        ASSERT_EQ(FmStrToTimecode(text, format, &thirty), a) << text;
        if (a % 7 == 0) {  // the same labels through NTSC ticks
            FmTimecodeToStr(a * 100, &ntsc, format, text);
            ASSERT_EQ(FmStrToTimecode(text, format, &ntsc), a * 100) << text;
        }
    }
    EXPECT_EQ(show(1799, thirty, format), "00;00;59;29");
    EXPECT_EQ(show(1800, thirty, format), "00;01;00;02");
    EXPECT_EQ(show(17982, thirty, format), "00;10;00;00");
    EXPECT_EQ(show(-1800, thirty, format), "-00;01;00;02");
    // Labels that drop frame skips land on ;02; minutes divisible by ten
    // skip nothing.
    EXPECT_EQ(FmStrToTimecode("00:01:00;00", format, &thirty), 1800);
    EXPECT_EQ(FmStrToTimecode("00:01:00;01", format, &thirty), 1800);
    EXPECT_EQ(FmStrToTimecode("00:10:00;01", format, &thirty), 17983);
    EXPECT_EQ(FmStrToTimecode("01:00:00;01", format, &thirty), 107893);
    // A drop-frame format at another rate is read as non-drop.
    const TDB pal{0, 25, 1};
    EXPECT_EQ(FmStrToTimecode("00:01:00;00", kTimeKindDrop | 25, &pal), 1500);
}

TEST_F(TimecodeTest, NtscTicksPrintAsRoundedFrames) {
    const TDB ntsc{0, 2997, 100};
    EXPECT_EQ(show(149, ntsc, kTimeFormatFrames), "1");
    EXPECT_EQ(show(150, ntsc, kTimeFormatFrames), "2");
    EXPECT_EQ(show(-150, ntsc, kTimeFormatFrames), "-2");
    EXPECT_EQ(show(300 * 100, ntsc, kTimeFormat30NonDrop | kHours), "00:00:10:00");
    // Non-drop at 2997 reads its fields at 30 and answers NTSC ticks.
    EXPECT_EQ(FmStrToTimecode("00:00:10:00", 0x20000 | 2997, &ntsc), 30000);
    // Frames text: frames × samp.
    EXPECT_EQ(FmStrToTimecode("12", kTimeFormatFrames, &ntsc), 1200);
    // Typed text never wraps.
    EXPECT_EQ(FmStrToTimecode("99999999", kTimeFormatFrames, &ntsc), INT32_MAX);
    EXPECT_EQ(FmStrToTimecode("-99999999999", kTimeFormatFrames, &ntsc), INT32_MIN);
    EXPECT_EQ(FmStrToTimecode("99:99:99:99999999", kTimeFormat30NonDrop, &ntsc), INT32_MAX);
    // Packed digits and separated fields agree.
    const TDB thirty{0, 30, 1};
    EXPECT_EQ(FmStrToTimecode("1000", kTimeFormat30NonDrop, &thirty), 300);
    EXPECT_EQ(FmStrToTimecode("10:00", kTimeFormat30NonDrop, &thirty), 300);
    EXPECT_EQ(FmStrToTimecode("1020304", kTimeFormat30NonDrop, &thirty),
              FmStrToTimecode("1:02:03:04", kTimeFormat30NonDrop, &thirty));
    // From 25 fps labels into an NTSC time base.
    EXPECT_EQ(FmStrToTimecode("00:00:01:00", kTimeFormat25, &ntsc), 2997);
}

TEST_F(TimecodeTest, SampleRatesPrintEverySampleDigit) {
    const TDB audio{0, 44100, 1};
    const int32_t format = kTimeKindNonDrop | 44100 | kHours;
    EXPECT_EQ(show(44100 * 61 + 12345, audio, format), "00:01:01:12345");
    EXPECT_EQ(FmStrToTimecode("00:01:01:12345", format, &audio), 44100 * 61 + 12345);
    const TDB k8{0, 8000, 1};
    EXPECT_EQ(show(8000 + 7, k8, kTimeKindNonDrop | 8000 | kTimeSecondsOnly), "01:0007");
    const TDB k500{0, 500, 1};
    EXPECT_EQ(show(500 + 7, k500, kTimeKindNonDrop | 500 | kTimeSecondsOnly), "01:007");
}

TEST_F(TimecodeTest, FeetAndFramesForBothGauges) {
    const TDB pal{0, 25, 1};
    EXPECT_EQ(show(100, pal, kTimeFormatFeet35mm), "6+04");
    EXPECT_EQ(show(85, pal, kTimeFormatFeet16mm), "2+05");
    EXPECT_EQ(show(-100, pal, kTimeFormatFeet35mm), "-6+04");
    const TDB ntsc{0, 2997, 100};
    for (int32_t format : {kTimeFormatFeet16mm, kTimeFormatFeet35mm}) {
        for (int32_t a = -5000; a < 200000; ++a) {
            char text[kTimecodeTextSize];
            FmTimecodeToStr(a, &pal, format, text);
            ASSERT_EQ(FmStrToTimecode(text, format, &pal), a) << text;
        }
        // NTSC frames are rounded first, then read back as ticks of the frame.
        char text[kTimecodeTextSize];
        FmTimecodeToStr(123 * 100 + 49, &ntsc, format, text);
        EXPECT_EQ(FmStrToTimecode(text, format, &ntsc), 123 * 100);
    }
    // Audio ticks count project frames.
    gProjectScale = 25;
    gProjectSamp = 1;
    const TDB audio{0, 48000, 1};
    EXPECT_EQ(show(48000 * 4, audio, kTimeFormatFeet35mm), "6+04");
}

TEST_F(TimecodeTest, AudioTicksShowTheProjectFrameTheyFallIn) {
    struct Project {
        int32_t scale, samp, displayRate;
    };
    const Project projects[] = {{25, 1, 25}, {24, 1, 24},     {23976, 1000, 24},
                                {30, 1, 30}, {2997, 100, 30}, {2997, 100, 2997}};
    for (const Project& p : projects) {
        gProjectScale = p.scale;
        gProjectSamp = p.samp;
        const TDB video{0, p.scale, p.samp};
        for (int32_t rate : {44100, 48000}) {
            const TDB audio{0, rate, 1};
            for (int64_t second = 0; second < 7200; second += 37) {
                const int32_t ticks = static_cast<int32_t>(second * rate + rate / 3);
                // the project frame holding that instant, as video ticks
                const int64_t frame = int64_t{ticks} * p.scale / rate / p.samp;
                const int32_t format = kTimeKindNonDrop | p.displayRate | kHours;
                EXPECT_EQ(show(ticks, audio, format),
                          show(static_cast<int32_t>(frame * p.samp), video, format))
                    << p.scale << "/" << p.samp << " at " << rate;
            }
        }
    }
}

TEST_F(TimecodeTest, ZeroFieldsAreReadAsOne) {
    const TDB zero{0, 0, 0};
    EXPECT_EQ(show(50, zero, kTimeFormatFrames), "50");
    EXPECT_EQ(show(50, zero, kTimeKindNonDrop | 0 | kHours), "00:00:50:00");
    gProjectScale = 0;
    gProjectSamp = 0;
    const TDB audio{0, 48000, 0};
    EXPECT_FALSE(show(48000, audio, kTimeFormat25).empty());
    EXPECT_FALSE(show(48000, audio, kTimeFormatFeet16mm).empty());
    EXPECT_EQ(FmStrToTimecode("12", kTimeFormatFrames, &zero), 12);
    EXPECT_EQ(FmStrToTimecode("12", 0x30000, &zero), 0);  // unknown kind
    // Null time base: the current one.
    const TDB pal{0, 25, 1};
    SetCurrentTimeBase(0, &pal);
    char text[kTimecodeTextSize];
    TimecodeToStr(26, nullptr, kTimeFormat25 | kHours, text);
    EXPECT_STREQ(text, "00:00:01:01");
    EXPECT_EQ(StrToTimecode(text, kTimeFormat25, nullptr), 26);
}

int32_t formatOfClip(int32_t clipID) {
    return clipID == 7 ? kTimeFormatFeet16mm : 0;
}

TEST_F(TimecodeTest, FormatListOrderAndCycle) {
    int32_t format = ListIndexToTimeFormat(0);
    for (int32_t i = 0; i < kTimeFormatCount; ++i) {
        EXPECT_EQ(TimeFormatToListIndex(ListIndexToTimeFormat(i)), i);
        format = NextTimeFormat(format);
    }
    EXPECT_EQ(format, ListIndexToTimeFormat(0));  // seven steps go all the way round
    EXPECT_EQ(NextTimeFormat(0x80010), 0x20018);
    EXPECT_EQ(ListIndexToTimeFormat(7), 0);
    EXPECT_EQ(ListIndexToTimeFormat(-1), 0);
    EXPECT_EQ(TimeFormatToListIndex(kTimeKindNonDrop | 50), 3);
    EXPECT_EQ(TimeFormatToListIndex(kTimeKindFeet | 20), 3);
    EXPECT_EQ(TimeFormatToListIndex(0), 3);
    EXPECT_EQ(TimeFormatToListIndex(kTimeKindFrames | 99), 4);

    // The list's texts, from the library's resources, in list order.
    const char* const names[kTimeFormatCount] = {"24 fps Timecode",
                                                 "25 fps Timecode",
                                                 "30 fps Drop-Frame Timecode",
                                                 "30 fps Non Drop-Frame Timecode",
                                                 "Frames/Samples",
                                                 "Feet + Frames 16mm",
                                                 "Feet + Frames 35mm"};
    for (int16_t i = 0; i < kTimeFormatCount; ++i) {
        char name[256] = "";
        GetIndString(name, kTimeFormatNameList, static_cast<int16_t>(i + 1));
        EXPECT_STREQ(name, names[i]);
    }
    char name[64];
    rc::time::indString(name, 8, kTimeFormatNameList, 7);
    EXPECT_STREQ(name, "Feet + ");
    rc::time::indString(name, sizeof name, kTimeFormatNameList, 8);
    EXPECT_STREQ(name, "");

    EXPECT_EQ(ClipTimeFormat(7), 0);
    rc::timehooks::setClipTimeFormat(formatOfClip);
    EXPECT_EQ(ClipTimeFormat(7), kTimeFormatFeet16mm);
    EXPECT_EQ(ClipTimeFormat(8), 0);
}

TEST_F(TimecodeTest, TemplatesShowTimecodeArguments) {
    const TDB pal{0, 25, 1};
    const intptr_t args[] = {26, 25 * 3600};
    char out[kExpandStringMax];
    int32_t length = 0;
    DoExpandString("at }0, then %1 }}%%", -1, out, &length, args, &pal, kTimeFormat25);
    EXPECT_STREQ(out, "at 00:01:01, then 1:00:00:00 }%");
    EXPECT_EQ(length, static_cast<int32_t>(std::strlen(out)));
    DoExpandString("}0", -1, out, &length, args, &pal, kTimeFormatFeet35mm);
    EXPECT_STREQ(out, "1+10");
}

}  // namespace
