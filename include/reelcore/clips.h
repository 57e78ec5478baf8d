/* The clip table: spans of media files with their own in and out points,
   markers, title, speed and display settings, numbered by clipID (0 none).
   Master clips are cut directly from a file; subclips hang under a master
   clip; clips may be linked (the video and audio of one capture). Clips hold
   subscriptions on their file, their parent and their link partners, so
   whatever something refers to stays alive. Times are counts in the clip's
   own time base; every accessor that takes a time base converts to or from
   it (a null time base means the clip's own). */
#ifndef REELCORE_CLIPS_H
#define REELCORE_CLIPS_H

#include "reelcore/timerecord.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Global slots used by the clip table. */
enum {
    kSlotClipCount = 16,          /* number of clip-table slots */
    kSlotNextClipID = 17,         /* the next clipID never used so far */
    kSlotClipTable = 208,         /* Handle of 32-bit clip-record handle words */
    kSlotCurrentClip = 370,       /* clip of the functions without a clip argument */
    kSlotStillAspectDefault = 101 /* aspect setting of a new clip of a still */
};

enum {
    kClipTableGrowth = 1001,
    kClipFixedMarkers = 12, /* 0 in, 1 out (last sample included), 2 poster, 3-11 free */
    kClipInsertMarker = 255,
    kClipTitleSize = 32,
    kClipSettingsSize = 14
};

/* Clip flags. */
enum { kClipVideo = 1, kClipAudio = 2, kClipVideoBase = 4 };

/* One clip record, in a Handle of its own (FindClip). Counts that only live
   in memory are 32-bit. */
typedef struct FmClipRecord {
    int32_t parent; /* master clip this clip hangs under; 0 for a master clip */
    int32_t firstChild;
    int32_t prevSibling;
    int32_t nextSibling;
    int32_t clipID;
    int16_t fileID;
    int16_t backwards;
    int32_t subscriptions;
    int32_t revision;                   /* the file's subscription count when the clip was made */
    int32_t maxRevision;                /* kept equal across the clips of a file */
    float rate;                         /* speed in percent */
    int32_t markers[kClipFixedMarkers]; /* -1 unset */
    int32_t markIn, markOut;            /* first marked pair, -1 unset */
    int32_t markIn2, markOut2;          /* second marked pair */
    TDB timeBase;                       /* value: length (out - in + one sample) */
    int32_t linkPrev;
    int32_t linkNext;
    uint8_t aspect;
    uint8_t settings[kClipSettingsSize];
    int32_t flags;
    char title[kClipTitleSize]; /* empty: use the file's text */
    int32_t aspectColor;
    int32_t extraCount;  /* markers beyond 11 */
    Handle extraMarkers; /* 32-bit times of markers 12 and up */
    Handle file;         /* the file's record */
} FmClipRecord;

/* Iterator of GetNextUsedClipID: start index at -1. */
typedef struct FmClipIterator {
    int32_t index;
} FmClipIterator;

/* ---- Table and identity ---- */
/* Creates the table (1,001 slots) and sets slot 17 to 1. */
RC_API void InitClipQueue(void);
RC_API Handle FindClip(int32_t id);
/* The slot's handle for an index inside the table, else null. */
RC_API Handle FmClipExists(int32_t id);
RC_API Boolean IsValidClipID(int32_t id);
/* Moves the iterator to the next clip in clipID order; false at the end.
   out (may be null) receives the record handle. */
RC_API Boolean GetNextUsedClipID(FmClipIterator* iterator, Handle* out);
/* The lowest clipID of the file without a parent, or 0. */
RC_API int32_t GetFileMasterClip(int16_t fileID);
RC_API int32_t GetMaxRev(int16_t fileID);
RC_API void SetMaxRev(int16_t fileID, int32_t rev);

/* ---- Creating (clipID, or -1 on failure) ---- */
/* times: in, out and markers 2 to 11 in timeBase. */
RC_API int32_t AddClip(int16_t fileID, const int32_t* times, const TDB* timeBase, int32_t flags);
RC_API int32_t NewClip(int16_t fileID, const TDB* timeBase, int32_t flags);
RC_API int32_t StillDefaultIn(int16_t fileID, const TDB* timeBase);
RC_API int32_t StillDefaultOut(int16_t fileID, const TDB* timeBase, int32_t length);
RC_API int32_t MakeSubClip(int32_t id, const TDB* timeBase, int32_t flags);
RC_API int32_t CopyNewClip(int32_t id, const TDB* timeBase, int32_t flags);
RC_API int32_t CopyClip(int32_t id);
RC_API void MakeMasterClip(int32_t id);
/* 0, or kClipBadParam when either clip is missing or the move would hang a
   clip under itself. */
RC_API OSErr ChangeClipParent(int32_t id, int32_t newParent);
enum { kClipBadParam = -50 };

/* ---- Lifetime ---- */
/* Returns the new subscription count (0 without a record). */
RC_API int32_t ClipSubscribe(int32_t id);
RC_API void ClipCancel(int32_t id);
RC_API void ClipCancelForSave(int32_t id);
RC_API void ClipSubscribeAfterSave(int32_t id);

/* ---- Points and lengths ---- */
RC_API int32_t ClipStart(int32_t id, const TDB* tb);
RC_API int32_t GetClipIn(int32_t id, const TDB* tb);
RC_API int32_t GetClipOut(int32_t id, const TDB* tb);
/* set 2: the second pair, else the first; in or out when the pair is unset. */
RC_API int32_t GetClipMarkIn(int32_t id, const TDB* tb, int32_t set);
RC_API int32_t GetClipMarkOut(int32_t id, const TDB* tb, int32_t set);
RC_API void SetClipIn(int32_t id, int32_t t, const TDB* tb);
RC_API void SetClipOut(int32_t id, int32_t t, const TDB* tb);
/* set bit 1 writes the second pair, bits 0 or 2 the first. */
RC_API void SetClipMarkIn(int32_t id, int32_t t, const TDB* tb, int32_t set);
RC_API void SetClipMarkOut(int32_t id, int32_t t, const TDB* tb, int32_t set);
RC_API int32_t ClipWidth(int32_t id, const TDB* tb);
RC_API int32_t ClipMarkWidth(int32_t id, const TDB* tb, int32_t set);
/* The whole media length at the clip's rate. */
RC_API int32_t ClipSize(int32_t id, const TDB* tb);

/* ---- Fields ---- */
/* -1 for a clipID without a record. */
RC_API int16_t ClipFile(int32_t id);
RC_API void GetClipTimeBase(int32_t id, TDB* out);
RC_API float ClipRate(int32_t id);
RC_API void SetClipRate(int32_t id, float rate);
RC_API int16_t GetClipBackwards(int32_t id);
RC_API void SetClipBackwards(int32_t id, int16_t on);
RC_API uint8_t ClipAspect(int32_t id);
RC_API void SetClipAspect(int32_t id, uint8_t aspect);
RC_API int32_t ClipAspectColor(int32_t id);
RC_API void SetClipAspectColor(int32_t id, int32_t color);
RC_API int32_t FmClipFlags(int32_t id);
/* 1 for a sound-only clip, else 0. */
RC_API int16_t FindClipType(int32_t id);
/* Parent or first child, 0 when none, -1 when the clip or the clip it
   refers to does not exist. */
RC_API int32_t GetClipParent(int32_t id);
RC_API int32_t GetClipChild(int32_t id);
/* dst holds 32 bytes: the title, else the file's text cut to 31 characters.
 *isTitle (may be null) is 1 for a title, 0 for the file's text. */
RC_API void GetClipTitle(int32_t id, char* dst, int16_t* isTitle);
RC_API void SetClipTitle(int32_t id, const char* title);

/* ---- Markers ---- */
RC_API int32_t FmGetClipMarker(int32_t id, int32_t index, const TDB* tb);
RC_API void FmSetClipMarker(int32_t id, int32_t index, int32_t t, const TDB* tb);
RC_API int32_t FmFindClipMarker(int32_t id, int32_t t, const TDB* tb);
RC_API int32_t FmPreviousClipMarker(int32_t id, int32_t t, const TDB* tb);
RC_API int32_t FmNextClipMarker(int32_t id, int32_t t, const TDB* tb);
RC_API int32_t FmLastClipMarker(int32_t id, const TDB* tb);
RC_API int32_t FmCountClipMarkers(int32_t id);
RC_API void FmClearClipMarkers(int32_t id, int32_t withLink);
RC_API int32_t FmGetClipPosterFrame(int32_t id, const TDB* tb);
RC_API void FmSetClipPosterFrame(int32_t id, int32_t t, const TDB* tb);
/* The same on the current clip (slot 370), in a time base of the given scale
   and sample size 1. */
RC_API int32_t CountClipMarkers(void);
RC_API int32_t GetClipMarker(int32_t index, int32_t scale);
RC_API int32_t FindClipMarker(int32_t t, int32_t scale);
RC_API int32_t NextClipMarker(int32_t t, int32_t scale);
RC_API int32_t PreviousClipMarker(int32_t t, int32_t scale);
RC_API int32_t ClipFlags(void);

/* ---- Links ---- */
RC_API void AddClipLink(int32_t a, int32_t b);
RC_API void RemoveClipLink(int32_t id);
/* Link next, else link previous, else 0. */
RC_API int32_t GetClipLink(int32_t id);
/* Copies both mark pairs of b into a. */
RC_API void SyncMasterMarkers(int32_t a, int32_t b);

#ifdef __cplusplus
}
#endif

#endif
