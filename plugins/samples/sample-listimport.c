/* An importer that lists its file types when asked: registration calls
   selector kRcImportGetIndFileType with index 0, 1, ... and stops at the
   first answer other than 0. */
#include <string.h>

#include "reelcore/sdk/importer.h"
#include "reelcore/sdk/kinds.h"

enum { kNoMoreTypes = 1, kUnsupported = 2 };

static const struct {
    RcOSType type;
    RcOSType kind;
    int32_t flags;
    const char* description;
    const char* extensions;
} kTypes[] = {
    {RC_FOURCC('L', 'S', 'T', '1'), 0, kRcXrefStill, "Listed still", "ls1"},
    {RC_FOURCC('L', 'S', 'T', '2'), RC_FOURCC('M', 'o', 'o', 'V'), 0, "Listed movie", "ls2;lsm"},
};

static int16_t describeType(intptr_t index, RcImportFileType* out) {
    if (index < 0 || index >= (intptr_t)(sizeof kTypes / sizeof kTypes[0])) return kNoMoreTypes;
    out->fileType = kTypes[index].type;
    out->kind = kTypes[index].kind;
    out->flags = kTypes[index].flags;
    strncpy(out->description, kTypes[index].description, sizeof out->description - 1);
    strncpy(out->extensions, kTypes[index].extensions, sizeof out->extensions - 1);
    return 0;
}

RC_MODULE_ENTRY int16_t xImportEntry(int32_t selector, void* host, intptr_t param1,
                                     intptr_t param2) {
    (void)host;
    switch (selector) {
        case kRcImportStartup:
        case kRcImportShutdown:
            return 0;
        case kRcImportGetIndFileType:
            return describeType(param1, (RcImportFileType*)param2);
        default:
            return kUnsupported;
    }
}
