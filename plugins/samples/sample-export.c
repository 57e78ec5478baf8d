/* An export module, called through "xExport"(selector, callback) with the
   host's callback record, whose layout comes with the export host. */
#include "reelcore/sdk/module.h"

enum { kExportStartup = 0, kUnsupported = 2 };

RC_MODULE_ENTRY int16_t xExport(int16_t selector, void* callback) {
    (void)callback;
    return selector == kExportStartup ? 0 : kUnsupported;
}
