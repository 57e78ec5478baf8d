// The frame mix against a reference worked out here from the pattern the
// test importer plays.
#include <cmath>
#include <random>

#include "mixer_fixture.h"

namespace {

using namespace mixtest;

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

struct RefTrack {
    int32_t seed = 1;
    int32_t in = 0, start = 0, end = 0;  // ticks
    int32_t gain = 65536;                // after volume and fade
    int32_t pan = 0;                     // -100 ... 100
    int32_t clipFlags = 0;
    bool backwards = false;
};

struct Ref {
    TDB tb;
    int32_t format, rate;

    int32_t fb() const { return ((format & 0x200) ? 2 : 1) * ((format & 0x100) ? 2 : 1); }
    int64_t frameAt(int64_t ticks) const { return floorDiv(ticks * rate, tb.scale); }

    // The output for one frame from the tracks covering it.
    std::vector<uint8_t> mix(int32_t frame, const std::vector<RefTrack>& tracks) const {
        const int64_t t0 = int64_t(frame) * tb.samp, t1 = t0 + tb.samp;
        const int64_t frames = frameAt(t1) - frameAt(t0);
        const int32_t ch = (format & 0x100) ? 2 : 1;
        const bool wide = format & 0x200;
        std::vector<int32_t> acc(size_t(frames * ch), 0);
        for (const RefTrack& t : tracks) {
            if (t0 < t.start || t0 >= t.end) continue;
            const int64_t into = frameAt(t0) - frameAt(t.start);
            const int64_t length = t.end - t.start;
            int64_t first = frameAt(t.in) + into;
            if (t.backwards) first = frameAt(t.in + length) - into - frames;
            std::vector<int32_t> s(size_t(frames * ch));  // signed values
            for (int64_t i = 0; i < frames; ++i)
                for (int32_t c = 0; c < ch; ++c) {
                    const int64_t n = first + i;
                    s[size_t(i * ch + c)] = n < 0  ? 0
                                            : wide ? pattern16(n, c, t.seed)
                                                   : pattern8(n, c, t.seed) - 128;
                }
            if (ch == 2) {
                const bool sw = t.clipFlags & 0x400, l = t.clipFlags & 0x2000,
                           r = t.clipFlags & 0x4000;
                for (int64_t i = 0; i < frames; ++i) {
                    int32_t& L = s[size_t(2 * i)];
                    int32_t& R = s[size_t(2 * i + 1)];
                    if (sw && l)
                        R = 0;
                    else if (sw && r)
                        L = 0;
                    else if (sw)
                        std::swap(L, R);
                    else if (l)
                        R = L;
                    else if (r)
                        L = R;
                    if (t.pan > 0) L = L * (100 - t.pan) / 100;
                    if (t.pan < 0) R = R * (100 + t.pan) / 100;
                }
            }
            if (t.backwards)
                for (int64_t i = 0; i < frames / 2; ++i)
                    for (int32_t c = 0; c < ch; ++c)
                        std::swap(s[size_t(i * ch + c)], s[size_t((frames - 1 - i) * ch + c)]);
            const int32_t g = std::clamp(t.gain >> 4, -32768, 32767);
            for (size_t k = 0; k < s.size(); ++k) acc[k] += wide ? (g * s[k]) >> 8 : g * s[k];
        }
        std::vector<uint8_t> out;
        for (int32_t v : acc) {
            if (wide) {
                const auto x = int16_t(std::clamp(v, -0x80000, 0x7FFFF) >> 4);
                out.push_back(uint8_t(x & 0xFF));
                out.push_back(uint8_t(uint16_t(x) >> 8));
            } else {
                out.push_back(uint8_t(std::clamp(v >> 12, -128, 127) + 128));
            }
        }
        return out;
    }
};

class MixReference : public MixerTest {
  protected:
    std::mt19937 rng{99};
    int32_t pick(int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    }
};

TEST_F(MixReference, MatchesTheReferenceInEveryFormatWithAndWithoutMixer) {
    const int32_t flagsTable[] = {0, 0x400, 0x2000, 0x4000, 0x2400, 0x4400, 0x6000};
    for (int32_t format : {0x000, 0x100, 0x200, 0x300}) {
        for (int32_t count : {1, 3, 8}) {
            for (bool withMixer : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "format " << format << ", " << count
                                                  << " tracks, mixer " << withMixer);
                TearDown();
                SetUp();
                tb = count == 3 ? TDB{0, 2997, 100} : TDB{0, 25, 1};
                const int32_t rate = format == 0x300 ? 48000 : 22050;
                Ref ref{tb, format, rate};
                std::vector<RefTrack> tracks;
                Mixer m(count);
                for (int32_t n = 0; n < count; ++n) {
                    RefTrack t;
                    t.seed = n + 1;
                    t.in = pick(0, 40) * tb.samp;
                    t.start = pick(0, 3) * tb.samp;
                    t.end = t.start + pick(6, 12) * tb.samp;
                    t.clipFlags = flagsTable[pick(0, 6)];
                    t.backwards = pick(0, 3) == 0;
                    PatternFile f;
                    f.rate = rate;
                    f.format = format;
                    f.seed = t.seed;
                    const int32_t clip = addClip(f, t.in, t.end - t.start);
                    ASSERT_GT(clip, 0);
                    if (t.backwards) SetClipBackwards(clip, 1);
                    reinterpret_cast<FmClipRecord*>(*FindClip(clip))->flags |= t.clipFlags;
                    ASSERT_EQ(addTrack(), n);
                    TrackItemRec* item = addItem(n, clip, t.start, t.end);
                    const int16_t level = int16_t(pick(20, 200));
                    const int16_t panLevel = int16_t(pick(0, 256));
                    band(item, true, {{0, level}, {0, level}});
                    band(item, false, {{0, panLevel}, {0, panLevel}});
                    if (withMixer) {
                        // Read mode: the same envelopes through the strip.
                        m.strip(n)->flags = kMixerModeRead;
                        t.gain = int32_t(float(level * 0x4000 / 256) / 8192.0f * 65536.0f);
                        const float pan = 1.0f - float(panLevel * 200 / 256) * 0.005f;
                        t.pan = std::clamp(int32_t(std::lround(pan * 200.0)) - 100, -100, 100);
                    } else {
                        t.gain = (level * 0x4000 / 256) * 8;
                        t.pan = std::clamp(100 - panLevel * 200 / 256, -100, 100);
                    }
                    tracks.push_back(t);
                }
                for (int32_t frame = 0; frame < 16; ++frame) {
                    const std::vector<uint8_t> got =
                        mix(frame, format, rate, withMixer ? m.record() : nullptr);
                    ASSERT_EQ(got, ref.mix(frame, tracks)) << "frame " << frame;
                }
            }
        }
    }
}

TEST_F(MixReference, SpansAddUpExactlyOverAnHourAt2997) {
    tb = TDB{0, 2997, 100};
    const int32_t frames = 107892;  // one hour of 29.97 frames
    int64_t total = 0;
    std::vector<uint8_t> out(48000);
    FmMasterMeter master{2, {{1.0f, 0.0f}, {1.0f, 0.0f}}};  // mixed live, not cached
    for (int32_t f = 0; f < frames; ++f) {
        int32_t bytes = int32_t(out.size());
        ASSERT_EQ(MixBlip(f, out.data(), 0x300, 48000, nullptr, kMixAllTracks, &bytes, &tb, table,
                          nullptr, &master),
                  0);
        ASSERT_TRUE(bytes == 6404 || bytes == 6408) << bytes;
        total += bytes;
    }
    // 107892 frames of 100/2997 s at 48 kHz, whole sample frames.
    EXPECT_EQ(total, (int64_t(frames) * 100 * 48000 / 2997) * 4);
    // An output too small for the frame: nothing written, the span reported.
    std::vector<uint8_t> small(100, 0xAB);
    int32_t bytes = 100;
    EXPECT_EQ(MixBlip(3, small.data(), 0x300, 48000, nullptr, kMixAllTracks, &bytes, &tb, table,
                      nullptr, nullptr),
              -50);
    EXPECT_EQ(bytes, int32_t((400 * 48000 / 2997 - 300 * 48000 / 2997) * 4));
    EXPECT_EQ(small[0], 0xAB);
    EXPECT_EQ(MixBlip(3, nullptr, 0x300, 48000, nullptr, 0, &bytes, &tb, table, nullptr, nullptr),
              -50);
    EXPECT_EQ(MixBlip(3, small.data(), 0x300, 0, nullptr, 0, &bytes, &tb, table, nullptr, nullptr),
              -50);
}

}  // namespace
