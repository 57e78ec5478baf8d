#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"

namespace {

// Runs reelhost with the arguments (and a command prefix such as "env ...").
std::string run(const std::string& args, int* status, const std::string& prefix = "") {
    std::string cmd = prefix + " " + std::string(REELHOST_PATH) + " " + args + " 2>&1";
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
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(bad.find("16..8192"), std::string::npos) << bad;
}

int exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Every malformed command line is refused with exit 2 and names what is wrong.
TEST_F(Reelhost, UsageMistakesExitTwoWithAReason) {
    const std::string f = dir + "/f.bmp";
    const struct {
        std::string args;
        const char* says;
    } cases[] = {
        {"testcard 20x20junk " + f, "not WIDTHxHEIGHT"},
        {"testcard 4294967312x16 " + f, "16..8192"},
        {"testcard 64x64 " + dir + "/card.jpg", "must end in .bmp or .png"},
        {"fill 10x10 nocolour " + f, "colour name"},
        {"fill 0x10 red " + f, "1..16384"},
        {"image", "required"},
        {"image median " + dir + "/missing.bmp " + f, "missing.bmp"},
        {"image gamma x " + f + " " + f, "not a number"},
        {"image reduce 300 " + f + " " + f, "1..256"},
        {"timecode garbage", "not a decimal tick count"},
        {"timecode --parse 1 9", "not a format"},
        {"timecode 10 0/1", "SCALE[/SAMP]"},
        {"string 1003 x", "not a decimal number"},
        {"expand ^0 abc", "takes a decimal number"},
        {"expand ^0/0 4", "both as text"},
        {"expand /0", "needs an argument"},
        {"expand ^0 1 2", "not used by the template"},
        {"windows " + f, "not a folder"},
        {"project list " + f, ""},
        {"media", "required"},
    };
    int status = 0;
    run("fill 4x4 red " + f, &status);  // an existing regular file for the folder case
    ASSERT_EQ(exitCode(status), 0);
    for (const auto& c : cases) {
        std::string out = run(c.args, &status);
        EXPECT_EQ(exitCode(status), 2) << c.args << "\n" << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.args << "\n" << out;
    }
}

TEST_F(Reelhost, ExpandTypesArgumentsByTheirMarkers) {
    int status = 0;
    EXPECT_EQ(run("expand /0 42", &status), "42\n");  // text, not a pointer made of a number
    EXPECT_EQ(exitCode(status), 0);
    EXPECT_EQ(run("expand '^0 frames in /1' 42 bars.bmp", &status), "42 frames in bars.bmp\n");
    EXPECT_EQ(run("expand '^0 ^^ /1 ^0' -7 x", &status), "-7 ^ x -7\n");
    EXPECT_EQ(exitCode(status), 0);
}

TEST_F(Reelhost, TimecodeRefusesTextThatIsNotATime) {
    int status = 0;
    std::string out = run("timecode --parse garbage 30drop", &status);
    EXPECT_EQ(exitCode(status), 1);
    EXPECT_NE(out.find("not a time in format 30drop"), std::string::npos) << out;
    out = run("timecode --parse 00:00:00:45 30", &status);  // frames past the rate
    EXPECT_EQ(exitCode(status), 1) << out;
    out = run("timecode --parse 00:10:00:01 30drop", &status);
    EXPECT_EQ(exitCode(status), 0) << out;
    EXPECT_NE(out.find("1798300 ticks"), std::string::npos) << out;
    // decimal, never octal: 010 is ten ticks
    out = run("timecode 010 25", &status);
    EXPECT_EQ(exitCode(status), 0);
    EXPECT_NE(out.find("10 ticks at 25/1"), std::string::npos) << out;
    out = run("timecode -150 100", &status);
    EXPECT_EQ(exitCode(status), 0);
    EXPECT_NE(out.find("-150 ticks"), std::string::npos) << out;
}

// The extension picks the written format, whatever its case.
TEST_F(Reelhost, OutputFormatFollowsTheExtension) {
    int status = 0;
    for (const char* name : {"a.bmp", "b.BMP", "c.png", "d.PnG"}) {
        for (const char* cmd : {"fill 10x10 red ", "testcard 16x16 "}) {
            const std::string path = dir + "/" + cmd[0] + name;
            run(cmd + path, &status);
            ASSERT_EQ(exitCode(status), 0) << cmd << name;
            FILE* f = std::fopen(path.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            unsigned char magic[2] = {};
            ASSERT_EQ(std::fread(magic, 1, 2, f), 2u);
            std::fclose(f);
            const bool png = std::tolower(name[2]) == 'p';
            EXPECT_EQ(magic[0], png ? 0x89 : 'B') << cmd << name;
            EXPECT_EQ(magic[1], png ? 'P' : 'M') << cmd << name;
        }
    }
    // fill's BMP holds the colour drawn
    PPixHand pix = FmReadBmpFile((dir + "/fa.bmp").c_str());
    ASSERT_NE(pix, nullptr);
    EXPECT_EQ(ppixGetPixel(pix, 5, 5) & 0xFFFFFF, 0xFF0000u);
    ppixDispose(pix);
}

TEST_F(Reelhost, WindowsSavesSurfacesIntoAFolder) {
    int status = 0;
    std::string out = run("windows " + dir + "/shots", &status);
    EXPECT_EQ(exitCode(status), 0) << out;
    EXPECT_NE(out.find("surfaces in"), std::string::npos) << out;
}

// The file table registers missing files as offline media; an icon for a
// module that is not there must still be an error, with nothing written.
TEST_F(Reelhost, FxIconOfAMissingModuleFails) {
    int status = 0;
    const std::string icon = dir + "/icon.png";
    std::string out = run("fxicon no-such-module 1/2 " + icon, &status);
    EXPECT_EQ(exitCode(status), 1) << out;
    EXPECT_NE(out.find("no transition module"), std::string::npos) << out;
    EXPECT_NE(access(icon.c_str(), F_OK), 0) << "no icon file is written";
}

TEST_F(Reelhost, UnknownCommandsAndHelp) {
    int status = 0;
    std::string out = run("nonsense", &status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(out.find("unknown command 'nonsense'"), std::string::npos);
    out = run("help", &status);
    EXPECT_EQ(status, 0);
    for (const char* c : {"info", "timecode", "testcard", "image", "project", "media"})
        EXPECT_NE(out.find(c), std::string::npos) << c;
    out = run("help image", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("smoothscale"), std::string::npos) << out;
    out = run("image gamma --help", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("Usage: reelhost image gamma"), std::string::npos) << out;
    run("", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

// Pictures in: BMP and PNG, and a clear reason for what cannot be read.
TEST_F(Reelhost, ImageReadsBmpAndPngAndSaysWhyNot) {
    int status = 0;
    const std::string png = dir + "/card.png", bmp = dir + "/card.bmp";
    run("testcard 64x48 " + png, &status);
    ASSERT_EQ(exitCode(status), 0);
    std::string out = run("image median " + png + " " + bmp, &status);
    ASSERT_EQ(exitCode(status), 0) << out;
    PPixHand pix = FmReadBmpFile(bmp.c_str());
    ASSERT_NE(pix, nullptr);
    EXPECT_EQ(ppixGetPixel(pix, 4, 4) & 0xFFFFFF, 0xFFFFFFu);  // the white bar
    ppixDispose(pix);

    auto writeBytes = [&](const std::string& name, const std::string& bytes) {
        FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return dir + "/" + name;
    };
    // A 4x4 bitmap of bit depth 7: refused, not a black picture.
    std::string header("BM\0\0\0\0\0\0\0\0\x36\0\0\0", 14);
    std::string info(40, '\0');
    info[0] = 40, info[4] = 4, info[8] = 4, info[12] = 1, info[14] = 7;
    const std::string seven = writeBytes("seven.bmp", header + info + std::string(64, '\x11'));
    const std::string cut = writeBytes("cut.bmp", header + info.substr(0, 20));
    const std::string text = writeBytes("text.bmp", "not a picture at all, just words");
    const struct {
        std::string path;
        const char* says;
    } refused[] = {{seven, "bit depth"}, {cut, "truncated"}, {text, "neither a BMP nor a PNG"}};
    for (const auto& r : refused) {
        out = run("image blur " + r.path + " " + dir + "/out.png", &status);
        EXPECT_EQ(exitCode(status), 1) << out;
        EXPECT_NE(out.find(r.says), std::string::npos) << out;
    }
    EXPECT_NE(access((dir + "/out.png").c_str(), F_OK), 0);
}

// `info` reads as prose: sizes in units, plurals, one form of window id,
// and slot 230 names the default resource file.
TEST_F(Reelhost, InfoIsReadable) {
    int status = 0;
    const std::string out = run("info", &status);
    ASSERT_EQ(exitCode(status), 0);
    EXPECT_NE(out.find("go to the sub-heap (its heap limit)"), std::string::npos) << out;
    EXPECT_NE(out.find(" MiB free"), std::string::npos) << out;
    EXPECT_EQ(out.find("(s)"), std::string::npos) << out;
    EXPECT_EQ(out.find(" 1 zones"), std::string::npos) << out;
    EXPECT_NE(out.find("main window: 0x0001"), std::string::npos) << out;
    EXPECT_NE(out.find("first window 0x0001"), std::string::npos) << out;
    const size_t slot = out.find("resource instance (slot 230): ");
    ASSERT_NE(slot, std::string::npos) << out;
    const int instance = std::atoi(out.c_str() + slot + 30);
    EXPECT_GT(instance, 0);
    EXPECT_NE(out.find("  " + std::to_string(instance) + " default"), std::string::npos) << out;
    const std::string windows = run("windows", &status);
    EXPECT_NE(windows.find("0x00010001 HIDE"), std::string::npos) << windows;
}

// Without HOME the stored resources go to a folder of this user's own.
TEST_F(Reelhost, StoredResourcesStayPrivateWithoutHome) {
    int status = 0;
    std::string out = run("info", &status, "env -u HOME -u XDG_CACHE_HOME XDG_RUNTIME_DIR=" + dir);
    EXPECT_NE(out.find("stored resources: " + dir + "/reelcore\n"), std::string::npos) << out;
    out = run("info", &status, "env -u HOME -u XDG_CACHE_HOME -u XDG_RUNTIME_DIR");
    EXPECT_NE(out.find("stored resources: /tmp/reelcore-" + std::to_string(getuid()) + "\n"),
              std::string::npos)
        << out;
}

}  // namespace
