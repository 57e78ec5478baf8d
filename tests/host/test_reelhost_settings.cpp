// `reelhost settings`: a new settings file shown and checked, and files that
// can't be read reported with exit code 1.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class ReelhostSettings : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/reelhostsetXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
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
};

bool has(const std::string& out, const std::string& what) {
    return out.find(what) != std::string::npos;
}

TEST_F(ReelhostSettings, NewShowAndCheck) {
    int code = 0;
    const std::string file = dir + "/pal.prs";
    std::string out =
        run("settings new " + file + " --standard pal --kind 3 --description Radio", &code);
    EXPECT_EQ(code, 0) << out;
    out = run("settings show " + file, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "kind: 3 (audio)")) << out;
    EXPECT_TRUE(has(out, "description: Radio")) << out;
    EXPECT_TRUE(has(out, "video: rpza 768x576 at 25/1")) << out;
    out = run("settings check " + file, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, file + ": ok")) << out;

    // A file whose video section ends early.
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t cut = text.find("palette=");
    ASSERT_NE(cut, std::string::npos);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text.substr(0, cut);
    out = run("settings check " + file, &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_TRUE(has(out, "a section ends early")) << out;
    out = run("settings show " + file, &code);
    EXPECT_EQ(code, 1) << out;

    out = run("settings new " + file + " --kind 9", &code);
    EXPECT_EQ(code, 2) << out;
    out = run("settings new " + file + " --standard secam", &code);
    EXPECT_EQ(code, 2) << out;
}

}  // namespace
