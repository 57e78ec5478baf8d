/* Setup probes: they check the record the host fills for a setup, answer
   with new settings holding what they saw (the filter probe adds the first
   pixel of its source picture), and leave a 32-byte name or title without a
   terminating NUL. */
#include <string.h>

#include "reelcore/sdk/effect.h"

static RcHandle replaceSettings(const RcHostServices* host, RcHandleWord old, int32_t a, int32_t b,
                                uint32_t c) {
    RcHandle h = host->newHandle(12);
    memcpy(*h, &a, 4);
    memcpy(*h + 4, &b, 4);
    memcpy(*h + 8, &c, 4);
    if (old) host->disposeHandle(RC_HANDLE(old));
    return h;
}

#if defined(PROBE_FILTER)
RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    RcVideoFilterRecord* r = (RcVideoFilterRecord*)*record;
    if (selector == kRcFilterUseSettings) return r->specsHandle ? 1 : 0;
    if (selector != kRcFilterSetup) return kRcModuleUnsupported;
    if (r->previewing != 1 || r->fieldFlags != 32 || r->version != 7 || !r->source ||
        !r->destination || !r->privateData || !r->callBack)
        return 50;
    const RcPixelBuffer* p = RC_PIXELS(r->source);
    if (p->bounds.right != 240 || p->bounds.bottom != 180) return 51;
    if (strcmp(r->instanceName, "before") != 0) return 52;
    uint32_t first;
    memcpy(&first, p->pixels, 4);
    r->specsHandle =
        RC_HANDLE_WORD(replaceSettings(r->host, r->specsHandle, r->part, r->total, first));
    memset(r->instanceName, 'N', sizeof r->instanceName);
    return 0;
}
#else
RC_MODULE_ENTRY int16_t xEffect(int16_t selector, RcHandle record) {
    RcEffectRecord* r = (RcEffectRecord*)*record;
    if (selector != kRcEffectSetup) return kRcModuleUnsupported;
    if (r->previewing != 0 || r->part != 0 || r->flags != 32 || r->version != 6 || !r->source1 ||
        !r->source2 || !r->destination || !r->privateData)
        return 50;
    r->specsHandle =
        RC_HANDLE_WORD(replaceSettings(r->host, r->specsHandle, r->total, r->startPoint.x, 0));
    r->reverse = (uint8_t)!r->reverse;
    r->startPoint.x += 5;
    r->centerPoint.y += 7;
    memset(r->title, 'T', sizeof r->title);
    return 0;
}
#endif
