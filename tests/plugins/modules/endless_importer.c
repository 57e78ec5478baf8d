/* An importer that never stops listing file types. */
#include "reelcore/sdk/importer.h"

RC_MODULE_ENTRY int16_t xImportEntry(int32_t selector, void* host, intptr_t index,
                                     intptr_t record) {
    (void)host;
    if (selector != kRcImportGetIndFileType) return 0;
    RcImportFileType* t = (RcImportFileType*)record;
    t->fileType = RC_FOURCC('E', 'N', 'D', 0) + (RcOSType)(index % 200);
    /* Texts that fill their fields, without a NUL. */
    for (unsigned i = 0; i < sizeof t->description; ++i) t->description[i] = 'd';
    for (unsigned i = 0; i < sizeof t->extensions; ++i) t->extensions[i] = 'e';
    return 0;
}
