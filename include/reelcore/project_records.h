/* Project media and clip records: the sections of a project file that carry
   its media files, their offline descriptions, the clips cut from them, clip
   titles, aspect colours and markers, time-line markers and track records,
   and the loaders that renumber files and clips and look for files that
   have moved.

   Loading gives files and clips new IDs. A map is a Handle of 8-byte
   entries {stored ID, new ID} (both 32-bit); LookupClip serves file maps and
   clip maps alike. ID lists are Handles of 16-bit FileIDs or 32-bit clipIDs.

   The platform code this build writes into a project header is 'PLNX'
   (kProjPlatformOwn): opaque plug-in data in a file whose header names
   another platform is foreign to this build. */
#ifndef REELCORE_PROJECT_RECORDS_H
#define REELCORE_PROJECT_RECORDS_H

#include "reelcore/filetable.h"
#include "reelcore/project_stream.h"
#include "reelcore/timerecord.h"
#include "reelcore/tracks.h"
#include "reelcore/types.h"
#include "reelcore/windows.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kProjPlatformOwn ((OSType)0x504C4E58) /* 'PLNX' */
#define kClipMagicStart ((int32_t)0x434C5053) /* 'CLPS': first word of a stored clip */
#define kClipMagicEnd ((int32_t)0x434C5045)   /* 'CLPE': last word of a stored clip */

enum {
    kProjCurrentVersion = 7, /* versions 7 on carry the newer layouts */
    kProjPathTooLong = -37,  /* a stored path does not fit the 260-byte path field */
    kProjTooFewFiles = -42,  /* fewer than 6 file handles were free */
    /* LocateFile results */
    kLocateFound = 0,
    kLocateSkip = 10,
    kLocateOffline = 11,
    kLocateFailed = -1,
    /* Skip flags of one load (LocateFile) */
    kSkipAllMissing = 1,
    kSkipMissingPreviews = 2,
    kOfflineAllMissing = 4,
    /* Messages the loaders send to windows */
    kMsgFileSkipped = 51,
    kMsgFileLocated = 46,
    kMsgFileLoaded = 105,
    kFilterEntrySize = 62,
    kSearchFolderEntrySize = 266
};

#pragma pack(push, 1)

/* HEAD "TLLT". */
typedef struct FmProjHeader {
    OSType signature;
    int32_t version;
    int32_t dirOffset;
    OSType platform;
} FmProjHeader;

/* FILE "SB[16]LC[1]C[1]CLIZC[32]L" (before version 7 without pixelAspect). */
typedef struct FmSaveFileRec {
    int16_t fileID;
    uint8_t param[16]; /* importer preferences up to 16 bytes, or the file's preference block */
    OSType filetype;
    char vname[1]; /* always 0 */
    char fname[1]; /* always 0 */
    uint8_t isFramestore;
    int32_t prefLength;
    int32_t mediaType;
    uint32_t prefHandle; /* Handle word: importer preferences longer than 16 bytes */
    char title[32];
    uint32_t pixelAspect;
} FmSaveFileRec;

/* FTRM "SL". */
typedef struct FmSaveTrimFileRec {
    int16_t fileID;
    int32_t trimIn;
} FmSaveTrimFileRec;

/* CLIP, version 7 on: "LLLL2LSS5FL[12]L5L4CC[14]LC[32]LSLWL". */
typedef struct FmSaveClipRec {
    int32_t magicS;
    int32_t parentID;
    int32_t childID;
    int32_t sibPrevID;
    int32_t sibNextID;
    int32_t clipID;
    int16_t fileID;
    int16_t users;
    int16_t pubChildren;
    int16_t backwards;
    int16_t revision;
    int16_t revcount;
    float rate; /* percent; 0 in very old files */
    int32_t markers[12];
    int32_t vidMarkIn, vidMarkOut, audMarkIn, audMarkOut;
    int32_t tdbValue, tdbScale, tdbSamp;
    int32_t linkPrevID, linkNextID;
    uint8_t lockaspect;
    char data[14];
    int32_t mediaType;
    char title[32];
    int32_t aspectcolor;
    int16_t markcount;
    int32_t moremarkers; /* a run-time reference in memory; always 0 in the file */
    uint32_t fileH;      /* Handle word; only its size is stored, never used on load */
    int32_t magicE;
} FmSaveClipRec;

/* A time-line marker (TMLM "LLMMMM"): time, a value, four string lists. */
typedef struct FmTimeLineMarker {
    int32_t time;
    int32_t value;
    uint32_t text[4]; /* Handle words */
} FmTimeLineMarker;

/* An entry of a chunk directory (AddToDir, GetChunkPos). The directory is a
   Handle holding a 32-bit entry count followed by the entries. */
typedef struct FmChunkDirEntry {
    int32_t key1;
    int32_t key2;
    int32_t position;
    int32_t length;
} FmChunkDirEntry;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(FmProjHeader) == 16, "project header");
static_assert(sizeof(FmSaveFileRec) == 73, "stored file record");
static_assert(__builtin_offsetof(FmSaveFileRec, prefHandle) == 33, "prefHandle");
static_assert(sizeof(FmSaveTrimFileRec) == 6, "trim record");
static_assert(sizeof(FmSaveClipRec) == 193, "stored clip record");
static_assert(__builtin_offsetof(FmSaveClipRec, rate) == 36, "clip rate");
static_assert(__builtin_offsetof(FmSaveClipRec, lockaspect) == 124, "clip lockaspect");
static_assert(__builtin_offsetof(FmSaveClipRec, magicE) == 189, "clip end marker");
static_assert(sizeof(FmTimeLineMarker) == 24, "time-line marker");
static_assert(sizeof(FmChunkDirEntry) == 16, "chunk directory entry");
#endif

/* ---- Host hooks (replaceable; null restores the default) ---- */

/* Progress during a load: called with (1, value, tag) for each FILE and
   CLIP section. Default: nothing. */
typedef void (*FmProjProgressProc)(int32_t phase, intptr_t value, OSType tag);
RC_API FmProjProgressProc FmSetProjProgressProc(FmProjProgressProc proc, intptr_t value);

/* The locate dialog. Shown for a missing file with its stored path and the
   media kinds of its type (typeClass, 0 = all kinds); offlineAllowed offers
   Offline, Skip, Skip All, Offline All and Skip Previews besides OK. On OK
   the chosen file's path goes into chosen (260 bytes) and its type into
   *chosenType (0: from the extension). Returns one of kLocateAnswer...
   Headless default: Offline when offered (the file is kept with its stored
   description, nothing is lost), else Skip. */
enum {
    kLocateAnswerOK = 0,
    kLocateAnswerOffline = 1,
    kLocateAnswerOfflineAll = 2,
    kLocateAnswerSkip = 3,
    kLocateAnswerSkipAll = 4,
    kLocateAnswerSkipPreviews = 5,
    kLocateAnswerFailed = -1 /* the dialog could not be shown */
};
typedef int32_t (*FmLocateDialogProc)(const char* path, int32_t typeClass, Boolean offlineAllowed,
                                      char* chosen, OSType* chosenType);
RC_API FmLocateDialogProc FmSetLocateDialogProc(FmLocateDialogProc proc);

/* ---- Maps, ID lists and chunk directories ---- */
/* New ID for a stored one, 0 when the map does not hold it. */
RC_API int32_t LookupClip(int32_t storedID, Handle map);
/* Append unless already there; 0, or -108. */
RC_API OSErr AddToClipList(Handle list, int32_t clipID);
RC_API OSErr AddToFileList(Handle list, int16_t fileID);
/* Adds the FileID of every 62-byte filter entry of `filters`. */
RC_API OSErr AddFilterFiles(Handle list, Handle filters);
/* ClipCancel on every new clipID of a clip map. */
RC_API void ReleaseAllClips(Handle clipMap);
RC_API OSErr AddToDir(Handle directory, int32_t key1, int32_t key2, int32_t position,
                      int32_t length);
/* Position of the first entry with both keys, 0 when absent. */
RC_API int32_t GetChunkPos(Handle directory, int32_t key1, int32_t key2);
/* True for the types of plug-in-made files ('SPFX', 'VFlt', 'AFlt', 'eFKT',
   'DevC', 'ExpD', 'ExpM', 'Q7FM'). */
RC_API Boolean IsPlugin(OSType type);

/* ---- Single records ---- */
RC_API OSErr WriteProjHeader(ProjBufHand stream, const FmProjHeader* header);
RC_API OSErr ReadProjHeader(ProjBufHand stream, FmProjHeader* header);
RC_API OSErr WriteSaveFileRec(ProjBufHand stream, const FmSaveFileRec* record);
RC_API OSErr ReadSaveFileRec(ProjBufHand stream, FmSaveFileRec* record, int32_t version);
/* path: 260 bytes. A stored path that does not fit gives kProjPathTooLong
   and an empty path. */
RC_API OSErr WriteFileName(ProjBufHand stream, const char* path);
RC_API OSErr ReadFileName(ProjBufHand stream, char* path);
/* name: 32 bytes. ReadMatchName returns 1 (and an empty name) for the
   stored empty name "0". */
RC_API OSErr WriteMatchName(ProjBufHand stream, const char* name);
RC_API OSErr ReadMatchName(ProjBufHand stream, char* name);
RC_API OSErr WriteSaveTrimFileRec(ProjBufHand stream, const FmSaveTrimFileRec* record);
RC_API OSErr ReadSaveTrimFileRec(ProjBufHand stream, FmSaveTrimFileRec* record);
RC_API OSErr WriteTrackItem(ProjBufHand stream, const TrackRec* track);
RC_API OSErr ReadTrackItem(ProjBufHand stream, TrackRec* track);
RC_API OSErr WriteClipID(ProjBufHand stream, int32_t clipID);
RC_API OSErr ReadClipID(ProjBufHand stream, int32_t* clipID);
RC_API OSErr WriteMarkerCount(ProjBufHand stream, int16_t count);
RC_API OSErr ReadMarkerCount(ProjBufHand stream, int16_t* count);
/* count 32-bit marker times; the reader makes a new Handle of count longs
   (-108 when it cannot, an error when the section holds fewer). */
RC_API OSErr WriteMarkerHandle(ProjBufHand stream, int32_t count, Handle markers);
RC_API OSErr ReadMarkerHandle(ProjBufHand stream, int32_t count, Handle* markers);
/* The clip record key by key; the reader takes the layout of `version` and
   gives the version-7 record (older marks moved by their flags). A fileH
   Handle made while reading is disposed: the field reads 0. */
RC_API OSErr WriteSaveClipRec(ProjBufHand stream, const FmSaveClipRec* record);
RC_API OSErr ReadSaveClipRec(ProjBufHand stream, FmSaveClipRec* record, int32_t version);
RC_API OSErr WriteOfflineID(ProjBufHand stream, int16_t fileID);
RC_API OSErr WriteOfflineInfo(ProjBufHand stream, const FmOfflineInfo* info);

/* ---- Groups ---- */
RC_API OSErr SaveFiles(ProjBufHand stream, Handle fileIDs);
RC_API OSErr SaveFileData(ProjBufHand stream, Handle fileIDs);
RC_API OSErr LoadFiles(ProjBufHand stream, Handle fileMap, FmWindow window, int16_t folderNumber,
                       int32_t version);
RC_API OSErr SaveClips(ProjBufHand stream, Handle clipIDs, Handle fileIDs);
RC_API OSErr LoadClips(ProjBufHand stream, Handle clipMap, Handle fileMap, const TDB* timeBase,
                       int32_t version);
RC_API OSErr SaveClipTitles(ProjBufHand stream, Handle clipIDs);
RC_API OSErr LoadClipTitles(ProjBufHand stream, Handle clipMap);
RC_API OSErr SaveClipMarkers(ProjBufHand stream, Handle clipIDs);
RC_API OSErr LoadClipMarkers(ProjBufHand stream, Handle clipMap);
/* markers: a Handle of count FmTimeLineMarker; nothing is written for null. */
RC_API OSErr SaveTimeLineMarkers(ProjBufHand stream, int32_t count, Handle markers);
RC_API OSErr LoadTimeLineMarkers(ProjBufHand stream, int32_t* count, Handle* markers,
                                 int32_t version);

/* Finds a missing file: path (260 bytes) and *fileType are updated when it
   is found. searchFolders is a Handle of 266-byte entries whose path starts
   at byte 6 (the list grows by the folder of a file the user finds).
   remember keeps the skip flags of this load; askAtOnce skips the search. */
RC_API int16_t LocateFile(char* path, Handle searchFolders, OSType* fileType, FmWindow window,
                          Boolean offlineAllowed, Boolean askAtOnce, Boolean remember);

#ifdef __cplusplus
}
#endif

#endif
