/* Version-2 modules: each checks that it was handed its older record, then
   swaps the settings and private-data words (which the host must copy back)
   and stamps the part it saw into the destination's first pixel. */
#include "reelcore/sdk/effect.h"

#if !defined(OLD_AUDIO)
static void stamp(RcHandleWord pix, int32_t value) {
    if (!pix) return;
    const RcPixelBuffer* p = RC_PIXELS(pix);
    p->pixels[0] = (char)value;
}
#endif

#if defined(OLD_VIDEO)
RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    RcVideoFilterRecordV2* r = (RcVideoFilterRecordV2*)*record;
    if (r->version != 2) return 90;
    const RcHandleWord s = r->specsHandle;
    r->specsHandle = r->privateData;
    r->privateData = s;
    stamp(r->destination, r->part);
    return selector == 0 ? 0 : 7;
}
#elif defined(OLD_AUDIO)
RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    RcAudioFilterRecordV2* r = (RcAudioFilterRecordV2*)*record;
    if (r->version != 2) return 90;
    const RcHandleWord s = r->specsHandle;
    r->specsHandle = r->privateData;
    r->privateData = s;
    if (r->destination && r->count > 0) ((uint8_t*)r->destination)[0] = 0x5A;
    return selector == 0 ? 0 : 7;
}
#elif defined(OLD_EFFECT)
RC_MODULE_ENTRY int16_t xEffect(int16_t selector, RcHandle record) {
    RcEffectRecordV2* r = (RcEffectRecordV2*)*record;
    if (r->version != 2) return 90;
    const RcHandleWord s = r->specsHandle;
    r->specsHandle = r->privateData;
    r->privateData = s;
    stamp(r->destination, r->part);
    return selector == 0 ? 0 : 7;
}
#endif
