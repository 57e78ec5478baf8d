/* A video filter. The filter host calls "xFilter"(selector, record); the
   record's layout comes with the filter host. Selector 0 processes a frame,
   1 runs the filter's setup; anything else is left to the host. */
#include "reelcore/sdk/module.h"

enum { kFilterProcess = 0, kFilterSetup = 1, kUnsupported = 2 };

RC_MODULE_ENTRY int16_t xFilter(int16_t selector, void* record) {
    (void)record;
    switch (selector) {
        case kFilterProcess:
        case kFilterSetup:
            return 0;
        default:
            return kUnsupported;
    }
}
