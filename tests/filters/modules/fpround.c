/* An export-effect module that leaves the floating-point unit rounding
   upward, as careless modules do. */
#include <fenv.h>

#include "reelcore/sdk/effect.h"

RC_MODULE_ENTRY int16_t xExport(int16_t selector, void* record) {
    (void)record;
    fesetround(FE_UPWARD);
    return selector == kRcExportFrame ? 0 : 3;
}
