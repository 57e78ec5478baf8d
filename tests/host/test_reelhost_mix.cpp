// `reelhost mix` end to end: the master meter's largest level against what
// ffmpeg's astats finds in the WAV file the same run wrote.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <string>

namespace {

std::string run(const std::string& cmd, int* status) {
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    *status = p ? pclose(p) : -1;
    return out;
}

bool haveFfmpeg() {
    return std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
}

class ReelhostMix : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/reelmixhostXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
};

// The demo's tone (its gain band fades it in over the first second), whole
// and over the fade alone: the written file's largest sample is the
// master's largest level within one sample step.
TEST_F(ReelhostMix, WavPeakMatchesTheMasterMeter) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    int status = 0;
    const std::string host = REELHOST_PATH;
    run(host + " timeline demo " + dir + "/t", &status);
    ASSERT_EQ(status, 0);
    const std::regex meterPeak("master peak: ([0-9]+) of 32767");
    const std::regex fileMax("Max level: (-?[0-9.]+)");
    double previous = -1;
    for (const char* range : {"", " --range 0-10"}) {
        const std::string wav = dir + "/m.wav";
        const std::string out =
            run(host + " mix " + dir + "/t/demo.otio --meters --wav " + wav + range, &status);
        ASSERT_EQ(status, 0) << out;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(out, m, meterPeak)) << out;
        const double meter = std::stod(m[1]);
        EXPECT_GT(meter, 0) << range;

        const std::string stats =
            run("ffmpeg -hide_banner -nostats -i " + wav + " -af astats -f null -", &status);
        ASSERT_EQ(status, 0) << stats;
        double largest = -1e9;
        for (auto it = std::sregex_iterator(stats.begin(), stats.end(), fileMax);
             it != std::sregex_iterator(); ++it)
            largest = std::max(largest, std::stod((*it)[1]));
        ASSERT_GT(largest, -1e9) << stats;
        EXPECT_NEAR(largest, meter, 1.0) << range;
        // The fade's frames peak lower than the whole tone.
        if (previous >= 0) {
            EXPECT_LT(meter, previous);
        }
        previous = meter;
    }
}

}  // namespace
