// `reelhost project save/load/info`: a project over synthetic media written,
// read back and written again unchanged, then listed with a file missing.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class ReelhostProject : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/reelhostprjXXXXXX";
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
    std::string write(const char* name, const std::string& text) const {
        const std::string p = dir + "/" + name;
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

bool has(const std::string& out, const std::string& what) {
    return out.find(what) != std::string::npos;
}

TEST_F(ReelhostProject, SaveLoadInfoRoundTrip) {
    const std::string header = "# synthetic media for the synthetic importer\n";
    const std::string bars =
        write("bars.synth", header + "kind bars\nwidth 64\nheight 48\nrate 25\nframes 50\n");
    const std::string tone =
        write("tone.synth",
              header + "kind tone\nfrequency 440\nsamplerate 8000\nchannels 1\nseconds 2\n");
    const std::string first = dir + "/first.prj", second = dir + "/second.prj";
    int code = 0;
    std::string out = run("project save " + first + " " + bars + " " + tone, &code);
    ASSERT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "2 clips")) << out;

    out = run("project info " + first, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "2 files")) << out;
    EXPECT_TRUE(has(out, bars + "\n")) << out;
    EXPECT_TRUE(has(out, "0 to 49, \"bars.synth\"")) << out;
    EXPECT_FALSE(has(out, "missing")) << out;

    out = run("project load " + first + " --save " + second, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, "2 files, 2 clips")) << out;
    EXPECT_EQ(read(second), read(first));
    out = run("project check " + second, &code);
    EXPECT_EQ(code, 0) << out;

    // A file gone: listed as missing, its clip kept.
    std::remove(tone.c_str());
    out = run("project info " + first, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(has(out, tone + " [missing: offline]")) << out;
    EXPECT_TRUE(has(out, "\"tone.synth\"")) << out;

    // Not a project; media that cannot be read; a missing argument.
    const std::string junk = write("junk.prj", "hello\n");
    out = run("project info " + junk, &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_TRUE(has(out, "no project header")) << out;
    out = run("project save " + dir + "/x.prj " + junk, &code);
    EXPECT_EQ(code, 1) << out;
    EXPECT_TRUE(has(out, "cannot read")) << out;
    out = run("project save " + dir + "/x.prj", &code);
    EXPECT_EQ(code, 2) << out;
}

}  // namespace
