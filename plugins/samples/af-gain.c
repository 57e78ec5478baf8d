/* An audio filter that scales the samples by a gain in percent (100 keeps
   them). The host hands the settings at the block's first sample and at
   its end; the gain ramps between them: sample i of n gets
   g = g0 + (g1 - g0) * i / n, and the sample becomes s * g / 100, clipped
   to its range (8-bit samples around 128). */
#include <string.h>

#include "reelcore/sdk/effect.h"

static int32_t gainOf(RcHandleWord word, int32_t fallback) {
    RcHandle h = RC_HANDLE(word);
    int32_t g = fallback;
    if (h && *h) memcpy(&g, *h, sizeof g);
    return g;
}

static int32_t clip(int64_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : v > hi ? hi : (int32_t)v;
}

static int16_t gain(const RcAudioFilterRecord* r) {
    if (!r->source || !r->destination || r->count <= 0) return 0;
    const int32_t g0 = gainOf(r->specsHandle, 100);
    const int32_t g1 = gainOf(r->endSpecsHandle, g0);
    const int32_t channels = (r->format & kRcAudioStereo) ? 2 : 1;
    const int64_t n = r->count;
    for (int64_t i = 0; i < n; ++i) {
        const int64_t g = g0 + (int64_t)(g1 - g0) * i / n;
        for (int32_t c = 0; c < channels; ++c) {
            const int64_t at = i * channels + c;
            if (r->format & kRcAudio16Bit) {
                const int16_t s = ((const int16_t*)r->source)[at];
                ((int16_t*)r->destination)[at] = (int16_t)clip(s * g / 100, -32768, 32767);
            } else {
                const int32_t s = ((const uint8_t*)r->source)[at] - 128;
                ((uint8_t*)r->destination)[at] = (uint8_t)(clip(s * g / 100, -128, 127) + 128);
            }
        }
    }
    return 0;
}

RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    RcAudioFilterRecord* r = (RcAudioFilterRecord*)*record;
    switch (selector) {
        case kRcFilterProcess:
            return gain(r);
        case kRcFilterSetup:
            if (!r->specsHandle && r->host) {
                RcHandle h = r->host->newHandle(sizeof(int32_t));
                if (!h) return -108;
                const int32_t unity = 100;
                memcpy(*h, &unity, sizeof unity);
                r->specsHandle = RC_HANDLE_WORD(h);
            }
            return 0;
        default:
            return kRcModuleUnsupported;
    }
}
