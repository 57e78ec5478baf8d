/* A transition that dissolves from source 1 to source 2. With weight
   w = part * 256 / total, every byte becomes (a * (256 - w) + b * w + 128)
   >> 8. The rows are cut into bands that the host's processor pool runs on
   its worker threads. */
#include "reelcore/sdk/effect.h"

typedef struct Band {
    const RcPixelBuffer* a;
    const RcPixelBuffer* b;
    const RcPixelBuffer* out;
    int32_t width;
    int32_t firstRow, endRow;
    uint32_t weight;
} Band;

enum { kMaxBands = 16 };

static void dissolveBand(void* block) {
    const Band* band = (const Band*)block;
    /* a * wa + b * wb + 128 stays below 65536 (wa + wb = 256), so 16-bit
       arithmetic is exact and lets the compiler work on more bytes at once. */
    const uint16_t wb = (uint16_t)band->weight, wa = (uint16_t)(256 - wb);
    const size_t bytes = (size_t)band->width * 4;
    for (int32_t y = band->firstRow; y < band->endRow; ++y) {
        const uint8_t* a = (const uint8_t*)band->a->pixels + (size_t)band->a->rowBytes * y;
        const uint8_t* b = (const uint8_t*)band->b->pixels + (size_t)band->b->rowBytes * y;
        uint8_t* out = (uint8_t*)band->out->pixels + (size_t)band->out->rowBytes * y;
        for (size_t i = 0; i < bytes; ++i)
            out[i] = (uint8_t)((uint16_t)(a[i] * wa + b[i] * wb + 128) >> 8);
    }
}

static int32_t smaller(int32_t x, int32_t y) {
    return x < y ? x : y;
}

static int16_t dissolve(const RcEffectRecord* r) {
    if (!r->source1 || !r->source2 || !r->destination || r->total <= 0) return kRcModuleUnsupported;
    const RcPixelBuffer* a = RC_PIXELS(r->source1);
    const RcPixelBuffer* b = RC_PIXELS(r->source2);
    const RcPixelBuffer* out = RC_PIXELS(r->destination);
    const int32_t width =
        smaller(smaller(a->bounds.right - a->bounds.left, b->bounds.right - b->bounds.left),
                out->bounds.right - out->bounds.left);
    const int32_t height =
        smaller(smaller(a->bounds.bottom - a->bounds.top, b->bounds.bottom - b->bounds.top),
                out->bounds.bottom - out->bounds.top);
    int32_t part = r->part < 0 ? 0 : r->part > r->total ? r->total : r->part;
    const uint32_t weight = (uint32_t)((int64_t)part * 256 / r->total);

    int32_t bands = r->host ? r->host->lockBands(kMaxBands) : 1;
    if (bands < 1) bands = 1;
    if (bands > kMaxBands) bands = kMaxBands;
    Band blocks[kMaxBands];
    for (int32_t i = 0; i < bands; ++i) {
        Band* band = &blocks[i];
        band->a = a;
        band->b = b;
        band->out = out;
        band->width = width;
        band->firstRow = (int32_t)((int64_t)height * i / bands);
        band->endRow = (int32_t)((int64_t)height * (i + 1) / bands);
        band->weight = weight;
    }
    if (bands > 1)
        r->host->runBands(bands, dissolveBand, blocks, (int32_t)sizeof(Band));
    else
        dissolveBand(&blocks[0]);
    return 0;
}

RC_MODULE_ENTRY int16_t xEffect(int16_t selector, RcHandle record) {
    RcEffectRecord* r = (RcEffectRecord*)*record;
    switch (selector) {
        case kRcEffectProcess:
            return dissolve(r);
        case kRcEffectSetup:
            return 0; /* nothing to set */
        case kRcEffectAspectQuery:
            return 0;
        default:
            return kRcModuleUnsupported;
    }
}
