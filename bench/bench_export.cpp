// The export host's cost per frame and for a whole timeline, each beside its
// peer doing the same work in the same iteration (ours, then the peer, the
// order swapping every iteration), so a change in the machine's load hits
// both sides. The reported time is ours; the counters give the peer's time
// per iteration and the ratio ours ÷ peer.
//
// Per frame: 300 cached frames (a held frame of bars: the frame cache serves
// every frame after the first, so the timeline's render is not what is
// measured) exported to AVI and WAV through the sample exporters, beside
// libavformat muxing the same frames in-process (rawvideo AVI, PCM WAV); a
// PNG sequence beside libavcodec's PNG encoder at compression level 0.
// Whole timeline: `reelhost export` of the demo timeline beside `melt`
// rendering the same kind of timeline to a rawvideo AVI.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "reelcore/clips.h"
#include "reelcore/compiler.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/render.h"
#include "reelcore/resources.h"
#include "reelcore/settings.h"
#include "reelcore/tracks.h"

#ifdef REEL_BENCH_AVFORMAT
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}
#endif

namespace {

constexpr int32_t kFrames = 300;
constexpr int32_t kRate = 30;
constexpr int32_t kAudioRate = 48000;
constexpr int32_t kPngFrames = 30;

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

// Outputs go to memory (/dev/shm) when the system has it: a 1080p movie is
// 2.4 GB, and the page cache writing it back to disk would swamp the work
// per frame on both sides.
std::string scratch(const std::string& name) {
    static const std::string dir = [] {
        struct stat st {};
        if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0)
            return std::string("/dev/shm");
        return std::string("/tmp");
    }();
    return dir + "/reel-bench-export-" + std::to_string(getpid()) + "-" + name;
}

FSSpec specOf(const std::string& path) {
    FSSpec spec{};
    std::strncpy(spec.name, path.c_str(), sizeof spec.name - 1);
    return spec;
}

using Clock = std::chrono::steady_clock;
using Side = std::function<bool()>;

// Runs ours and the peer once per iteration. Without a peer ours runs alone
// and the benchmark says so.
void paired(benchmark::State& state, const Side& ours, const Side& peer, const char* peerName) {
    static bool peerFirst = false;
    double oursTotal = 0, peerTotal = 0;
    if (!peer) state.SetLabel(std::string(peerName) + " not installed: ours alone");
    for (auto _ : state) {
        double took[2] = {0, 0};  // ours, peer
        bool ok = true;
        for (int k = 0; k < 2 && ok; ++k) {
            const bool runPeer = (k == 0) == peerFirst;
            if (runPeer && !peer) continue;
            const auto start = Clock::now();
            ok = runPeer ? peer() : ours();
            took[runPeer] = std::chrono::duration<double>(Clock::now() - start).count();
        }
        if (!ok) {
            state.SkipWithError("an export failed");
            break;
        }
        peerFirst = !peerFirst;
        state.SetIterationTime(took[0]);
        oursTotal += took[0];
        peerTotal += took[1];
    }
    if (peer && peerTotal > 0 && state.iterations() > 0) {
        state.counters["peer_ms"] =
            benchmark::Counter(peerTotal * 1000, benchmark::Counter::kAvgIterations);
        state.counters["ratio"] = oursTotal / peerTotal;
    }
}

// The library as reelhost starts it, with the importer samples (for the
// synthetic bars) and the export samples loaded from their plug-in folders.
struct Library {
    Library() {
        SetupGlobals();
        InitMemoryMgr();
        InitResMgr(nullptr);
        InitFMem(256u << 20);
        InitFrameQueue();
        SetAGlobal(kSlotScreenDepth, 32);
        pwInit();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        InitProjectSettings();
        for (const char* folder : {REEL_MEDIA_PLUGINS, REEL_EXPORT_PLUGINS}) {
            SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(folder));
            AddPlugins();
        }
        SetAGlobal(kSlotPluginFolder, 0);
    }
    static Library& get() {
        static Library* lib = new Library;
        return *lib;
    }
    // A timeline of one clip of bars of the output size, its first frame
    // held for kFrames frames.
    void timelineOf(int32_t w, int32_t h) {
        const std::string path = scratch("bars" + std::to_string(w) + ".synth");
        std::ofstream(path) << "kind bars\nwidth " << w << "\nheight " << h << "\nrate " << kRate
                            << "\nframes " << kFrames << "\n";
        const int16_t file = AddFile(path.c_str(), 0, 0, 0);
        const TDB tb{0, kRate, 1};
        int32_t times[kClipFixedMarkers];
        std::fill(std::begin(times), std::end(times), -1);
        times[0] = 0;
        times[1] = kFrames - 1;
        const int32_t clip = AddClip(file, times, &tb, kClipVideo);
        Handle item = NewHandleClear(sizeof(TrackItemRec));
        auto* r = reinterpret_cast<TrackItemRec*>(*item);
        r->clipID = clip;
        r->clip = HandleToWord(FindClip(clip));
        r->start = 0;
        r->end = kFrames;
        r->flags = kItemHoldOn | kItemHoldIn;
        Handle list = NewHandle(4);
        const uint32_t word = HandleToWord(item);
        std::memcpy(*list, &word, 4);
        Handle table = NewHandle(0);
        AddTrackItem(list, kTrackTypeVideoAB, table);
        CompilerSetTimeline(table);
    }
    // Export settings of a kind aimed at an exporter, the whole timeline.
    static PsetBlock& aim(int32_t kind, OSType type, OSType classID, int32_t w, int32_t h) {
        PsetBlock& s = *psetGetBlock(psetGetExportSettings(kind));
        s.general.filetype = type;
        s.general.classid = classID;
        s.general.range = 0;
        s.general.scale = s.video.scale = kRate;
        s.general.samplesize = s.video.samplesize = 1;
        s.video.width = w;
        s.video.height = h;
        s.video.depth = 32;
        s.general.doaudio = 0;
        s.audio.audrate = kAudioRate;
        s.audio.audsamplesize = 1;
        s.audio.audstereo = 1;
        s.audio.interleave = 3;  // the default: audio a second at a time
        return s;
    }
};

// The first frame of the bars as the library draws them (B, G, R, A): what
// the peers are given.
std::vector<uint8_t> framePixels(int32_t w, int32_t h) {
    std::vector<uint8_t> pixels(size_t(w) * size_t(h) * 4, 0);
    const FmRect r{0, 0, w, h};
    PPixHand pix = Test_GetFrame(0, &r, CompilerGetTimeline());
    if (!pix) return pixels;
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(&pixels[size_t(y) * size_t(w) * 4],
                    ppixGetPixels(pix) + size_t(y) * size_t(ppixGetRowbytes(pix)), size_t(w) * 4);
    ppixDispose(pix);
    return pixels;
}

#ifdef REEL_BENCH_AVFORMAT
// libavformat's muxer writing kFrames packets of one stream: raw frames or PCM.
bool mux(const char* format, const std::string& out, bool video, int32_t w, int32_t h,
         const std::vector<uint8_t>& payload) {
    AVFormatContext* ctx = nullptr;
    if (avformat_alloc_output_context2(&ctx, nullptr, format, out.c_str()) < 0) return false;
    AVStream* st = avformat_new_stream(ctx, nullptr);
    if (video) {
        st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
        st->codecpar->width = w;
        st->codecpar->height = h;
        st->codecpar->format = AV_PIX_FMT_BGRA;
        st->codecpar->bits_per_coded_sample = 32;
        st->time_base = AVRational{1, kRate};
    } else {
        st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
        st->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
        st->codecpar->sample_rate = kAudioRate;
        av_channel_layout_default(&st->codecpar->ch_layout, 2);
        st->codecpar->format = AV_SAMPLE_FMT_S16;
        st->codecpar->bits_per_coded_sample = 16;
        st->codecpar->block_align = 4;
        st->codecpar->bit_rate = int64_t(kAudioRate) * 4 * 8;
        st->time_base = AVRational{1, kAudioRate};
    }
    bool ok = avio_open(&ctx->pb, out.c_str(), AVIO_FLAG_WRITE) >= 0 &&
              avformat_write_header(ctx, nullptr) >= 0;
    const int64_t samplesPerFrame = kAudioRate / kRate;
    AVPacket* pkt = av_packet_alloc();
    for (int32_t f = 0; ok && f < kFrames; ++f) {
        pkt->data = const_cast<uint8_t*>(payload.data());
        pkt->size = int(payload.size());
        pkt->stream_index = 0;
        pkt->pts = pkt->dts = video ? f : f * samplesPerFrame;
        pkt->duration = video ? 1 : samplesPerFrame;
        pkt->flags = AV_PKT_FLAG_KEY;
        ok = av_write_frame(ctx, pkt) >= 0;
    }
    av_packet_free(&pkt);
    ok = av_write_trailer(ctx) >= 0 && ok;
    avio_closep(&ctx->pb);
    avformat_free_context(ctx);
    return ok;
}

// libavcodec's PNG encoder at compression level 0 (its default prediction,
// none), one numbered file per frame. Its encoder takes no B, G, R, A, so
// the frame is converted to R, G, B, A once, before timing.
struct PngPeer {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* pkt = nullptr;
    PngPeer(int32_t w, int32_t h, const std::vector<uint8_t>& bgra) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
        ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
        if (!ctx) return;
        ctx->width = w;
        ctx->height = h;
        ctx->pix_fmt = AV_PIX_FMT_RGBA;
        ctx->time_base = AVRational{1, kRate};
        ctx->compression_level = 0;
        if (avcodec_open2(ctx, codec, nullptr) < 0) {
            avcodec_free_context(&ctx);
            return;
        }
        frame = av_frame_alloc();
        frame->width = w;
        frame->height = h;
        frame->format = AV_PIX_FMT_RGBA;
        av_frame_get_buffer(frame, 0);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* s = &bgra[(size_t(h - 1 - y) * size_t(w) + size_t(x)) * 4];
                uint8_t* d = frame->data[0] + y * frame->linesize[0] + x * 4;
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
                d[3] = s[3];
            }
        pkt = av_packet_alloc();
    }
    ~PngPeer() {
        av_packet_free(&pkt);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    }
    bool run(const std::string& base) {
        for (int32_t f = 1; f <= kPngFrames; ++f) {
            frame->pts = f;
            if (avcodec_send_frame(ctx, frame) < 0) return false;
            while (avcodec_receive_packet(ctx, pkt) == 0) {
                char name[16];
                std::snprintf(name, sizeof name, "%02d.png", int(f));
                FILE* file = std::fopen((base + name).c_str(), "wb");
                if (!file) return false;
                std::fwrite(pkt->data, 1, size_t(pkt->size), file);
                std::fclose(file);
                av_packet_unref(pkt);
            }
        }
        return true;
    }
};
#endif

void BM_ExportAvi(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    Library::get().timelineOf(w, h);
    Library::aim(kPsetKindMovie, cc("AVIV"), cc("????"), w, h);
    const std::string out = scratch("ours.avi"), peerOut = scratch("peer.avi");
    const FSSpec spec = specOf(out);
    Side peer;
#ifdef REEL_BENCH_AVFORMAT
    const std::vector<uint8_t> pixels = framePixels(w, h);
    peer = [&] { return mux("avi", peerOut, true, w, h, pixels); };
#endif
    paired(
        state, [&] { return CompilerDoCompile(&spec, 0, 0, 0) == 0; }, peer, "libavformat");
    std::remove(out.c_str());
    std::remove(peerOut.c_str());
    state.SetItemsProcessed(state.iterations() * kFrames);
}

void BM_ExportWav(benchmark::State& state) {
    Library::get().timelineOf(64, 48);
    PsetBlock& s = Library::aim(kPsetKindAudio, cc("WAVE"), cc("????"), 64, 48);
    s.general.doaudio = 1;
    const std::string out = scratch("ours.wav"), peerOut = scratch("peer.wav");
    const FSSpec spec = specOf(out);
    Side peer;
#ifdef REEL_BENCH_AVFORMAT
    // The timeline has no sound: both write silence.
    const std::vector<uint8_t> silence(size_t(kAudioRate / kRate) * 4, 0);
    peer = [&] { return mux("wav", peerOut, false, 0, 0, silence); };
#endif
    paired(
        state, [&] { return CompilerExportAudio(&spec, 0, 0, 0) == 0; }, peer, "libavformat");
    std::remove(out.c_str());
    std::remove(peerOut.c_str());
    state.SetItemsProcessed(state.iterations() * kFrames);
}

// Range 2 is exp-png's compression level (-1: its default, the library's
// encoder); the peer always stores at level 0.
void BM_ExportPng(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    const int32_t level = int32_t(state.range(2));
    Library::get().timelineOf(w, h);
    PsetBlock& s = Library::aim(kPsetKindMovie, cc("PNG "), cc("PSEQ"), w, h);
    s.general.range = 1;
    if (s.general.compilerprefs) DisposePtr(s.general.compilerprefs);
    s.general.compilerprefs = NewPtr(8);
    const uint32_t prefs[2] = {cc("PNGS"), uint32_t(level)};
    std::memcpy(s.general.compilerprefs, prefs, sizeof prefs);
    const std::string out = scratch("ours.png"), peerBase = scratch("peer");
    const FSSpec spec = specOf(out);
    Side peer;
#ifdef REEL_BENCH_AVFORMAT
    PngPeer png(w, h, framePixels(w, h));
    if (png.ctx) peer = [&] { return png.run(peerBase); };
#endif
    paired(
        state, [&] { return CompilerDoCompile(&spec, 0, kPngFrames, 0) == 0; }, peer,
        "libavcodec's PNG encoder");
    const std::string stem = out.substr(0, out.size() - 4);
    for (int32_t i = 1; i <= kPngFrames; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d.png", int(i));
        std::remove((stem + number).c_str());
        std::remove((peerBase + number).c_str());
    }
    DisposePtr(s.general.compilerprefs);
    s.general.compilerprefs = nullptr;
    state.SetItemsProcessed(state.iterations() * kPngFrames);
}

// The demo timeline as `melt` reads it: the same length, size and rate;
// bars on A, a moving picture on B dissolving in over 24 frames from 113,
// the moving picture superimposed at up to half opacity over frames 50 to 99
// with a fade in and out, and a 440 Hz tone mixed in.
constexpr const char* kMeltDemo = R"(<?xml version="1.0" encoding="utf-8"?>
<mlt>
  <profile width="320" height="240" frame_rate_num="25" frame_rate_den="1" progressive="1"
           sample_aspect_num="1" sample_aspect_den="1" display_aspect_num="4" display_aspect_den="3"/>
  <producer id="bars" out="136"><property name="mlt_service">frei0r.test_pat_B</property></producer>
  <producer id="disc" out="136"><property name="mlt_service">frei0r.lissajous0r</property></producer>
  <producer id="over" out="49"><property name="mlt_service">frei0r.lissajous0r</property></producer>
  <producer id="tone" out="249"><property name="mlt_service">tone</property>
    <property name="frequency">440</property></producer>
  <playlist id="a"><entry producer="bars" in="0" out="136"/><blank length="113"/></playlist>
  <playlist id="b"><blank length="113"/><entry producer="disc" in="0" out="136"/></playlist>
  <playlist id="s"><blank length="50"/><entry producer="over" in="0" out="49"/></playlist>
  <playlist id="t"><entry producer="tone" in="0" out="249"/></playlist>
  <tractor id="main" out="249">
    <track producer="a"/><track producer="b"/><track producer="s"/><track producer="t"/>
    <transition in="113" out="136"><property name="mlt_service">luma</property>
      <property name="a_track">0</property><property name="b_track">1</property></transition>
    <transition in="50" out="99"><property name="mlt_service">composite</property>
      <property name="a_track">0</property><property name="b_track">2</property>
      <property name="geometry">0=0/0:100%x100%:0;10=0/0:100%x100%:50;40=0/0:100%x100%:50;49=0/0:100%x100%:0</property></transition>
    <transition in="0" out="249"><property name="mlt_service">mix</property>
      <property name="a_track">0</property><property name="b_track">3</property>
      <property name="always_active">1</property><property name="combine">1</property></transition>
  </tractor>
</mlt>
)";

// `reelhost export` of the demo timeline (250 frames of 320 x 240 at 25 fps,
// 24-bit, with the mixed tone at 44.1 kHz) against `melt` writing the same
// streams (rawvideo bgr24, pcm_s16le) from the timeline above, two render
// threads each (reelhost's processor pool has one per core here).
void BM_ExportDemoTimeline(benchmark::State& state) {
    const std::string dir = scratch("demo");
    const std::string reelhost = REEL_BENCH_REELHOST;
    if (std::system((reelhost + " timeline demo " + dir + " >/dev/null 2>&1").c_str()) != 0) {
        state.SkipWithError("reelhost could not write the demo timeline");
        return;
    }
    const std::string ours = reelhost + " export " + dir + "/demo.otio " + dir +
                             "/ours.avi --size 320x240 >/dev/null 2>&1";
    Side peer;
#ifdef REEL_BENCH_MELT
    std::ofstream(dir + "/demo.mlt") << kMeltDemo;
    const std::string melt = std::string(REEL_BENCH_MELT) + " -quiet " + dir +
                             "/demo.mlt -consumer avformat:" + dir +
                             "/melt.avi vcodec=rawvideo pix_fmt=bgr24 acodec=pcm_s16le ar=44100 "
                             "ac=2 real_time=-2 >/dev/null 2>&1";
    peer = [&] { return std::system(melt.c_str()) == 0; };
#endif
    paired(
        state, [&] { return std::system(ours.c_str()) == 0; }, peer, "melt");
    std::system(("rm -rf " + dir).c_str());
    state.SetItemsProcessed(state.iterations() * 250);
}

BENCHMARK(BM_ExportAvi)
    ->Args({720, 480})
    ->Args({1920, 1080})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportWav)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPng)
    ->Args({720, 480, 0})
    ->Args({720, 480, -1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportDemoTimeline)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
