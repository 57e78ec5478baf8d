/* Tracks and track items. A track table is a Handle holding an array of
   24-byte track records (the count is the Handle size divided by 24). Each
   track owns an item list: a Handle of 32-bit item-record Handle words,
   ordered by start, never overlapping. An item record (160 bytes, in a Handle
   of its own) is one placed clip; the application creates and edits items,
   the library reads them. Item positions are in the time base of the item's
   clip.

   Tracks are addressed by a type mask and an ordinal: (mask, n) is the n-th
   track (0-based) whose type shares a bit with mask; 0xFFFF means every
   track. The table is ordered by type as an unsigned 16-bit value, highest
   first. Unknown tracks read as 0 (or -1, or null) and ignore writes. */
#ifndef REELCORE_TRACKS_H
#define REELCORE_TRACKS_H

#include "reelcore/timerecord.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Track type bits (a track's type may combine them). */
enum {
    kTrackPicture = 0x8000,    /* picture tracks; the first gives the timeline's time base */
    kTrackVideoPair = 0x4000,  /* ordinal 0 is video A, ordinal 1 video B */
    kTrackTransition = 0x2000, /* the transition track */
    kTrackSuperimpose = 0x1000,
    kTrackAudio = 0x0080,
    kTrackAll = 0xFFFF
};

/* The types the timeline gives its tracks, and the mask of RangeHasVideo. */
enum {
    kTrackTypeVideoAB = 0xC000,
    kTrackTypeTransition = 0xA000,
    kTrackTypeSuperimpose = 0x9000,
    kTrackTypeAudio = 0x0080,
    kTrackVideoMask = 0xA000
};

#pragma pack(push, 1)

/* Track record; the project file stores it as "OB4HS6" (the item list Handle
   itself is not stored). */
typedef struct TrackRec {
    uint32_t theTrack; /* Handle word: the item list */
    uint8_t active;    /* inactive tracks are skipped by LookupAltTrack */
    uint8_t locked;
    uint8_t output; /* 0: not rendered (eye / speaker off) */
    uint8_t shy;    /* hidden from the compact view */
    uint32_t name;  /* Handle word: the track's name */
    int16_t linked;
    int16_t hilitesection; /* -1 for none */
    uint16_t type;         /* track type bits */
    int16_t mapping;       /* output channel mapping */
    int16_t disabled;
    int16_t selected;
} TrackRec;

/* Settings of a transition item, as the effect renderer reads them. Points
   are in a 117 x 87 reference frame. Zero on items of other tracks. */
typedef struct TransitionSettings {
    uint8_t source; /* direction */
    uint8_t reverse;
    uint8_t antiAliasPasses;
    int16_t startPercent; /* percent x 100, 0 ... 10000 */
    int16_t endPercent;
    int16_t borderWidth; /* passes */
    uint32_t borderColor;
    FmPoint startPoint;
    FmPoint endPoint;
    FmPoint centerPoint;
    uint32_t settings; /* Handle word: the module's settings */
} TransitionSettings;

/* One placed clip. Handles are 4-byte words (HandleToWord). */
typedef struct TrackItemRec {
    int32_t clipID;
    int16_t options;   /* bits 0x7 and 0x80: render classification */
    int32_t start;     /* first timeline position covered */
    int32_t end;       /* first timeline position after the item */
    uint32_t gainBand; /* Handle word: volume / fade envelope, or 0 */
    uint32_t panBand;  /* Handle word: balance envelope, or 0 */
    /* Key settings of a superimposed item. */
    uint32_t keyColor;
    uint8_t similarity;
    uint8_t smoothing;
    uint8_t threshold;
    uint8_t cutoff;
    int16_t shadowOptions[2];
    int16_t reverse;
    int16_t maskOnly;
    int16_t keyType;
    FmPoint garbageMatte[4]; /* corners in the 117 x 87 reference frame */
    TransitionSettings transition;
    uint32_t filterList; /* Handle word: the item's filters */
    uint32_t motion;     /* Handle word: motion path, or 0 */
    int32_t matteFile;   /* image and difference mattes */
    uint16_t flags;      /* kItem... below */
    int16_t opacity;     /* percent multiplying a superimposed fade; 0 means 100 */
    int8_t holdRate;     /* frames per second of the reduced frame rate */
    uint32_t clip;       /* Handle word: the clip record (FmClipRecord) */
    uint8_t keyOff;      /* superimposed without keying */
    uint8_t motionOff;   /* motion settings ignored */
    int32_t holdStart;   /* hold window in source positions; 0 = open */
    int32_t holdEnd;
    uint8_t reserved[16];
} TrackItemRec;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(TrackRec) == 24, "track record");
static_assert(sizeof(TransitionSettings) == 41, "transition settings block");
static_assert(sizeof(TrackItemRec) == 160, "item record");
static_assert(__builtin_offsetof(TrackRec, type) == 16, "track type");
static_assert(__builtin_offsetof(TransitionSettings, centerPoint) == 29, "centre point");
static_assert(__builtin_offsetof(TransitionSettings, settings) == 37, "settings Handle");
static_assert(__builtin_offsetof(TrackItemRec, start) == 6, "item start");
static_assert(__builtin_offsetof(TrackItemRec, gainBand) == 14, "gain band");
static_assert(__builtin_offsetof(TrackItemRec, keyColor) == 22, "key colour");
static_assert(__builtin_offsetof(TrackItemRec, garbageMatte) == 40, "garbage matte");
static_assert(__builtin_offsetof(TrackItemRec, transition) == 72, "transition block");
static_assert(__builtin_offsetof(TrackItemRec, filterList) == 113, "filter list");
static_assert(__builtin_offsetof(TrackItemRec, flags) == 125, "item flags");
static_assert(__builtin_offsetof(TrackItemRec, holdRate) == 129, "hold rate");
static_assert(__builtin_offsetof(TrackItemRec, clip) == 130, "clip Handle");
static_assert(__builtin_offsetof(TrackItemRec, holdStart) == 136, "hold window");
static_assert(__builtin_offsetof(TrackItemRec, reserved) == 144, "reserved tail");
#endif

/* Item flags. */
enum {
    kItemHoldSource = 0x0007, /* which frame a hold shows: */
    kItemHoldIn = 0,
    kItemHoldMarker = 1, /* marker 0, else the In point */
    kItemHoldOut = 2,
    kItemHoldWindow = 4,  /* frozen outside [holdStart, holdEnd] */
    kItemFieldA = 0x0010, /* without kItemFieldB also reduces the frame rate */
    kItemFieldB = 0x0020,
    kItemHoldFilters = 0x0080, /* the hold also times the filters */
    kItemHoldOn = 0x0100,
    kItemSwitchedOff = 0x8000 /* never returned by the segment lookups */
};

/* Modes of FindTrackRecIndexAtTime. */
enum {
    kFindBefore = 0,
    kFindAtOrBefore = 1,
    kFindAtOutgoing = 2, /* the item at t, the outgoing one at a cut */
    kFindAtOrAfter = 3,
    kFindAfter = 4,
    kFindNearest = 5,
    kFindCovering = 6
};

/* ---- The table ---- */
RC_API int32_t CountTracks(Handle table);
RC_API int32_t CountTypeTracks(uint16_t mask, Handle table);
/* Absolute index of the n-th track matching mask, or -1. */
RC_API int32_t GetTrackTypeIndex(uint16_t mask, int32_t n, Handle table);
RC_API Handle GetTypeTrack(uint16_t mask, int32_t n, Handle table);
RC_API uint16_t GetIndTrackType(uint16_t mask, int32_t n, Handle table);

/* Fields of the addressed track. The getters of output and shy read ordinal
   0 for ordinal 1 when mask includes 0x4000 or 0x8000: the A/B pair shares
   the first track's toggles. Setters write the addressed track. */
RC_API uint8_t GetTrackState(uint16_t mask, int32_t n, Handle table);
RC_API void SetTrackState(uint8_t value, uint16_t mask, int32_t n, Handle table);
RC_API uint8_t GetTrackLock(uint16_t mask, int32_t n, Handle table);
RC_API void SetTrackLock(uint8_t value, uint16_t mask, int32_t n, Handle table);
RC_API uint8_t GetTrackOutput(uint16_t mask, int32_t n, Handle table);
RC_API void SetTrackOutput(uint8_t value, uint16_t mask, int32_t n, Handle table);
RC_API uint8_t GetTrackShy(uint16_t mask, int32_t n, Handle table);
RC_API void SetTrackShy(uint8_t value, uint16_t mask, int32_t n, Handle table);
RC_API int16_t GetTrackHilite(uint16_t mask, int32_t n, Handle table);
RC_API void SetTrackHilite(int16_t value, uint16_t mask, int32_t n, Handle table);
RC_API int16_t GetTrackMapping(uint16_t mask, int32_t n, Handle table);
RC_API void SetTrackMapping(int16_t value, uint16_t mask, int32_t n, Handle table);
RC_API Handle GetTrackName(uint16_t mask, int32_t n, Handle table);

/* Inserts a track (output 1, hilitesection -1, all else 0) after the last
   track whose type ranks at or above type; returns its index, or -1 when the
   table cannot grow. */
RC_API int32_t AddTrackItem(Handle itemList, uint16_t type, Handle table);
/* Removes the n-th track carrying every bit of mask (any track for 0xFFFF)
   and disposes of its item list, unless the table was made by CopyItems.
   True when a track was removed. */
RC_API Boolean DeleteTrackItem(uint16_t mask, int32_t n, Handle table);
/* A new table of the matching tracks, sharing their item lists (same type,
   same output). The new table borrows the lists: deleting its tracks never
   disposes of them. Null when there is no table or no memory. */
RC_API Handle CopyItems(uint16_t mask, Handle table);
/* For a picture track, the first active audio track; for any other track, the
   first active picture track; -1 when none. */
RC_API int32_t LookupAltTrack(int32_t index, Handle table);
/* How many tracks matching mask2 stand before the n-th track matching mask;
   -1 when that track does not exist. */
RC_API int32_t MapTrackIndex(uint16_t mask, int32_t n, uint16_t mask2, Handle table);

/* ---- Item lists ---- */
RC_API int32_t CountTrackItems(Handle itemList);
/* End of the last item, 0 when empty. */
RC_API int32_t LastTrackFrame(Handle itemList);
/* The same, from the last item's clip time base into tdb. */
RC_API int32_t LastTrackFrameTDB(Handle itemList, const TDB* tdb);
/* Time base of the clip of the track's first item; the current time base
   when the track is empty or unknown. */
RC_API void GetIndTrackTDB(uint16_t mask, int32_t n, Handle table, TDB* tdb);
/* Binary search of t over the item list, the mode choosing among the
   neighbours (kFind...). Returns the index, also stored in *index; -1 and
   *found false when there is no such item. */
RC_API int32_t FindTrackRecIndexAtTime(Handle itemList, int32_t t, int16_t mode, Boolean* found,
                                       int32_t* index);
/* True when an item of the track at index overlaps [from, to). */
RC_API Boolean TrackRangeHasContent(int32_t index, int32_t from, int32_t to, Handle table);
RC_API Boolean RangeHasVideo(int32_t from, int32_t to, Handle table);
RC_API Boolean RangeHasAudio(int32_t from, int32_t to, Handle table);

/* Copies all 160 bytes of the item covering t (the copy borrows its Handles)
   and returns its clip's FileID; 0 when the track is unknown or its output is
   off, nothing covers t, or the item is switched off. */
RC_API int16_t GetTrackSeg(uint16_t mask, int32_t n, int32_t t, TrackItemRec* itemCopy,
                           Handle table);
/* The same without copying: *itemRef receives the item record's Handle. The
   output test uses the A track for the B track. */
RC_API int16_t GetTrackSegPtr(uint16_t mask, int32_t n, int32_t t, Handle* itemRef, Handle table);
/* The source position of the item's clip shown at t (in tdb); with forFilters
   true, the position that times the clip's filters. */
RC_API int32_t GetLocalFrame(int32_t t, const TDB* tdb, const TrackItemRec* item,
                             Boolean forFilters);

#ifdef __cplusplus
}
#endif

#endif
