// Frame counts through the BCD timecode word and its texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/timecode.h"
#include "time/time_hooks.h"

namespace {

std::string bcdText(uint32_t word) {
    char out[kTimecodeTextSize];
    BcdToStr(out, word);
    return out;
}

std::string binText(int32_t frames, uint8_t drop, uint8_t type) {
    const BinTimecode bin{frames, drop, type};
    char out[kTimecodeTextSize];
    BinToStr(&bin, out);
    return out;
}

int32_t gProjectScale = 2997;
int32_t projectScale() {
    return gProjectScale;
}

class BcdTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
        gProjectScale = 2997;
        rc::timehooks::setProjectScale(projectScale);
    }
    void TearDown() override { rc::timehooks::setProjectScale(nullptr); }
};

TEST_F(BcdTest, EveryFrameOfADayRoundTrips) {
    struct Kind {
        uint8_t type, drop;
        int32_t day;
    };
    const Kind kinds[] = {{kTimecode25, 0, 2160000},
                          {kTimecode24, 0, 2073600},
                          {kTimecode30, 0, 2592000},
                          {kTimecode30, 1, 2589408}};
    for (const Kind& k : kinds) {
        for (int32_t f = 0; f < k.day; ++f) {
            const BinTimecode bin{f, k.drop, k.type};
            uint32_t word = 0;
            ASSERT_EQ(BinToBcd(&bin, &word, 0), 0);
            BinTimecode back{};
            BcdToBin(word, &back, k.type);
            ASSERT_EQ(back.frames, f) << int(k.type) << "/" << int(k.drop) << " " << bcdText(word);
            ASSERT_EQ(back.drop, k.drop);
            if (f % 5 == 0) {  // and through the formatted text
                char text[kTimecodeTextSize];
                FormatTimecode(&bin, text);
                BinTimecode parsed{};
                ParseTimecode(text, &parsed);
                ASSERT_EQ(parsed.frames, f) << text;
                ASSERT_EQ(parsed.type, k.type) << text;
                ASSERT_EQ(parsed.drop, k.drop) << text;
            }
        }
    }
}

TEST_F(BcdTest, KnownLabelsAndWrapping) {
    EXPECT_EQ(binText(-1, 0, kTimecode25), "23:59:59:24");
    EXPECT_EQ(binText(2160000 * 3 + 26, 0, kTimecode25), "00:00:01:01");
    EXPECT_EQ(binText(-2160000 * 5 - 1, 0, kTimecode25), "23:59:59:24");
    for (int32_t f : {INT32_MIN, INT32_MAX, INT32_MIN + 1}) {
        const std::string t = binText(f, 1, kTimecode30);
        EXPECT_LE(std::stoi(t.substr(0, 2)), 23) << t;
    }
    EXPECT_EQ(binText(1799, 1, kTimecode30), "00:00:59:29");
    EXPECT_EQ(binText(1800, 1, kTimecode30), "00:01:00:02");
    EXPECT_EQ(binText(17982, 1, kTimecode30), "00:10:00:00");
    EXPECT_EQ(binText(17981, 1, kTimecode30), "00:09:59:29");
    EXPECT_EQ(binText(86400 + 24, 0, kTimecode24), "01:00:01:00");
    // Drop forces 30 fps counting whatever the type.
    EXPECT_EQ(binText(1800, 1, kTimecode25), "00:01:00:02");

    // keepDropped keeps the skipped labels where the count falls on them.
    const BinTimecode at1798{1798, 1, kTimecode30};
    uint32_t word = 0;
    BinToBcd(&at1798, &word, 1);
    EXPECT_EQ(bcdText(word), "00:01:00:00");
    BinToBcd(&at1798, &word, 0);
    EXPECT_EQ(bcdText(word), "00:00:59:28");
    EXPECT_TRUE(word & kBcdDropFlag);

    // The caller's bits survive.
    word = 0x01010103u;
    const BinTimecode plain{12345, 0, kTimecode25};
    BinToBcd(&plain, &word, 0);
    EXPECT_EQ(word & 0x01010103u, 0x01010103u);
    EXPECT_FALSE(word & kBcdDropFlag);
    BinTimecode back{};
    BcdToBin(word, &back, kTimecode25);
    EXPECT_EQ(back.frames, 12345);

    // A label that drop frame skips is read as the next frame.
    StrToBcd("00:01:00:00", &word, kTimecode30);
    BcdToBin(word | kBcdDropFlag, &back, kTimecode30);
    EXPECT_EQ(back.frames, 1800);
    EXPECT_EQ(back.drop, 1);
    // Type 25 ignores the drop flag.
    BcdToBin(word | kBcdDropFlag, &back, kTimecode25);
    EXPECT_EQ(back.frames, 1500);
    EXPECT_EQ(back.drop, 0);
}

TEST_F(BcdTest, TextFieldsAreReadFromTheRight) {
    uint32_t word = 0;
    StrToBcd("45", &word, kTimecode30);  // frames alone carry into seconds
    EXPECT_EQ(bcdText(word), "00:00:01:15");
    StrToBcd("00:00:10:45", &word, kTimecode30);  // too many frames with other fields
    EXPECT_EQ(bcdText(word), "00:00:10:00");
    StrToBcd("10:00  ", &word, kTimecode25);
    EXPECT_EQ(bcdText(word), "00:00:10:00");
    StrToBcd("1000", &word, kTimecode25);  // packed digits
    EXPECT_EQ(bcdText(word), "00:00:10:00");
    StrToBcd("25:61:61:10", &word, kTimecode24);
    EXPECT_EQ(bcdText(word), "00:00:00:10");
    StrToBcd("1.2;3,4", &word, kTimecode24);
    EXPECT_EQ(bcdText(word), "01:02:03:04");
    // Flag bits 0, 1, 8, 16, 24 and 25 are kept.
    word = 0x03010103u;
    StrToBcd("12:34:56:07", &word, kTimecode30);
    EXPECT_EQ(word & 0x03010103u, 0x03010103u);
    EXPECT_EQ(bcdText(word), "12:34:56:07");

    BinTimecode bin{};
    StrToBin("00:01:00:00", &bin, 1, kTimecode30);
    EXPECT_EQ(bin.frames, 1800);
    StrToBin("00:01:00:00", &bin, 0, kTimecode30);
    EXPECT_EQ(bin.frames, 1800);
    StrToBin("00:01:00:00", &bin, 0, kTimecode25);
    EXPECT_EQ(bin.frames, 1500);
    // A long text is read within bounds.
    const std::string longText(500, '1');
    StrToBin(longText.c_str(), &bin, 0, kTimecode30);
    EXPECT_GE(bin.frames, 0);
}

TEST_F(BcdTest, FormatAndParseCarryTypeAndDrop) {
    char text[kTimecodeTextSize];
    const BinTimecode pal{250, 0, kTimecode25};
    FormatTimecode(&pal, text);
    EXPECT_STREQ(text, "00:00:10:00 [25]");
    const BinTimecode ntscDrop{1800, 1, kTimecode30};
    FormatTimecode(&ntscDrop, text);
    EXPECT_STREQ(text, "00;01;00;02");

    BinTimecode out{};
    ParseTimecode("00:00:10:00 [24]", &out);
    EXPECT_EQ(out.type, kTimecode24);
    EXPECT_EQ(out.frames, 240);
    ParseTimecode("00:00:10:00", &out);  // project at 29.97: 30 fps
    EXPECT_EQ(out.type, kTimecode30);
    EXPECT_EQ(out.frames, 300);
    gProjectScale = 25;
    ParseTimecode("00:00:10:00", &out);
    EXPECT_EQ(out.type, kTimecode25);
    EXPECT_EQ(out.frames, 250);
    gProjectScale = 24;
    ParseTimecode("00:00:10:00 x;y", &out);  // ';' after the space does not mean drop
    EXPECT_EQ(out.type, kTimecode24);
    EXPECT_EQ(out.drop, 0);
    ParseTimecode("00:01:00;01 [30]", &out);
    EXPECT_EQ(out.type, kTimecode30);
    EXPECT_EQ(out.drop, 1);
    EXPECT_EQ(out.frames, 1800);
}

TEST_F(BcdTest, ShortFormatTexts) {
    char text[kTimecodeTextSize];
    const int16_t drop30 = static_cast<int16_t>(0x8000 | 30);
    Time2Str(30 * 75 + 3, text, 30, 0);
    EXPECT_STREQ(text, "01:15:03");
    Time2Str(30 * 3675 + 3, text, 30, 4);
    EXPECT_STREQ(text, "1:01:15:03");
    Time2Str(30 * 3675 + 3, text, 30, 2);
    EXPECT_STREQ(text, "01:01:15:03");
    Time2Str(1800, text, drop30, 2);
    EXPECT_STREQ(text, "00:01:00:02");
    Time2Str(24 * 10, text, 24, 0);  // rates other than 30 and 25 count at 24
    EXPECT_STREQ(text, "00:10:00");
    Time2Str(25 * 10, text, 25, 1);
    char prefix[kTimecodeTextSize];
    rc::time::indString(prefix, sizeof prefix, 1003, 26);
    EXPECT_EQ(std::string(text), std::string(prefix) + "00:10:00");
    EXPECT_STREQ(text, "Duration: 00:10:00");

    EXPECT_EQ(Str2Time("00:01:00:02", 11, drop30), 1800);
    EXPECT_EQ(Str2Time("00:01:00:02", 11, 30), 1802);
    EXPECT_EQ(Str2Time("00:00:10:00", 11, 25), 250);
    EXPECT_EQ(Str2Time("00:00:10:00", 11, 0), 240);
    EXPECT_EQ(Str2Time("00:00:10:00xxxx", 5, 25), 0);  // reads "00:00" only
    EXPECT_EQ(Str2Time("00:00:10:00", 8, 25), 10);     // "00:00:10": ten frames
    const std::string longText(200, '2');
    EXPECT_GE(Str2Time(longText.c_str(), 200, 25), 0);
}

}  // namespace
