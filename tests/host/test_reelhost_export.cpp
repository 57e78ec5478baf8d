// `reelhost export` over the demo timeline: a still inside the timeline is
// written, one past its end (or before its start) is refused with a message
// and a failing exit, leaving no file behind.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string run(const std::string& args, int* status) {
    const std::string cmd = std::string(REELHOST_PATH) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    const int raw = p ? pclose(p) : -1;
    *status = raw >= 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

bool exists(const std::string& path) {
    return std::ifstream(path).good();
}

class ReelhostExport : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/reelexpXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
};

TEST_F(ReelhostExport, StillsMustFallInsideTheTimeline) {
    int status = -1;
    const std::string made = run("timeline demo " + dir, &status);
    ASSERT_EQ(status, 0) << made;
    const std::string otio = dir + "/demo.otio";  // 250 frames

    const std::string last = dir + "/last.png";
    std::string out = run("export " + otio + " " + last + " --still 249 --size 64x48", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(exists(last)) << out;

    for (const char* frame : {"250", "100000"}) {
        const std::string past = dir + "/past" + frame + ".png";
        out = run("export " + otio + " " + past + " --still " + frame + " --size 64x48", &status);
        EXPECT_NE(status, 0) << frame << ": " << out;
        EXPECT_NE(out.find("There are no clips to build."), std::string::npos) << out;
        EXPECT_FALSE(exists(past)) << frame;
    }
}

}  // namespace
