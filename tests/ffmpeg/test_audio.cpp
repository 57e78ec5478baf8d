// Sound through GetAudio and GetAudioSec: PCM and FLAC sample for sample
// (each sample's value tells its index), lossy codecs within a tolerance of
// the tone they were made from, and sound that starts with the picture.
#include <cmath>
#include <random>

#include "ff_fixture.h"

namespace {

using namespace fftest;

MediaFolder& media() {
    static MediaFolder folder;
    return folder;
}

// Left carries n mod 30011, right -(n mod 7919): any run of samples says
// where it came from.
constexpr int32_t kRate = 48000, kSeconds = 3;
int16_t leftAt(int64_t n) {
    return int16_t(n % 30011);
}
int16_t rightAt(int64_t n) {
    return int16_t(-(n % 7919));
}
const std::string kIndexTone =
    "-f lavfi -i \"aevalsrc='mod(n\\,30011)/32768|-mod(n\\,7919)/32768':s=" +
    std::to_string(kRate) + ":d=" + std::to_string(kSeconds) + "\"";

class Audio : public FFImportTest {};

TEST_F(Audio, LosslessSoundIsExactAtEveryOffset) {
    const struct {
        const char* name;
        std::string args;
    } files[] = {
        {"index.wav", kIndexTone + " -c:a pcm_s16le"},
        {"index.flac", kIndexTone + " -c:a flac"},
        // In a movie with a picture: the sound still starts at sample 0.
        {"index.mkv", kIndexTone + " -f lavfi -i color=s=64x48:r=25:d=3 -c:a pcm_s16le "
                                   "-c:v ffv1 -shortest"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = media().make(f.name, f.args);
        ASSERT_FALSE(path.empty());
        const int16_t file = add(path);
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(file, &info, 1), 0);
        ASSERT_TRUE(info.mediaFlags & 2);
        EXPECT_EQ(+info.audio.scale, kRate);
        EXPECT_EQ(+info.audioFormat, 0x300);
        EXPECT_EQ(+info.audio.value, kRate * kSeconds);

        std::mt19937 rng(15);
        std::uniform_int_distribution<int64_t> pick(0, kRate * kSeconds - 1);
        std::vector<int16_t> got;
        for (int i = 0; i < 40; ++i) {
            // Random places and lengths, some running past the end.
            const int64_t first = i == 0 ? 0 : pick(rng);
            const int32_t count = 1 + int32_t(pick(rng) % 9000);
            got.assign(size_t(count) * 2, 12345);
            ASSERT_EQ(GetAudio(file, first * 4, count * 4, got.data()), 0);
            for (int32_t k = 0; k < count; ++k) {
                const int64_t n = first + k;
                const bool inside = n < kRate * kSeconds;
                ASSERT_EQ(got[size_t(k) * 2], inside ? leftAt(n) : 0) << "sample " << n;
                ASSERT_EQ(got[size_t(k) * 2 + 1], inside ? rightAt(n) : 0) << "sample " << n;
            }
        }
        // Whole seconds in the file's own format through the audio cache path.
        std::vector<int16_t> second(size_t(kRate) * 2);
        for (int32_t s : {2, 0, 1}) {
            ASSERT_EQ(GetAudioSec(s, file, second.data(), 0x300, kRate, 100), 0);
            EXPECT_EQ(second[0], leftAt(int64_t(s) * kRate));
            EXPECT_EQ(second[second.size() - 1], rightAt(int64_t(s + 1) * kRate - 1));
        }
        EXPECT_EQ(FileClose(file), 0);
    }
}

TEST_F(Audio, MonoAndEightBitAreDeliveredAsAsked) {
    const std::string path =
        media().make("mono8.wav",
                     "-f lavfi -i \"aevalsrc='mod(n\\,200)/128-1':s=22050:d=1\" "
                     "-c:a pcm_u8 -ac 1");
    ASSERT_FALSE(path.empty());
    const int16_t file = add(path);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    EXPECT_EQ(+info.audioFormat, 0x200) << "mono, delivered as 16-bit";
    EXPECT_EQ(+info.audio.scale, 22050);
    std::vector<int16_t> wide(1000);
    ASSERT_EQ(GetAudio(file, 0, 2000, wide.data()), 0);
    for (int32_t n = 0; n < 1000; ++n)
        ASSERT_EQ(wide[size_t(n)], int16_t(((n % 200) - 128) * 256)) << n;
    // 8-bit stereo from the host's conversion: the same values, unsigned.
    std::vector<uint8_t> narrow(22050 * 2);
    ASSERT_EQ(GetAudioSec(0, file, narrow.data(), 0x100, 22050, 100), 0);
    for (int32_t n = 0; n < 1000; ++n) {
        ASSERT_EQ(narrow[size_t(n) * 2], uint8_t(n % 200)) << n;
        ASSERT_EQ(narrow[size_t(n) * 2 + 1], uint8_t(n % 200)) << n;
    }
}

// A sweep from 200 Hz up at half scale (it never repeats, so a shift of a
// single sample shows), through lossy codecs: the decoded sound stays
// close to the sweep at its own time (no shift from encoder delay), read
// from the start and after a seek. Where the container does not say how
// many priming samples the encoder added (MPEG-TS), the reference is
// ffmpeg's own decode of the file.
TEST_F(Audio, LossyCodecsStayCloseToTheTone) {
    const auto tone = [](int32_t rate) {
        return "-f lavfi -i \"aevalsrc='0.5*sin(2*PI*(200*t+400*t*t))':s=" + std::to_string(rate) +
               ":d=2\" ";
    };
    const struct {
        const char* name;
        const char* encoder;
        int32_t rate;
        std::string args;
        bool againstFfmpeg;
    } files[] = {
        {"tone.m4a", "aac", 44100, tone(44100) + "-c:a aac -b:a 192k", false},
        {"tone.mp3", "libmp3lame", 44100, tone(44100) + "-c:a libmp3lame -b:a 192k", false},
        {"tone.ogg", "libvorbis", 44100, tone(44100) + "-c:a libvorbis -q:a 6", false},
        // Matroska times are whole milliseconds: positions come from counting.
        {"tone_vorbis.webm", "libvorbis", 44100, tone(44100) + "-c:a libvorbis -q:a 6", false},
        {"tone_opus.webm", "libopus", 48000, tone(48000) + "-c:a libopus -b:a 128k", false},
        {"tone_opus.ogg", "libopus", 48000, tone(48000) + "-c:a libopus -b:a 128k", false},
        // Transport streams start at 1.4 seconds: sample 0 is still the first.
        {"tone.ts", "aac", 44100, tone(44100) + "-c:a aac -b:a 192k", true},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        if (!haveEncoder(f.encoder)) continue;
        const std::string path = media().make(f.name, f.args);
        ASSERT_FALSE(path.empty());
        const int16_t file = add(path);
        FmMediaInfo info{};
        ASSERT_EQ(GetInfo(file, &info, 1), 0);
        EXPECT_EQ(+info.audio.scale, f.rate);
        EXPECT_NEAR(double(info.audio.value), 2.0 * f.rate, 2048.0);
        const int32_t channels = (info.audioFormat & 0x100) ? 2 : 1;
        std::string decoded;
        if (f.againstFfmpeg) {
            decoded =
                capture("ffmpeg -nostdin -v error -i '" + path + "' -f s16le -ac 1 - 2>/dev/null");
            ASSERT_GT(decoded.size(), size_t(f.rate) * 2 * 3 / 2);
        }
        const auto reference = [&](int64_t n) {
            if (!f.againstFfmpeg) {
                const double t = double(n) / f.rate;
                return 0.5 * 32767 * std::sin(2 * M_PI * (200 * t + 400 * t * t));
            }
            int16_t v = 0;
            if (size_t(n + 1) * 2 <= decoded.size()) std::memcpy(&v, &decoded[size_t(n) * 2], 2);
            return double(v);
        };
        const int32_t span = f.rate / 10;
        // From the middle (a seek), then the start, then back to the middle.
        for (int64_t first : {int64_t(f.rate), int64_t(0), int64_t(f.rate * 3 / 2)}) {
            std::vector<int16_t> got(size_t(span) * channels);
            ASSERT_EQ(GetAudio(file, first * 2 * channels, int32_t(got.size()) * 2, got.data()), 0);
            double error = 0, power = 0;
            for (int32_t k = span / 4; k < span; ++k) {  // past the codec's start-up
                const double want = reference(first + k);
                const double d = got[size_t(k) * channels] - want;
                error += d * d;
                power += want * want;
            }
            EXPECT_LT(std::sqrt(error / power), 0.05) << "from sample " << first;
        }
    }
}

TEST_F(Audio, ResampledToTheRateAsked) {
    const std::string path =
        media().make("tone48.wav", "-f lavfi -i \"sine=f=1000:r=48000:d=2\" -c:a pcm_s16le -ac 2");
    ASSERT_FALSE(path.empty());
    const int16_t file = add(path);
    FmMediaInfo info{};
    ASSERT_EQ(GetInfo(file, &info, 1), 0);
    ASSERT_EQ(+info.audio.scale, 48000);
    std::vector<int16_t> out(size_t(44100) * 2);
    ASSERT_EQ(GetAudioSec(1, file, out.data(), 0x300, 44100, 100), 0);
    // 1000 cycles in the second: count rising zero crossings of the left channel.
    int32_t rising = 0;
    for (size_t i = 2; i < out.size(); i += 2) rising += out[i - 2] < 0 && out[i] >= 0;
    EXPECT_NEAR(rising, 1000, 2);
}

}  // namespace
