/* An effect. The host calls "xEffect"(selector, record) with the two
   source frames in the record, whose layout comes with the effect host. */
#include "reelcore/sdk/module.h"

enum { kEffectProcess = 0, kEffectSetup = 1, kUnsupported = 2 };

RC_MODULE_ENTRY int16_t xEffect(int16_t selector, void* record) {
    (void)record;
    return selector == kEffectProcess || selector == kEffectSetup ? 0 : kUnsupported;
}
