// `reelhost audio convert` end to end: WAV files made here, converted, and
// read back.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <sys/wait.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string run(const std::string& args, int* status) {
    const std::string cmd = std::string(REELHOST_PATH) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    *status = p ? pclose(p) : -1;
    return out;
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// A PCM WAV file; `extraChunk` adds an odd-sized chunk before the data.
std::vector<uint8_t> wavBytes(int rate, int channels, int bits, const std::vector<uint8_t>& data,
                              bool extraChunk = false) {
    std::vector<uint8_t> b = {'R', 'I', 'F', 'F'};
    put32(b, 0);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1);
    put16(b, uint32_t(channels));
    put32(b, uint32_t(rate));
    put32(b, uint32_t(rate * channels * bits / 8));
    put16(b, uint32_t(channels * bits / 8));
    put16(b, uint32_t(bits));
    if (extraChunk) {
        b.insert(b.end(), {'L', 'I', 'S', 'T'});
        put32(b, 3);
        b.insert(b.end(), {1, 2, 3, 0});
    }
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    const uint32_t riff = uint32_t(b.size() - 8);
    std::memcpy(&b[4], &riff, 4);
    return b;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> b;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    int c;
    while ((c = std::fgetc(f)) != EOF) b.push_back(uint8_t(c));
    std::fclose(f);
    return b;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

class AudioConvert : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/reelaudioXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
};

TEST_F(AudioConvert, SineToAnotherRateAndFormat) {
    // 2.5 s of a 1 kHz sine at 44.1 kHz, 16-bit mono, behind an odd-sized chunk.
    std::vector<uint8_t> data;
    const int frames = 44100 * 5 / 2;
    for (int i = 0; i < frames; ++i)
        put16(data, uint32_t(int16_t(std::lround(12000 * std::sin(2 * kPi * 1000 * i / 44100.0)))));
    writeFile(dir + "/in.wav", wavBytes(44100, 1, 16, data, true));

    int status = 0;
    const std::string said = run(
        "audio convert " + dir + "/in.wav " + dir + "/out.wav --rate 48000 --format 16s", &status);
    ASSERT_EQ(status, 0) << said;
    EXPECT_NE(said.find("48000 Hz 16-bit stereo, 120000 frames"), std::string::npos) << said;

    const std::vector<uint8_t> out = readFile(dir + "/out.wav");
    ASSERT_EQ(out.size(), 44u + 120000u * 4);
    EXPECT_EQ(le32(out, 24), 48000u);       // rate
    EXPECT_EQ(out[22], 2);                  // channels
    EXPECT_EQ(out[34], 16);                 // bits
    EXPECT_EQ(le32(out, 40), 120000u * 4);  // data bytes
    // Both channels equal; the tone at 1 kHz and full amplitude, away from the
    // seconds' seams and the ends.
    double re = 0, im = 0, power = 0;
    int n = 0;
    for (int i = 4800; i < 110000; ++i) {
        int16_t l, r;
        std::memcpy(&l, &out[44 + size_t(i) * 4], 2);
        std::memcpy(&r, &out[46 + size_t(i) * 4], 2);
        ASSERT_EQ(l, r) << i;
        re += l * std::cos(2 * kPi * 1000 * i / 48000.0);
        im += l * std::sin(2 * kPi * 1000 * i / 48000.0);
        power += double(l) * l;
        ++n;
    }
    const double amplitude = 2 * std::sqrt(re * re + im * im) / n;
    EXPECT_NEAR(amplitude, 12000, 120);
    // Nearly all the power is in the tone.
    EXPECT_GT(amplitude * amplitude / 2 / (power / n), 0.99);

    // To 8 kHz 8-bit mono with dither at quality 1.
    const std::string lowSaid = run("audio convert " + dir + "/in.wav " + dir +
                                        "/low.wav --rate 8000 --format 8m --quality 1 --dither",
                                    &status);
    ASSERT_EQ(status, 0) << lowSaid;
    const std::vector<uint8_t> low = readFile(dir + "/low.wav");
    ASSERT_EQ(low.size(), 44u + 20000u);
    EXPECT_EQ(low[22], 1);
    EXPECT_EQ(low[34], 8);
    int lo = 255, hi = 0;
    for (size_t i = 44; i < low.size(); ++i)
        lo = std::min<int>(lo, low[i]), hi = std::max<int>(hi, low[i]);
    EXPECT_NEAR(hi - 128, 12000 / 256, 3);
    EXPECT_NEAR(128 - lo, 12000 / 256, 3);
}

TEST_F(AudioConvert, RefusesWhatItCannotRead) {
    int status = 0;
    writeFile(dir + "/text.wav", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'a', 'v', 'e', 's', '!'});
    EXPECT_NE(run("audio convert " + dir + "/text.wav " + dir + "/o.wav", &status)
                  .find("not a RIFF WAVE file"),
              std::string::npos);
    EXPECT_EQ(WEXITSTATUS(status), 1);

    writeFile(dir + "/deep.wav", wavBytes(48000, 2, 24, std::vector<uint8_t>(600, 0)));
    EXPECT_NE(
        run("audio convert " + dir + "/deep.wav " + dir + "/o.wav", &status).find("8- and 16-bit"),
        std::string::npos);
    EXPECT_EQ(WEXITSTATUS(status), 1);

    // A data chunk claiming more bytes than the file holds: the bytes present.
    std::vector<uint8_t> b = wavBytes(8000, 1, 8, std::vector<uint8_t>(8000, 200));
    const uint32_t huge = 0x7FFFFFF0;
    std::memcpy(&b[40], &huge, 4);
    writeFile(dir + "/long.wav", b);
    const std::string said =
        run("audio convert " + dir + "/long.wav " + dir + "/o.wav --format 16m", &status);
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(readFile(dir + "/o.wav").size(), 44u + 16000u);

    // Usage mistakes.
    run("audio convert " + dir + "/long.wav " + dir + "/o.wav --format 24s", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    run("audio convert " + dir + "/long.wav " + dir + "/o.wav --rate 12", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    run("audio convert " + dir + "/none.wav " + dir + "/o.wav", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
