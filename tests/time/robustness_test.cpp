// Hostile inputs: every text writer stays inside its documented size and
// every reader survives arbitrary text (run these under the sanitizers).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/timecode.h"

namespace {

constexpr size_t kCanary = 64;

bool untouchedAfter(const char* buf, size_t limit) {
    for (size_t i = limit; i < kCanary; ++i)
        if (buf[i] != '#') return false;
    return std::memchr(buf, 0, limit) != nullptr;
}

class RobustnessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_GT(InitResMgr(nullptr), 0);
    }
};

TEST_F(RobustnessTest, WritersStayInsideTheirBuffers) {
    std::mt19937 rng(11);
    const int32_t extremes[] = {0, 1, -1, INT32_MAX, INT32_MIN, 2997, 100, 30, 44100, 65535};
    const auto pick = [&]() -> int32_t {
        return (rng() % 2) ? extremes[rng() % 10] : static_cast<int32_t>(rng());
    };
    for (int i = 0; i < 20000; ++i) {
        const TDB tb{0, pick(), pick()};
        // every kind, every flag, any rate
        const int32_t format = static_cast<int32_t>((rng() % 16) << 16 | (rng() & 0x1B00000) |
                                                    (rng() % 2 ? rng() & 0xFFFF : 30));
        char buf[kCanary];
        std::memset(buf, '#', sizeof buf);
        FmTimecodeToStr(pick(), &tb, format, buf);
        ASSERT_TRUE(untouchedAfter(buf, kTimecodeTextSize)) << format;

        const BinTimecode bin{pick(), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())};
        std::memset(buf, '#', sizeof buf);
        FormatTimecode(&bin, buf);
        ASSERT_TRUE(untouchedAfter(buf, kTimecodeTextSize));
        std::memset(buf, '#', sizeof buf);
        BcdToStr(buf, static_cast<uint32_t>(rng()));
        ASSERT_TRUE(untouchedAfter(buf, 12));
        std::memset(buf, '#', sizeof buf);
        Time2Str(pick(), buf, static_cast<int16_t>(rng()), static_cast<int32_t>(rng() % 8));
        ASSERT_TRUE(untouchedAfter(buf, kTimecodeTextSize));

        std::memset(buf, '#', sizeof buf);
        FmBytes64ToStr(static_cast<uint32_t>(rng()), pick(), buf, pick());
        ASSERT_TRUE(untouchedAfter(buf, kNumberTextSize - 1));
        const double real = static_cast<double>(pick()) * static_cast<double>(pick()) * 1e-3;
        std::memset(buf, '#', sizeof buf);
        FmFloatToStr(real, buf, pick());
        ASSERT_TRUE(untouchedAfter(buf, kNumberTextSize - 1));
    }
}

TEST_F(RobustnessTest, ReadersSurviveArbitraryText) {
    std::mt19937 rng(12);
    const char alphabet[] = "0123456789:;.,+- [];9999999999";
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const size_t len = rng() % 90;
        for (size_t k = 0; k < len; ++k) text += alphabet[rng() % (sizeof alphabet - 1)];
        const TDB tb{0, static_cast<int32_t>(rng() % 3 ? 2997 : rng()),
                     static_cast<int32_t>(rng() % 3 ? 100 : rng())};
        const int32_t format = static_cast<int32_t>((1 << (rng() % 5)) << 16 | (rng() & 0xFFFF));
        FmStrToTimecode(text.c_str(), format, &tb);
        uint32_t word = static_cast<uint32_t>(rng());
        StrToBcd(text.c_str(), &word, static_cast<int16_t>(rng() % 4));
        // whatever the text, the word holds valid digits
        char shown[kCanary];
        BcdToStr(shown, word);
        EXPECT_EQ(std::strspn(shown, "0123456789:"), 11u) << text;
        BinTimecode bin{};
        ParseTimecode(text.c_str(), &bin);
        EXPECT_GE(bin.frames, 0);
        EXPECT_LT(bin.frames, 24 * 108000);
        Str2Time(text.c_str(), static_cast<int32_t>(text.size()), static_cast<int16_t>(rng()));
    }
}

}  // namespace
