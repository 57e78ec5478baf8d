/* An importer whose file types are in its 'XREF' and 'XRFF' resources.
   Everything goes through one entry point; the host's records for opening
   files and importing frames come with the importer host. */
#include "reelcore/sdk/importer.h"

enum { kUnsupported = 2 };

RC_MODULE_ENTRY int16_t xImportEntry(int32_t selector, void* host, intptr_t param1,
                                     intptr_t param2) {
    (void)host;
    (void)param1;
    (void)param2;
    switch (selector) {
        case kRcImportStartup:
        case kRcImportShutdown:
            return 0;
        default:
            return kUnsupported;
    }
}
