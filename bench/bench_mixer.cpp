// The frame mix's cost: MixBlip over 1, 4 and 16 audio tracks (48 kHz 16-bit
// stereo, 25 fps, every track with a gain band and a pan band, its audio
// already in the cache), with and without meters, beside
//  - a plain loop summing the same blocks with the same integer gains into
//    32 bits and clamping (the least any mixer of these blocks does),
//  - libavfilter's amix in-process (normalize=0, the same weights, s16 in
//    and out),
//  - `reelhost mix --wav` of a 16-track timeline of WAV files against
//    `sox -m` with a -v gain per file (both run as programs),
// and ComputeBufferVU beside a plain loop finding the same peaks.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "reelcore/clips.h"
#include "reelcore/envelopes.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"
#include "reelcore/memory.h"
#include "reelcore/mixer.h"
#include "reelcore/plugins.h"
#include "reelcore/resources.h"
#include "reelcore/sdk/importer.h"
#include "reelcore/settings.h"
#include "reelcore/timerecord.h"
#include "reelcore/tracks.h"

#ifdef REEL_BENCH_AVFILTER
extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}
#endif

extern char** environ;

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kFps = 25;
constexpr int32_t kFrameSamples = kRate / kFps;     // 1920
constexpr int32_t kFrameBytes = kFrameSamples * 4;  // 16-bit stereo
constexpr int32_t kFrames = kFps;                   // one second, cycled
constexpr int32_t kSeconds = 10;

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}
constexpr OSType kPattern = cc("MIXB");

// Each file's sound: a pattern over most of the 16-bit range, both signs.
int16_t pattern(int64_t n, int32_t c, int32_t seed) {
    return int16_t((n * 131 + c * 7919 + int64_t(seed) * 1237) % 60001 - 30000);
}

// The tracks' gain band levels (128 is unity) and pan band levels.
int16_t gainLevel(int32_t track) {
    return int16_t(16 + (track * 7) % 48);
}
int16_t panLevel(int32_t track) {
    return int16_t(64 + (track * 37) % 128);
}

std::map<int32_t, int32_t>& seeds() {  // file reference -> seed
    static std::map<int32_t, int32_t> s;
    return s;
}

int16_t patternImporter(int32_t selector, void*, intptr_t p1, intptr_t p2) {
    switch (selector) {
        case kRcImportStartup:
            reinterpret_cast<RcImporterCapabilities*>(p1)->priority = 1;
            reinterpret_cast<RcImporterCapabilities*>(p1)->ownsFile = 1;
            return 0;
        case kRcImportOpenFile: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(p2);
            a->fileRef = a->fileID;
            return 0;
        }
        case kRcImportGetInfo: {
            auto* info = reinterpret_cast<RcImporterInfo*>(p2);
            info->hasAudio = 1;
            info->audioRate = kRate;
            info->audioFormat = 0x300;
            info->audioFrames = kRate * kSeconds;
            return 0;
        }
        case kRcImportAudio: {
            auto* q = reinterpret_cast<RcImportAudioRequest*>(p2);
            const int32_t seed = seeds()[int32_t(q->fileRef)];
            auto* out = static_cast<int16_t*>(q->buffer);
            for (int32_t i = 0; i < q->size / 2; ++i)
                out[i] = pattern(q->sample + i / 2, i % 2, seed);
            return 0;
        }
        case kRcImportShutdown:
        case kRcImportQuietFile:
        case kRcImportCloseFile:
            return 0;
        default:
            return 2;
    }
}

std::string scratch(const std::string& name) {
    return "/tmp/reel-bench-mixer-" + std::to_string(getpid()) + "-" + name;
}

// The library with the pattern importer and a timeline of n audio tracks,
// each over the first ten seconds of a file of its own.
struct Library {
    TDB tb{0, kFps, 1};
    std::map<int32_t, Handle> tables;
    std::vector<int32_t> clips;

    Library() {
        SetupGlobals();
        InitMemoryMgr();
        InitResMgr(nullptr);
        InitFMem(128u << 20);
        InitFrameQueue();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        InitProjectSettings();
        Add1XREF(kPattern, kPattern, kPattern, 0);
        FmAddBuiltinImporter(kPattern, patternImporter);
        SetCurrentTimeBase(0, &tb);
        for (int32_t t = 0; t < 16; ++t) {
            const std::string path = scratch("p" + std::to_string(t) + ".mixb");
            if (FILE* f = std::fopen(path.c_str(), "wb")) {
                std::fputs("pattern\n", f);
                std::fclose(f);
            }
            const int16_t id = AddFile(path.c_str(), 0, 0, kPattern);
            seeds()[id] = t + 1;
            int32_t times[kClipFixedMarkers];
            std::fill(std::begin(times), std::end(times), -1);
            times[0] = 0;
            times[1] = kSeconds * kFps - 1;
            clips.push_back(AddClip(id, times, &tb, kClipAudio));
            std::remove(path.c_str());
        }
    }

    Handle timeline(int32_t tracks) {
        Handle& table = tables[tracks];
        if (table) return table;
        table = NewHandle(0);
        for (int32_t t = 0; t < tracks; ++t) {
            AddTrackItem(NewHandle(0), kTrackTypeAudio, table);
            SetTrackState(1, kTrackAudio, t, table);
            Handle rec = NewHandleClear(sizeof(TrackItemRec));
            auto* r = reinterpret_cast<TrackItemRec*>(*rec);
            r->clipID = clips[size_t(t)];
            r->clip = HandleToWord(FindClip(r->clipID));
            r->start = 0;
            r->end = kSeconds * kFps;
            NewGainBand(r, r->end, gainLevel(t), 256);
            NewPanBand(r, r->end, panLevel(t), 256);
            Handle list = GetTypeTrack(kTrackAudio, t, table);
            const uint32_t word = HandleToWord(rec);
            SetHandleSize(list, 4);
            std::memcpy(*list, &word, 4);
        }
        // Every source second in the cache before timing starts.
        std::vector<uint8_t> out(kFrameBytes);
        for (int32_t f = 0; f < kFrames; ++f) {
            int32_t bytes = kFrameBytes;
            MixBlip(f, out.data(), 0x300, kRate, nullptr, kMixAllTracks, &bytes, &tb, table,
                    nullptr, nullptr);
        }
        return table;
    }

    // The clip's block for a frame, as the cache holds it.
    std::vector<int16_t> block(int32_t track, int32_t frame) {
        std::vector<int16_t> b(kFrameSamples * 2);
        const int32_t offset = frame * kFrameBytes;
        GetAudioBlip(clips[size_t(track)], offset / (kRate * 4), offset % (kRate * 4), kFrameBytes,
                     b.data(), 0x300, kRate);
        return b;
    }

    static Library& get() {
        static Library* lib = new Library;
        return *lib;
    }
};

struct Mixer {
    std::vector<uint8_t> bytes;
    explicit Mixer(int32_t n) : bytes(FM_MIXER_RECORD_SIZE(n)) {
        record()->count = n;
        for (int32_t i = 0; i < n; ++i) {
            FmMixerStrip* s = FM_MIXER_STRIP(record(), i);
            s->flags = kMixerModeRead;
            s->gain = s->gainSetting = 1.0f;
            s->pan = s->panSetting = 0.5f;
        }
    }
    FmMixerRecord* record() { return reinterpret_cast<FmMixerRecord*>(bytes.data()); }
};

// Args: tracks, meters (0: the export's meterless call, whose cached mix is
// dropped first so every call mixes).
void BM_MixBlip(benchmark::State& state) {
    Library& lib = Library::get();
    const int32_t tracks = int32_t(state.range(0));
    const bool meters = state.range(1) != 0;
    Handle table = lib.timeline(tracks);
    Mixer mixer(tracks);
    FmMasterMeter master{2, {{1.0f, 0.0f}, {1.0f, 0.0f}}};
    std::vector<uint8_t> out(kFrameBytes);
    InitAudMixerMasterVUHistory();
    int32_t frame = 0;
    for (auto _ : state) {
        if (!meters) PurgeFileFrames(0);
        int32_t bytes = kFrameBytes;
        MixBlip(frame, out.data(), 0x300, kRate, nullptr, kMixAllTracks, &bytes, &lib.tb, table,
                meters ? mixer.record() : nullptr, meters ? &master : nullptr);
        benchmark::DoNotOptimize(out.data());
        frame = (frame + 1) % kFrames;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * tracks * kFrameBytes);
}
BENCHMARK(BM_MixBlip)->ArgsProduct({{1, 4, 16}, {0, 1}});

// The same blocks and gains summed by a plain loop.
void BM_PlainSumPeer(benchmark::State& state) {
    Library& lib = Library::get();
    const int32_t tracks = int32_t(state.range(0));
    lib.timeline(tracks);
    std::vector<std::vector<int16_t>> blocks;  // [frame * tracks + track]
    for (int32_t f = 0; f < kFrames; ++f)
        for (int32_t t = 0; t < tracks; ++t) blocks.push_back(lib.block(t, f));
    std::vector<int32_t> gains;
    for (int32_t t = 0; t < tracks; ++t) gains.push_back(gainLevel(t) * 32);  // 4096 is unity
    std::vector<int32_t> acc(kFrameSamples * 2);
    std::vector<int16_t> out(kFrameSamples * 2);
    int32_t frame = 0;
    for (auto _ : state) {
        std::fill(acc.begin(), acc.end(), 0);
        for (int32_t t = 0; t < tracks; ++t) {
            const int16_t* s = blocks[size_t(frame * tracks + t)].data();
            const int32_t g = gains[size_t(t)];
            for (size_t i = 0; i < acc.size(); ++i) acc[i] += (s[i] * g) >> 8;
        }
        for (size_t i = 0; i < acc.size(); ++i)
            out[i] = int16_t(std::clamp(acc[i], -0x80000, 0x7FFFF) >> 4);
        benchmark::DoNotOptimize(out.data());
        frame = (frame + 1) % kFrames;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * tracks * kFrameBytes);
}
BENCHMARK(BM_PlainSumPeer)->Arg(1)->Arg(4)->Arg(16);

#ifdef REEL_BENCH_AVFILTER
// amix over the same blocks, one frame per source per iteration.
void BM_AmixPeer(benchmark::State& state) {
    Library& lib = Library::get();
    const int32_t tracks = int32_t(state.range(0));
    lib.timeline(tracks);
    std::vector<std::vector<int16_t>> blocks;
    for (int32_t f = 0; f < kFrames; ++f)
        for (int32_t t = 0; t < tracks; ++t) blocks.push_back(lib.block(t, f));

    AVFilterGraph* graph = avfilter_graph_alloc();
    std::vector<AVFilterContext*> sources(static_cast<size_t>(tracks), nullptr);
    AVFilterContext *mix = nullptr, *format = nullptr, *sink = nullptr;
    std::string weights;
    for (int32_t t = 0; t < tracks; ++t)
        weights += (t ? " " : "") + std::to_string(double(gainLevel(t)) / 128.0);
    bool ok = true;
    for (int32_t t = 0; t < tracks && ok; ++t)
        ok = avfilter_graph_create_filter(
                 &sources[size_t(t)], avfilter_get_by_name("abuffer"),
                 ("in" + std::to_string(t)).c_str(),
                 "sample_rate=48000:sample_fmt=s16:channel_layout=stereo:time_base=1/48000",
                 nullptr, graph) >= 0;
    const std::string mixArgs =
        "inputs=" + std::to_string(tracks) + ":normalize=0:duration=longest:weights=" + weights;
    ok = ok &&
         avfilter_graph_create_filter(&mix, avfilter_get_by_name("amix"), "mix", mixArgs.c_str(),
                                      nullptr, graph) >= 0 &&
         avfilter_graph_create_filter(&format, avfilter_get_by_name("aformat"), "fmt",
                                      "sample_fmts=s16", nullptr, graph) >= 0 &&
         avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                      nullptr, graph) >= 0;
    for (int32_t t = 0; t < tracks && ok; ++t)
        ok = avfilter_link(sources[size_t(t)], 0, mix, unsigned(t)) >= 0;
    ok = ok && avfilter_link(mix, 0, format, 0) >= 0 && avfilter_link(format, 0, sink, 0) >= 0 &&
         avfilter_graph_config(graph, nullptr) >= 0;
    if (!ok) {
        avfilter_graph_free(&graph);
        state.SkipWithError("libavfilter: the amix graph could not be built");
        return;
    }
    AVFrame* got = av_frame_alloc();
    int64_t pts = 0;
    int32_t frame = 0;
    int64_t samplesOut = 0;
    for (auto _ : state) {
        for (int32_t t = 0; t < tracks; ++t) {
            AVFrame* in = av_frame_alloc();
            in->format = AV_SAMPLE_FMT_S16;
            av_channel_layout_default(&in->ch_layout, 2);
            in->sample_rate = kRate;
            in->nb_samples = kFrameSamples;
            in->pts = pts;
            av_frame_get_buffer(in, 0);
            std::memcpy(in->data[0], blocks[size_t(frame * tracks + t)].data(), kFrameBytes);
            if (av_buffersrc_add_frame(sources[size_t(t)], in) < 0) {
                av_frame_free(&in);
                state.SkipWithError("libavfilter refused a frame");
                break;
            }
            av_frame_free(&in);
        }
        while (av_buffersink_get_frame(sink, got) >= 0) {
            samplesOut += got->nb_samples;
            benchmark::DoNotOptimize(got->data[0]);
            av_frame_unref(got);
        }
        pts += kFrameSamples;
        frame = (frame + 1) % kFrames;
    }
    av_frame_free(&got);
    avfilter_graph_free(&graph);
    state.counters["samples_out_per_call"] =
        benchmark::Counter(double(samplesOut) / double(std::max<int64_t>(state.iterations(), 1)));
    state.SetBytesProcessed(int64_t(state.iterations()) * tracks * kFrameBytes);
}
BENCHMARK(BM_AmixPeer)->Arg(1)->Arg(4)->Arg(16);
#endif

// ---- reelhost mix --wav against sox -m ----

void put16(FILE* f, uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
}
void put32(FILE* f, uint32_t v) {
    put16(f, uint16_t(v));
    put16(f, uint16_t(v >> 16));
}

bool writeWav(const std::string& path, int32_t seed) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const uint32_t bytes = uint32_t(kRate) * 4 * kSeconds;
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1);
    put16(f, 2);
    put32(f, kRate);
    put32(f, kRate * 4);
    put16(f, 4);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, bytes);
    std::vector<int16_t> s(size_t(kRate) * 2);
    for (int32_t sec = 0; sec < kSeconds; ++sec) {
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = pattern(int64_t(sec) * kRate + int64_t(i / 2), int32_t(i % 2), seed);
        std::fwrite(s.data(), 2, s.size(), f);
    }
    return std::fclose(f) == 0;
}

std::string rational(double value) {
    return "{\"OTIO_SCHEMA\": \"RationalTime.1\", \"rate\": 25.0, \"value\": " +
           std::to_string(value) + "}";
}

// 16 tracks, each a WAV file at its constant gain.
bool writeTimeline(const std::string& dir, int32_t tracks) {
    std::string json =
        "{\"OTIO_SCHEMA\": \"Timeline.1\", \"name\": \"mix\", \"tracks\": {\"OTIO_SCHEMA\": "
        "\"Stack.1\", \"children\": [";
    for (int32_t t = 0; t < tracks; ++t) {
        const std::string level = std::to_string(gainLevel(t));
        json += std::string(t ? ", " : "") + "{\"OTIO_SCHEMA\": \"Track.1\", \"name\": \"a" +
                std::to_string(t) +
                "\", \"kind\": \"Audio\", \"metadata\": {\"reelcore\": {\"type\": \"audio\"}}, "
                "\"children\": [{\"OTIO_SCHEMA\": \"Clip.1\", \"name\": \"w" +
                std::to_string(t) + "\", \"metadata\": {\"reelcore\": {\"gain\": [[0.0, " + level +
                "], [250.0, " + level +
                "]]}}, \"source_range\": {\"OTIO_SCHEMA\": \"TimeRange.1\", \"duration\": " +
                rational(kSeconds * kFps) + ", \"start_time\": " + rational(0) +
                "}, \"media_reference\": {\"OTIO_SCHEMA\": \"ExternalReference.1\", "
                "\"target_url\": \"w" +
                std::to_string(t) + ".wav\"}}]}";
        if (!writeWav(dir + "/w" + std::to_string(t) + ".wav", t + 1)) return false;
    }
    json += "]}}\n";
    FILE* f = std::fopen((dir + "/mix.otio").c_str(), "wb");
    if (!f) return false;
    std::fputs(json.c_str(), f);
    return std::fclose(f) == 0;
}

const std::string& execDir() {
    static std::string dir;
    if (dir.empty()) {
        dir = scratch("exec");
        std::system(("mkdir -p " + dir).c_str());
        if (!writeTimeline(dir, 16)) dir = "-";
    }
    return dir;
}

bool onPath(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs the program with the arguments, output to /dev/null; its exit status.
int execute(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_ReelhostMixWav(benchmark::State& state) {
#ifdef REEL_BENCH_REELHOST
    const std::string& dir = execDir();
    if (dir == "-" || access(REEL_BENCH_REELHOST, X_OK) != 0) {
        state.SkipWithError("reelhost or the WAV files are missing");
        return;
    }
    for (auto _ : state) {
        if (execute({REEL_BENCH_REELHOST, "mix", dir + "/mix.otio", "--wav", dir + "/ours.wav"}) !=
            0) {
            state.SkipWithError("reelhost mix failed");
            return;
        }
    }
#else
    state.SkipWithError("reelhost is not built");
#endif
}
BENCHMARK(BM_ReelhostMixWav)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SoxMixPeer(benchmark::State& state) {
    const std::string& dir = execDir();
    if (dir == "-" || !onPath("sox")) {
        state.SkipWithError("sox is not installed");
        return;
    }
    std::vector<std::string> args = {"sox", "-D", "-m"};
    for (int32_t t = 0; t < 16; ++t) {
        args.push_back("-v");
        args.push_back(std::to_string(double(gainLevel(t)) / 128.0));
        args.push_back(dir + "/w" + std::to_string(t) + ".wav");
    }
    args.push_back(dir + "/peer.wav");
    for (auto _ : state) {
        if (execute(args) != 0) {
            state.SkipWithError("sox failed");
            return;
        }
    }
}
BENCHMARK(BM_SoxMixPeer)->UseRealTime()->Unit(benchmark::kMillisecond);

// ---- Meters ----

std::vector<std::vector<int16_t>>& meterBlocks() {
    static std::vector<std::vector<int16_t>> blocks;
    if (blocks.empty())
        for (int32_t f = 0; f < kFrames; ++f) blocks.push_back(Library::get().block(0, f));
    return blocks;
}

void BM_ComputeBufferVU(benchmark::State& state) {
    const auto& blocks = meterBlocks();
    SetAudMasterVUDelay(nullptr);
    FmMasterMeter master{2, {{1.0f, 0.0f}, {1.0f, 0.0f}}};
    int32_t frame = 0;
    for (auto _ : state) {
        ComputeBufferVU(&master, blocks[size_t(frame)].data(), 0x300, kFrameBytes);
        benchmark::DoNotOptimize(master);
        frame = (frame + 1) % kFrames;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrameBytes);
}
BENCHMARK(BM_ComputeBufferVU);

// The largest positive sample of each channel, scaled.
void BM_PlainMaxPeer(benchmark::State& state) {
    const auto& blocks = meterBlocks();
    float levels[2] = {0, 0};
    int32_t frame = 0;
    for (auto _ : state) {
        const int16_t* s = blocks[size_t(frame)].data();
        int32_t left = 0, right = 0;
        for (int32_t i = 0; i < kFrameSamples; ++i) {
            left = std::max<int32_t>(left, s[2 * i]);
            right = std::max<int32_t>(right, s[2 * i + 1]);
        }
        levels[0] = float(left) / 32767.0f;
        levels[1] = float(right) / 32767.0f;
        benchmark::DoNotOptimize(levels);
        frame = (frame + 1) % kFrames;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrameBytes);
}
BENCHMARK(BM_PlainMaxPeer);

}  // namespace

BENCHMARK_MAIN();
