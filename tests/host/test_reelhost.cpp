#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <string>

#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"

namespace {

std::string run(const std::string& args, int* status) {
    std::string cmd = std::string(REELHOST_PATH) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    *status = p ? pclose(p) : -1;
    return out;
}

class Reelhost : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        char tmpl[] = "/tmp/reelhostXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
};

TEST_F(Reelhost, TestcardDrawsBarsOverARamp) {
    int status = 0;
    std::string bmp = dir + "/bars.bmp";
    run("testcard 160x120 " + bmp, &status);
    ASSERT_EQ(status, 0);
    PPixHand pix = FmReadBmpFile(bmp.c_str());
    ASSERT_NE(pix, nullptr);
    FmRect b{};
    ppixGetBounds(pix, &b);
    EXPECT_EQ(b.right - b.left, 160);
    EXPECT_EQ(b.bottom - b.top, 120);
    // Pixels read back as 0x00RRGGBB words, alpha aside: white, yellow … black.
    const uint32_t bars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                             0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ppixGetPixel(pix, i * 20 + 10, 10) & 0xFFFFFF, bars[i]) << i;
    EXPECT_EQ(ppixGetPixel(pix, 0, 110) & 0xFFFFFF, 0x000000u);
    EXPECT_EQ(ppixGetPixel(pix, 159, 110) & 0xFFFFFF, 0xFFFFFFu);
    ppixDispose(pix);

    std::string bad = run("testcard 8x8 " + bmp, &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(bad.find("usage"), std::string::npos);
}

TEST_F(Reelhost, UnknownCommandsAndHelp) {
    int status = 0;
    std::string out = run("nonsense", &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("unknown command 'nonsense'"), std::string::npos);
    out = run("help", &status);
    EXPECT_EQ(status, 0);
    for (const char* c : {"info", "timecode", "testcard", "image", "project", "media"})
        EXPECT_NE(out.find(c), std::string::npos) << c;
}

}  // namespace
