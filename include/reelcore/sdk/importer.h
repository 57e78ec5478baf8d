/* Importer modules: the entry point "xImportEntry" and its selectors.

   An importer declares the file types it reads either in resources ('XREF'
   and 'XRFF' 1000, see kinds.h) or, without 'XREF', when asked: the host
   names the importer's handler type in 'IMPT' 1000 and calls selector
   kRcImportGetIndFileType with index 0, 1, ... until the importer answers
   anything but 0 (at most 1,000 times). */
#ifndef REELCORE_SDK_IMPORTER_H
#define REELCORE_SDK_IMPORTER_H

#include "reelcore/sdk/module.h"

#define RC_IMPORT_ENTRY_NAME "xImportEntry"

/* result = xImportEntry(selector, host record, argument 1, argument 2);
   0 is success. */
typedef int16_t (*RcImportEntryProc)(int32_t selector, void* host, intptr_t param1,
                                     intptr_t param2);

enum {
    kRcImportStartup = 0,
    kRcImportShutdown = 1,
    kRcImportPrefs = 2,
    kRcImportGetInfo = 4,
    kRcImportImage = 5,
    kRcImportAudio = 6,
    kRcImportOpenFile = 7,
    kRcImportQuietFile = 8,
    kRcImportCloseFile = 9,
    kRcImportGetTimeInfo = 10,
    kRcImportSetTimeInfo = 11,
    kRcImportAnalysis = 12,
    kRcImportDataRateAnalysis = 13,
    kRcImportGetIndFileType = 14, /* param1: index; param2: RcImportFileType* */
    kRcImportGetFrameInfo = 15,
    kRcImportDisposeFrameInfo = 16,
    kRcImportGetCompressedFrame = 17,
    kRcImportDisposeCompressedFrame = 18,
    kRcImportSaveFile = 19,
    kRcImportDeleteFile = 20,
    kRcImportGetCreatorInfo = 21,
    kRcImportSetCreatorInfo = 22,
    kRcImportGetMetaData = 23,
    kRcImportSetMetaData = 24
};

/* Filled by the importer for kRcImportGetIndFileType (the host clears it
   first). Flags as in RcXrefEntry; with kRcXrefStill the kind is 'PICT'. */
typedef struct RcImportFileType {
    RcOSType fileType;
    RcOSType kind;
    int32_t flags;
    char description[256]; /* C string */
    char extensions[256];  /* C string: "avi;*divx", no dots */
} RcImportFileType;

RC_SDK_ASSERT(sizeof(RcImportFileType) == 524, "the file type record is 524 bytes");

#endif
