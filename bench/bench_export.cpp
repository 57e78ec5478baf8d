// The export host's cost per frame: 300 cached frames (a held frame of bars,
// rendered by EffectFrame from the frame cache) exported to AVI, WAV and PNG
// sequences through the sample exporters, beside FFmpeg doing the
// same work in-process (its AVI and WAV muxers on the same frames and audio,
// its PNG encoder at compression level 0) and, when installed, `melt`
// rendering the same number of frames to a rawvideo AVI.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugins/export_host.h"
#include "plugins/type_tables.h"
#include "reelcore/framecache.h"
#include "reelcore/importers.h"
#include "reelcore/plugins.h"
#include "reelcore/render.h"
#include "reelcore/clips.h"
#include "reelcore/compiler.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/resources.h"
#include "reelcore/settings.h"
#include "reelcore/tracks.h"

#ifdef REEL_BENCH_AVFORMAT
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}
#endif

// The synthetic importer, built in: the timeline shows its bars.
#define RC_SYNTH_ENTRY benchSynthEntry
#include "plugins/samples/synth/synth_importer.cpp"
#undef RC_SYNTH_ENTRY

namespace {

constexpr int32_t kFrames = 300;
constexpr int32_t kRate = 30;
constexpr int32_t kAudioRate = 48000;

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

std::string scratch(const std::string& name) {
    return "/tmp/reel-bench-export-" + std::to_string(getpid()) + "-" + name;
}

// The peers' frame: the first frame of the same bars, as the library draws
// them (B, G, R, A).
std::vector<uint8_t> gCached;

void cacheFrame(int32_t w, int32_t h) {
    gCached.assign(size_t(w) * size_t(h) * 4, 0);
    const FmRect r{0, 0, w, h};
    PPixHand pix = Test_GetFrame(0, &r, CompilerGetTimeline());
    if (!pix) return;
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(&gCached[size_t(y) * size_t(w) * 4],
                    ppixGetPixels(pix) + size_t(y) * size_t(ppixGetRowbytes(pix)), size_t(w) * 4);
    ppixDispose(pix);
}

// The library with the three sample exporters and the synthetic importer.
// The timeline holds one clip for 300 frames, its first frame held, so the
// frame cache serves every frame after the first.
struct Library {
    Handle timeline = nullptr;
    std::vector<Handle> owned;
    Library() {
        SetupGlobals();
        InitMemoryMgr();
        InitResMgr(nullptr);
        InitFMem(256u << 20);
        InitFrameQueue();
        pwInit();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        InitProjectSettings();
        rc::plugins::ensureTypeTables();
        FmAddBuiltinImporter(cc("SYNT"), benchSynthEntry);
        Add1XREF(cc("SYNT"), cc("SYNT"), cc("SYNT"), 0);
        for (const char* path : {REEL_EXP_AVI, REEL_EXP_WAV, REEL_EXP_PNG}) {
            const int16_t id = AddFile(path, 0, 0, cc("CMPM"));
            rc::exporthost::startModules(&id, 1);
        }
    }
    // A timeline of held bars of the output size.
    void timelineOf(int32_t w, int32_t h) {
        const std::string path = scratch("bars" + std::to_string(w) + ".synth");
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fprintf(f, "kind bars\nwidth %d\nheight %d\nrate %d\nframes %d\n", int(w), int(h),
                     int(kRate), int(kFrames));
        std::fclose(f);
        const int16_t file = AddFile(path.c_str(), 0, 0, cc("SYNT"));
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
        owned.push_back(item);
        owned.push_back(list);
        timeline = NewHandle(0);
        AddTrackItem(list, kTrackTypeVideoAB, timeline);
        CompilerSetTimeline(timeline);
    }
    static Library& get() {
        static Library* lib = new Library;
        return *lib;
    }
    static void aim(int32_t kind, OSType type, OSType classID, int32_t w, int32_t h,
                    int32_t depth) {
        PsetBlock& s = *psetGetBlock(psetGetExportSettings(kind));
        s.general.filetype = type;
        s.general.classid = classID;
        s.general.range = 0;
        s.general.scale = s.video.scale = kRate;
        s.general.samplesize = s.video.samplesize = 1;
        s.video.width = w;
        s.video.height = h;
        s.video.depth = depth;
        s.general.doaudio = 0;
        s.audio.audrate = kAudioRate;
        s.audio.audsamplesize = 1;
        s.audio.audstereo = 1;
        s.audio.interleave = 1;
    }
};

void BM_ExportAviHost(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    Library::get().timelineOf(w, h);
    Library::aim(kPsetKindMovie, cc("AVIV"), cc("????"), w, h, 32);
    const std::string out = scratch("host.avi");
    FSSpec spec{};
    std::strncpy(spec.name, out.c_str(), sizeof spec.name - 1);
    for (auto _ : state) {
        if (CompilerDoCompile(&spec, 0, 0, 0) != 0) state.SkipWithError("export failed");
    }
    std::remove(out.c_str());
    state.SetItemsProcessed(state.iterations() * kFrames);
}

void BM_ExportWavHost(benchmark::State& state) {
    Library::get().timelineOf(64, 48);
    Library::aim(kPsetKindAudio, cc("WAVE"), cc("????"), 64, 48, 32);
    const std::string out = scratch("host.wav");
    FSSpec spec{};
    std::strncpy(spec.name, out.c_str(), sizeof spec.name - 1);
    for (auto _ : state) {
        if (CompilerExportAudio(&spec, 0, 0, 0) != 0) state.SkipWithError("export failed");
    }
    std::remove(out.c_str());
    state.SetItemsProcessed(state.iterations() * kFrames);
}

constexpr int32_t kPngFrames = 30;

void BM_ExportPngHost(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    Library::get().timelineOf(w, h);
    Library::aim(kPsetKindMovie, cc("PNG "), cc("PSEQ"), w, h, 32);
    PsetBlock& s = *psetGetBlock(psetGetExportSettings(kPsetKindMovie));
    s.general.range = 1;
    const std::string out = scratch("host.png");
    FSSpec spec{};
    std::strncpy(spec.name, out.c_str(), sizeof spec.name - 1);
    for (auto _ : state) {
        if (CompilerDoCompile(&spec, 0, kPngFrames, 0) != 0) state.SkipWithError("export failed");
    }
    for (int32_t i = 1; i <= kPngFrames; ++i)
        std::remove(rc::exporthost::numberedName(out, "png", i, kPngFrames + 1).c_str());
    state.SetItemsProcessed(state.iterations() * kPngFrames);
}

#ifdef REEL_BENCH_AVFORMAT
// FFmpeg's muxer writing the same packets: one stream, raw frames or PCM.
void mux(benchmark::State& state, const char* format, const std::string& out, AVCodecID codec,
         bool video, int32_t w, int32_t h, const std::vector<uint8_t>& payload) {
    for (auto _ : state) {
        AVFormatContext* ctx = nullptr;
        avformat_alloc_output_context2(&ctx, nullptr, format, out.c_str());
        AVStream* st = avformat_new_stream(ctx, nullptr);
        st->codecpar->codec_id = codec;
        if (video) {
            st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
            st->codecpar->width = w;
            st->codecpar->height = h;
            st->codecpar->format = AV_PIX_FMT_BGRA;
            st->codecpar->bits_per_coded_sample = 32;
            st->time_base = AVRational{1, kRate};
        } else {
            st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
            st->codecpar->sample_rate = kAudioRate;
            av_channel_layout_default(&st->codecpar->ch_layout, 2);
            st->codecpar->format = AV_SAMPLE_FMT_S16;
            st->codecpar->bits_per_coded_sample = 16;
            st->codecpar->block_align = 4;
            st->codecpar->bit_rate = int64_t(kAudioRate) * 4 * 8;
            st->time_base = AVRational{1, kAudioRate};
        }
        avio_open(&ctx->pb, out.c_str(), AVIO_FLAG_WRITE);
        if (avformat_write_header(ctx, nullptr) < 0) {
            state.SkipWithError("no header");
            break;
        }
        const int64_t samplesPerFrame = kAudioRate / kRate;
        for (int32_t f = 0; f < kFrames; ++f) {
            AVPacket* pkt = av_packet_alloc();
            pkt->data = const_cast<uint8_t*>(payload.data());
            pkt->size = int(payload.size());
            pkt->stream_index = 0;
            pkt->pts = pkt->dts = video ? f : f * samplesPerFrame;
            pkt->duration = video ? 1 : samplesPerFrame;
            pkt->flags = AV_PKT_FLAG_KEY;
            av_write_frame(ctx, pkt);
            av_packet_free(&pkt);
        }
        av_write_trailer(ctx);
        avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
    std::remove(out.c_str());
    state.SetItemsProcessed(state.iterations() * kFrames);
}

void BM_ExportAviFfmpeg(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    Library::get().timelineOf(w, h);
    cacheFrame(w, h);
    mux(state, "avi", scratch("peer.avi"), AV_CODEC_ID_RAWVIDEO, true, w, h, gCached);
}

void BM_ExportWavFfmpeg(benchmark::State& state) {
    const std::vector<uint8_t> silence(size_t(kAudioRate / kRate) * 4, 0);
    mux(state, "wav", scratch("peer.wav"), AV_CODEC_ID_PCM_S16LE, false, 0, 0, silence);
}

// FFmpeg's PNG encoder at compression level 0, each frame written to a file.
void BM_ExportPngFfmpeg(benchmark::State& state) {
    const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
    Library::get().timelineOf(w, h);
    cacheFrame(w, h);
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = w;
    ctx->height = h;
    ctx->pix_fmt = AV_PIX_FMT_RGBA;  // its encoder takes no BGRA; converted before timing
    ctx->time_base = AVRational{1, kRate};
    ctx->compression_level = 0;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        state.SkipWithError("no PNG encoder");
        return;
    }
    AVFrame* frame = av_frame_alloc();
    frame->width = w;
    frame->height = h;
    frame->format = AV_PIX_FMT_RGBA;
    av_frame_get_buffer(frame, 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* s = &gCached[(size_t(y) * size_t(w) + size_t(x)) * 4];
            uint8_t* d = frame->data[0] + y * frame->linesize[0] + x * 4;
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = s[3];
        }
    AVPacket* pkt = av_packet_alloc();
    const std::string out = scratch("peer.png");
    for (auto _ : state) {
        for (int32_t f = 0; f < kPngFrames; ++f) {
            frame->pts = f;
            avcodec_send_frame(ctx, frame);
            while (avcodec_receive_packet(ctx, pkt) == 0) {
                FILE* file = std::fopen(out.c_str(), "wb");
                std::fwrite(pkt->data, 1, size_t(pkt->size), file);
                std::fclose(file);
                av_packet_unref(pkt);
            }
        }
    }
    std::remove(out.c_str());
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    state.SetItemsProcessed(state.iterations() * kPngFrames);
}
#endif

#ifdef REEL_BENCH_MELT
// melt rendering the same number of frames of one colour to a rawvideo AVI.
void BM_ExportAviMelt(benchmark::State& state) {
    const std::string out = scratch("melt.avi");
    const std::string command =
        std::string(REEL_BENCH_MELT) + " -quiet color:black out=" + std::to_string(kFrames - 1) +
        " -consumer avformat:" + out + " vcodec=rawvideo width=720 height=480 >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("melt failed");
    std::remove(out.c_str());
    state.SetItemsProcessed(state.iterations() * kFrames);
}
BENCHMARK(BM_ExportAviMelt)->Unit(benchmark::kMillisecond)->Iterations(2);
#endif

BENCHMARK(BM_ExportAviHost)->Args({720, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportWavHost)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPngHost)->Args({720, 480})->Unit(benchmark::kMillisecond);
#ifdef REEL_BENCH_AVFORMAT
BENCHMARK(BM_ExportAviFfmpeg)->Args({720, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportWavFfmpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportPngFfmpeg)->Args({720, 480})->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
