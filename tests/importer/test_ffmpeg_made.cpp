// AVI and WAV files made by ffmpeg (skipped when it is not installed) read
// by the sample importers, compared with what ffmpeg itself decodes from the
// same files.
#include <cstdlib>

#include "importer_fixture.h"
#include "platform/png.h"
#include "pixels/bitmap_io.h"

extern "C" int16_t wavImportEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2);
extern "C" int16_t aviImportEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2);

namespace {

using namespace importtest;

class FfmpegMade : public ImportTest {
  protected:
    void SetUp() override {
        if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "ffmpeg is not installed";
        ImportTest::SetUp();
        ASSERT_EQ(FmAddBuiltinImporter(cc("RWAV"), wavImportEntry), 0);
        ASSERT_EQ(FmAddBuiltinImporter(cc("RAVI"), aviImportEntry), 0);
        ASSERT_EQ(Add1XREF(cc("WAVE"), cc("RWAV"), cc("WAVE"), 0), 0);
        ASSERT_EQ(Add1XREF(cc("VfW "), cc("RAVI"), cc("MooV"), 0), 0);
    }
    bool ffmpeg(const std::string& args) const {
        return std::system(("ffmpeg -nostdin -v error -y " + args).c_str()) == 0;
    }
    std::vector<uint8_t> bytesOf(const std::string& name) const {
        std::vector<uint8_t> v;
        EXPECT_TRUE(rc::pix::readFile(dir + "/" + name, v)) << name;
        return v;
    }
};

TEST_F(FfmpegMade, RawAviPicturesAndSoundMatchFfmpegsOwnDecoding) {
    const std::string avi = dir + "/made.avi";
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc=size=66x50:rate=10:duration=1 -f lavfi -i "
               "sine=frequency=440:sample_rate=8000:duration=1 -c:v rawvideo -pix_fmt "
               "bgr24 -c:a pcm_s16le -ac 2 " +
               avi));
    ASSERT_TRUE(ffmpeg("-i " + avi + " -vf 'select=eq(n\\,3)' -frames:v 1 " + dir + "/ref.png"));
    ASSERT_TRUE(ffmpeg("-i " + avi + " -f s16le -ac 2 " + dir + "/ref.raw"));
    const int16_t id = AddFile(avi.c_str(), 0, 0, cc("VfW "));
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 1), 0);
    EXPECT_EQ(info.mediaFlags, 3);
    EXPECT_EQ(info.frame.right, 66);
    EXPECT_EQ(info.frame.bottom, 50);
    EXPECT_EQ(info.video.value / info.video.samp, 10);
    EXPECT_EQ(info.video.scale / info.video.samp, 10);
    EXPECT_EQ(info.audio.scale, 8000);

    const std::vector<uint8_t> png = bytesOf("ref.png");
    rc::platform::PngPicture ref;
    ASSERT_EQ(rc::platform::decodePng(png.data(), png.size(), 1 << 20, ref),
              rc::platform::PngRead::Ok);
    const PWorld w = world(66, 50);
    const FmRect r{0, 0, 66, 50};
    const TDB t{3, 10, 1};
    ASSERT_EQ(GetVideo(&t, id, w, &r, 32, 0), 0);
    for (int32_t y = 0; y < 50; ++y)
        for (int32_t x = 0; x < 66; ++x) {
            const uint8_t* p = ref.bgra.data() + (size_t(y) * 66 + size_t(x)) * 4;
            const uint32_t want = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            ASSERT_EQ(bgraAt(w, x, y), want) << x << "," << y;
        }

    const std::vector<uint8_t> raw = bytesOf("ref.raw");
    ASSERT_GE(raw.size(), 8000u * 4 / 2);
    std::vector<uint8_t> got(raw.size());
    ASSERT_EQ(GetAudio(id, 0, int32_t(got.size()), got.data()), 0);
    EXPECT_EQ(got, raw);
}

TEST_F(FfmpegMade, WavSoundMatchesFfmpegsRawSamples) {
    for (const char* codec : {"pcm_s16le", "pcm_u8"}) {
        SCOPED_TRACE(codec);
        const std::string wav = dir + "/" + codec + ".wav";
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i sine=frequency=300:sample_rate=11025:duration=0.7 "
                   "-metadata title=tone -c:a " +
                   std::string(codec) + " -ac 1 " + wav));
        const bool wide = std::string(codec) == "pcm_s16le";
        ASSERT_TRUE(
            ffmpeg("-i " + wav + " -f " + (wide ? "s16le" : "u8") + " " + dir + "/ref.raw"));
        const int16_t id = AddFile(wav.c_str(), 0, 0, cc("WAVE"));
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(id, &info, 1), 0);
        EXPECT_EQ(info.audio.scale, 11025);
        EXPECT_EQ(info.audioFormat, wide ? 0x200 : 0);
        const std::vector<uint8_t> raw = bytesOf("ref.raw");
        EXPECT_EQ(int64_t(info.audio.value) * (wide ? 2 : 1), int64_t(raw.size()));
        std::vector<uint8_t> got(raw.size());
        ASSERT_EQ(GetAudio(id, 0, int32_t(got.size()), got.data()), 0);
        EXPECT_EQ(got, raw);
    }
}

}  // namespace
