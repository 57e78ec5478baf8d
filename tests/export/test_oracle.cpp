// The sample exporters' files read back by ffmpeg's tools: stream layout
// through ffprobe, and every frame's checksum through the framemd5 muxer,
// compared with the same frames written as raw pictures. Skipped when
// ffmpeg is not installed.
#include <cstdlib>
#include <set>

#include "tests/export/export_fixture.h"

namespace exporttest {
namespace {

// Follows the RIFF parts by their stated sizes: the number of parts when
// they end exactly at the end of the file, else 0.
size_t riffChain(const std::string& bytes) {
    size_t at = 0, parts = 0;
    while (at + 12 <= bytes.size() && bytes.compare(at, 4, "RIFF") == 0) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        at += 8 + size_t(size) + (size & 1);
        ++parts;
    }
    return at == bytes.size() ? parts : 0;
}

bool haveFfmpeg() {
    return std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") ==
           0;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// The checksums of a framemd5 listing, one per frame.
std::vector<std::string> checksums(const std::string& listing) {
    std::vector<std::string> sums;
    std::istringstream in(listing);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        sums.push_back(line.substr(line.find_last_of(", ") + 1));
    }
    return sums;
}

constexpr const char* kDisc = "kind disc\nwidth 64\nheight 48\nrate 25\nframes 250\n";

class OracleTest : public ExportTest {
  protected:
    void SetUp() override {
        ExportTest::SetUp();
        if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    }
    // The timeline's frames first, first + 1 ... rendered straight with
    // EffectFrame, as raw top-down pictures: B, G, R (bgr24) or R, G, B, A.
    std::vector<std::string> expectedSums(int32_t w, int32_t h, int32_t first, int32_t frames,
                                          const TDB& tb, bool rgba) {
        Handle context = NewHandleClear(sizeof(FmRenderContext));
        PPixHand scratch = nullptr;
        const FmRect r{0, 0, w, h};
        EXPECT_EQ(SequenceSetup(context, &scratch, &r), 0);
        std::string raw;
        for (int32_t f = first; f < first + frames; ++f) {
            EffectFrame(context, 1, f * tb.samp, &tb, &r, 0x20,
                        kRenderOptKeying | kRenderOptFilters, timeline, 0, nullptr);
            PPixHand dst = reinterpret_cast<FmRenderContext*>(*context)->destination;
            for (int32_t y = 0; y < h; ++y) {
                const auto* p = reinterpret_cast<const uint8_t*>(ppixGetPixels(dst)) +
                                size_t(h - 1 - y) * size_t(ppixGetRowbytes(dst));
                for (int32_t x = 0; x < w; ++x, p += 4) {
                    if (rgba)
                        raw += {char(p[2]), char(p[1]), char(p[0]), char(p[3])};
                    else
                        raw += {char(p[0]), char(p[1]), char(p[2])};
                }
            }
        }
        SequenceCleanup(context, scratch);
        DisposeHandle(context);
        const std::string path = dir + "/expected.raw";
        std::ofstream(path, std::ios::binary) << raw;
        std::vector<std::string> sums =
            checksums(run("ffmpeg -v error -f rawvideo -pix_fmt " +
                          std::string(rgba ? "rgba" : "bgr24") + " -s " + std::to_string(w) + "x" +
                          std::to_string(h) + " -i " + path + " -f framemd5 - 2>&1"));
        EXPECT_EQ(sums.size(), size_t(frames));
        // The disc moves: most frames differ.
        EXPECT_GT(std::set<std::string>(sums.begin(), sums.end()).size(), sums.size() / 2);
        return sums;
    }
};

TEST_F(OracleTest, AviFilesCarryRawFramesAtTheExportRate) {
    start(REEL_EXP_AVI);
    aim(kPsetKindMovie, cc("AVIV"));
    PsetBlock& s = settings(kPsetKindMovie);
    s.general.scale = s.video.scale = 2997;
    s.general.samplesize = s.video.samplesize = 100;
    s.video.depth = 16;  // 24 bits
    const TDB tb{0, 2997, 100};
    placeClip(synthClip(kDisc, 0, 3000, tb), 0, 3000);  // 30 frames
    const std::string out = dir + "/movie.avi";
    const FSSpec spec30 = spec(out);
    ASSERT_EQ(CompilerDoCompile(&spec30, 0, 0, 0), 0) << ::testing::PrintToString(Alerts::messages);
    const std::string probe =
        run("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
            "stream=codec_name,pix_fmt,r_frame_rate,width,height,nb_read_frames -of default=nw=1 " +
            out);
    EXPECT_NE(probe.find("codec_name=rawvideo"), std::string::npos) << probe;
    EXPECT_NE(probe.find("pix_fmt=bgr24"), std::string::npos) << probe;
    EXPECT_NE(probe.find("r_frame_rate=2997/100"), std::string::npos) << probe;
    EXPECT_NE(probe.find("width=64\nheight=48"), std::string::npos) << probe;
    EXPECT_NE(probe.find("nb_read_frames=30"), std::string::npos) << probe;
    const std::vector<std::string> sums =
        checksums(run("ffmpeg -v error -i " + out + " -map 0:v -f framemd5 - 2>&1"));
    EXPECT_EQ(sums, expectedSums(64, 48, 0, 30, tb, false));
    // The audio stream: 16-bit stereo PCM interleaved with the frames.
    const std::string audio =
        run("ffprobe -v error -select_streams a:0 -show_entries "
            "stream=codec_name,sample_rate,channels -of default=nw=1 " +
            out);
    EXPECT_NE(audio.find("codec_name=pcm_s16le"), std::string::npos) << audio;
    EXPECT_NE(audio.find("channels=2"), std::string::npos) << audio;
    EXPECT_EQ(riffChain(readFile(out)), 1u) << "one RIFF part whose size covers the file";
}

TEST_F(OracleTest, LongAvisContinueInOpenDmlParts) {
    start(REEL_EXP_AVI);
    aim(kPsetKindMovie, cc("AVIV"));
    PsetBlock& s = settings(kPsetKindMovie);
    s.video.depth = 16;
    s.general.doaudio = 0;
    // The module's own setting: parts of at most 64 KiB, about 6 frames each.
    struct {
        uint32_t magic, limit;
    } prefs{cc("AVIS"), 64 * 1024};
    s.general.compilerprefs = NewPtr(sizeof prefs);
    std::memcpy(s.general.compilerprefs, &prefs, sizeof prefs);
    const TDB tb{0, 25, 1};
    placeClip(synthClip(kDisc, 0, 40, tb), 0, 40);
    const std::string out = dir + "/long.avi";
    const FSSpec spec40 = spec(out);
    ASSERT_EQ(CompilerDoCompile(&spec40, 0, 0, 0), 0);
    const std::string bytes = readFile(out);
    size_t parts = 0;
    for (size_t at = bytes.find("AVIX"); at != std::string::npos; at = bytes.find("AVIX", at + 4))
        ++parts;
    EXPECT_GE(parts, 5u);
    EXPECT_EQ(riffChain(bytes), parts + 1) << "the RIFF sizes chain the parts to the file's end";
    EXPECT_NE(bytes.find("idx1"), std::string::npos);
    const std::string probe = run(
        "ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames "
        "-of default=nw=1 " +
        out);
    EXPECT_NE(probe.find("nb_read_frames=40"), std::string::npos) << probe;
    EXPECT_EQ(checksums(run("ffmpeg -v error -i " + out + " -map 0:v -f framemd5 - 2>&1")),
              expectedSums(64, 48, 0, 40, tb, false));
}

TEST_F(OracleTest, WavFilesHaveTheSettingsFormatAndLength) {
    start(REEL_EXP_WAV);
    aim(kPsetKindAudio, cc("WAVE"));
    PsetBlock& s = settings(kPsetKindAudio);
    struct Format {
        int32_t rate, sixteen, stereo;
        const char *codec, *channels;
    };
    makeTimeline({{0, 50}}, kTrackTypeAudio);  // two seconds at 25 fps
    for (const Format& f : {Format{48000, 1, 1, "pcm_s16le", "channels=2"},
                            Format{22050, 0, 0, "pcm_u8", "channels=1"}}) {
        s.audio.audrate = f.rate;
        s.audio.audsamplesize = f.sixteen;
        s.audio.audstereo = uint8_t(f.stereo);
        const std::string out = dir + "/sound.wav";
        const FSSpec w = spec(out);
        ASSERT_EQ(CompilerExportAudio(&w, 0, 0, 0), 0);
        const std::string probe = run(
            "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels:format=duration "
            "-of default=nw=1 " +
            out);
        EXPECT_NE(probe.find(std::string("codec_name=") + f.codec), std::string::npos) << probe;
        EXPECT_NE(probe.find("sample_rate=" + std::to_string(f.rate)), std::string::npos) << probe;
        EXPECT_NE(probe.find(f.channels), std::string::npos) << probe;
        EXPECT_NE(probe.find("duration=2.000000"), std::string::npos) << probe;
        // Silence until there is something to mix.
        const std::string bytes = readFile(out);
        const size_t data = size_t(f.rate) * 2 * (f.sixteen ? 2 : 1) * (f.stereo ? 2 : 1);
        ASSERT_EQ(bytes.size(), 44u + data);
        const char quiet = f.sixteen ? 0 : char(128);
        EXPECT_EQ(bytes.find_first_not_of(quiet, 44), std::string::npos);
    }
}

TEST_F(OracleTest, WavFilesCarryTheMixedTone) {
    start(REEL_EXP_WAV);
    aim(kPsetKindAudio, cc("WAVE"));
    PsetBlock& s = settings(kPsetKindAudio);
    s.audio.audrate = 48000;
    s.audio.audsamplesize = 1;
    s.audio.audstereo = 0;
    const TDB tb{0, 25, 1};
    const int32_t tone =
        synthClip("kind tone\nfrequency 440\nsamplerate 48000\nchannels 1\nseconds 4\n", 0, 50, tb,
                  kClipAudio);
    placeClip(tone, 0, 50, 0, kTrackTypeAudio);
    const std::string out = dir + "/tone.wav";
    const FSSpec w = spec(out);
    ASSERT_EQ(CompilerExportAudio(&w, 0, 0, 0), 0);
    const std::string bytes = readFile(out);
    ASSERT_EQ(bytes.size(), 44u + 2 * 48000 * 2);
    // A 440 Hz tone crosses zero 880 times a second.
    int32_t crossings = 0, previous = 0;
    for (size_t at = 44; at + 1 < bytes.size(); at += 2) {
        const int16_t v = int16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
        const int32_t sign = v > 0 ? 1 : v < 0 ? -1 : 0;
        if (sign && previous && sign != previous) ++crossings;
        if (sign) previous = sign;
    }
    EXPECT_NEAR(crossings, 1760, 20);
    const std::string probe =
        run("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of "
            "default=nw=1 " +
            out);
    EXPECT_NE(probe.find("codec_name=pcm_s16le"), std::string::npos) << probe;
}

TEST_F(OracleTest, PngSequencesReadBackThroughImage2) {
    start(REEL_EXP_PNG);
    aim(kPsetKindMovie, cc("PNG "), cc("PSEQ"));
    settings(kPsetKindMovie).video.depth = 32;
    const TDB tb{0, 25, 1};
    placeClip(synthClip(kDisc, 0, 12, tb), 0, 12);
    const FSSpec s = spec(dir + "/seq.png");
    ASSERT_EQ(CompilerDoCompile(&s, 0, 0, 0), 0) << ::testing::PrintToString(Alerts::messages);
    EXPECT_TRUE(exists(dir + "/seq01.png"));
    EXPECT_TRUE(exists(dir + "/seq12.png"));
    EXPECT_FALSE(exists(dir + "/seq.png"));
    EXPECT_EQ(checksums(run("ffmpeg -v error -i " + dir +
                            "/seq%02d.png -pix_fmt rgba -f framemd5 - 2>&1")),
              expectedSums(64, 48, 0, 12, tb, true));
    // The module's own encoder at levels 0 (stored) and 9 gives the same
    // pixels; stored frames hold every byte of the picture.
    for (const int32_t level : {0, 9}) {
        PsetBlock& p = settings(kPsetKindMovie);
        const uint32_t prefs[2] = {cc("PNGS"), uint32_t(level)};
        p.general.compilerprefs = NewPtr(sizeof prefs);
        std::memcpy(p.general.compilerprefs, prefs, sizeof prefs);
        const std::string base = dir + "/level" + std::to_string(level);
        const FSSpec leveled = spec(base + ".png");
        ASSERT_EQ(CompilerDoCompile(&leveled, 0, 0, 0), 0);
        EXPECT_EQ(checksums(run("ffmpeg -v error -i " + base +
                                "%02d.png -pix_fmt rgba -f framemd5 - 2>&1")),
                  expectedSums(64, 48, 0, 12, tb, true))
            << level;
        const size_t bytes = readFile(base + "01.png").size();
        if (level == 0)
            EXPECT_GT(bytes, size_t(64 * 48 * 4));
        else
            EXPECT_LT(bytes, readFile(dir + "/level001.png").size());
        DisposePtr(p.general.compilerprefs);
        p.general.compilerprefs = nullptr;
    }
    // A still: one picture at its frame, under the name given.
    aim(kPsetKindStill, cc("PNG "));
    settings(kPsetKindStill).video.depth = 32;
    const FSSpec still = spec(dir + "/still.png");
    ASSERT_EQ(CompilerExportStill(&still, 5, 0), 0);
    const std::vector<std::string> one =
        checksums(run("ffmpeg -v error -i " + dir + "/still.png -pix_fmt rgba -f framemd5 - 2>&1"));
    const std::vector<std::string> all = expectedSums(64, 48, 0, 12, tb, true);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], all[5]);
}

}  // namespace
}  // namespace exporttest
