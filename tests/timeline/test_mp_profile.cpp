#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/profile.h"

namespace {

class ProfileFile : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = ::testing::TempDir() + "reel_profile_" + std::to_string(getpid()) + ".ini";
        FILE* f = std::fopen(path_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(
            "; settings\n"
            "top=1\n"
            "[Override]\n"
            "  NumCPUs = 3  \n"
            "# NoCompileAsync=1\n"
            "Name=\"quoted value\"\n"
            "Trail=12abc\n"
            "Word=abc\n"
            "Neg=-7\n"
            "Big=99999999999\n"
            "NoEquals\n"
            "[KPT]\r\n"
            "AlphaChannelBug=1\r\n"
            "[ override ]\n"
            "Late=5\n",
            f);
        std::fclose(f);
    }
    void TearDown() override { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }
    std::string path_;
};

TEST_F(ProfileFile, IntegersWithDefaultsAndCaseInsensitiveNames) {
    using rc::platform::getPrivateProfileInt;
    EXPECT_EQ(getPrivateProfileInt("override", "numcpus", -1, path()), 3);
    EXPECT_EQ(getPrivateProfileInt("OVERRIDE", "NUMCPUS", -1, path()), 3);
    EXPECT_EQ(getPrivateProfileInt("override", "NoCompileAsync", 42, path()), 42);  // commented
    EXPECT_EQ(getPrivateProfileInt("override", "Trail", -1, path()), 12);
    EXPECT_EQ(getPrivateProfileInt("override", "Word", -1, path()), 0);
    EXPECT_EQ(getPrivateProfileInt("override", "Neg", 0, path()), -7);
    EXPECT_EQ(getPrivateProfileInt("override", "Big", 0, path()), INT32_MAX);
    EXPECT_EQ(getPrivateProfileInt("override", "NoEquals", 8, path()), 8);
    EXPECT_EQ(getPrivateProfileInt("kpt", "alphachannelbug", 0, path()), 1);  // CRLF lines
    EXPECT_EQ(getPrivateProfileInt("override", "Late", 0, path()), 5);        // repeated section
    EXPECT_EQ(getPrivateProfileInt("KPT", "NumCPUs", -1, path()), -1);        // other section
    EXPECT_EQ(getPrivateProfileInt("", "top", -1, path()), -1);  // keys before any section
    EXPECT_EQ(getPrivateProfileInt("override", "NumCPUs", -1, "/nonexistent/x.ini"), -1);
    EXPECT_EQ(getPrivateProfileInt("override", "NumCPUs", -1, nullptr), -1);
}

TEST_F(ProfileFile, StringsAreTrimmedUnquotedAndTruncatedSafely) {
    char buf[64];
    EXPECT_EQ(
        rc::platform::getPrivateProfileString("override", "name", "d", buf, sizeof buf, path()),
        12u);
    EXPECT_STREQ(buf, "quoted value");
    EXPECT_EQ(rc::platform::getPrivateProfileString("override", "missing", "fallback", buf,
                                                    sizeof buf, path()),
              8u);
    EXPECT_STREQ(buf, "fallback");
    char small[5];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(
        rc::platform::getPrivateProfileString("override", "name", "", small, sizeof small, path()),
        4u);
    EXPECT_STREQ(small, "quot");
    EXPECT_EQ(rc::platform::getPrivateProfileString("override", "name", "", buf, 0, path()), 0u);
}

}  // namespace
