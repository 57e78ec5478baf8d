// reelhost keyframes, run as a user runs it, on the test modules.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

std::string run(const std::string& args, int* code) {
    const std::string cmd = std::string(REELHOST_PATH) + " keyframes " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && std::fgets(buf, sizeof buf, p)) out += buf;
    const int status = p ? pclose(p) : -1;
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(ReelhostKeyframes, BlendsAnAnimatedFilterAndAFltDFilter) {
    int code = 0;
    std::string out = run(std::string(KEYS_ANIM_MODULE) +
                              " 0=-10,-1000,100,10,65535,4000000000,1.0,65535,0,1.0,1.5,"
                              "0x00FF0AC8,1,7 100=10,1000,200,250,0,0,2.0,0,0,2.0,3.5,"
                              "0xFF001464,2,9 --at 25 100 150",
                          &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("animation description, 14 values, 60 bytes"), std::string::npos) << out;
    EXPECT_NE(out.find("at 25: p0=-5 p1=-500 p2=125 p3=70 p4=49151 p5=3000000000 "
                       "p6=1.25 (0x14000)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("p11=#3FBF0CAF p12=[010101010101] p13=7\n"), std::string::npos) << out;
    EXPECT_NE(out.find("at 100: p0=10 "), std::string::npos) << out;
    EXPECT_NE(out.find("at 150: outside the keys"), std::string::npos) << out;

    // Keys given out of order are sorted.
    out = run(std::string(KEYS_FLTD_MODULE) + " 10=10,1000,200 0=-10,-1000,100 --at 7.5", &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("FltD table, 10 values, 37 bytes"), std::string::npos) << out;
    EXPECT_NE(out.find("at 7.5: v0=5 v1=500 v2=175 "), std::string::npos) << out;

    // A value that does not read is a usage mistake.
    out = run(std::string(KEYS_FLTD_MODULE) + " 0=abc --at 1", &code);
    EXPECT_EQ(code, 2) << out;
    EXPECT_NE(out.find("'abc' is not a value for v0"), std::string::npos) << out;
}

}  // namespace
