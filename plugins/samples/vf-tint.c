/* A video filter that tints the picture towards a colour. Its settings (8
   bytes) are keyframed: the host blends them for each frame from the
   animation description in the module's PiPL, so the filter only reads the
   settings it is handed.

   Each channel becomes c + (tint - c) * amount / 100 (integer division,
   truncating toward zero); alpha is kept. The rows are cut into bands that
   the host's processor pool runs on its worker threads. */
#include <string.h>

#include "reelcore/sdk/effect.h"

typedef struct TintSettings {
    int32_t amount;    /* percent, 0 ... 100 */
    uint8_t colour[4]; /* R, G, B, 0 */
} TintSettings;

RC_SDK_ASSERT(sizeof(TintSettings) == 8, "tint settings are 8 bytes");

static const TintSettings kDefaults = {50, {255, 160, 64, 0}};

static TintSettings settingsOf(RcHandleWord word) {
    TintSettings s = kDefaults;
    RcHandle h = RC_HANDLE(word);
    if (h && *h) memcpy(&s, *h, sizeof s);
    if (s.amount < 0) s.amount = 0;
    if (s.amount > 100) s.amount = 100;
    return s;
}

/* A band of rows, run on one of the host's pool threads. */
typedef struct Band {
    const RcPixelBuffer* src;
    const RcPixelBuffer* dst;
    const uint8_t (*table)[256];
    int32_t width;
    int32_t firstRow, endRow;
} Band;

enum { kMaxBands = 16 };

static void tintBand(void* block) {
    const Band* band = (const Band*)block;
    const uint8_t(*table)[256] = band->table;
    for (int32_t y = band->firstRow; y < band->endRow; ++y) {
        const uint8_t* in = (const uint8_t*)band->src->pixels + (size_t)band->src->rowBytes * y;
        uint8_t* out = (uint8_t*)band->dst->pixels + (size_t)band->dst->rowBytes * y;
        /* A pixel at a time as one little-endian word: B | G << 8 | R << 16
           | A << 24, read and written whole. */
        for (int32_t x = 0; x < band->width; ++x, in += 4, out += 4) {
            uint32_t p;
            memcpy(&p, in, 4);
            p = (uint32_t)table[0][p & 0xFF] | (uint32_t)table[1][(p >> 8) & 0xFF] << 8 |
                (uint32_t)table[2][(p >> 16) & 0xFF] << 16 | (p & 0xFF000000u);
            memcpy(out, &p, 4);
        }
    }
}

static int16_t tint(const RcVideoFilterRecord* r) {
    if (!r->source || !r->destination) return kRcModuleUnsupported;
    const RcPixelBuffer* src = RC_PIXELS(r->source);
    const RcPixelBuffer* dst = RC_PIXELS(r->destination);
    const TintSettings s = settingsOf(r->specsHandle);
    int32_t w = src->bounds.right - src->bounds.left;
    int32_t h = src->bounds.bottom - src->bounds.top;
    if (dst->bounds.right - dst->bounds.left < w) w = dst->bounds.right - dst->bounds.left;
    if (dst->bounds.bottom - dst->bounds.top < h) h = dst->bounds.bottom - dst->bounds.top;
    /* Each channel's result depends only on its input byte, so one table
       per channel holds all 256 answers. Pixels are B, G, R, A. */
    uint8_t table[3][256];
    const int32_t toward[3] = {s.colour[2], s.colour[1], s.colour[0]};
    for (int32_t c = 0; c < 3; ++c)
        for (int32_t v = 0; v < 256; ++v)
            table[c][v] = (uint8_t)(v + (toward[c] - v) * s.amount / 100);

    int32_t bands = r->host ? r->host->lockBands(kMaxBands) : 1;
    if (bands < 1) bands = 1;
    if (bands > kMaxBands) bands = kMaxBands;
    Band blocks[kMaxBands];
    for (int32_t i = 0; i < bands; ++i) {
        Band* band = &blocks[i];
        band->src = src;
        band->dst = dst;
        band->table = (const uint8_t(*)[256])table;
        band->width = w;
        band->firstRow = (int32_t)((int64_t)h * i / bands);
        band->endRow = (int32_t)((int64_t)h * (i + 1) / bands);
    }
    if (bands > 1)
        r->host->runBands(bands, tintBand, blocks, (int32_t)sizeof(Band));
    else
        tintBand(&blocks[0]);
    return 0;
}

/* Setup without a dialog: present settings are kept, otherwise the
   defaults become the settings. */
static int16_t setup(RcVideoFilterRecord* r) {
    if (r->specsHandle) return 0;
    if (!r->host) return kRcModuleUnsupported;
    RcHandle h = r->host->newHandle(sizeof(TintSettings));
    if (!h) return -108;
    memcpy(*h, &kDefaults, sizeof kDefaults);
    r->specsHandle = RC_HANDLE_WORD(h);
    strcpy(r->instanceName, "Tint");
    return 0;
}

RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    RcVideoFilterRecord* r = (RcVideoFilterRecord*)*record;
    switch (selector) {
        case kRcFilterProcess:
            return tint(r);
        case kRcFilterSetup:
            return setup(r);
        case kRcFilterUseSettings:
            return r->specsHandle ? 1 : 0;
        case kRcFilterAspectQuery:
            return 0; /* any pixel shape will do */
        default:
            return kRcModuleUnsupported;
    }
}
