/* A video filter that stretches the input levels: values at or below black
   become 0, at or above white 255, and between them
   (v - black) * 255 / (white - black). Settings (8 bytes): black and white
   (16-bit), then flags (bit 0: leave alpha as it is, else make it opaque).
   The host blends black and white between keys with the module's FltD
   table and copies the flags. */
#include <string.h>

#include "reelcore/sdk/effect.h"

typedef struct LevelsSettings {
    int16_t black, white;
    uint32_t flags;
} LevelsSettings;

RC_SDK_ASSERT(sizeof(LevelsSettings) == 8, "levels settings are 8 bytes");

static const LevelsSettings kDefaults = {16, 235, 1};

static int16_t levels(const RcVideoFilterRecord* r) {
    if (!r->source || !r->destination) return kRcModuleUnsupported;
    LevelsSettings s = kDefaults;
    RcHandle h = RC_HANDLE(r->specsHandle);
    if (h && *h) memcpy(&s, *h, sizeof s);
    int32_t black = s.black < 0 ? 0 : s.black > 254 ? 254 : s.black;
    int32_t white = s.white <= black ? black + 1 : s.white > 255 ? 255 : s.white;
    uint8_t table[256];
    for (int32_t v = 0; v < 256; ++v)
        table[v] = (uint8_t)(v <= black   ? 0
                             : v >= white ? 255
                                          : (v - black) * 255 / (white - black));
    const RcPixelBuffer* src = RC_PIXELS(r->source);
    const RcPixelBuffer* dst = RC_PIXELS(r->destination);
    int32_t w = src->bounds.right - src->bounds.left, hgt = src->bounds.bottom - src->bounds.top;
    if (dst->bounds.right - dst->bounds.left < w) w = dst->bounds.right - dst->bounds.left;
    if (dst->bounds.bottom - dst->bounds.top < hgt) hgt = dst->bounds.bottom - dst->bounds.top;
    for (int32_t y = 0; y < hgt; ++y) {
        const uint8_t* in = (const uint8_t*)src->pixels + (size_t)src->rowBytes * y;
        uint8_t* out = (uint8_t*)dst->pixels + (size_t)dst->rowBytes * y;
        for (int32_t x = 0; x < w; ++x, in += 4, out += 4) {
            out[0] = table[in[0]];
            out[1] = table[in[1]];
            out[2] = table[in[2]];
            out[3] = (s.flags & 1) ? in[3] : 255;
        }
    }
    return 0;
}

RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    RcVideoFilterRecord* r = (RcVideoFilterRecord*)*record;
    switch (selector) {
        case kRcFilterProcess:
            return levels(r);
        case kRcFilterSetup:
            if (!r->specsHandle && r->host) {
                RcHandle h = r->host->newHandle(sizeof kDefaults);
                if (!h) return -108;
                memcpy(*h, &kDefaults, sizeof kDefaults);
                r->specsHandle = RC_HANDLE_WORD(h);
            }
            return 0;
        case kRcFilterUseSettings:
            return r->specsHandle ? 1 : 0;
        default:
            return kRcModuleUnsupported;
    }
}
