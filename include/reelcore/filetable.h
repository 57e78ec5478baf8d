/* The file table: every media file the library refers to is registered once
   and named from then on by its FileID (1 to 32,767; 0 none). The table keeps
   the file's FSSpec, type, handler and cached media information, and
   shares the open data file and resource file among their users. */
#ifndef REELCORE_FILETABLE_H
#define REELCORE_FILETABLE_H

#include "reelcore/aspect.h"
#include "reelcore/timerecord.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Global slots used by the file table. */
enum {
    kSlotFileTable = 206,     /* Handle of FmFileTable */
    kSlotBadFiles = 60,       /* Handle of 16-bit FileIDs that must not be refreshed or relocated */
    kSlotLocatingFile = 56,   /* 1 while the locate-file dialog is shown */
    kSlotDefaultStillLen = 37 /* default length of a still, in frames */
};

/* Result codes of the file table besides the file-access ones. */
enum { kFileBadParam = -50, kFileUserCancelled = -128 };

enum {
    kFileTableGrowth = 1000,
    kFileTableMaxSlots = 32768, /* FileIDs 1 to 32,767 */
    kFileTextSize = 32          /* display text: 31 characters and a NUL */
};

/* Type codes the file table itself uses. */
#define kFileTypeOffline ((OSType)0x4F46464C)  /* 'OFFL' */
#define kFileTypeSequence ((OSType)0x53514E43) /* 'SQNC' */

#pragma pack(push, 1)
/* A handler's description of a media file (467 bytes). The file record keeps
   a copy; non-zero mediaFlags mark the copy valid. */
typedef struct FmMediaInfo {
    FmRect frame;
    TDB audio; /* default 0 / 44,100 / 1 */
    TDB video; /* default 0 / 30 / 1 */
    int16_t depth;
    int16_t mediaFlags;  /* bit 0 video, bit 1 audio, bit 2 video time base */
    int16_t audioFormat; /* bit 8 stereo, bit 9 16-bit samples */
    int32_t pixelAspect;
    uint8_t fieldType;
    uint8_t fieldsStacked;
    uint8_t hasPulldown;
    uint8_t pulldownPhase;
    uint8_t alphaType;
    uint32_t matteColor;
    uint8_t alphaInverted;
    uint8_t isVectors;
    uint8_t drawsExternal;
    uint8_t dontObscure;
    uint8_t noDuration; /* 0 normal, 1 no fixed length, 2 made as a still */
    uint8_t isFramestore;
    int32_t defaultStillLength;
    int32_t timeFormat; /* the importer's display format of the file's time; 0 unknown */
    /* The media's start timecode, "hh:mm:ss:ff" (';' before the frames when
       drop-frame); "" when the handler knows none. Kept in memory only. */
    char timecode[18];
    uint8_t reserved[376];
} FmMediaInfo;

/* The description of an offline file as kept for the project (791 bytes):
   the media information followed by what the project stores beside it. */
typedef struct FmOfflineInfo {
    FmMediaInfo info;
    OSType fileType;
    char timecode[32];
    char reelName[32];
    char folder[256];
} FmOfflineInfo;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(FmMediaInfo) == 467, "the media information record is 467 bytes");
static_assert(offsetof(FmMediaInfo, timecode) == 73, "the timecode follows the time format");
static_assert(sizeof(FmOfflineInfo) == 791, "the offline description is 791 bytes");
#endif

/* One file record, in a Handle of its own (FindFile). Counts that only live
   in memory are 32-bit. */
typedef struct FmFileRecord {
    int16_t fileID;
    FSSpec spec;
    int16_t dataState; /* 0 closed, 2 open (above 1 counts as open) */
    int32_t subscriptions;
    FileRef dataRef; /* -1 when closed */
    int32_t dataUsers;
    uint32_t dataReleaseTick;
    int32_t resRef; /* resource file, -1 when none */
    int32_t resUsers;
    uint32_t resReleaseTick;
    FmMediaInfo info;
    OSType type;
    OSType handler;
    uint8_t still;
    uint8_t handlerOwnsFile;
    uint8_t untitled;
    uint8_t offline;
    int16_t savedInUse;
    int16_t deleteOnClose;
    int16_t drawsDirectly;
    int16_t noCaching;
    int16_t notReal;
    int16_t dirty;
    int16_t capture;
    int16_t prefsState; /* 0 none, 1 in handlerBlock, 2 in prefsHandle */
    Handle handlerData;
    uint8_t handlerBlock[16];
    char text[kFileTextSize];
    Handle savedDescription; /* FmOfflineInfo, used while offline */
    Handle prefsHandle;
    int32_t version;
    uint8_t watchForChanges;
    uint32_t modificationTime;
    FmPixelAspectRec pixelAspect; /* set up when the file's importer describes it */
} FmFileRecord;

/* The table itself, in the Handle of slot 206. */
typedef struct FmFileTable {
    int32_t capacity;   /* slots, grows by 1,000 up to 32,768 */
    int32_t count;      /* highest FileID handed out so far */
    int32_t nextFileID; /* FileID of the next new file */
    int16_t allIdleClosed;
    int64_t earliestRelease; /* oldest release tick of idle open files; -1 none */
    Handle slots;            /* capacity 32-bit handle words indexed by FileID */
    uint32_t serial;         /* distinguishes one table from the next */
} FmFileTable;

/* ---- Registration ---- */
RC_API void InitFileQueue(void);
/* FileID of the file (an existing one for the same file), 0 on failure. */
RC_API int16_t AddFSSpec(const FSSpec* spec, OSType type);
RC_API int16_t AddFile(const char* path, int32_t parID, int16_t vRefNum, OSType type);
/* Returns the new subscription count (0 without a record). */
RC_API int32_t FileSubscribe(int16_t id);
/* When the last subscription goes, the file leaves the table. */
RC_API void FileCancel(int16_t id);
RC_API OSErr ChangeFSSpec(int16_t id, const FSSpec* spec, OSType type);
RC_API OSErr RefreshFile(int16_t id, Boolean redraw);
/* Asks the user to locate a missing file: 0 when one was chosen (spec and
   *outType filled), fnfErr when it cannot be located, kFileUserCancelled
   when the user declined. */
RC_API OSErr NewFileLoc(FSSpec* spec, OSType type, int16_t id, OSType* outType);

/* ---- Lookup ---- */
RC_API Handle FindFile(int16_t id);
RC_API Handle FindName(const char* path, int32_t parID, int16_t vRefNum);
RC_API int16_t TranslateFMXFileToFileID(FileRef reference);
/* An id without a record gives a cleared spec (empty path). */
RC_API void GetFSSpec(int16_t id, FSSpec* out);
/* out holds 260 bytes. */
RC_API void GetFSSpecPath(int16_t id, char* out);
RC_API Boolean FileIsBad(int16_t id);

/* ---- Accessors (nothing happens, or 0, for an id without a record) ---- */
/* dst holds 260 bytes: the display text, else the file name of the path. */
RC_API void GetFileText(int16_t id, char* dst);
RC_API void SetFileText(int16_t id, const char* text);
RC_API int16_t GetFileUntitled(int16_t id);
RC_API void SetFileUntitled(int16_t id, int32_t on);
RC_API int16_t GetFileDirty(int16_t id);
RC_API void SetFileDirty(int16_t id, int32_t on);
RC_API int16_t GetFileIsCap(int16_t id);
RC_API int16_t GetFileCanDraw(int16_t id);
RC_API void SetFileIsCap(int16_t id, int32_t on);
RC_API int16_t GetFileIsStill(int16_t id);
RC_API int16_t GetFileNoDuration(int16_t id);
RC_API Boolean FileIsInfinite(int16_t id);
RC_API int16_t GetFileNotReal(int16_t id);
RC_API void SetFileNotReal(int16_t id, int32_t on);
RC_API int16_t GetFileDelete(int16_t id);
RC_API void SetFileDelete(int16_t id, int32_t on);
RC_API OSType GetFileTypeID(int16_t id);
RC_API OSType GetFileDraw(int16_t id);
RC_API int32_t GetFileVersion(int16_t id);
RC_API void SetFileVersion(int16_t id, int32_t version);
RC_API int16_t GetFileIsFramestore(int16_t id);
RC_API void SetFileIsFramestore(int16_t id, int32_t on);
RC_API Boolean GetFileContent(int16_t id);
RC_API Boolean GetFileCanWriteTimecode(int16_t id);
RC_API Boolean GetFileCanWriteMetaData(int16_t id);
RC_API Boolean GetFileCantBatchProcess(int16_t id);
/* Copies the audio (audio non-zero) or video time record. */
RC_API void GetFileTimeBase(int16_t id, TDB* out, int32_t audio);

/* ---- Open files ---- */
/* The data file's reference, 1 for an offline file, -1 on failure. */
RC_API FileRef OpenFmxFile(int16_t id, Boolean forWriting);
RC_API void ReleaseFile(int16_t id);
/* The resource file (made current), -1 on failure. permission -1 tries
   read/write, then read only. */
RC_API int32_t OpenFmxRFile(int16_t id, int32_t permission);
RC_API void ReleaseRFile(int16_t id);
RC_API void CloseDataFork(Handle record);
RC_API void QuietDataFork(Handle record);
RC_API void CloseResourceFork(Handle record);
RC_API void ForceFileQuiet(int16_t id);
/* Closes files idle for at least age ticks (0: every idle file); returns
   how many were closed. */
RC_API int32_t CloseUp(int32_t age);

/* ---- The locate-file dialog, supplied by the interface ----
   Shows a one-file open dialog with the title, offering the file types of
   typeClass (0 to 1023), or only onlyType when it is non-zero. Returns true
   with the chosen file (and its type, or 0 to take it from the extension),
   false when the user declines. Without an interface the user declines. */
typedef Boolean (*FmLocateFileProc)(const char* title, int32_t typeClass, OSType onlyType,
                                    FSSpec* chosen, OSType* chosenType);
/* Installs a dialog (null restores the headless one); returns the previous. */
RC_API FmLocateFileProc SetLocateFileProc(FmLocateFileProc proc);

#ifdef __cplusplus
}
#endif

#endif
