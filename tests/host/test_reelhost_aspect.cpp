// `reelhost aspect`: the tables with their sources, the rules file from the
// configuration folder or --rules, each line explained, and a size looked up.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

class ReelhostAspect : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/reelhostaspectXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        mkdir((dir + "/reelcore").c_str(), 0755);
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    std::string run(const std::string& args, int* code) const {
        const std::string cmd =
            "XDG_CONFIG_HOME=" + dir + " " + REELHOST_PATH + " " + args + " 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        std::string out;
        char buf[512];
        while (p && fgets(buf, sizeof buf, p)) out += buf;
        const int status = p ? pclose(p) : -1;
        *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return out;
    }
    void write(const std::string& path, const std::string& text) const {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
};

bool has(const std::string& out, const std::string& what) {
    return out.find(what) != std::string::npos;
}

TEST_F(ReelhostAspect, ExplainsTheConfigurationFoldersRules) {
    int code = 0;
    std::string out = run("aspect 1440x1080", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "Interpretation Rules.txt (missing or unreadable)")) << out;
    EXPECT_TRUE(has(out, "1440x1080: code 0x00010001")) << out;

    write(dir + "/reelcore/Interpretation Rules.txt",
          "# HDV and DVCPRO HD\n1440,1080=4/3\n960,720=4/3/\"DVCPRO HD\"\nshort\n720,480=1/-2\n");
    out = run("aspect 1440x1080", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "Interpretation Rules.txt (read)")) << out;
    EXPECT_TRUE(has(out, "1440x1080    4/3 (1.333)            rules line 2")) << out;
    EXPECT_TRUE(has(out, "DVCPRO HD (1.333)")) << out;
    EXPECT_TRUE(has(out, "skipped: comment")) << out;
    EXPECT_TRUE(has(out, "skipped: 6 characters or fewer")) << out;
    EXPECT_TRUE(has(out, "skipped: negative denominator")) << out;
    EXPECT_TRUE(has(out, "1440x1080: code 0x00040003 = 4/3 (1.333)")) << out;
    EXPECT_TRUE(has(out, "square-pixel width 1920; display rectangle (0,0)-(1920,1080)")) << out;
    EXPECT_TRUE(has(out,
                    "D1/DV NTSC (0.9)                         648/720 (0.900)        "
                    "resource line 2"))
        << out;
}

TEST_F(ReelhostAspect, RulesOptionAndMistakes) {
    const std::string rules = dir + "/mine.txt";
    write(rules, "960,720=4/3\n");
    int code = 0;
    std::string out = run("aspect 960x720 --rules " + rules, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "rules file: " + rules + " (read)")) << out;
    EXPECT_TRUE(has(out, "square-pixel width 1280")) << out;
    out = run("aspect --rules " + dir + "/absent.txt", &code);
    EXPECT_EQ(code, 2) << out;
    out = run("aspect 720y480", &code);
    EXPECT_EQ(code, 2) << out;
}

}  // namespace
