/* The importer host: calls importer modules (or importers built into the
   executable) through their single entry point "xImportEntry", keeps their
   capability records (slot 330), the host callback record (slot 329), their
   per-file private data and preferences, and turns their answers into the
   library's media information. Records exchanged with importers are in
   reelcore/sdk/importer.h. */
#ifndef REELCORE_IMPORTERS_H
#define REELCORE_IMPORTERS_H

#include "reelcore/filetable.h"
#include "reelcore/sdk/importer.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kSlotImporterHostRecord = 329, /* RcImportHostRecord*, made once */
    kSlotImporterCaps = 330,       /* Handle of RcImporterCapabilities */
    kSlotHostUtilities = 365,      /* the executable's utility table for importers */
    kImportNoImporter = 2,         /* no importer, or no entry point */
    kImportCannotOpen = 5,         /* the file cannot be found or opened */
    kImportNoneCanOpen = -19,      /* no importer can open the file */
    kImportMaxRedirects = 4        /* declines followed before giving up */
};

/* Built-in importer: called directly with the same arguments as a module's
   entry point. */
typedef RcImportEntryProc FmImportProc;
/* Registers a built-in importer for the handler type in the importer table
   (slot 3) and starts it (selector 0). 0, or the importer's start-up result. */
RC_API OSErr FmAddBuiltinImporter(OSType handlerType, FmImportProc proc);

/* Capability record queries; false for an unknown handler type. */
RC_API Boolean importerCanSave(OSType handlerType);
RC_API Boolean importerIsSynthetic(OSType handlerType);
RC_API Boolean importerHasSetup(OSType handlerType);
RC_API Boolean importerSetupOnDblClk(OSType handlerType);
RC_API Boolean importerCreatesFiles(OSType handlerType);

/* Data an importer keeps for all its files. */
RC_API OSErr SetClassData(OSType handlerType, void* data);
RC_API void* GetClassData(OSType handlerType);

/* Per-file preferences (state 0 none, 1 in the record's 16-byte block, 2 in
   a handle of their own). Lock gives the bytes and their size, null in
   state 0; Fill stores a copy of size bytes (0 or null data: none). */
RC_API void* LockImporterPrefs(int16_t fileID, int32_t* outSize);
RC_API void UnlockImporterPrefs(int16_t fileID);
RC_API OSErr FillImporterPrefs(int16_t fileID, const void* data, int32_t size);

/* Describes the file (the third argument is ignored). noSetup non-zero never
   runs the importer's setup. 0, or the importer's or host's code. */
RC_API OSErr importGetInfo(int16_t fileID, FmMediaInfo* info, intptr_t unused, int32_t noSetup);
/* A frame of the file into the pixel world's rectangle (media access flags,
   see media_access.h); frame is the file's frame number. */
RC_API OSErr ImportVideo(int16_t fileID, int32_t frame, int32_t world, const FmRect* rect,
                         int32_t flags);
/* `size` bytes of the file's own audio format from byte offset `offset`. */
RC_API OSErr ImportAudioSec(int16_t fileID, int64_t offset, int32_t size, void* dest);
RC_API OSErr importCloseFile(int16_t fileID);
/* Selectors passed straight to the file's importer with an access record as
   argument 1 and the caller's record as argument 2. */
RC_API OSErr importAnalysis(int16_t fileID, void* record);
RC_API OSErr importDataRateAnalysis(int16_t fileID, void* record);
RC_API OSErr importGetFrameInfo(int16_t fileID, void* record);
RC_API OSErr importDisposeFrameInfo(int16_t fileID, void* record);
RC_API OSErr importGetCompressedFrame(int16_t fileID, void* record);
RC_API OSErr importDisposeCompressedFrame(int16_t fileID, void* record);
RC_API OSErr importSaveFile(int16_t fileID);
RC_API OSErr importGetCreatorInfo(int16_t fileID, void* record);
RC_API OSErr importSetCreatorInfo(int16_t fileID, void* record);
RC_API OSErr importGetMetaData(int16_t fileID, void* record);
RC_API OSErr importSetMetaData(int16_t fileID, void* record);

/* New synthetic media from importer `index` of the capability list; the new
   clip goes to the front bin, folder or project window. The clip's ID, or 0. */
RC_API int32_t NewImporterFile(int32_t index);
/* Removes menu marks ('&' accelerators, a trailing "...") from a counted
   string in place. */
RC_API void StripMenu(unsigned char* text);

#ifdef __cplusplus
}
#endif

#endif
