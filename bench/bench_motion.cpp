// Motion and keying at 1080p beside their peers when installed: OpenCV
// warpAffine / warpPerspective (INTER_LINEAR, BORDER_TRANSPARENT) for the
// quadrilateral mapping, OpenCV blendLinear for the alpha blend, and
// libavfilter chromakey / colorkey / lumakey with overlay for the keys.
// Benchmarks named .../threads:N run on N processors.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "reelcore/globals.h"
#include "reelcore/keying.h"
#include "reelcore/memory.h"
#include "reelcore/motion.h"
#include "reelcore/mp.h"
#include "reelcore/ppix.h"

#ifdef REEL_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif
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

constexpr int kW = 1920, kH = 1080;

std::string gProfile;

void startLibrary() {
    static bool started = false;
    if (started) return;
    started = true;
    SetupGlobals();
    InitMemoryMgr();
    gProfile = "/tmp/reel_bench_motion_" + std::to_string(getpid()) + ".ini";
}

// The processor pool with n processors.
void usePool(int n) {
    startLibrary();
    if (GetAGlobal(kSlotProcessorCount) == n) return;
    TerminateMP();
    FILE* f = std::fopen(gProfile.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "[override]\nNumCPUs=%d\n", n);
    std::fclose(f);
    SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(gProfile.c_str()));
    InitMP();
#ifdef REEL_BENCH_OPENCV
    cv::setNumThreads(n);
#endif
}

PPixHand randomPicture(uint32_t seed, bool opaque = false) {
    const FmRect bounds{0, 0, kW, kH};
    PPixHand pix = ppixNew(&bounds);
    const PPixRecord* r = reinterpret_cast<const PPixRecord*>(*pix);
    std::mt19937 gen(seed);
    for (int32_t y = 0; y < kH; ++y) {
        uint8_t* row = reinterpret_cast<uint8_t*>(r->pixels) + int64_t(r->rowBytes) * y;
        for (int32_t x = 0; x < kW * 4; ++x) row[x] = uint8_t(gen() >> 24);
        if (opaque)
            for (int32_t x = 0; x < kW; ++x) row[4 * x + 3] = 255;
    }
    return pix;
}

uint8_t* pixelsOf(PPixHand pix) {
    return reinterpret_cast<uint8_t*>(reinterpret_cast<const PPixRecord*>(*pix)->pixels);
}

// The destination corners of the two cases, as 16.16 points and as a 3 x 3
// matrix from destination to source (for the peers' inverse maps).
struct Case {
    FmFixedPoint to[4];
    double x[4], y[4];
};

Case rotateCase() {
    Case c;
    const double a = 15 * std::numbers::pi / 180, z = 0.8;
    const double hw = kW / 2.0, hh = kH / 2.0;
    const double corner[4][2] = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
    for (int i = 0; i < 4; ++i) {
        c.x[i] = hw + z * (corner[i][0] * std::cos(a) - corner[i][1] * std::sin(a));
        c.y[i] = hh + z * (corner[i][0] * std::sin(a) + corner[i][1] * std::cos(a));
    }
    for (int i = 0; i < 4; ++i)
        c.to[i] =
            FmFixedPoint{Fixed(std::lround(c.x[i] * 65536)), Fixed(std::lround(c.y[i] * 65536))};
    return c;
}

Case perspectiveCase() {
    Case c;
    const double px[4] = {300, 1650, 1850, 80}, py[4] = {120, 60, 1000, 900};
    for (int i = 0; i < 4; ++i) {
        c.x[i] = px[i];
        c.y[i] = py[i];
        c.to[i] = FmFixedPoint{Fixed(px[i] * 65536), Fixed(py[i] * 65536)};
    }
    return c;
}

void BM_FixedToFixed(benchmark::State& state, Case (*make)()) {
    usePool(int(state.range(0)));
    PPixHand src = randomPicture(1), dst = randomPicture(2);
    const Case c = make();
    const FmFixedPoint from[4] = {{0, 0}, {kW << 16, 0}, {kW << 16, kH << 16}, {0, kH << 16}};
    for (auto _ : state) {
        FixedToFixed(src, dst, from, c.to);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
    ppixDispose(src);
    ppixDispose(dst);
}
BENCHMARK_CAPTURE(BM_FixedToFixed, rotate15_zoom80, rotateCase)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FixedToFixed, perspective, perspectiveCase)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);

#ifdef REEL_BENCH_OPENCV
// The peer maps the same source onto the same quadrilateral; its picture is
// stored top-down, ours bottom-up, which changes nothing in the work done.
void BM_OpenCVWarp(benchmark::State& state, Case (*make)(), bool perspective) {
    usePool(int(state.range(0)));
    cv::Mat src(kH, kW, CV_8UC4), dst(kH, kW, CV_8UC4);
    cv::randu(src, 0, 255);
    cv::randu(dst, 0, 255);
    const Case c = make();
    const cv::Point2f from[4] = {{0, 0}, {float(kW), 0}, {float(kW), float(kH)}, {0, float(kH)}};
    cv::Point2f to[4];
    for (int i = 0; i < 4; ++i) to[i] = cv::Point2f(float(c.x[i]), float(c.y[i]));
    const cv::Mat m =
        perspective ? cv::getPerspectiveTransform(from, to) : cv::getAffineTransform(from, to);
    for (auto _ : state) {
        if (perspective)
            cv::warpPerspective(src, dst, m, dst.size(), cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);
        else
            cv::warpAffine(src, dst, m, dst.size(), cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}
BENCHMARK_CAPTURE(BM_OpenCVWarp, warpAffine_rotate15_zoom80, rotateCase, false)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenCVWarp, warpPerspective, perspectiveCase, true)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
#endif

void BM_DoNewImposeNormal(benchmark::State& state) {
    usePool(int(state.range(0)));
    PPixHand src = randomPicture(3), dst = randomPicture(4);
    FmCoverageEntry table[256];
    for (int a = 0; a < 256; ++a) table[a] = FmCoverageEntry{uint8_t(a), uint8_t(255 - a)};
    const int32_t rowBytes = ppixGetRowbytes(src);
    for (auto _ : state) {
        DoNewImpose(kImposeNormal, pixelsOf(src), pixelsOf(dst), rowBytes, kW, kH, table);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
    ppixDispose(src);
    ppixDispose(dst);
}
BENCHMARK(BM_DoNewImposeNormal)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

#ifdef REEL_BENCH_OPENCV
// Per-pixel weights from the source alpha, as the blend above uses.
void BM_OpenCVBlendLinear(benchmark::State& state) {
    usePool(int(state.range(0)));
    cv::Mat src(kH, kW, CV_8UC4), dst(kH, kW, CV_8UC4), out;
    cv::randu(src, 0, 255);
    cv::randu(dst, 0, 255);
    std::vector<cv::Mat> planes;
    cv::split(src, planes);
    cv::Mat w1, w2;
    planes[3].convertTo(w1, CV_32F, 1.0 / 255);
    w2 = 1.0f - w1;
    for (auto _ : state) {
        cv::blendLinear(src, dst, w1, w2, out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
}
BENCHMARK(BM_OpenCVBlendLinear)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
#endif

FmKeySettings keyOf(int16_t type) {
    FmKeySettings k{};
    k.keyType = type;
    k.keyColour = 0x00FF00;
    k.similarity = 60;
    k.smoothing = 40;
    k.threshold = 80;
    k.cutoff = 180;
    return k;
}

void BM_DoImageKey(benchmark::State& state, int16_t type) {
    usePool(int(state.range(0)));
    PPixHand src = randomPicture(5, true), dst = randomPicture(6, true);
    const FmKeySettings key = keyOf(type);
    for (auto _ : state) {
        DoImageKey(src, dst, nullptr, nullptr, 65535, &key);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
    ppixDispose(src);
    ppixDispose(dst);
}
BENCHMARK_CAPTURE(BM_DoImageKey, chroma, int16_t(kKeyChroma))
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DoImageKey, green_screen, int16_t(kKeyGreenScreen))
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DoImageKey, luminance, int16_t(kKeyLuminance))
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);

#ifdef REEL_BENCH_AVFILTER
// "[fg]KEY[k];[bg][k]overlay" on bgra frames: one keyed composite per frame
// pair pushed.
struct KeyGraph {
    AVFilterGraph* graph = nullptr;
    AVFilterContext *fg = nullptr, *bg = nullptr, *sink = nullptr;

    bool build(const char* key, int threads) {
        graph = avfilter_graph_alloc();
        if (!graph) return false;
        graph->nb_threads = threads;
        char args[160];
        std::snprintf(args, sizeof args,
                      "video_size=%dx%d:pix_fmt=%d:time_base=1/25:pixel_aspect=1/1", kW, kH,
                      int(AV_PIX_FMT_BGRA));
        const AVFilter* buffer = avfilter_get_by_name("buffer");
        if (avfilter_graph_create_filter(&fg, buffer, "fg", args, nullptr, graph) < 0) return false;
        if (avfilter_graph_create_filter(&bg, buffer, "bg", args, nullptr, graph) < 0) return false;
        if (avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr,
                                         nullptr, graph) < 0)
            return false;
        AVFilterInOut* fgOut = avfilter_inout_alloc();
        AVFilterInOut* bgOut = avfilter_inout_alloc();
        AVFilterInOut* in = avfilter_inout_alloc();
        fgOut->name = av_strdup("fg");
        fgOut->filter_ctx = fg;
        fgOut->next = bgOut;
        bgOut->name = av_strdup("bg");
        bgOut->filter_ctx = bg;
        in->name = av_strdup("out");
        in->filter_ctx = sink;
        const std::string desc = std::string("[fg]") + key + "[k];[bg][k]overlay=format=auto[out]";
        const int parsed = avfilter_graph_parse_ptr(graph, desc.c_str(), &in, &fgOut, nullptr);
        avfilter_inout_free(&in);
        avfilter_inout_free(&fgOut);
        return parsed >= 0 && avfilter_graph_config(graph, nullptr) >= 0;
    }
    ~KeyGraph() { avfilter_graph_free(&graph); }
};

AVFrame* frameOf(uint32_t seed) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_BGRA;
    f->width = kW;
    f->height = kH;
    av_frame_get_buffer(f, 32);
    std::mt19937 gen(seed);
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = f->data[0] + int64_t(f->linesize[0]) * y;
        for (int x = 0; x < kW * 4; ++x) row[x] = uint8_t(gen() >> 24);
        for (int x = 0; x < kW; ++x) row[4 * x + 3] = 255;
    }
    return f;
}

void BM_AVFilterKey(benchmark::State& state, const char* key) {
    KeyGraph g;
    if (!g.build(key, int(state.range(0)))) {
        state.SkipWithError("filter graph not available");
        return;
    }
    AVFrame *fg = frameOf(5), *bg = frameOf(6), *out = av_frame_alloc();
    int64_t pts = 0;
    for (auto _ : state) {
        fg->pts = bg->pts = pts++;
        if (av_buffersrc_add_frame_flags(g.fg, fg, AV_BUFFERSRC_FLAG_KEEP_REF) < 0 ||
            av_buffersrc_add_frame_flags(g.bg, bg, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
            state.SkipWithError("frame refused");
            break;
        }
        while (av_buffersink_get_frame(g.sink, out) >= 0) av_frame_unref(out);
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
    av_frame_free(&fg);
    av_frame_free(&bg);
    av_frame_free(&out);
}
BENCHMARK_CAPTURE(BM_AVFilterKey, chromakey, "chromakey=color=0x00FF00:similarity=0.2:blend=0.15")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AVFilterKey, colorkey_green,
                  "colorkey=color=0x00FF00:similarity=0.3:blend=0.2")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_AVFilterKey, lumakey, "lumakey=threshold=0.7:tolerance=0.1:softness=0.2")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
