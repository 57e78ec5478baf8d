// The WAV and AVI importer samples: sound and pictures compared with what
// was written, and hostile chunk sizes that must be refused or cut to the
// file without reading outside it.
#include "importer_fixture.h"
#include "riff_files.h"

extern "C" int16_t wavImportEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2);
extern "C" int16_t aviImportEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2);

namespace {

using namespace importtest;

constexpr OSType kWave = cc("WAVE"), kAvi = cc("VfW ");

class Riff : public ImportTest {
  protected:
    void SetUp() override {
        ImportTest::SetUp();
        ASSERT_EQ(FmAddBuiltinImporter(cc("RWAV"), wavImportEntry), 0);
        ASSERT_EQ(FmAddBuiltinImporter(cc("RAVI"), aviImportEntry), 0);
        ASSERT_EQ(Add1XREF(kWave, cc("RWAV"), kWave, 0), 0);
        ASSERT_EQ(Add1XREF(kAvi, cc("RAVI"), cc("MooV"), 0), 0);
    }
    int16_t add(const std::string& name, const std::vector<uint8_t>& bytes, OSType type) {
        return AddFile(write(name, bytes).c_str(), 0, 0, type);
    }
    OSErr infoOf(int16_t id, FmMediaInfo& info) { return GetInfo(id, &info, 1); }
};

int16_t ramp(int64_t n, int32_t c) {
    return int16_t(n * 7 + c * 1000);
}

TEST_F(Riff, WavSoundReadsBackByteForByte) {
    // 16-bit stereo, a second and a half.
    const std::vector<uint8_t> pcm = pcmBytes(2, 16, 72000, ramp);
    const int16_t id = add("s16.wav", makeWav(2, 48000, 16, pcm, true).bytes, kWave);
    FmMediaInfo info{};
    ASSERT_EQ(infoOf(id, info), 0);
    EXPECT_EQ(info.mediaFlags, 2);
    EXPECT_EQ(info.audio.scale, 48000);
    EXPECT_EQ(info.audio.value, 72000);
    EXPECT_EQ(info.audioFormat, 0x300);
    std::vector<uint8_t> sec(48000 * 4);
    ASSERT_EQ(GetAudioSec(0, id, sec.data(), 0x300, 48000, 100), 0);
    EXPECT_EQ(std::memcmp(sec.data(), pcm.data(), sec.size()), 0);
    // The second second is half sound, half silence.
    ASSERT_EQ(GetAudioSec(1, id, sec.data(), 0x300, 48000, 100), 0);
    EXPECT_EQ(std::memcmp(sec.data(), pcm.data() + 192000, 96000), 0);
    EXPECT_TRUE(std::all_of(sec.begin() + 96000, sec.end(), [](uint8_t b) { return b == 0; }));
    // Raw reads at any byte offset.
    std::vector<uint8_t> raw(10);
    ASSERT_EQ(GetAudio(id, 4 * 12345, 10, raw.data()), 0);
    EXPECT_EQ(std::memcmp(raw.data(), pcm.data() + 4 * 12345, 10), 0);

    // 8-bit mono: silence is 128.
    const std::vector<uint8_t> pcm8 = pcmBytes(1, 8, 3000, ramp);
    const int16_t id8 = add("u8.wav", makeWav(1, 4000, 8, pcm8).bytes, kWave);
    ASSERT_EQ(infoOf(id8, info), 0);
    EXPECT_EQ(info.audioFormat, 0);
    std::vector<uint8_t> sec8(4000);
    ASSERT_EQ(GetAudioSec(0, id8, sec8.data(), 0, 4000, 100), 0);
    EXPECT_EQ(std::memcmp(sec8.data(), pcm8.data(), 3000), 0);
    EXPECT_TRUE(std::all_of(sec8.begin() + 3000, sec8.end(), [](uint8_t b) { return b == 128; }));
}

TEST_F(Riff, HostileWavChunksAreBoundedByTheFile) {
    const std::vector<uint8_t> pcm = pcmBytes(2, 16, 1000, ramp);
    const RiffWriter good = makeWav(2, 8000, 16, pcm);
    const size_t fmt = good.find("fmt "), data = good.find("data");
    auto patched = [&](size_t at, uint32_t v) {
        RiffWriter w = good;
        w.patch32(at, v);
        return w.bytes;
    };
    // A sound chunk claiming more than the file holds is cut to the file;
    // so is a RIFF size past the end. A RIFF size of 0 or one too small
    // (left by a streaming writer) runs to the end of the file.
    for (const auto& bytes :
         {patched(data + 4, 0xFFFFFFFFu), patched(4, 0x7FFFFFF0u), patched(4, 0), patched(4, 20)}) {
        const int16_t id = add("cut.wav", bytes, kWave);
        FmMediaInfo info{};
        ASSERT_EQ(infoOf(id, info), 0);
        EXPECT_EQ(info.audio.value, 1000);
        std::vector<uint8_t> sec(8000 * 4, 0xEE);
        ASSERT_EQ(GetAudioSec(0, id, sec.data(), 0x300, 8000, 100), 0);
        EXPECT_EQ(std::memcmp(sec.data(), pcm.data(), pcm.size()), 0);
        EXPECT_EQ(sec[pcm.size()], 0);
        FileCancel(id);
    }
    // An odd-sized last frame is dropped: only whole sample frames count.
    const int16_t odd = add("odd.wav", patched(data + 4, uint32_t(pcm.size() - 1)), kWave);
    FmMediaInfo info{};
    ASSERT_EQ(infoOf(odd, info), 0);
    EXPECT_EQ(info.audio.value, 999);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } refused[] = {
        {"tiny.wav", std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + 10)},
        {"nodata.wav", std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + long(data))},
        {"fmtcut.wav", patched(fmt + 4, 0x7FFFFFF0u)},
        {"fmtshort.wav", patched(fmt + 4, 8)},
        {"channels.wav", patched(fmt + 8 + 2, 6 | (8000u << 16))},
        {"align.wav", patched(fmt + 8 + 12, 3 | (16u << 16))},
        {"bits.wav", patched(fmt + 8 + 12, 6 | (24u << 16))},
        {"rate.wav", patched(fmt + 8 + 4, 0)},
        {"notriff.wav", patched(0, 0x58464952u)},
        {"notwave.wav", patched(8, 0x45564157u ^ 1)},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        const int16_t id = add(c.name, c.bytes, kWave);
        EXPECT_EQ(infoOf(id, info), kRcImportBadFile);
        std::vector<uint8_t> sec(8000 * 4, 0xEE);
        // Sound that cannot be read is silence.
        EXPECT_NE(GetAudioSec(0, id, sec.data(), 0x300, 8000, 100), 0);
        EXPECT_TRUE(std::all_of(sec.begin(), sec.end(), [](uint8_t b) { return b == 0; }));
    }
}

uint32_t moving(int32_t frame, int32_t x, int32_t y) {
    return uint32_t(frame * 60 + x * 9) << 16 | uint32_t(y * 23) << 8 |
           uint32_t((x * y + frame) & 255);
}

TEST_F(Riff, AviFramesAndSoundMatchWhatWasWritten) {
    AviSpec s;
    s.width = 13;  // 24-bit rows are padded to four bytes
    s.height = 7;
    s.rate = 30000;
    s.scale = 1001;
    s.frames = 4;
    s.pixel = moving;
    s.pcm = pcmBytes(2, 16, 9000, ramp);
    s.audioChunkSizes = {4000, 6, 10002};  // chunks of uneven size
    for (bool rec : {false, true}) {
        for (int32_t bits : {24, 32}) {
            s.recLists = rec;
            s.bits = bits;
            s.topDown = bits == 32;
            SCOPED_TRACE(std::to_string(bits) + (rec ? " rec" : ""));
            const int16_t id = add("m.avi", makeAvi(s).bytes, kAvi);
            FmMediaInfo info{};
            ASSERT_EQ(infoOf(id, info), 0);
            EXPECT_EQ(info.mediaFlags, 3);
            EXPECT_EQ(info.frame.right, 13);
            EXPECT_EQ(info.video.scale, 30000);
            EXPECT_EQ(info.video.samp, 1001);
            EXPECT_EQ(info.video.value, 4 * 1001);
            EXPECT_EQ(info.audio.value, 9000);
            EXPECT_EQ(info.depth, 24);
            const PWorld w = world(13, 7);
            const FmRect r{0, 0, 13, 7};
            for (int32_t f = 0; f < 4; ++f) {
                const TDB t{f * 1001, 30000, 1};
                ASSERT_EQ(GetVideo(&t, id, w, &r, 32, 0), 0);
                for (int32_t y = 0; y < 7; ++y)
                    for (int32_t x = 0; x < 13; ++x)
                        ASSERT_EQ(bgraAt(w, x, y), moving(f, x, y) | 0xFF000000u)
                            << f << ": " << x << "," << y;
            }
            // Reads across chunk boundaries: [3992, 4022) spans three chunks.
            std::vector<uint8_t> raw(30);
            ASSERT_EQ(GetAudio(id, 3992, 30, raw.data()), 0);
            EXPECT_EQ(std::memcmp(raw.data(), s.pcm.data() + 3992, 30), 0);
            std::vector<uint8_t> sec(8000 * 4);
            ASSERT_EQ(GetAudioSec(1, id, sec.data(), 0x300, 8000, 100), 0);
            EXPECT_EQ(std::memcmp(sec.data(), s.pcm.data() + 32000, 4000), 0);
            EXPECT_TRUE(std::all_of(sec.begin() + 4000, sec.end(), [](uint8_t b) { return !b; }));
            FileCancel(id);
        }
    }
}

TEST_F(Riff, EmptyAviFramesRepeatTheFrameBefore) {
    AviSpec s;
    s.frames = 4;
    s.pixel = moving;
    s.emptyFrames = {2, 3};
    const int16_t id = add("drop.avi", makeAvi(s).bytes, kAvi);
    FmMediaInfo info{};
    ASSERT_EQ(infoOf(id, info), 0);
    EXPECT_EQ(info.mediaFlags, 1);
    const PWorld w = world(8, 6);
    const FmRect r{0, 0, 8, 6};
    const TDB t{3, 25, 1};
    ASSERT_EQ(GetVideo(&t, id, w, &r, 32, 0), 0);
    EXPECT_EQ(bgraAt(w, 5, 4) & 0xFFFFFF, moving(1, 5, 4));
}

TEST_F(Riff, HostileAviChunksAreRefusedOrCut) {
    AviSpec s;
    s.frames = 3;
    s.pixel = moving;
    s.pcm = pcmBytes(2, 16, 100, ramp);
    s.audioChunkSizes = {200, 200};
    const RiffWriter good = makeAvi(s);
    const size_t movi = good.find("movi") - 8, strf = good.find("strf");
    auto patched = [&](size_t at, uint32_t v) {
        RiffWriter w = good;
        w.patch32(at, v);
        return w.bytes;
    };
    FmMediaInfo info{};
    // A movie list claiming more than the file: the whole chunks stay.
    const int16_t cut = add("movi.avi", patched(movi + 4, 0xFFFFFFF0u), kAvi);
    ASSERT_EQ(infoOf(cut, info), 0);
    EXPECT_EQ(info.video.value, 3);
    // A RIFF size of 0, or one too small for the file, runs to the file's end.
    for (uint32_t size : {0u, 100u}) {
        const int16_t streamed = add("streamed.avi", patched(4, size), kAvi);
        ASSERT_EQ(infoOf(streamed, info), 0);
        EXPECT_EQ(info.video.value, 3);
        EXPECT_EQ(info.audio.value, 100);
        FileCancel(streamed);
    }
    // The file cut inside its last frame: two frames remain.
    std::vector<uint8_t> shortFile(good.bytes.begin(), good.bytes.end() - 100);
    const int16_t shortened = add("short.avi", shortFile, kAvi);
    ASSERT_EQ(infoOf(shortened, info), 0);
    EXPECT_EQ(info.video.value, 2);
    // Frames smaller than the pictures the header promises are unreadable:
    // black, and the importer's error.
    const int16_t tall = add("tall.avi", patched(strf + 8 + 8, 12), kAvi);
    ASSERT_EQ(infoOf(tall, info), 0);
    const PWorld w = world(8, 12);
    const FmRect r{0, 0, 8, 12};
    pwFillRect(w, &r, 0xFFFFFF);
    EXPECT_EQ(GetVideo(nullptr, tall, w, &r, 32, 0), kRcImportBadFile);
    EXPECT_EQ(bgraAt(w, 3, 3) & 0xFFFFFF, 0u);

    // Damage in the headers: the file is refused (-1), or the damaged video
    // stream is left out and only the sound remains (flags 2).
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int16_t flags;
    } damaged[] = {
        {"tiny.avi", std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + 20), -1},
        {"hdrl.avi", patched(good.find("hdrl") - 4, 0x7FFFFFF0u), -1},
        {"avih.avi", patched(good.find("avih") + 4, 12), -1},
        {"nomovi.avi", patched(movi + 8, 0x6F6F6F6Fu), -1},
        {"notavi.avi", patched(8, 0x20495641u ^ 0x100), -1},
        {"width.avi", patched(strf + 8 + 4, 0x7FFFFFFF), 2},
        {"height.avi", patched(strf + 8 + 8, 0x80000000u), 2},
        {"bits.avi", patched(strf + 8 + 14, 16), 2},
        {"codec.avi", patched(strf + 8 + 16, 0x34363248u), 2},
        {"scale.avi", patched(good.find("strh") + 8 + 20, 0), 2},
        {"strfshort.avi", patched(strf + 4, 20), 2},
    };
    for (const Case& c : damaged) {
        SCOPED_TRACE(c.name);
        const int16_t id = add(c.name, c.bytes, kAvi);
        const OSErr err = infoOf(id, info);
        if (c.flags < 0) {
            EXPECT_EQ(err, kRcImportBadFile);
        } else {
            ASSERT_EQ(err, 0);
            EXPECT_EQ(info.mediaFlags, c.flags);
        }
    }
}

}  // namespace
