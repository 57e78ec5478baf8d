// Row converters, scalers and image filters, side by side with libyuv,
// libswscale and OpenCV when they are installed, and memcpy of the same
// bytes. Everything runs on one thread.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/imagefilters.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"
#include "reelcore/utility_table.h"

#ifdef REEL_BENCH_LIBYUV
#include <libyuv.h>
#endif
#ifdef REEL_BENCH_SWSCALE
extern "C" {
#include <libswscale/swscale.h>
}
#endif
#ifdef REEL_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

void startLibrary() {
    static bool started = false;
    if (started) return;
    started = true;
    SetupGlobals();
    InitMemoryMgr();
    SetAGlobal(kSlotIsMMX, 1);
    SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(FmDefaultUtilityTable()));
    FmBNInitialize();
#ifdef REEL_BENCH_OPENCV
    cv::setNumThreads(1);
#endif
}

std::vector<uint8_t> randomBytes(size_t n) {
    std::vector<uint8_t> v(n);
    std::mt19937 gen(1);
    for (auto& b : v) b = static_cast<uint8_t>(gen());
    return v;
}

struct Size {
    int w, h;
};
const Size kSizes[] = {{720, 480}, {1920, 1080}, {3840, 2160}};

enum Conv { k32To24, k24To32, k32To16, k16To32, k32ToQ32 };
const int kSrcBytes[] = {4, 3, 4, 2, 4}, kDstBytes[] = {3, 4, 2, 4, 4};

void setBytes(benchmark::State& state, int conv, const Size& s) {
    state.SetBytesProcessed(int64_t(state.iterations()) * s.w * s.h *
                            (kSrcBytes[conv] + kDstBytes[conv]));
}

void BM_Convert(benchmark::State& state) {
    startLibrary();
    const int conv = int(state.range(0));
    const Size s = kSizes[state.range(1)];
    std::vector<uint8_t> src = randomBytes(size_t(s.w) * s.h * kSrcBytes[conv]);
    std::vector<uint8_t> dst(size_t(s.w) * s.h * kDstBytes[conv]);
    const int ss = s.w * kSrcBytes[conv], ds = s.w * kDstBytes[conv];
    for (auto _ : state) {
        switch (conv) {
            case k32To24:
                DepthCon32To24(src.data(), dst.data(), s.w, s.h, ss, ds);
                break;
            case k24To32:
                DepthCon24To32(src.data(), dst.data(), s.w, s.h, ss, ds);
                break;
            case k32To16:
                DepthCon32To16(src.data(), dst.data(), s.w, s.h, ss, ds);
                break;
            case k16To32:
                DepthCon16To32(src.data(), dst.data(), s.w, s.h, ss, ds);
                break;
            // the flipping converter starts at the last row and steps back
            case k32ToQ32:
                Con32ToQ32(src.data(), dst.data() + size_t(ds) * (s.h - 1), s.w, s.h, ss, ds);
                break;
        }
        benchmark::DoNotOptimize(dst.data());
    }
    setBytes(state, conv, s);
}

// memcpy of the smaller of the two buffers, for the bandwidth the machine gives.
void BM_Memcpy(benchmark::State& state) {
    const int conv = int(state.range(0));
    const Size s = kSizes[state.range(1)];
    std::vector<uint8_t> src = randomBytes(size_t(s.w) * s.h * kSrcBytes[conv]);
    std::vector<uint8_t> dst(size_t(s.w) * s.h * kDstBytes[conv]);
    const size_t n = std::min(src.size(), dst.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n);
        benchmark::DoNotOptimize(dst.data());
    }
    // the bytes memcpy actually reads and writes
    state.SetBytesProcessed(int64_t(state.iterations()) * 2 * int64_t(n));
}

#ifdef REEL_BENCH_LIBYUV
void BM_Libyuv(benchmark::State& state) {
    const int conv = int(state.range(0));
    const Size s = kSizes[state.range(1)];
    std::vector<uint8_t> src = randomBytes(size_t(s.w) * s.h * kSrcBytes[conv]);
    std::vector<uint8_t> dst(size_t(s.w) * s.h * kDstBytes[conv]);
    const int ss = s.w * kSrcBytes[conv], ds = s.w * kDstBytes[conv];
    static const uint8_t kReverse[16] = {3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12};
    for (auto _ : state) {
        switch (conv) {
            case k32To24:
                libyuv::ARGBToRGB24(src.data(), ss, dst.data(), ds, s.w, s.h);
                break;
            case k24To32:
                libyuv::RGB24ToARGB(src.data(), ss, dst.data(), ds, s.w, s.h);
                break;
            case k32To16:
                libyuv::ARGBToARGB1555(src.data(), ss, dst.data(), ds, s.w, s.h);
                break;
            case k16To32:
                libyuv::ARGB1555ToARGB(src.data(), ss, dst.data(), ds, s.w, s.h);
                break;
            case k32ToQ32:
                libyuv::ARGBShuffle(src.data(), ss, dst.data(), ds, kReverse, s.w, s.h);
                break;
        }
        benchmark::DoNotOptimize(dst.data());
    }
    setBytes(state, conv, s);
}
#endif

void convArgs(benchmark::internal::Benchmark* b) {
    for (int c = 0; c < 5; ++c)
        for (int s = 0; s < 3; ++s) b->Args({c, s});
    b->ArgNames({"conv", "size"});
}
BENCHMARK(BM_Convert)->Apply(convArgs);
BENCHMARK(BM_Memcpy)->Apply(convArgs);
#ifdef REEL_BENCH_LIBYUV
BENCHMARK(BM_Libyuv)->Apply(convArgs);
#endif

// ---- Scalers: 2:1, 1080 -> 1079 rows, 540 -> 1080 rows, thumbnail ----
struct ScaleCase {
    Size from, to;
};
const ScaleCase kScales[] = {{{1920, 1080}, {960, 540}},
                             {{1920, 1080}, {1920, 1079}},
                             {{960, 540}, {1920, 1080}},
                             {{1920, 1080}, {160, 90}}};

void BM_ScaleOurs(benchmark::State& state) {
    startLibrary();
    const ScaleCase c = kScales[state.range(0)];
    const FmRect a{0, 0, c.from.w, c.from.h}, b{0, 0, c.to.w, c.to.h};
    PPixHand src = ppixNew(&a), dst = ppixNew(&b);
    const std::vector<uint8_t> bytes = randomBytes(size_t(c.from.w) * c.from.h * 4);
    std::memcpy(ppixGetPixels(src), bytes.data(), bytes.size());
    // enlargements use the smoothing scaler too, as the filtering peers do
    for (auto _ : state) ppixCopy(src, dst, nullptr, nullptr, kCopySmooth, nullptr);
    ppixDispose(src);
    ppixDispose(dst);
}
BENCHMARK(BM_ScaleOurs)->DenseRange(0, 3)->ArgName("case");

#ifdef REEL_BENCH_LIBYUV
void BM_ScaleLibyuv(benchmark::State& state) {
    const ScaleCase c = kScales[state.range(0)];
    std::vector<uint8_t> src = randomBytes(size_t(c.from.w) * c.from.h * 4);
    std::vector<uint8_t> dst(size_t(c.to.w) * c.to.h * 4);
    const bool reduce = c.to.w * c.to.h < c.from.w * c.from.h;
    for (auto _ : state)
        libyuv::ARGBScale(src.data(), c.from.w * 4, c.from.w, c.from.h, dst.data(), c.to.w * 4,
                          c.to.w, c.to.h, reduce ? libyuv::kFilterBox : libyuv::kFilterBilinear);
}
BENCHMARK(BM_ScaleLibyuv)->DenseRange(0, 3)->ArgName("case");
#endif

#ifdef REEL_BENCH_SWSCALE
void BM_ScaleSwscale(benchmark::State& state) {
    const ScaleCase c = kScales[state.range(0)];
    std::vector<uint8_t> src = randomBytes(size_t(c.from.w) * c.from.h * 4);
    std::vector<uint8_t> dst(size_t(c.to.w) * c.to.h * 4);
    const bool reduce = c.to.w * c.to.h < c.from.w * c.from.h;
    SwsContext* ctx =
        sws_getContext(c.from.w, c.from.h, AV_PIX_FMT_BGRA, c.to.w, c.to.h, AV_PIX_FMT_BGRA,
                       reduce ? SWS_AREA : SWS_BILINEAR, nullptr, nullptr, nullptr);
    const uint8_t* in[4] = {src.data()};
    uint8_t* out[4] = {dst.data()};
    const int inStride[4] = {c.from.w * 4}, outStride[4] = {c.to.w * 4};
    for (auto _ : state) sws_scale(ctx, in, inStride, 0, c.from.h, out, outStride);
    sws_freeContext(ctx);
}
BENCHMARK(BM_ScaleSwscale)->DenseRange(0, 3)->ArgName("case");
#endif

// ---- Filters on 1920 x 1080 ----
enum Filter { kGamma, kMedian, kBlur, kGaussian, kMask1, kMask5, kMask20 };

void BM_FilterOurs(benchmark::State& state) {
    startLibrary();
    const FmRect r{0, 0, 1920, 1080};
    PPixHand src = ppixNew(&r), dst = ppixNew(&r);
    const std::vector<uint8_t> bytes = randomBytes(size_t(1920) * 1080 * 4);
    std::memcpy(ppixGetPixels(src), bytes.data(), bytes.size());
    const int f = int(state.range(0));
    for (auto _ : state) {
        switch (f) {
            case kGamma:
                DoGamma(src, 12);
                break;
            case kMedian:
                DoMedian(src, dst);
                break;
            case kBlur:
                DoBlur(src, dst);
                break;
            case kGaussian:
                DoGaussian(src, dst);
                break;
            case kMask1:
                ppixBlurMask(src, 1, 0);
                break;
            case kMask5:
                ppixBlurMask(src, 5, 0);
                break;
            case kMask20:
                ppixBlurMask(src, 20, 0);
                break;
        }
    }
    ppixDispose(src);
    ppixDispose(dst);
}
BENCHMARK(BM_FilterOurs)->DenseRange(0, 6)->ArgName("filter")->Unit(benchmark::kMillisecond);

#ifdef REEL_BENCH_OPENCV
void BM_FilterOpenCV(benchmark::State& state) {
    startLibrary();
    const std::vector<uint8_t> bytes = randomBytes(size_t(1920) * 1080 * 4);
    cv::Mat src(1080, 1920, CV_8UC4, const_cast<uint8_t*>(bytes.data())), dst;
    cv::Mat alpha(1080, 1920, CV_8UC1), alphaOut;
    cv::extractChannel(src, alpha, 3);
    cv::Mat lut(1, 256, CV_8UC4);
    for (int i = 0; i < 256; ++i) lut.at<cv::Vec4b>(0, i) = cv::Vec4b(i, i, i, i);
    const cv::Mat blur = (cv::Mat_<float>(3, 3) << 0, 1, 0, 1, 2, 1, 0, 1, 0) / 6.0f;
    const cv::Mat gauss = (cv::Mat_<float>(3, 3) << 1, 2, 1, 2, 5, 2, 1, 2, 1) / 17.0f;
    const int f = int(state.range(0));
    for (auto _ : state) {
        switch (f) {
            case kGamma:
                cv::LUT(src, lut, dst);
                break;
            case kMedian:
                cv::medianBlur(src, dst, 3);
                break;
            case kBlur:
                cv::filter2D(src, dst, -1, blur);
                break;
            case kGaussian:
                cv::filter2D(src, dst, -1, gauss);
                break;
            case kMask1:
                cv::GaussianBlur(alpha, alphaOut, cv::Size(3, 3), 0);
                break;
            case kMask5:
                cv::GaussianBlur(alpha, alphaOut, cv::Size(11, 11), 0);
                break;
            case kMask20:
                cv::GaussianBlur(alpha, alphaOut, cv::Size(41, 41), 0);
                break;
        }
        benchmark::DoNotOptimize(dst.data);
    }
}
BENCHMARK(BM_FilterOpenCV)->DenseRange(0, 6)->ArgName("filter")->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
