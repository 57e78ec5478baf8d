// PNG writing of a 1920 x 1080 frame: the library's encoder beside FFmpeg's
// PNG encoder (`ffmpeg -c:v png`) on the same pixels. Counters give each
// file's size, so speed is compared at a comparable size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "pixels/bitmap_io.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"

#ifdef REEL_BENCH_AVCODEC
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}
#endif

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// Colour bars, a grey ramp and mild sensor noise: compresses like a frame.
uint32_t framePixel(int32_t x, int32_t y, std::mt19937& rng) {
    static const uint32_t kBars[] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000,
                                     0xC000C0, 0xC00000, 0x0000C0, 0x101010};
    uint32_t rgb =
        y < kHeight * 2 / 3 ? kBars[x * 8 / kWidth] : 0x010101u * uint32_t(x * 255 / (kWidth - 1));
    const uint32_t noise = rng() & 0x030303u;
    return rgb ^ noise;
}

PPixHand makeFrame() {
    SetupGlobals();
    InitMemoryMgr();
    const FmRect b{0, 0, kWidth, kHeight};
    PPixHand pix = ppixNew(&b);
    std::mt19937 rng(7);
    for (int32_t y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(ppixGetPixels(pix) +
                                                size_t(kHeight - 1 - y) * ppixGetRowbytes(pix));
        for (int32_t x = 0; x < kWidth; ++x) row[x] = 0xFF000000u | framePixel(x, y, rng);
    }
    return pix;
}

void BM_PngWriteReelcore(benchmark::State& state) {
    PPixHand pix = makeFrame();
    size_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> png = rc::pix::encodePng(pix, false);
        bytes = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["bytes"] = double(bytes);
    ppixDispose(pix);
}
BENCHMARK(BM_PngWriteReelcore)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef REEL_BENCH_AVCODEC
void BM_PngWriteFFmpeg(benchmark::State& state) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec) {
        state.SkipWithError("no PNG encoder in libavcodec");
        return;
    }
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = kWidth;
    frame->height = kHeight;
    av_frame_get_buffer(frame, 0);
    std::mt19937 rng(7);  // the same pixels as the library's frame
    for (int32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = frame->data[0] + size_t(y) * frame->linesize[0];
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t rgb = framePixel(x, y, rng);
            row[3 * x] = uint8_t(rgb >> 16);
            row[3 * x + 1] = uint8_t(rgb >> 8);
            row[3 * x + 2] = uint8_t(rgb);
        }
    }
    AVPacket* packet = av_packet_alloc();
    size_t bytes = 0;
    for (auto _ : state) {
        // One encoder per picture, as the command line makes one per run.
        AVCodecContext* ctx = avcodec_alloc_context3(codec);
        ctx->width = kWidth;
        ctx->height = kHeight;
        ctx->pix_fmt = AV_PIX_FMT_RGB24;
        ctx->time_base = AVRational{1, 25};
        if (avcodec_open2(ctx, codec, nullptr) < 0) {
            state.SkipWithError("cannot open the PNG encoder");
            avcodec_free_context(&ctx);
            break;
        }
        avcodec_send_frame(ctx, frame);
        if (avcodec_receive_packet(ctx, packet) == 0) {
            bytes = size_t(packet->size);
            av_packet_unref(packet);
        }
        avcodec_free_context(&ctx);
    }
    state.counters["bytes"] = double(bytes);
    av_packet_free(&packet);
    av_frame_free(&frame);
}
BENCHMARK(BM_PngWriteFFmpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
