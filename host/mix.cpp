// `reelhost mix TIMELINE.otio [--range A-B] [--delay D] [--meters] [--wav OUT.wav]`:
// the timeline's audio through the library's frame mix, 48 kHz 16-bit
// stereo: a mixer strip per audio track reading its envelopes, a stereo
// master meter. --meters prints each frame's levels as the mixer window
// would show them (d frames behind the mix with --delay d), then the peaks;
// --wav writes the mix.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host.h"
#include "otio.h"
#include "otio_tracks.h"
#include "reelcore/globals.h"
#include "reelcore/mixer.h"
#include "reelcore/plugins.h"
#include "reelcore/timerecord.h"
#include "reelcore/tracks.h"

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kFormat = 0x300;  // 16-bit stereo

struct {
    std::string timeline;
    std::string range;
    int64_t delay = 0;
    bool meters = false;
    std::string wav;
} mixArgs;

std::string besideProgram(const char* name) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return name;
    std::string path(self, size_t(n));
    return path.substr(0, path.rfind('/') + 1) + name;
}

// The importers (the synthetic one among them) from the folders beside
// reelhost.
void registerImporters() {
    for (const char* name : {"media-plug-ins", "plug-ins"}) {
        const std::string folder = besideProgram(name);
        if (access(folder.c_str(), R_OK) != 0) continue;
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder.c_str()));
        AddPlugins();
        SetAGlobal(kSlotPluginFolder, 0);
    }
}

// "A-B": frames, B exclusive.
bool parseRange(const std::string& text, int64_t& from, int64_t& to) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos) return false;
    return host::parseDecimal(text.substr(0, dash), from) &&
           host::parseDecimal(text.substr(dash + 1), to) && from >= 0 && to > from;
}

std::string timecode(int64_t frame, const otio::Rate& rate) {
    const int64_t fps = std::max<int64_t>(1, int64_t(rate.fps() + 0.5));
    char out[96];
    std::snprintf(out, sizeof out, "%02lld:%02lld:%02lld:%02lld", (long long)(frame / fps / 3600),
                  (long long)(frame / fps / 60 % 60), (long long)(frame / fps % 60),
                  (long long)(frame % fps));
    return out;
}

// A 12-character bar over -60 ... 0 dBFS, the level in dBFS, and CLIP above
// full scale.
std::string levelText(float level) {
    const double db = level > 0 ? 20.0 * std::log10(double(level)) : -INFINITY;
    const int filled = db <= -60 ? 0 : std::min(12, int((db + 60.0) / 5.0 + 0.5));
    std::string bar =
        "[" + std::string(size_t(filled), '#') + std::string(size_t(12 - filled), '.') + "]";
    char value[32];
    if (std::isinf(db))
        std::snprintf(value, sizeof value, "  -inf");
    else
        std::snprintf(value, sizeof value, "%6.1f", db);
    return bar + " " + value + (level > 1.0f ? " CLIP" : "     ");
}

void put16(FILE* f, uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
}
void put32(FILE* f, uint32_t v) {
    put16(f, uint16_t(v));
    put16(f, uint16_t(v >> 16));
}

bool writeWav(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite("RIFF", 1, 4, f);
    put32(f, uint32_t(36 + data.size()));
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);  // PCM
    put16(f, 2);
    put32(f, kRate);
    put32(f, kRate * 4);
    put16(f, 4);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, uint32_t(data.size()));
    std::fwrite(data.data(), 1, data.size(), f);
    return std::fclose(f) == 0;
}

int runMix() {
    otio::Timeline t;
    std::string error;
    std::vector<std::string> notes;
    if (!otio::readFile(mixArgs.timeline, t, error, notes)) {
        std::fprintf(stderr, "reelhost: %s\n", error.c_str());
        return 1;
    }
    registerImporters();
    const std::string base = std::filesystem::path(mixArgs.timeline).parent_path().string();
    otio::LibraryTimeline lib;
    if (!lib.build(t, base.empty() ? "." : base, error)) {
        std::fprintf(stderr, "reelhost: %s: %s\n", mixArgs.timeline.c_str(), error.c_str());
        return 1;
    }
    TDB tb = lib.timeBase();
    SetCurrentTimeBase(0, &tb);
    const int64_t length = lib.length() / std::max(tb.samp, 1);
    int64_t from = 0, to = length;
    if (!mixArgs.range.empty() && !parseRange(mixArgs.range, from, to))
        throw CLI::ValidationError("--range", "'" + mixArgs.range + "' is not FROM-TO in frames");
    to = std::min<int64_t>(to, INT32_MAX);

    const int32_t strips = CountTypeTracks(kTrackAudio, lib.table());
    std::vector<uint8_t> mixerBytes(FM_MIXER_RECORD_SIZE(std::max(strips, 1)));
    auto* mixer = reinterpret_cast<FmMixerRecord*>(mixerBytes.data());
    mixer->count = strips;
    for (int32_t i = 0; i < strips; ++i) {
        FmMixerStrip* s = FM_MIXER_STRIP(mixer, i);
        s->flags = kMixerModeRead;
        s->gain = s->gainSetting = 1.0f;
        s->pan = s->panSetting = 0.5f;
    }
    FmMasterMeter master{2, {{1.0f, 0.0f}, {1.0f, 0.0f}}};
    const FmMixerDelay mixerDelay{strips, int32_t(mixArgs.delay)};
    const FmMasterDelay masterDelay{2, int32_t(mixArgs.delay)};
    if (SetAudMixerVUDelay(&mixerDelay) != 0 || SetAudMasterVUDelay(&masterDelay) != 0) {
        std::fprintf(stderr, "reelhost: no memory for the delay lines\n");
        return 1;
    }
    InitAudMixerMasterVUHistory();

    std::printf("%s: %d audio track%s, frames %lld-%lld at %g fps, 48000 Hz 16-bit stereo\n",
                mixArgs.timeline.c_str(), strips, strips == 1 ? "" : "s", (long long)from,
                (long long)to, t.rate.fps());
    std::vector<uint8_t> wav, frame(size_t(kRate) * 4 + 64);
    std::vector<float> stripPeaks(size_t(strips), 0.0f);
    float masterPeak[2] = {0.0f, 0.0f};
    int64_t clipped = 0;
    for (int64_t f = from; f < to; ++f) {
        int32_t bytes = int32_t(frame.size());
        const OSErr err = MixBlip(int32_t(f), frame.data(), kFormat, kRate, nullptr, kMixAllTracks,
                                  &bytes, &tb, lib.table(), mixer, &master);
        if (err != 0) {
            std::fprintf(stderr, "reelhost: frame %lld: mix failed (%d)\n", (long long)f, err);
            return 1;
        }
        if (!mixArgs.wav.empty()) wav.insert(wav.end(), frame.begin(), frame.begin() + bytes);
        for (int32_t i = 0; i < strips; ++i)
            stripPeaks[size_t(i)] =
                std::max(stripPeaks[size_t(i)], FM_MIXER_STRIP(mixer, i)->meter);
        for (int c = 0; c < 2; ++c)
            masterPeak[c] = std::max(masterPeak[c], master.channels[c].level);
        clipped += master.channels[0].level > 1.0f || master.channels[1].level > 1.0f;
        if (!mixArgs.meters) continue;
        std::printf("%s", timecode(f, t.rate).c_str());
        for (int32_t i = 0; i < strips; ++i)
            std::printf("  %s %s",
                        lib.trackLabel(GetTrackTypeIndex(kTrackAudio, i, lib.table())).c_str(),
                        levelText(FM_MIXER_STRIP(mixer, i)->meter).c_str());
        std::printf("  master L %s R %s\n", levelText(master.channels[0].level).c_str(),
                    levelText(master.channels[1].level).c_str());
    }
    std::printf("peaks:");
    for (int32_t i = 0; i < strips; ++i)
        std::printf(" %s %s;",
                    lib.trackLabel(GetTrackTypeIndex(kTrackAudio, i, lib.table())).c_str(),
                    levelText(stripPeaks[size_t(i)]).c_str());
    std::printf(" master L %s R %s\n", levelText(masterPeak[0]).c_str(),
                levelText(masterPeak[1]).c_str());
    // The master's largest level as a 16-bit sample value too, to set
    // beside what the written file holds.
    const double largest = std::max(masterPeak[0], masterPeak[1]);
    if (largest > 0)
        std::printf("master peak: %.0f of 32767 (%.2f dBFS)\n", largest * 32767.0,
                    20.0 * std::log10(largest));
    else
        std::printf("master peak: 0 of 32767 (-inf dBFS)\n");
    if (clipped) std::printf("clipped frames: %lld\n", (long long)clipped);
    SetAudMixerVUDelay(nullptr);
    SetAudMasterVUDelay(nullptr);
    if (!mixArgs.wav.empty()) {
        if (!writeWav(mixArgs.wav, wav)) {
            std::fprintf(stderr, "reelhost: cannot write %s\n", mixArgs.wav.c_str());
            return 1;
        }
        std::printf("wrote %s (%s)\n", mixArgs.wav.c_str(),
                    host::bytesText(wav.size() + 44).c_str());
    }
    return 0;
}

host::Registrar mixCommand(host::Command{
    "mix", "mix a timeline's audio tracks, show the meters, write the mix as WAV",
    [](CLI::App& cmd) {
        cmd.add_option("TIMELINE", mixArgs.timeline, "OpenTimelineIO file (.otio)")
            ->required()
            ->check(CLI::Validator(CLI::ExistingFile).description(""));
        cmd.add_option("--range", mixArgs.range, "frames FROM-TO (TO exclusive; default: all)");
        host::addInteger(cmd, "--delay", mixArgs.delay, 0, kMixerMaxDelay,
                         "frames the meters run behind the mix (0-30)");
        cmd.add_flag("--meters", mixArgs.meters, "print each frame's levels, then the peaks");
        cmd.add_option("--wav", mixArgs.wav, "write the mix to this WAV file");
    },
    runMix});

}  // namespace
