// Row converters, scalers and image filters, side by side with libyuv and
// OpenCV when they are installed, and memcpy of the same bytes. Everything
// runs on one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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

// memcpy moving as many bytes as the converter reads plus writes: half of
// their sum, read once and written once.
void BM_Memcpy(benchmark::State& state) {
    const int conv = int(state.range(0));
    const Size s = kSizes[state.range(1)];
    const size_t n = size_t(s.w) * s.h * (kSrcBytes[conv] + kDstBytes[conv]) / 2;
    std::vector<uint8_t> src = randomBytes(n), dst(n);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n);
        benchmark::DoNotOptimize(dst.data());
    }
    setBytes(state, conv, s);
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

// Leaving AVX2 code without clearing the upper register halves makes the
// next SSE code run several times slower. libyuv held to its SSE kernels
// (legacy encoding) converts a 720 x 480 picture alone, and again straight
// after one 16-pixel call of ours; the benchmark fails when the second is
// more than 1.5 times slower.
void BM_PeerSseAfterOurAvx2(benchmark::State& state) {
#if defined(__x86_64__)
    if (!__builtin_cpu_supports("avx2")) {
        state.SkipWithError("the processor has no AVX2");
        return;
    }
#else
    state.SkipWithError("x86-64 only");
    return;
#endif
    startLibrary();
    const Size s = kSizes[0];
    std::vector<uint8_t> src = randomBytes(size_t(s.w) * s.h * 4), dst(size_t(s.w) * s.h * 2);
    std::vector<uint8_t> ours(16 * 4), oursOut(16 * 2);
    libyuv::MaskCpuFlags(libyuv::kCpuInitialized | libyuv::kCpuHasX86 | libyuv::kCpuHasSSE2 |
                         libyuv::kCpuHasSSSE3);
    auto peer = [&] {
        libyuv::ARGBToARGB1555(src.data(), s.w * 4, dst.data(), s.w * 2, s.w, s.h);
        benchmark::DoNotOptimize(dst.data());
    };
    using Clock = std::chrono::steady_clock;
    double alone = 0, after = 0;
    for (auto _ : state) {
        // the baseline starts from clean upper halves, whatever ran before
#if defined(__x86_64__)
        asm volatile("vzeroupper");
#endif
        auto t0 = Clock::now();
        peer();
        auto t1 = Clock::now();
        DepthCon32To16(ours.data(), oursOut.data(), 16, 1, 64, 32);
        auto t2 = Clock::now();
        peer();
        auto t3 = Clock::now();
        alone += std::chrono::duration<double>(t1 - t0).count();
        after += std::chrono::duration<double>(t3 - t2).count();
        state.SetIterationTime(std::chrono::duration<double>(t3 - t2).count());
    }
    libyuv::MaskCpuFlags(-1);
    const double slowdown = alone > 0 ? after / alone : 0;
    state.counters["slowdown"] = slowdown;
    if (slowdown > 1.5) state.SkipWithError("the peer's SSE code slowed down after our AVX2 call");
}
BENCHMARK(BM_PeerSseAfterOurAvx2)->UseManualTime();
#endif

// ---- Scalers: 2:1, 1080 -> 1079 rows, 540 -> 1080 rows, thumbnail ----
// Every scaler gets the same picture (smooth gradients with fine detail) and
// writes the same size. Beside the time each reports "psnr": its distance from
// an exact reference computed in double precision, the area average for
// reductions and centre-aligned bilinear interpolation for the enlargement.
struct ScaleCase {
    Size from, to;
};
const ScaleCase kScales[] = {{{1920, 1080}, {960, 540}},
                             {{1920, 1080}, {1920, 1079}},
                             {{960, 540}, {1920, 1080}},
                             {{1920, 1080}, {160, 90}}};

bool reduces(const ScaleCase& c) {
    return c.to.w * c.to.h < c.from.w * c.from.h;
}

std::vector<uint8_t> scene(const Size& s) {
    std::vector<uint8_t> v(size_t(s.w) * s.h * 4);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x)
            for (int c = 0; c < 4; ++c) {
                const double d = 128 + 70 * std::sin(x / (31.0 + 7 * c) + c) +
                                 40 * std::cos(y / (19.0 + 5 * c)) +
                                 15 * std::sin((x + 2 * y) / (2.3 + c));
                v[(size_t(y) * s.w + x) * 4 + c] = uint8_t(std::clamp(d, 0.0, 255.0));
            }
    return v;
}

// Weights of source samples for each output sample along one axis.
struct Tap {
    int index;
    double weight;
};
std::vector<std::vector<Tap>> axisTaps(int n, int m, bool area) {
    std::vector<std::vector<Tap>> taps(m);
    const double scale = double(n) / m;
    for (int i = 0; i < m; ++i) {
        if (area) {
            const double a = i * scale, b = (i + 1) * scale;
            for (int k = int(a); k < n && k < b; ++k) {
                const double w = std::min<double>(k + 1, b) - std::max<double>(k, a);
                if (w > 0) taps[i].push_back({k, w / scale});
            }
        } else {
            const double p = std::clamp((i + 0.5) * scale - 0.5, 0.0, double(n - 1));
            const int k = std::min(int(p), n - 1), k1 = std::min(k + 1, n - 1);
            taps[i] = {{k, 1 - (p - k)}, {k1, p - k}};
        }
    }
    return taps;
}

double psnrAgainstReference(const std::vector<uint8_t>& src, const ScaleCase& c,
                            const uint8_t* out) {
    const bool area = reduces(c);
    const auto tx = axisTaps(c.from.w, c.to.w, area), ty = axisTaps(c.from.h, c.to.h, area);
    double err = 0;
    for (int y = 0; y < c.to.h; ++y)
        for (int x = 0; x < c.to.w; ++x)
            for (int ch = 0; ch < 4; ++ch) {
                double v = 0;
                for (const Tap& a : ty[y])
                    for (const Tap& b : tx[x])
                        v += a.weight * b.weight *
                             src[(size_t(a.index) * c.from.w + b.index) * 4 + ch];
                const double d = out[(size_t(y) * c.to.w + x) * 4 + ch] - v;
                err += d * d;
            }
    const double mse = err / (double(c.to.w) * c.to.h * 4);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

void BM_ScaleOurs(benchmark::State& state) {
    startLibrary();
    const ScaleCase c = kScales[state.range(0)];
    const FmRect a{0, 0, c.from.w, c.from.h}, b{0, 0, c.to.w, c.to.h};
    PPixHand src = ppixNew(&a), dst = ppixNew(&b);
    const std::vector<uint8_t> bytes = scene(c.from);
    std::memcpy(ppixGetPixels(src), bytes.data(), bytes.size());
    // enlargements use the smoothing scaler too, as the filtering peers do
    for (auto _ : state) ppixCopy(src, dst, nullptr, nullptr, kCopySmooth, nullptr);
    state.counters["psnr"] =
        psnrAgainstReference(bytes, c, reinterpret_cast<const uint8_t*>(ppixGetPixels(dst)));
    ppixDispose(src);
    ppixDispose(dst);
}
BENCHMARK(BM_ScaleOurs)->DenseRange(0, 3)->ArgName("case");

#ifdef REEL_BENCH_LIBYUV
// kFilterBox for reductions, kFilterBilinear for the enlargement. Its 12:1
// "box" samples rather than averages, so the thumbnail is left to OpenCV.
void BM_ScaleLibyuv(benchmark::State& state) {
    const ScaleCase c = kScales[state.range(0)];
    const std::vector<uint8_t> src = scene(c.from);
    std::vector<uint8_t> dst(size_t(c.to.w) * c.to.h * 4);
    for (auto _ : state)
        libyuv::ARGBScale(src.data(), c.from.w * 4, c.from.w, c.from.h, dst.data(), c.to.w * 4,
                          c.to.w, c.to.h,
                          reduces(c) ? libyuv::kFilterBox : libyuv::kFilterBilinear);
    state.counters["psnr"] = psnrAgainstReference(src, c, dst.data());
}
BENCHMARK(BM_ScaleLibyuv)->DenseRange(0, 2)->ArgName("case");
#endif

#ifdef REEL_BENCH_OPENCV
// INTER_AREA for reductions (a true area average), INTER_LINEAR for the
// enlargement; one thread.
void BM_ScaleOpenCV(benchmark::State& state) {
    startLibrary();
    const ScaleCase c = kScales[state.range(0)];
    const std::vector<uint8_t> bytes = scene(c.from);
    const cv::Mat src(c.from.h, c.from.w, CV_8UC4, const_cast<uint8_t*>(bytes.data()));
    cv::Mat dst(c.to.h, c.to.w, CV_8UC4);
    for (auto _ : state)
        cv::resize(src, dst, cv::Size(c.to.w, c.to.h), 0, 0,
                   reduces(c) ? cv::INTER_AREA : cv::INTER_LINEAR);
    state.counters["psnr"] = psnrAgainstReference(bytes, c, dst.data);
}
BENCHMARK(BM_ScaleOpenCV)->DenseRange(0, 3)->ArgName("case");
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
// The alpha blur's kernel for a radius, as floats summing to 1 (the same
// weights the library computes, over the same span).
cv::Mat alphaKernel(double radius) {
    const int n = int(std::ceil(radius));
    std::vector<double> w(size_t(n) + 1);
    w[0] = 255;
    for (int c = 1; c <= n; ++c) {
        const double x = c / (radius + 1.0);
        const double f = x <= 1.0 ? 1.0 - 1.102 * (1.0 - std::exp(-2.378 * x * x)) : 0.0;
        w[size_t(c)] = double(std::lround(255.0 * f));
    }
    double total = w[0];
    for (int c = 1; c <= n; ++c) total += 2 * w[size_t(c)];
    cv::Mat k(2 * n + 1, 1, CV_32F);
    for (int c = -n; c <= n; ++c) k.at<float>(c + n) = float(w[size_t(std::abs(c))] / total);
    return k;
}

// Per iteration the whole job of the alpha blur: take the alpha out, blur it
// with the same kernel and replicated edges, put it back.
void blurAlphaOpenCV(cv::Mat& picture, cv::Mat& alpha, cv::Mat& blurred, const cv::Mat& k) {
    cv::extractChannel(picture, alpha, 3);
    cv::sepFilter2D(alpha, blurred, CV_8U, k, k, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    cv::insertChannel(blurred, picture, 3);
}

void BM_FilterOpenCV(benchmark::State& state) {
    startLibrary();
    std::vector<uint8_t> bytes = randomBytes(size_t(1920) * 1080 * 4);
    cv::Mat src(1080, 1920, CV_8UC4, bytes.data()), dst;
    cv::Mat alpha, alphaOut;
    const cv::Mat k1 = alphaKernel(1), k5 = alphaKernel(5), k20 = alphaKernel(20);
    // one table for every channel (OpenCV's single-table path), the gamma 1.2
    // table of DoGamma; it maps alpha as well, which DoGamma leaves alone
    cv::Mat lut(1, 256, CV_8UC1);
    for (int i = 0; i < 256; ++i)
        lut.at<uint8_t>(0, i) = uint8_t(std::floor(255.0 * std::pow(i * (1.0 / 255), 1.2)));
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
                blurAlphaOpenCV(src, alpha, alphaOut, k1);
                break;
            case kMask5:
                blurAlphaOpenCV(src, alpha, alphaOut, k5);
                break;
            case kMask20:
                blurAlphaOpenCV(src, alpha, alphaOut, k20);
                break;
        }
        benchmark::DoNotOptimize(dst.data);
    }
}
BENCHMARK(BM_FilterOpenCV)->DenseRange(0, 6)->ArgName("filter")->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
