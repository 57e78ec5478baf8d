// Files that are damaged or lie: each gives a clear error or the frames that
// exist, never a crash, a hang or a wrong frame reported as success.
#include <cstring>

#include "ff_fixture.h"

namespace {

using namespace fftest;

MediaFolder& media() {
    static MediaFolder folder;
    return folder;
}

std::string counterArgs(int32_t frames) {
    return "-f lavfi -i \"" + counterSource("25") + "\" -frames:v " + std::to_string(frames) +
           " -pix_fmt yuv420p ";
}

class BadInput : public FFImportTest {
  protected:
    // Every frame the file claims either reads as itself or fails; returns
    // how many read.
    int32_t readableFrames(int16_t file, const FmMediaInfo& info) {
        const PWorld w = world(kCounterWidth, kCounterHeight);
        const int32_t frames = info.video.value / info.video.samp;
        int32_t good = 0;
        for (int32_t n = 0; n < frames; ++n) {
            if (frame(file, info, n, w) != 0) continue;
            EXPECT_EQ(counter(w), n) << "frame " << n << " reported as read";
            ++good;
        }
        return good;
    }
};

TEST_F(BadInput, EmptyAndForeignFilesAreRefused) {
    std::string noise(5000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
    for (const std::string& path :
         {media().write("empty.mp4", ""), media().write("noise.mkv", noise),
          media().write("text.wav", "RIFF this is not a wave file at all")}) {
        SCOPED_TRACE(path);
        const int16_t file = add(path);
        ASSERT_GT(file, 0);
        FmMediaInfo info{};
        EXPECT_NE(GetInfo(file, &info, 1), 0);
        const PWorld w = world(16, 16);
        const FmRect r{0, 0, 16, 16};
        const TDB t{0, 25, 1};
        EXPECT_NE(GetVideo(&t, file, w, &r, 32, 0), 0);
    }
}

TEST_F(BadInput, TruncatedFilesGiveTheFramesThatExist) {
    const struct {
        const char* name;
        std::string args;
    } files[] = {
        {"cut.mp4",
         counterArgs(60) + "-c:v libx264 -preset veryfast -g 12 -qp 0 -movflags +faststart"},
        {"cut.mkv", counterArgs(60) + "-c:v libx264 -preset veryfast -g 12"},
        {"cut.ts", counterArgs(60) + "-c:v mpeg2video -q:v 4 -g 12"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string whole = media().make(f.name, f.args);
        ASSERT_FALSE(whole.empty());
        const std::string bytes = readFile(whole);
        const std::string path =
            media().write(std::string("half_") + f.name, bytes.substr(0, bytes.size() / 2));
        const int16_t file = add(path);
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(file, &info, 1), 0) << "the first half is readable";
        const int32_t claimed = info.video.value / info.video.samp;
        EXPECT_GT(claimed, 10);
        EXPECT_LT(claimed, 60) << "only the frames in the file are counted";
        EXPECT_GT(readableFrames(file, info), 10);
    }
}

TEST_F(BadInput, HeadersThatLie) {
    // A WAV whose data chunk claims far more than the file holds: the length
    // is what is there, and the sound reads exactly.
    const std::string wavPath = media().make(
        "lying.wav", "-f lavfi -i \"aevalsrc='mod(n\\,1000)/32768':s=8000:d=1\" -c:a pcm_s16le");
    ASSERT_FALSE(wavPath.empty());
    std::string wav = readFile(wavPath);
    const size_t data = wav.find("data");
    ASSERT_NE(data, std::string::npos);
    const uint32_t huge = 0x7FFFFF00;
    std::memcpy(&wav[data + 4], &huge, 4);
    int16_t file = add(media().write("lying_length.wav", wav));
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(+info.audio.value, 8000);
    std::vector<int16_t> got(100);
    ASSERT_EQ(GetAudio(file, 7900 * 2, 200, got.data()), 0);
    for (int32_t k = 0; k < 100; ++k) EXPECT_EQ(got[size_t(k)], int16_t((7900 + k) % 1000));

    // A sample rate of 0: refused rather than divided by.
    std::string zeroRate = readFile(wavPath);
    std::memset(&zeroRate[24], 0, 4);
    file = add(media().write("zero_rate.wav", zeroRate));
    info = FmMediaInfo{};
    EXPECT_TRUE(GetInfo(file, &info, 1) != 0 || (info.mediaFlags & 2) == 0);

    // A PNG claiming 2^31 - 1 pixels across: refused, nothing allocated for it.
    const std::string pngPath =
        media().make("small.png", "-f lavfi -i color=s=8x8 -frames:v 1 -pix_fmt rgb24");
    ASSERT_FALSE(pngPath.empty());
    std::string png = readFile(pngPath);
    const size_t ihdr = png.find("IHDR");
    ASSERT_NE(ihdr, std::string::npos);
    const char wide[4] = {0x7F, char(0xFF), char(0xFF), char(0xFF)};
    std::memcpy(&png[ihdr + 4], wide, 4);
    file = add(media().write("huge.png", png));
    info = FmMediaInfo{};
    EXPECT_NE(GetInfo(file, &info, 1), 0);

    // An AVI whose main header claims 5000 frames holds 20: 20 are counted.
    const std::string aviPath = media().make("count.avi", counterArgs(20) + "-c:v mjpeg -q:v 3");
    ASSERT_FALSE(aviPath.empty());
    std::string avi = readFile(aviPath);
    const size_t avih = avi.find("avih");
    ASSERT_NE(avih, std::string::npos);
    const uint32_t claimed = 5000;
    std::memcpy(&avi[avih + 8 + 16], &claimed, 4);  // dwTotalFrames
    file = add(media().write("lying_count.avi", avi));
    info = FmMediaInfo{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(info.video.value / info.video.samp, 20);
    EXPECT_EQ(readableFrames(file, info), 20);
}

TEST_F(BadInput, SoundWithoutPictureAndPictureWithoutSound) {
    const std::string soundOnly = media().make("sound.m4a", "-f lavfi -i sine=d=1 -c:a aac");
    const std::string pictureOnly = media().make("picture.mp4", counterArgs(10) + "-c:v libx264");
    const std::string both =
        media().make("both.mkv", "-f lavfi -i sine=d=1 -f lavfi -i \"" + counterSource("25") +
                                     "\" -t 1 -pix_fmt yuv420p -c:v libx264 -c:a flac");
    ASSERT_FALSE(soundOnly.empty() || pictureOnly.empty() || both.empty());

    int16_t file = add(soundOnly);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(info.mediaFlags & 3, 2);
    const PWorld w = world(kCounterWidth, kCounterHeight);
    EXPECT_NE(frame(file, info, 0, w), 0) << "no picture to read";

    file = add(pictureOnly);
    info = FmMediaInfo{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(info.mediaFlags & 3, 1);
    std::vector<uint8_t> sound(400, 0x55);
    EXPECT_NE(GetAudio(file, 0, 400, sound.data()), 0) << "no sound to read";

    file = add(both);
    info = FmMediaInfo{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(info.mediaFlags & 3, 3);
    ASSERT_EQ(frame(file, info, 24, w), 0);
    EXPECT_EQ(counter(w), 24);
}

TEST_F(BadInput, PictureSizeChangingMidStream) {
    // Two transport streams back to back: 160 x 96 then 320 x 192, the
    // counter running on. Every frame comes at the size asked.
    const std::string first =
        media().make("part1.ts", counterArgs(30) + "-c:v mpeg2video -q:v 3 -g 10");
    const std::string second = media().make(
        "part2.ts",
        "-f lavfi -i \"color=c=black:s=320x192:r=25,format=gray,geq=lum='if(bitand(N+30\\,pow(2\\,"
        "floor(X/20)))\\,235\\,16)'\" -frames:v 30 -pix_fmt yuv420p -c:v mpeg2video -q:v 3 -g 10 "
        "-output_ts_offset 3");
    ASSERT_FALSE(first.empty() || second.empty());
    const int16_t file = add(media().write("changing.ts", readFile(first) + readFile(second)));
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(info.frame.right, kCounterWidth);
    EXPECT_EQ(info.video.value / info.video.samp, 60);
    // The decoder loses the picture it holds when the size changes (ffmpeg
    // itself decodes 59): that one is an error, the others are right.
    EXPECT_GE(readableFrames(file, info), 59);
    // And backwards across the change.
    const PWorld w = world(kCounterWidth, kCounterHeight);
    int32_t read = 0;
    for (int32_t n : {45, 12, 59, 28, 30, 0}) {
        if (frame(file, info, n, w) != 0) continue;
        EXPECT_EQ(counter(w), n);
        ++read;
    }
    EXPECT_EQ(read, 6);
}

}  // namespace
