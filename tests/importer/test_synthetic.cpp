// The synthetic importer through media access: its descriptions, pictures
// and sound, the frame and audio caches, and clip speeds.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "reelcore/timecode.h"

#include "importer_fixture.h"

namespace {

using namespace importtest;

// A spy around the synthetic importer: counts selectors and can mark the
// picture as a still or make sound reads fail.
struct Spy {
    int infoCalls = 0, imageCalls = 0, audioCalls = 0;
    int32_t lastAudioSize = 0;
    bool still = false, failAudio = false, zeroAlpha = false;
};
Spy spy;

int16_t spyEntry(int32_t selector, void* host, intptr_t p1, intptr_t p2) {
    if (selector == kRcImportGetInfo) ++spy.infoCalls;
    if (selector == kRcImportImage) ++spy.imageCalls;
    if (selector == kRcImportAudio) {
        ++spy.audioCalls;
        spy.lastAudioSize = reinterpret_cast<RcImportAudioRequest*>(p2)->size;
        if (spy.failAudio) {
            // Leaves garbage behind, as a broken importer might.
            auto* q = reinterpret_cast<RcImportAudioRequest*>(p2);
            std::memset(q->buffer, 0x5A, size_t(q->size));
            return 7;
        }
    }
    const int16_t result = synthImportEntry(selector, host, p1, p2);
    if (selector == kRcImportImage && spy.zeroAlpha) {
        auto* q = reinterpret_cast<RcImportImageRequest*>(p2);
        for (int32_t y = 0; y < q->height; ++y)
            for (int32_t x = 0; x < q->width; ++x)
                q->pixels[intptr_t(y) * q->rowStride + x * 4 + 3] = 0;
    }
    if (selector == kRcImportGetInfo && spy.still) {
        auto* info = reinterpret_cast<RcImporterInfo*>(p2);
        info->isStill = 1;
        info->videoFrames = 1;
    }
    return result;
}

constexpr OSType kSpy = cc("SPYI");

class Synthetic : public ImportTest {
  protected:
    void SetUp() override {
        ImportTest::SetUp();
        spy = Spy{};
        ASSERT_EQ(FmAddBuiltinImporter(kSpy, spyEntry), 0);
        ASSERT_EQ(Add1XREF(kSpy, kSpy, kSpy, 0), 0);
    }
};

uint8_t alphaAt(PWorld w, int32_t x, int32_t y) {
    PPixHand pix = pwGetPPix(w);
    const int32_t h = 240;
    return uint8_t(ppixGetPixels(pix)[int64_t(ppixGetRowbytes(pix)) * (h - 1 - y) + x * 4 + 3]);
}

uint32_t rgb(PWorld w, int32_t x, int32_t y) {
    return ppixGetPixel(pwGetPPix(w), x, y) & 0xFFFFFF;
}

TEST_F(Synthetic, BarsDescribeThemselvesAndDrawTheSevenBars) {
    const int16_t id = addSynth("bars.synth", kBarsText);
    ASSERT_GT(id, 0);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 0), 0);
    EXPECT_EQ(info.frame.right, 320);
    EXPECT_EQ(info.frame.bottom, 240);
    EXPECT_EQ(info.video.scale, 25);
    EXPECT_EQ(info.video.value, 250);
    EXPECT_EQ(info.mediaFlags, 1);
    EXPECT_EQ(ClipTimeFormat(NewClip(id, nullptr, kClipVideo)), 25);

    const PWorld w = world(320, 240);
    const FmRect r{0, 0, 320, 240};
    const TDB t{0, 25, 1};
    ASSERT_EQ(GetVideo(&t, id, w, &r, 32, 0), 0);
    const uint32_t expected[7] = {0xBFBFBF, 0xBFBF00, 0x00BFBF, 0x00BF00,
                                  0xBF00BF, 0xBF0000, 0x0000BF};
    for (int bar = 0; bar < 7; ++bar) {
        const int32_t x = bar * 320 / 7 + 20;
        EXPECT_EQ(rgb(w, x, 5), expected[bar]) << "bar " << bar;
        EXPECT_EQ(rgb(w, x, 230), expected[bar]) << "bar " << bar;
    }
    // A smaller rectangle inside a bigger world: the bars are scaled into it
    // and nothing outside it is touched.
    const PWorld big = world(400, 300);
    pwFillRect(big, nullptr, 0x123456);
    const FmRect inner{40, 30, 180, 130};
    ASSERT_EQ(GetVideo(&t, id, big, &inner, 32, 0), 0);
    EXPECT_EQ(rgb(big, 41, 31), 0xBFBFBFu);
    EXPECT_EQ(rgb(big, 178, 128), 0x0000BFu);
    EXPECT_EQ(rgb(big, 39, 31), rgb(big, 5, 5));
    EXPECT_EQ(rgb(big, 181, 131), rgb(big, 5, 5));
    // An empty rectangle answers 1.
    const FmRect none{10, 10, 10, 20};
    EXPECT_EQ(GetVideo(&t, id, w, &none, 32, 0), 1);
}

TEST_F(Synthetic, DiscMovesAndCacheServesRepeatedFrames) {
    const int16_t id = addSynth("disc.synth", kDiscText, kSpy);
    ASSERT_GT(id, 0);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 0), 0);
    const PWorld w = world(320, 240);
    const FmRect r{0, 0, 320, 240};
    // Frame 0: disc at the left; frame 249: at the right.
    const TDB first{0, 25, 1}, last{249, 25, 1};
    ASSERT_EQ(GetVideo(&first, id, w, &r, 32 | kVideoUseCache, 0), 0);
    EXPECT_EQ(rgb(w, 40, 120), 0xDC0000u);   // red
    EXPECT_EQ(rgb(w, 280, 120), 0x00A000u);  // green
    ASSERT_EQ(GetVideo(&last, id, w, &r, 32 | kVideoUseCache, 0), 0);
    EXPECT_EQ(rgb(w, 40, 120), 0x00A000u);
    EXPECT_EQ(rgb(w, 280, 120), 0xDC0000u);
    EXPECT_EQ(spy.imageCalls, 2);
    EXPECT_EQ(cachedVideoEntries(), 2);
    // A 24-bit source without alpha comes out opaque.
    spy.zeroAlpha = true;
    const TDB other{7, 25, 1};
    ASSERT_EQ(GetVideo(&other, id, w, &r, 32, 0), 0);
    EXPECT_EQ(alphaAt(w, 10, 10), 255);
    EXPECT_EQ(alphaAt(w, 300, 200), 255);
    spy.zeroAlpha = false;
    spy.imageCalls = 2;
    // The cached frame comes back without asking the importer.
    pwFillRect(w, nullptr, 0);
    ASSERT_EQ(GetVideo(&first, id, w, &r, 32 | kVideoUseCache, 0), 0);
    EXPECT_EQ(spy.imageCalls, 2);
    EXPECT_EQ(rgb(w, 40, 120), 0xDC0000u);
    // Without the cache flag the importer draws again.
    ASSERT_EQ(GetVideo(&first, id, w, &r, 32, 0), 0);
    EXPECT_EQ(spy.imageCalls, 3);
    // A file marked for no caching is not cached unless slot 93 says so.
    rc::media::findFileRec(id)->noCaching = 1;
    const TDB mid{100, 25, 1};
    ASSERT_EQ(GetVideo(&mid, id, w, &r, 32 | kVideoUseCache, 0), 0);
    EXPECT_EQ(cachedVideoEntries(), 2);
}

TEST_F(Synthetic, CachedInformationIsNotAskedAgainWithoutRefresh) {
    const int16_t id = addSynth("bars.synth", kBarsText, kSpy);
    FmMediaInfo a{}, b{};
    ASSERT_EQ(GetInfo(id, &a, 0), 0);
    const int calls = spy.infoCalls;
    ASSERT_GE(calls, 1);
    ASSERT_EQ(GetInfo(id, &b, 0), 0);
    ASSERT_EQ(GetInfoNoPrefs(id, &b, 0), 0);
    EXPECT_EQ(spy.infoCalls, calls);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    ASSERT_EQ(GetInfo(id, &b, 1), 0);
    EXPECT_EQ(spy.infoCalls, calls + 1);
}

TEST_F(Synthetic, StillGivesOneFrameAtEveryTimeCachedOnce) {
    spy.still = true;
    const int16_t id = addSynth("still.synth", kDiscText, kSpy);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 0), 0);
    ASSERT_EQ(GetFileIsStill(id), 1);
    const PWorld w = world(160, 120);
    const FmRect r{0, 0, 160, 120};
    std::vector<uint32_t> first;
    for (int32_t frame : {0, 50, 125, 249}) {
        const TDB t{frame, 25, 1};
        pwFillRect(w, nullptr, 0xFFFFFF);
        ASSERT_EQ(GetVideo(&t, id, w, &r, 32 | kVideoStillCache, 0), 0);
        std::vector<uint32_t> px;
        for (int32_t x = 0; x < 160; x += 7) px.push_back(rgb(w, x, 60));
        if (first.empty()) first = px;
        EXPECT_EQ(px, first) << "frame " << frame;
    }
    EXPECT_EQ(spy.imageCalls, 1);
    EXPECT_EQ(cachedVideoEntries(), 1);
}

TEST_F(Synthetic, ToneSecondsConvertResampleAndCache) {
    const int16_t id = addSynth("tone.synth", kToneText, kSpy);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 0), 0);
    EXPECT_EQ(info.mediaFlags, 2);
    EXPECT_EQ(info.audio.scale, 48000);
    EXPECT_EQ(info.audioFormat, 0x300);
    EXPECT_EQ(ClipTimeFormat(NewClip(id, nullptr, kClipAudio)), 48000);

    // Same format: the importer's samples as they are.
    std::vector<int16_t> s(48000 * 2);
    ASSERT_EQ(GetAudioSec(1, id, s.data(), 0x300 | kAudioAddToCache, 48000, 100), 0);
    for (int i : {0, 17, 1000, 47999}) {
        const double want = 0.5 * std::sin(2 * M_PI * 440 * double(48000 + i) / 48000) * 32767;
        EXPECT_NEAR(s[size_t(i) * 2], want, 1.0) << i;
        EXPECT_EQ(s[size_t(i) * 2], s[size_t(i) * 2 + 1]);
    }
    // The second request comes from the audio cache.
    const int calls = spy.audioCalls;
    std::vector<int16_t> again(48000 * 2);
    ASSERT_EQ(GetAudioSec(1, id, again.data(), 0x300 | kAudioAddToCache, 48000, 100), 0);
    EXPECT_EQ(spy.audioCalls, calls);
    EXPECT_EQ(again, s);

    // Mono 8-bit at 22,050 Hz, plain and through the resampler: a 440 Hz
    // wave crosses its middle about 880 times a second either way.
    for (intptr_t resampler : {0, 1}) {
        SetAGlobal(kSlotResamplerOn, resampler);
        std::vector<uint8_t> m(22050);
        ASSERT_EQ(GetAudioSec(2, id, m.data(), 0, 22050, 100), 0);
        int crossings = 0;
        for (size_t i = 1; i < m.size(); ++i) crossings += (m[i - 1] < 128) != (m[i] < 128);
        EXPECT_NEAR(crossings, 880, 12) << "resampler " << resampler;
        const auto [lo, hi] = std::minmax_element(m.begin(), m.end());
        EXPECT_NEAR(*lo, 64, 4);
        EXPECT_NEAR(*hi, 192, 4);
    }
}

TEST_F(Synthetic, FailedAudioReadGivesSilenceAndIsNotCached) {
    const int16_t id = addSynth("tone.synth", kToneText, kSpy);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 0), 0);
    spy.failAudio = true;
    std::vector<uint8_t> m(8000, 0x11);
    EXPECT_NE(GetAudioSec(0, id, m.data(), kAudioAddToCache, 8000, 100), 0);
    EXPECT_EQ(std::count(m.begin(), m.end(), 128), 8000);
    EXPECT_EQ(FindAudioSec(id + 100 * 65536, 0, kAudioAddToCache, 8000), nullptr);
    std::vector<int16_t> w(48000 * 2, 99);
    EXPECT_NE(GetAudioSec(0, id, w.data(), 0x300 | kAudioAddToCache, 48000, 100), 0);
    EXPECT_EQ(std::count(w.begin(), w.end(), 0), 96000);
    // A later good read is cached and correct.
    spy.failAudio = false;
    ASSERT_EQ(GetAudioSec(0, id, m.data(), kAudioAddToCache, 8000, 100), 0);
    EXPECT_NE(FindAudioSec(id + 100 * 65536, 0, kAudioAddToCache, 8000), nullptr);
}

TEST_F(Synthetic, ClipRatesAreClampedAndSpeedUpPictures) {
    const int16_t tone = addSynth("tone.synth", kToneText, kSpy);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(tone, &info, 0), 0);
    const int32_t clip = NewClip(tone, nullptr, kClipAudio);
    ASSERT_GT(clip, 0);
    std::vector<uint8_t> m(1000);
    SetClipRate(clip, 2500.0f);
    ASSERT_EQ(GetClipAudioSec(0, clip, m.data(), 0, 1000), 0);
    EXPECT_EQ(spy.lastAudioSize, 48000 * 10 * 4);
    SetClipRate(clip, 0.5f);
    ASSERT_EQ(GetClipAudioSec(0, clip, m.data(), 0, 1000), 0);
    EXPECT_EQ(spy.lastAudioSize, 480 * 4);

    // A disc clip at 200 % shows at 2 s what the file shows at 4 s.
    const int16_t disc = addSynth("disc.synth", kDiscText);
    ASSERT_EQ(GetInfo(disc, &info, 0), 0);
    const int32_t dclip = NewClip(disc, nullptr, kClipVideo);
    ASSERT_GT(dclip, 0);
    SetClipRate(dclip, 200.0f);
    const PWorld a = world(320, 240), b = world(320, 240);
    const FmRect r{0, 0, 320, 240};
    const TDB two{50, 25, 1}, four{100, 25, 1};
    ASSERT_EQ(GetClipVideo(&two, dclip, a, &r, 32), 0);
    ASSERT_EQ(GetVideo(&four, disc, b, &r, 32, 0), 0);
    for (int32_t x = 0; x < 320; x += 10) EXPECT_EQ(rgb(a, x, 120), rgb(b, x, 120)) << x;
    // A clip without video fills the rectangle with black and answers 1.
    pwFillRect(a, nullptr, 0xFFFFFF);
    EXPECT_EQ(GetClipVideo(&two, clip, a, &r, 32), 1);
    EXPECT_EQ(rgb(a, 100, 100), 0u);
}

TEST_F(Synthetic, AspectBarsSurroundAWidePicture) {
    const int16_t id =
        addSynth("wide.synth", "kind bars\nwidth 320\nheight 120\nrate 25\nframes 10\n");
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(id, &info, 0), 0);
    const int32_t clip = NewClip(id, nullptr, kClipVideo);
    SetClipAspect(clip, 1);
    SetClipAspectColor(clip, 0x0000FF);  // 0x00BBGGRR: red
    const PWorld w = world(320, 240);
    const FmRect r{0, 0, 320, 240};
    const TDB t{0, 25, 1};
    ASSERT_EQ(GetClipVideo(&t, clip, w, &r, 32), 0);
    EXPECT_EQ(rgb(w, 10, 10), 0xFF0000u);   // bar above
    EXPECT_EQ(rgb(w, 10, 230), 0xFF0000u);  // bar below
    EXPECT_EQ(rgb(w, 10, 120), 0xBFBFBFu);  // the picture, 120 rows in the middle
}

}  // namespace
