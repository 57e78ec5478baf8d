/* Volume and pan envelopes ("rubber bands"). A band is one Handle: an 8-byte
   header and `count` points in position order, with room for one point more
   (block size 8 + (count + 1) x 8). A point holds a persistent level in 1/256
   steps of full scale and a height in display pixels (0 ... scale). Point 0
   stands at position 0, the last point at the item's length; positions are
   relative to the item's start, in the item's time units.

   A band whose header does not fit its block (count below 2, or more points
   than the block holds) reads as 0 and ignores edits; edits also refuse a
   band whose positions are not ascending. */
#ifndef REELCORE_ENVELOPES_H
#define REELCORE_ENVELOPES_H

#include "reelcore/tracks.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { kBandPan = 0, kBandGain = 1, kBandGainFull = 2 };

/* Full-scale values callers ask ValueAtPoint for. */
enum { kBandFullPan = 200, kBandFullGain = 200, kBandFullFade = 255, kBandLevelMax = 256 };

#pragma pack(push, 1)

/* Band header; stored as "SSSS". */
typedef struct RubberHand {
    int16_t scale; /* the height that stands for level 256 */
    int16_t count; /* points in use, at least 2 */
    int16_t reserved;
    int16_t kind; /* kBand... */
} RubberHand;

/* Band point; stored as "LSS". */
typedef struct RubberHandPt {
    int32_t position;
    int16_t height; /* 0 ... scale */
    int16_t level;  /* 0 ... 256 */
} RubberHandPt;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(RubberHand) == 8, "band header");
static_assert(sizeof(RubberHandPt) == 8, "band point");
#endif

/* ---- Bands of an item ---- */
/* A two-point band (positions 0 and length, height = level = value) stored as
   the item's gain band; kind 2 when value equals scale, else 1. Returns the
   band, or null when there is no memory (the item is left alone). */
RC_API Handle NewGainBand(TrackItemRec* item, int32_t length, int16_t value, int16_t scale);
/* The same as the item's pan band, kind 0. */
RC_API Handle NewPanBand(TrackItemRec* item, int32_t length, int16_t value, int16_t scale);
RC_API void DisposeGainBand(TrackItemRec* item);
RC_API void DisposePanBand(TrackItemRec* item);
RC_API void SetTrackGainBand(TrackItemRec* item, Handle band);
RC_API Handle GetTrackGainBand(const TrackItemRec* item);
RC_API void SetTrackPanBand(TrackItemRec* item, Handle band);
RC_API Handle GetTrackPanBand(const TrackItemRec* item);
/* Replace the item's band by a copy of it. 0 (nothing done) when the item has
   none; the memory error when copying fails (the reference is unchanged). */
RC_API OSErr DupTrackGainBand(TrackItemRec* item);
RC_API OSErr DupTrackPanBand(TrackItemRec* item);
/* Every track item can pan. */
RC_API Boolean CanTrackPan(const TrackItemRec* item);

/* ---- Points ---- */
/* Inserts a point by position (height clamped to 0 ... scale, never before
   point 0); returns its index, or -1 when the band is bad or cannot grow. */
RC_API int16_t InsertPoint(int32_t position, int16_t height, Handle band);
/* Inserts a point at index (appends at or beyond the count), unclamped;
   returns its index, or -1 when the band is bad or cannot grow, or the
   position would stand out of order there. */
RC_API int16_t AddPoint(int16_t index, int32_t position, int16_t height, Handle band);
/* Removes an inner point (the end points stay). */
RC_API void DeletePoint(int16_t index, Handle band);
/* The band's height at position for a display displayScale pixels high. */
RC_API int32_t HeightAtPoint(int32_t position, int32_t displayScale, Handle band);
/* The band's value at position on a scale where level 256 is full. */
RC_API int32_t ValueAtPoint(int32_t position, int32_t full, Handle band);
/* ValueAtPoint, or 0 for a null band. */
RC_API int32_t GetRubberValue(Handle band, int32_t position, int32_t full);
/* True when y is within 3 pixels of the band at position. */
RC_API Boolean HitPoint(int32_t position, int32_t y, Handle band);
/* The point exactly at position (inside *band's block), or null. */
RC_API RubberHandPt* FindPoint(int32_t position, Handle* band);

/* ---- Whole band ---- */
/* Moves the last point to length, deleting points it passes. */
RC_API void SizeRubberBand(Handle band, int32_t length);
/* Cuts the band at a new end, keeping the height found there. */
RC_API void TrimBandEnd(Handle band, int32_t position);
/* Moves the band's start later by delta; MoveBandStart keeps point 0's
   height, TrimBandStart gives it the height found at delta. */
RC_API void MoveBandStart(Handle band, int32_t delta);
RC_API void TrimBandStart(Handle band, int32_t delta);
/* Re-projects the heights for a new display height; levels stay. */
RC_API void ScaleRubberBand(Handle* band, int16_t newScale);

#ifdef __cplusplus
}
#endif

#endif
