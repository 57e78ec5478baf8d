// `reelhost probe`: the handler and information of generated files through
// the importer modules beside reelhost, and the first frame written as PNG.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pixels/bitmap_io.h"
#include "platform/png.h"

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

class Probe : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/reelprobeXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string p = dir + "/" + name;
        EXPECT_TRUE(rc::pix::writeFile(p, bytes));
        return p;
    }
};

// A 24-bit bottom-up BMP of 7 x 5 pixels whose colour tells its place.
std::vector<uint8_t> smallBmp() {
    const int w = 7, h = 5, row = (w * 3 + 3) / 4 * 4;
    std::vector<uint8_t> v(54 + size_t(row) * h, 0);
    auto put = [&](size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
    };
    v[0] = 'B', v[1] = 'M';
    put(2, uint32_t(v.size()));
    put(10, 54);
    put(14, 40);
    put(18, w);
    put(22, h);
    v[26] = 1, v[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = v.data() + 54 + size_t(h - 1 - y) * row + x * 3;
            p[0] = uint8_t(x * 30), p[1] = uint8_t(y * 50), p[2] = 200;
        }
    return v;
}

TEST_F(Probe, DescribesAPictureAndWritesItsFirstFrame) {
    const std::string bmp = file("card.bmp", smallBmp());
    const std::string png = dir + "/first.png";
    int status = -1;
    const std::string out = run("probe " + bmp + " --frame " + png, &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("type: 'BMP '"), std::string::npos) << out;
    // Whichever importer reads BMP files: the still sample, or one that outranks it.
    EXPECT_NE(out.find("(importer, "), std::string::npos) << out;
    EXPECT_NE(out.find("video: 7x5, depth 24"), std::string::npos) << out;
    EXPECT_NE(out.find("no duration 1"), std::string::npos) << out;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(rc::pix::readFile(png, bytes));
    rc::platform::PngPicture pic;
    ASSERT_EQ(rc::platform::decodePng(bytes.data(), bytes.size(), 1000, pic),
              rc::platform::PngRead::Ok);
    ASSERT_EQ(pic.width, 7);
    ASSERT_EQ(pic.height, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const uint8_t* p = pic.bgra.data() + (y * 7 + x) * 4;
            EXPECT_EQ(p[0], x * 30);
            EXPECT_EQ(p[1], y * 50);
            EXPECT_EQ(p[2], 200);
        }
}

TEST_F(Probe, ReportsFilesItCannotReadOrDraw) {
    int status = -1;
    // Sound has no first frame.
    std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 36 + 8, 0, 0, 0, 'W', 'A', 'V', 'E',
                                'f', 'm', 't', ' ', 16,     0, 0, 0, 1,   0,   1,   0};
    for (uint32_t v : {8000u, 16000u}) {
        for (int i = 0; i < 4; ++i) wav.push_back(uint8_t(v >> (8 * i)));
    }
    wav.insert(wav.end(), {2, 0, 16, 0, 'd', 'a', 't', 'a', 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});
    const std::string sound = file("tone.wav", wav);
    std::string out = run("probe " + sound, &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("audio: 8000 Hz, 16-bit mono, 4 sample frames"), std::string::npos) << out;
    out = run("probe " + sound + " --frame " + dir + "/none.png", &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("has no pictures"), std::string::npos) << out;
    // A damaged picture: the handler is known, the information is not.
    const std::string bad = file("bad.bmp", {'B', 'M', 1, 2, 3});
    out = run("probe " + bad, &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("information: none (error 5)"), std::string::npos) << out;
    // Usage mistakes exit with 2.
    run("probe " + dir + "/missing.bmp", &status);
    EXPECT_EQ(status, 2);
    run("probe " + bad + " --frame out.txt", &status);
    EXPECT_EQ(status, 2);
}

}  // namespace
