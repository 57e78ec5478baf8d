/* A video filter without any way to blend its settings (so they cannot
   vary over time) that changes them while it runs: the first 32-bit value
   grows by 1000. */
#include <string.h>

#include "reelcore/sdk/effect.h"

RC_MODULE_ENTRY int16_t xFilter(int16_t selector, RcHandle record) {
    RcVideoFilterRecord* r = (RcVideoFilterRecord*)*record;
    if (selector != kRcFilterProcess) return selector == kRcFilterSetup ? 0 : kRcModuleUnsupported;
    RcHandle settings = RC_HANDLE(r->specsHandle);
    if (settings && *settings) {
        int32_t v;
        memcpy(&v, *settings, sizeof v);
        v += 1000;
        memcpy(*settings, &v, sizeof v);
    }
    return 0;
}
