/* An Imagist-style filter that posterizes the picture: each colour channel
   keeps `levels` steps, v -> (v * levels / 256) * 255 / (levels - 1).

   The host calls the entry named in the PiPL with the filter record, the
   module's persistent data word and a result. Parameters (setup) makes the
   parameter block if there is none; prepare, start, continue and finish
   then run over the picture: everything is done in one continue, which
   empties outRect to say so. */
#include <string.h>

#include "reelcore/sdk/effect.h"

enum { kDefaultLevels = 4 };

static int32_t levelsOf(const RcImagistRecord* r) {
    int32_t levels = kDefaultLevels;
    if (r->parameters && *r->parameters) memcpy(&levels, *r->parameters, sizeof levels);
    if (levels < 2) levels = 2;
    if (levels > 256) levels = 256;
    return levels;
}

static void posterize(RcImagistRecord* r) {
    const int32_t levels = levelsOf(r);
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) table[v] = (uint8_t)((v * levels / 256) * 255 / (levels - 1));
    const int32_t w = r->outRect.right - r->outRect.left;
    const int32_t h = r->outRect.bottom - r->outRect.top;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* in = (const uint8_t*)r->inData + (ptrdiff_t)r->inRowBytes * y;
        uint8_t* out = (uint8_t*)r->outData + (ptrdiff_t)r->outRowBytes * y;
        for (int32_t x = 0; x < w; ++x) {
            out[4 * x + 0] = table[in[4 * x + 0]];
            out[4 * x + 1] = table[in[4 * x + 1]];
            out[4 * x + 2] = table[in[4 * x + 2]];
            out[4 * x + 3] = in[4 * x + 3];
        }
    }
}

RC_MODULE_ENTRY void PosterizeEntry(int16_t selector, void* record, intptr_t* data,
                                    int16_t* result) {
    RcImagistRecord* r = (RcImagistRecord*)record;
    (void)data;
    *result = 0;
    switch (selector) {
        case kRcImagistAbout:
            break;
        case kRcImagistParameters:
            if (!r->parameters) {
                r->parameters = r->host->newHandle(sizeof(int32_t));
                if (!r->parameters) {
                    *result = -108;
                    break;
                }
                const int32_t levels = kDefaultLevels;
                memcpy(*r->parameters, &levels, sizeof levels);
            }
            break;
        case kRcImagistPrepare:
        case kRcImagistStart:
        case kRcImagistFinish:
            break;
        case kRcImagistContinue:
            if (r->inData && r->outData) posterize(r);
            memset(&r->outRect, 0, sizeof r->outRect);
            break;
        default:
            *result = kRcModuleUnsupported;
    }
}
