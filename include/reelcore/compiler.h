/* The export host: the exporters, video compressors and audio compressors
   the export modules offer (learnt when the plug-ins are loaded), and the
   exports themselves (movie, still, audio and custom), which hand a module a
   compile record and the host services through which it pulls rendered
   frames and audio.

   The three tables are handles of fixed-size entries in global slots:
     slot 339  exporters (RcCompilerInfo, 424 bytes each)
     slot 340  video compressors (RcCompressorInfo, 323 bytes each)
     slot 348  audio compressors (RcAudioCompressorInfo; the format list
               points to the host's copy of the module's list) */
#ifndef REELCORE_COMPILER_H
#define REELCORE_COMPILER_H

#include "reelcore/ppix.h"
#include "reelcore/sdk/export.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { kSlotCompilerTable = 339, kSlotCompressorTable = 340, kSlotAudioCompressorTable = 348 };

/* Export kinds of SetupProjectDefaultExportName (the export settings of
   psetGetExportSettings are kind + 1). */
enum { kExportKindMovie = 0, kExportKindStill = 1, kExportKindAudio = 2, kExportKindCustom = 3 };

/* ---- Tables ---- */
/* Shuts every exporter down (selector 1) and frees the tables. */
RC_API void CompilerShutdown(void);
/* Copies entry i (from 0); false outside the table. */
RC_API Boolean GetIndexedCompilerEntry(int32_t index, RcCompilerInfo* record);
RC_API Boolean GetIndexedCompilerSubTypeEntry(int32_t index, RcCompressorInfo* record);
RC_API Boolean GetIndexedCompilerAudioEntry(int32_t index, RcAudioCompressorInfo* record);
/* The n-th exporter (from 0) with the custom flag, and their number. */
RC_API Boolean GetIndexedCustomCompilerEntry(int32_t n, RcCompilerInfo* record);
RC_API int32_t GetCustomCompilerCount(void);
/* The exporter with both codes; failing that, the first with the file type
   and class '????'. */
RC_API Boolean FindCompiler(OSType fileType, OSType classID, RcCompilerInfo* record);
RC_API Boolean FindCompilerSubtype(int16_t moduleFileID, OSType fileType, OSType classID,
                                   OSType compressor, RcCompressorInfo* record);
RC_API Boolean FindCompilerAudioCompressor(int16_t moduleFileID, OSType fileType, OSType classID,
                                           OSType compressor, RcAudioCompressorInfo* record);

/* ---- Exports ----
   Each runs one export with the export settings of its kind into `output`
   and returns the module's result (0 success; 2 cancelled, 10 stopped, 18
   output in use ...). Positions are ticks of the project time base; with the
   settings' range field 0 the whole timeline (or the clip) is exported.
   clipID non-zero exports that clip instead of the timeline. */
RC_API int32_t CompilerDoCompile(const FSSpec* output, int32_t inTicks, int32_t outTicks,
                                 int32_t clipID);
RC_API int32_t CompilerExportStill(const FSSpec* output, int32_t atTicks, int32_t clipID);
RC_API int32_t CompilerExportAudio(const FSSpec* output, int32_t inTicks, int32_t outTicks,
                                   int32_t clipID);
RC_API int32_t CompilerExportCustom(const FSSpec* output, int32_t inTicks, int32_t outTicks,
                                    int32_t clipID);

/* The timeline the exports render (a track table; null: none). */
RC_API void CompilerSetTimeline(Handle trackTable);
RC_API Handle CompilerGetTimeline(void);

/* Ends the running export: the next progress report answers 10. Cleared
   when an export starts. */
RC_API void CompilerStop(void);

/* What the interface does around an export. Every member may be null (the
   headless default: nothing shown, never cancelled). */
typedef struct CompilerCallbacks {
    /* Progress text and fraction; answers non-zero when the user cancels. */
    void (*progressText)(const char* text);
    int32_t (*progress)(int32_t done, int32_t total);
    void (*beep)(void);
    /* After success: the output, whether to open it (openwhendone) and the
       clip window's FileID when the file is already in the project (else 0). */
    void (*exportDone)(const FSSpec* output, int32_t open, int16_t projectFileID);
    void (*addRecentFile)(const FSSpec* output);
} CompilerCallbacks;
/* Installs callbacks (null restores the headless ones); returns the old. */
RC_API const CompilerCallbacks* CompilerSetCallbacks(const CompilerCallbacks* callbacks);

/* ---- Settings ---- */
/* Export settings from a clip's file: file type, compressor, size, time
   base, pixel aspect, depth and audio format. */
RC_API void SettingsFromClip(Handle settings, int32_t clipID);
/* Stores a default output file in the export settings of the kind (0 movie,
   1 still, 2 audio, 3 custom); other kinds do nothing. */
RC_API void SetupProjectDefaultExportName(const FSSpec* fileSpec, int32_t kind);
/* Lets the exporter of the settings' file type and class edit settings of
   its own: selector 5 (kRcCompileSettings) its exporter settings
   (compilerprefs), 6 the video compressor's (video subtypeprefs), 7 the
   audio compressor's (audio subtypeprefs). The settings dialogs call it when
   the user asks for a module's options. The settings pointer the module
   returns is kept when it answers 0 or 19 (19: changed, which the project
   settings dialog marks); other answers are reported as an export's are.
   Returns the module's answer; 1 without a matching exporter, -50 for a
   bad selector or settings handle. */
RC_API int32_t CompilerEditSettings(Handle settings, int32_t selector);
/* The default output of a kind (false when none is set). */
RC_API Boolean GetProjectDefaultExportName(int32_t kind, FSSpec* fileSpec);
/* Clears the default names of the project settings and of the four kinds. */
RC_API void ResetProjectDefaultExportNames(void);

/* ---- PNG ---- */
/* Encodes a 32-bit ppix (alpha kept) as PNG at the file's current position.
   0, -50 for a missing or non-32-bit picture, -108 without memory, or the
   write's error. */
RC_API OSErr ppixWritePNG(PPixHand pix, FileRef file);

#ifdef __cplusplus
}
#endif

#endif
