/* The cut transition. Timelines never call it (the host shows the outgoing
   or incoming source itself); called directly, it shows source 1 before the
   cut's end and source 2 at it. */
#include <string.h>

#include "reelcore/sdk/effect.h"

static int16_t cut(const RcEffectRecord* r) {
    if (!r->source1 || !r->source2 || !r->destination) return kRcModuleUnsupported;
    const RcPixelBuffer* from = RC_PIXELS(r->part < r->total ? r->source1 : r->source2);
    const RcPixelBuffer* out = RC_PIXELS(r->destination);
    int32_t width = from->bounds.right - from->bounds.left;
    int32_t height = from->bounds.bottom - from->bounds.top;
    if (out->bounds.right - out->bounds.left < width) width = out->bounds.right - out->bounds.left;
    if (out->bounds.bottom - out->bounds.top < height)
        height = out->bounds.bottom - out->bounds.top;
    for (int32_t y = 0; y < height; ++y)
        memcpy(out->pixels + (size_t)out->rowBytes * y, from->pixels + (size_t)from->rowBytes * y,
               (size_t)width * 4);
    return 0;
}

RC_MODULE_ENTRY int16_t xEffect(int16_t selector, RcHandle record) {
    const RcEffectRecord* r = (const RcEffectRecord*)*record;
    switch (selector) {
        case kRcEffectProcess:
            return cut(r);
        case kRcEffectSetup:
        case kRcEffectAspectQuery:
            return 0;
        default:
            return kRcModuleUnsupported;
    }
}
