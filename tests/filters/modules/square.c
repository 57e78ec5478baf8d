/* A video filter that wants square pixels: it answers the aspect query with
   both request bits and fills its destination with the width of the source
   it was handed (red) and the selector (green). */
#include "reelcore/sdk/effect.h"

static void fill(const RcVideoFilterRecord* r, int16_t selector) {
    const RcPixelBuffer* src = RC_PIXELS(r->source);
    const RcPixelBuffer* dst = RC_PIXELS(r->destination);
    const int32_t seen = src->bounds.right - src->bounds.left;
    const int32_t w = dst->bounds.right - dst->bounds.left;
    const int32_t h = dst->bounds.bottom - dst->bounds.top;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = (uint8_t*)dst->pixels + (size_t)dst->rowBytes * y;
        for (int32_t x = 0; x < w; ++x) {
            row[4 * x + 0] = 0;
            row[4 * x + 1] = (uint8_t)selector;
            row[4 * x + 2] = (uint8_t)seen;
            row[4 * x + 3] = 255;
        }
    }
}

RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    RcVideoFilterRecord* r = (RcVideoFilterRecord*)*record;
    if (selector == kRcFilterAspectQuery) return 4 | 2;
    if (selector == kRcFilterProcess || selector == kRcFilterSetup) {
        if (r->source && r->destination) fill(r, selector);
        return 0;
    }
    return kRcModuleUnsupported;
}
