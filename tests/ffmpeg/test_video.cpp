// Frame-exact video through GetVideo: the counter pattern in every container
// and codec the importer reads, at 23.976, 25, 29.97 and variable rates,
// read in order and then at random, each frame compared bit for bit with
// ffmpeg's own framemd5 of the file.
#include <random>

#include "ff_fixture.h"

namespace {

using namespace fftest;

MediaFolder& media() {
    static MediaFolder folder;
    return folder;
}

struct CounterFile {
    const char* name;
    const char* encoder;  // needed by the file; the case skips without it
    std::string args;     // ffmpeg arguments before the output name
    int32_t frames;
    int32_t rateNum, rateDen;  // 0: variable, not checked
    int32_t randomSeeks;
};

void PrintTo(const CounterFile& c, std::ostream* os) {
    *os << c.name;
}

// Random seeks in the long file; fewer where sanitizers slow every decode.
#ifdef __SANITIZE_ADDRESS__
constexpr int32_t kLongSeeks = 150;
#else
constexpr int32_t kLongSeeks = 500;
#endif

std::string counter(const std::string& rate, int32_t frames) {
    return "-f lavfi -i \"" + counterSource(rate) + "\" -frames:v " + std::to_string(frames) +
           " -pix_fmt yuv420p ";
}

const CounterFile kFiles[] = {
    // The long one: B-frames, every frame in order, then many random seeks.
    {"h264_bframes.mp4", "libx264",
     counter("24000/1001", 300) + "-c:v libx264 -preset veryfast -bf 3 -g 48", 300, 24000, 1001,
     kLongSeeks},
    {"h264_opengop.mkv", "libx264",
     counter("30000/1001", 90) +
         "-c:v libx264 -preset veryfast -bf 3 -x264-params open-gop=1:keyint=30",
     90, 30000, 1001, 40},
    {"hevc.mp4", "libx265",
     counter("24", 72) +
         "-c:v libx265 -preset ultrafast -x265-params log-level=none:keyint=24:bframes=4",
     72, 24, 1, 30},
    {"prores.mov", "prores_ks",
     "-f lavfi -i \"" + counterSource("25") +
         "\" -frames:v 50 -pix_fmt yuv422p10le -c:v prores_ks -profile:v 0",
     50, 25, 1, 20},
    {"vp9.webm", "libvpx-vp9",
     counter("25", 60) + "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 20", 60, 25, 1, 20},
    {"mjpeg.avi", "mjpeg", counter("25", 50) + "-pix_fmt yuvj420p -c:v mjpeg -q:v 3", 50, 25, 1,
     20},
    // Transport streams start at 1.4 seconds.
    {"mpeg2.ts", "mpeg2video", counter("30000/1001", 90) + "-c:v mpeg2video -q:v 4 -g 15 -bf 2", 90,
     30000, 1001, 30},
    // A first timestamp of 5 seconds.
    {"offset.mp4", "mpeg4", counter("25", 50) + "-c:v mpeg4 -q:v 4 -bf 2 -output_ts_offset 5", 50,
     25, 1, 20},
    // Variable rate: every fifth frame lasts three times as long.
    {"vfr.mkv", "libx264",
     "-f lavfi -i \"" + counterSource("25") +
         ",setpts='(N+2*floor(N/5))/25/TB'\" -frames:v 60 -fps_mode passthrough -pix_fmt "
         "yuv420p -c:v libx264 -preset veryfast -bf 2",
     60, 0, 0, 30},
};

class CounterVideo : public FFImportTest, public ::testing::WithParamInterface<CounterFile> {};

TEST_P(CounterVideo, EveryFrameInOrderThenAtRandom) {
    const CounterFile& c = GetParam();
    if (!haveEncoder(c.encoder)) GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
    const std::string path = media().make(c.name, c.args);
    ASSERT_FALSE(path.empty()) << "ffmpeg could not make " << c.name;
    const int16_t file = add(path);
    ASSERT_GT(file, 0);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(info.mediaFlags & 3, 1) << "video only";
    EXPECT_EQ(+info.frame.right, kCounterWidth);
    EXPECT_EQ(+info.frame.bottom, kCounterHeight);
    ASSERT_GT(+info.video.samp, 0);
    EXPECT_EQ(info.video.value / info.video.samp, c.frames) << "frame count";
    if (c.rateNum) {
        EXPECT_EQ(+info.video.scale, c.rateNum);
        EXPECT_EQ(+info.video.samp, c.rateDen);
    }
    EXPECT_EQ(+info.pixelAspect, 0x10001);
    EXPECT_EQ(+info.depth, 24);

    // ffmpeg's own decode of every frame, converted as it converts them.
    const std::vector<std::string> sums = framemd5(path);
    ASSERT_EQ(sums.size(), size_t(c.frames));

    const PWorld w = world(kCounterWidth, kCounterHeight);
    for (int32_t n = 0; n < c.frames; ++n) {
        ASSERT_EQ(frame(file, info, n, w), 0) << "frame " << n;
        ASSERT_EQ(counter(w), n) << "in order, frame " << n;
        ASSERT_EQ(md5Of(w), sums[size_t(n)]) << "in order, frame " << n;
    }
    std::mt19937 rng(27);
    std::uniform_int_distribution<int32_t> pick(0, c.frames - 1);
    for (int32_t i = 0; i < c.randomSeeks; ++i) {
        const int32_t n = pick(rng);
        ASSERT_EQ(frame(file, info, n, w), 0) << "frame " << n;
        ASSERT_EQ(counter(w), n) << "seek " << i << " to frame " << n;
        ASSERT_EQ(md5Of(w), sums[size_t(n)]) << "seek " << i << " to frame " << n;
    }
    // Past the end there is no frame, and asking does not disturb the next read.
    EXPECT_NE(frame(file, info, c.frames, w), 0);
    ASSERT_EQ(frame(file, info, c.frames - 1, w), 0);
    EXPECT_EQ(counter(w), c.frames - 1);
    EXPECT_EQ(FileClose(file), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, CounterVideo, ::testing::ValuesIn(kFiles),
                         [](const ::testing::TestParamInfo<CounterFile>& p) {
                             std::string n = p.param.name;
                             for (char& ch : n)
                                 if (!isalnum(uint8_t(ch))) ch = '_';
                             return n;
                         });

class Framemd5 : public FFImportTest {};

TEST_F(Framemd5, PicturesMatchFfmpegBitForBit) {
    // Lossless BGRA (the picture itself, with its orientation), and YUV
    // pictures converted as ffmpeg converts them for display.
    const struct {
        const char* name;
        std::string args;
        int32_t depth;
    } files[] = {
        {"ffv1_bgra.mkv",
         "-f lavfi -i testsrc2=s=176x144:r=25 -frames:v 30 -pix_fmt bgra -c:v ffv1", 32},
        {"h264_yuv.mp4",
         "-f lavfi -i testsrc2=s=176x144:r=25 -frames:v 30 -pix_fmt yuv420p -c:v libx264 "
         "-preset veryfast -bf 2",
         24},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = media().make(f.name, f.args);
        ASSERT_FALSE(path.empty());
        const std::vector<std::string> sums = framemd5(path);
        ASSERT_EQ(sums.size(), 30u);
        const int16_t file = add(path);
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(file, &info, 1), 0);
        EXPECT_EQ(+info.depth, f.depth);
        const PWorld w = world(176, 144);
        // Backwards, so every frame comes after a seek.
        for (int32_t n = 29; n >= 0; --n) {
            ASSERT_EQ(frame(file, info, n, w), 0);
            EXPECT_EQ(md5Of(w), sums[size_t(n)]) << "frame " << n;
        }
    }
}

}  // namespace
