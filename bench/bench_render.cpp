// EffectFrame at 1920 x 1080 with its sources in the frame cache (two
// stills: bars and a disc, drawn by the synthetic importer and read back by
// the still importer), three timelines:
//   0  A only;
//   1  A dissolving into B (fx-dissolve at 50 %), A tinted (vf-tint);
//   2  as 1, with the disc green-keyed and moving (zoom 50 %, turned 45
//      degrees at this frame) on a superimpose track;
// each with 1 and 2 processors in the pool. Peers on the same pictures:
// a libavfilter graph doing the same operations in-process (BGRA; copy for
// timeline 0; colorchannelmixer for the tint and blend for the dissolve;
// then colorkey, scale, rotate and overlay for the superimpose) with the
// same number of threads, and `melt` rendering the equivalent timeline (its
// time for 60 frames less its time for 10, per frame).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reelcore/clips.h"
#include "reelcore/depthcon.h"
#include "reelcore/effects.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/keyframes.h"
#include "reelcore/keying.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/motion.h"
#include "reelcore/mp.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/render.h"
#include "reelcore/resources.h"
#include "reelcore/tracks.h"

#ifdef REEL_BENCH_AVFILTER
extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}
#endif

namespace {

constexpr int32_t kW = 1920, kH = 1080;
constexpr int32_t kLength = 100, kAt = 50;  // frames; the frame rendered
constexpr TDB kBase{0, 25, 1};
// The tint: 40 % towards orange (R 255, G 160, B 64).
constexpr int32_t kTintAmount = 40;
constexpr uint8_t kTint[3] = {255, 160, 64};

constexpr OSType cc(const char (&s)[5]) {
    return OSType(uint8_t(s[0])) << 24 | OSType(uint8_t(s[1])) << 16 | OSType(uint8_t(s[2])) << 8 |
           OSType(uint8_t(s[3]));
}

std::string scratchPath(const std::string& name) {
    return "/tmp/reel-bench-render-" + std::to_string(getpid()) + "-" + name;
}

// A picture's rows top to bottom as B, G, R, A bytes.
std::vector<uint8_t> bytesOf(PPixHand pix) {
    std::vector<uint8_t> out(size_t(kW) * kH * 4);
    const int32_t rb = ppixGetRowbytes(pix);
    for (int32_t y = 0; y < kH; ++y)
        std::memcpy(&out[size_t(y) * kW * 4], ppixGetPixels(pix) + int64_t(rb) * (kH - 1 - y),
                    size_t(kW) * 4);
    return out;
}

struct Library {
    bool ok = false;
    std::string error;
    std::string barsPng, discPng;
    std::vector<uint8_t> bars, disc;  // the peers' copies of the stills
    int16_t barsFile = 0, discFile = 0, dissolve = 0, tint = 0;
    Handle tables[3] = {};
    std::vector<Handle> owned;

    Library() {
        SetupGlobals();
        InitMemoryMgr();
        InitResMgr(nullptr);
        InitFMem(512u << 20);
        InitFrameQueue();
        pwInit();
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        InitClipQueue();
        const std::string media = REEL_MEDIA_SAMPLES_DIR;
        SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(media.c_str()));
        AddPlugins();
        SetAGlobal(kSlotPluginFolder, 0);
        barsPng = still("bars", bars);
        discPng = still("disc", disc);
        if (barsPng.empty() || discPng.empty()) {
            error = "the synthetic importer did not draw";
            return;
        }
        barsFile = AddFile(barsPng.c_str(), 0, 0, cc("PNG "));
        discFile = AddFile(discPng.c_str(), 0, 0, cc("PNG "));
        dissolve = module("fx-dissolve", cc("SPFX"));
        tint = module("vf-tint", cc("VFlt"));
        if (barsFile <= 0 || discFile <= 0 || dissolve <= 0 || tint <= 0) {
            error = "sample modules or stills missing";
            return;
        }
        for (int32_t n = 0; n < 3; ++n) tables[n] = timeline(n);
        ok = true;
    }
    ~Library() {
        std::remove(barsPng.c_str());
        std::remove(discPng.c_str());
    }
    static Library& get() {
        static Library lib;
        return lib;
    }

    // A 1920 x 1080 still of the synthetic kind, written as PNG.
    std::string still(const char* kind, std::vector<uint8_t>& bytes) {
        const std::string text = scratchPath(std::string(kind) + ".synth");
        FILE* f = std::fopen(text.c_str(), "wb");
        if (!f) return {};
        std::fprintf(f, "kind %s\nwidth %d\nheight %d\nrate 25\nframes 100\n", kind, kW, kH);
        std::fclose(f);
        const int16_t id = AddFile(text.c_str(), 0, 0, cc("SYNT"));
        PWorld world = 0;
        const FmRect r{0, 0, kW, kH};
        if (id <= 0 || NewPWorld(&world, &r) != 0) return {};
        const TDB t{0, 25, 1};
        std::string png;
        if (GetVideo(&t, id, world, &r, 32, 0) == 0) {
            bytes = bytesOf(pwGetPPix(world));
            png = scratchPath(std::string(kind) + ".png");
            if (FmWritePngFile(pwGetPPix(world), png.c_str(), 1) != 0) png.clear();
        }
        DisposePWorld(world);
        std::remove(text.c_str());
        return png;
    }
    static int16_t module(const char* name, OSType kind) {
        const std::string path = std::string(REEL_EFFECT_SAMPLES_DIR) + "/" + name + ".fmx";
        const int16_t id = AddFile(path.c_str(), 0, 0, kind);
        if (id > 0) {
            FileSubscribe(id);
            if (!PlugVersionCheck(id, kind)) return 0;
        }
        return id;
    }
    Handle keep(Handle h) {
        owned.push_back(h);
        return h;
    }
    TrackItemRec* newItem(Handle& h, int16_t file) {
        h = keep(NewHandleClear(sizeof(TrackItemRec)));
        auto* r = reinterpret_cast<TrackItemRec*>(*h);
        if (file) {
            int32_t times[kClipFixedMarkers];
            std::fill(std::begin(times), std::end(times), -1);
            times[0] = 0;
            times[1] = kLength - 1;
            r->clipID = AddClip(file, times, &kBase, kClipVideo);
            r->clip = HandleToWord(FindClip(r->clipID));
        }
        r->start = 0;
        r->end = kLength;
        return r;
    }
    void track(Handle table, uint16_t type, Handle item) {
        Handle list = keep(NewHandle(item ? 4 : 0));
        if (item) {
            const uint32_t w = HandleToWord(item);
            std::memcpy(*list, &w, 4);
        }
        const int32_t index = AddTrackItem(list, type, table);
        SetTrackState(1, kTrackAll, index, table);
    }
    Handle timeline(int32_t n) {
        Handle table = keep(NewHandle(0));
        Handle a = nullptr, b = nullptr, t = nullptr, s = nullptr;
        TrackItemRec* ra = newItem(a, barsFile);
        if (n >= 1) {
            newItem(b, discFile);
            TrackItemRec* rt = newItem(t, 0);
            Handle clip = keep(NewHandleClear(sizeof(FmClipRecord)));
            auto* c = reinterpret_cast<FmClipRecord*>(*clip);
            for (int32_t& m : c->markers) m = -1;
            c->fileID = dissolve;
            c->timeBase = kBase;
            rt->clip = HandleToWord(clip);
            rt->transition.endPercent = 10000;
            // The tint on A.
            struct {
                int32_t amount;
                uint8_t colour[4];
            } settings{kTintAmount, {kTint[0], kTint[1], kTint[2], 0}};
            Handle single = NewHandle(sizeof settings);
            std::memcpy(*single, &settings, sizeof settings);
            // Keys at both ends: the tint is keyframed, here to one amount.
            Handle comp = NewCompSpec(single, tint, 0);
            InsertSingleSpec(comp, single, 1, kLength - 1);
            DisposeHandle(single);
            RcFilterListEntry entry{};
            entry.fileID = tint;
            entry.compSpec = HandleToWord(comp);
            Handle list = keep(NewHandle(sizeof entry));
            std::memcpy(*list, &entry, sizeof entry);
            ra = reinterpret_cast<TrackItemRec*>(*a);
            ra->filterList = HandleToWord(list);
        }
        if (n >= 2) {
            TrackItemRec* rs = newItem(s, discFile);
            rs->keyType = kKeyGreenScreen;
            rs->threshold = 40;  // key values up to 40 keep, from 100 on key out
            rs->cutoff = 100;
            // From the left to the right, half size, turning a quarter.
            Handle motion =
                keep(NewHandleClear(sizeof(FmMotionHeader) + 2 * sizeof(FmMotionPoint)));
            auto* header = reinterpret_cast<FmMotionHeader*>(*motion);
            header->colr = 0x0000A000;  // filled with the disc's green, which the key removes
            header->count = 2;
            header->smoothMethod = 1;
            auto* p = reinterpret_cast<FmMotionPoint*>(*motion + sizeof(FmMotionHeader));
            // The reference frame is 80 x 45 units.
            p[0].spot[0] = 20;
            p[1].spot[0] = 60;
            p[0].spot[1] = p[1].spot[1] = 22;
            p[0].zoom = p[1].zoom = 50;
            p[1].rot = 90;
            p[1].time = 1000;
            rs = reinterpret_cast<TrackItemRec*>(*s);
            rs->motion = HandleToWord(motion);
        }
        track(table, kTrackTypeVideoAB, a);
        track(table, kTrackTypeVideoAB, b);
        track(table, kTrackTypeTransition, t);
        if (s) track(table, kTrackTypeSuperimpose, s);
        return table;
    }
};

void processors(int32_t n) {
    TerminateMP();
    if (n > 1) InitMP();
}

// Our frame: args {timeline, processors}.
void BM_RenderOurs(benchmark::State& state) {
    Library& lib = Library::get();
    if (!lib.ok) {
        state.SkipWithError(lib.error.c_str());
        return;
    }
    processors(int32_t(state.range(1)));
    const FmRect frame{0, 0, kW, kH};
    Handle context = NewHandleClear(sizeof(FmRenderContext));
    PPixHand scratch = nullptr;
    if (SequenceSetup(context, &scratch, &frame) != 0) {
        state.SkipWithError("no memory for the pictures");
        return;
    }
    Handle table = lib.tables[state.range(0)];
    const TDB at{kAt, kBase.scale, kBase.samp};
    // The first frame fills the frame cache with the two stills.
    EffectFrame(context, 1, kAt, &at, &frame, 0x20, 3, table, 0, nullptr);
    for (auto _ : state) {
        EffectFrame(context, 1, kAt, &at, &frame, 0x20, 3, table, 0, nullptr);
        benchmark::DoNotOptimize(**context);
    }
    // REEL_BENCH_RENDER_PNG=prefix keeps each timeline's frame for a look.
    if (const char* prefix = std::getenv("REEL_BENCH_RENDER_PNG")) {
        const std::string path = std::string(prefix) + std::to_string(state.range(0)) + ".png";
        FmWritePngFile(reinterpret_cast<FmRenderContext*>(*context)->destination, path.c_str(), 0);
    }
    SequenceCleanup(context, scratch);
    DisposeHandle(context);
    processors(1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderOurs)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->ArgNames({"timeline", "cpus"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#ifdef REEL_BENCH_AVFILTER
// The same operations as one libavfilter graph over the same pictures.
struct Graph {
    AVFilterGraph* graph = nullptr;
    AVFilterContext* in[3] = {};
    AVFilterContext* out = nullptr;
    int inputs = 0;
    ~Graph() { avfilter_graph_free(&graph); }
    bool build(int timeline, int threads) {
        graph = avfilter_graph_alloc();
        if (!graph) return false;
        graph->nb_threads = threads;
        graph->thread_type = AVFILTER_THREAD_SLICE;
        const double keep = 1.0 - kTintAmount / 100.0;
        auto gain = [&](int i) { return kTintAmount / 100.0 * kTint[i] / 255.0; };
        char text[1024];
        if (timeline == 0) {
            std::snprintf(text, sizeof text, "[in0]copy[out]");
            inputs = 1;
        } else {
            // rr..bb keep the colour, ra..ba add the tint through the opaque
            // alpha; blend at 50 % is the dissolve.
            int n = std::snprintf(text, sizeof text,
                                  "[in0]colorchannelmixer=rr=%.4f:gg=%.4f:bb=%.4f:ra=%.4f:"
                                  "ga=%.4f:ba=%.4f[t];[t][in1]blend=all_mode=normal:"
                                  "all_opacity=0.5",
                                  keep, keep, keep, gain(0), gain(1), gain(2));
            inputs = 2;
            if (timeline == 2) {
                std::snprintf(text + n, sizeof text - size_t(n),
                              "[d];[in2]colorkey=color=0x00A000:similarity=0.3:blend=0,"
                              "scale=960:540,rotate=PI/4:ow=960:oh=540:c=none[k];"
                              "[d][k]overlay=480:270:format=auto[out]");
                inputs = 3;
            } else {
                std::snprintf(text + n, sizeof text - size_t(n), "[out]");
            }
        }
        AVFilterInOut* outs = nullptr;
        AVFilterInOut* ins = nullptr;
        if (avfilter_graph_parse2(graph, text, &ins, &outs) < 0) return false;
        char args[256];
        std::snprintf(args, sizeof args,
                      "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", kW, kH,
                      int(AV_PIX_FMT_BGRA));
        int i = 0;
        bool ok = true;
        for (AVFilterInOut* p = ins; p && ok; p = p->next, ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "in%d", i);
            ok = avfilter_graph_create_filter(&in[i], avfilter_get_by_name("buffer"), name, args,
                                              nullptr, graph) >= 0 &&
                 avfilter_link(in[i], 0, p->filter_ctx, unsigned(p->pad_idx)) >= 0;
        }
        ok = ok && outs &&
             avfilter_graph_create_filter(&out, avfilter_get_by_name("buffersink"), "out", nullptr,
                                          nullptr, graph) >= 0 &&
             avfilter_link(outs->filter_ctx, unsigned(outs->pad_idx), out, 0) >= 0;
        avfilter_inout_free(&ins);
        avfilter_inout_free(&outs);
        return ok && avfilter_graph_config(graph, nullptr) >= 0;
    }
};

AVFrame* frameOf(const std::vector<uint8_t>& bytes, int64_t pts) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_BGRA;
    f->width = kW;
    f->height = kH;
    f->pts = pts;
    av_frame_get_buffer(f, 64);
    for (int y = 0; y < kH; ++y)
        std::memcpy(f->data[0] + int64_t(f->linesize[0]) * y, &bytes[size_t(y) * kW * 4],
                    size_t(kW) * 4);
    return f;
}

void BM_RenderLibavfilter(benchmark::State& state) {
    Library& lib = Library::get();
    if (!lib.ok) {
        state.SkipWithError(lib.error.c_str());
        return;
    }
    Graph g;
    if (!g.build(int(state.range(0)), int(state.range(1)))) {
        state.SkipWithError("libavfilter graph not built");
        return;
    }
    const std::vector<uint8_t>* sources[3] = {&lib.bars, &lib.disc, &lib.disc};
    AVFrame* made[3] = {};
    for (int i = 0; i < g.inputs; ++i) made[i] = frameOf(*sources[i], 0);
    AVFrame* result = av_frame_alloc();
    int64_t pts = 0;
    for (auto _ : state) {
        // Pictures in memory, handed over by reference, as the cache holds ours.
        bool fed = true;
        for (int i = 0; i < g.inputs; ++i) {
            made[i]->pts = pts;
            fed = fed &&
                  av_buffersrc_add_frame_flags(g.in[i], made[i], AV_BUFFERSRC_FLAG_KEEP_REF) >= 0;
        }
        ++pts;
        if (!fed || av_buffersink_get_frame(g.out, result) < 0) {
            state.SkipWithError("no frame out");
            break;
        }
        av_frame_unref(result);
    }
    av_frame_free(&result);
    for (AVFrame*& f : made) av_frame_free(&f);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderLibavfilter)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->ArgNames({"timeline", "cpus"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

#ifdef REEL_BENCH_MELT
// melt's timeline: the stills, a luma mix (a dissolve without a wipe
// picture), frei0r's tint0r on A and, for timeline 2, the disc keyed by
// chroma and moved by an affine transition.
std::string meltCommand(const Library& lib, int timeline, int frames, int threads) {
    const std::string n = std::to_string(frames - 1);
    std::string cmd = std::string(REEL_BENCH_MELT) + " -quiet -profile atsc_1080p_25";
    if (timeline == 0) {
        cmd += " " + lib.barsPng + " out=" + n;
    } else {
        // A is held for the whole run and B mixed in over all of it.
        cmd += " " + lib.barsPng + " out=" + std::to_string(2 * frames - 1) +
               " -attach frei0r.tint0r 0=#ffa040 1=#ffa040 2=0.4 " + lib.discPng +
               " out=" + std::to_string(2 * frames - 1) + " -mix " + std::to_string(frames) +
               " -mixer luma";
        if (timeline == 2)
            cmd += " -track " + lib.discPng + " out=" + std::to_string(3 * frames) +
                   " -attach-track chroma key=0x00a000ff variance=0.3 -transition affine "
                   "rect=480/270:960x540 rotate_x=45 a_track=0 b_track=1";
    }
    cmd +=
        " -consumer avformat:/dev/null f=rawvideo pix_fmt=bgra width=1920 height=1080"
        " real_time=-" +
        std::to_string(threads) + " >/dev/null 2>&1";
    return cmd;
}

void BM_RenderMelt(benchmark::State& state) {
    Library& lib = Library::get();
    if (!lib.ok) {
        state.SkipWithError(lib.error.c_str());
        return;
    }
    const int timeline = int(state.range(0)), threads = int(state.range(1));
    const std::string few = meltCommand(lib, timeline, 10, threads);
    const std::string many = meltCommand(lib, timeline, 60, threads);
    for (auto _ : state) {
        using clock = std::chrono::steady_clock;
        const auto t0 = clock::now();
        const int a = std::system(few.c_str());
        const auto t1 = clock::now();
        const int b = std::system(many.c_str());
        const auto t2 = clock::now();
        if (a != 0 || b != 0) {
            state.SkipWithError("melt failed");
            break;
        }
        const double perFrame = (std::chrono::duration<double>(t2 - t1).count() -
                                 std::chrono::duration<double>(t1 - t0).count()) /
                                50.0;
        state.SetIterationTime(perFrame > 0 ? perFrame : 1e-9);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderMelt)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->ArgNames({"timeline", "cpus"})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
#endif

}  // namespace

BENCHMARK_MAIN();
