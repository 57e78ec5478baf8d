/* Motion and distortion: a path of points across (and beyond) the frame,
   each with a zoom, a rotation, a hold and four corner offsets, sampled at a
   time and drawn by mapping the picture onto a quadrilateral. */
#ifndef REELCORE_MOTION_H
#define REELCORE_MOTION_H

#include "reelcore/ppix.h"
#include "reelcore/project_stream.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 'CTYT': the point's ratio is valid. */
enum { kMotionRatioCode = 0x43545954 };
/* Longer side of the reference frame the points are authored in. */
enum { kMotionRefSide = 80 };
/* Render flags: a dimension halved by field rendering (0x400 horizontal,
   any of 0xB00 vertical). */
enum { kMotionFieldWidth = 0x400, kMotionFieldHeight = 0xB00 };
/* Quadrilaterals taller than this many rows are split over the pool. */
enum { kDistortSplitRows = 16 };

#pragma pack(push, 1)
typedef struct FmMotionHeader {
    uint32_t colr;        /* background fill colour, 0x00BBGGRR */
    int16_t smooth;       /* non-zero: smooth the motion */
    int16_t fillA;        /* non-zero: smooth the picture's alpha edges first */
    int16_t smoothMethod; /* smoothing window choice */
    int16_t count;        /* points that follow */
} FmMotionHeader;

typedef struct FmMotionPoint {
    int16_t spot[2];      /* picture centre x, y in the reference frame */
    int16_t hasfrac;      /* non-zero: fractions in fracH / fracV, else in spotfrac */
    int16_t zoom;         /* percent */
    int16_t motionMethod; /* 0 linear, 1 accelerate, 2 decelerate */
    int16_t time;         /* per mille of the item */
    int16_t delay;        /* hold, per mille */
    int16_t rot;          /* degrees */
    int8_t fracH, fracV;  /* hundredths of a unit */
    uint16_t spotfrac[2]; /* 1/65536 of a unit */
    int32_t ratio;        /* frame aspect (height / width, 16.16) the point was made for */
    uint32_t code;        /* kMotionRatioCode once ratio is valid */
    int16_t dest[8];      /* corner offsets x, y: top-left, top-right, bottom-right, bottom-left */
} FmMotionPoint;

/* The older form: a 9-byte header and 42-byte points. */
typedef struct FmOldMotionHeader {
    uint32_t colr;
    uint8_t flags;        /* bit 0 smooth, bit 1 fillA */
    uint8_t smoothMethod; /* low 4 bits */
    uint8_t unused;
    int16_t count;
} FmOldMotionHeader;

typedef struct FmOldMotionPoint {
    int16_t x, y;
    uint16_t zoomWord;   /* bit 0 hasfrac, bits 1 ... 15 zoom */
    uint16_t methodWord; /* bits 0 ... 2 motionMethod, bits 3 ... 15 time */
    int16_t delay;
    int16_t rot;
    int8_t fracH, fracV;
    uint8_t unused[12];
    int16_t dest[8];
} FmOldMotionPoint;
#pragma pack(pop)

typedef struct FmFixedPoint {
    Fixed x, y;
} FmFixedPoint;

/* One sample of the path, in destination pixels (16.16). */
typedef struct FmMotionSample {
    Fixed x, y;   /* picture centre */
    Fixed zoom;   /* percent */
    int32_t time; /* per mille */
    int32_t delay;
    Fixed rot; /* degrees */
    int32_t motionMethod;
    FmFixedPoint corners[4]; /* relative to the rectangle's centre */
} FmMotionSample;

#ifdef __cplusplus
static_assert(sizeof(FmMotionHeader) == 12, "motion header is 12 bytes");
static_assert(sizeof(FmMotionPoint) == 46, "motion point is 46 bytes");
static_assert(offsetof(FmMotionPoint, fracH) == 16, "fractions at 16");
static_assert(offsetof(FmMotionPoint, ratio) == 22, "ratio at 22");
static_assert(offsetof(FmMotionPoint, dest) == 30, "corners at 30");
static_assert(sizeof(FmOldMotionHeader) == 9, "older header is 9 bytes");
static_assert(sizeof(FmOldMotionPoint) == 42, "older point is 42 bytes");
static_assert(offsetof(FmOldMotionPoint, dest) == 26, "older corners at 26");
#endif

/* Draws src onto dst at time t of duration (same units). 0 done, -50 bad
   arguments, -108 out of memory. The settings are not changed. */
RC_API int32_t MotionFrame(PPixHand src, PPixHand dst, int32_t t, int32_t duration, Handle settings,
                           int32_t flags);
/* The sample at step i of n of an expanded point list (header and points). */
RC_API void CalcMotionPoint(Handle points, int32_t i, int32_t n, FmMotionSample* out,
                            const FmRect* rect, int32_t flags);
/* min(n, 100) path positions (FmFixedPoint each), smoothed like the render. */
RC_API Handle CalcMotionPoints(const FmRect* rect, int32_t n, Handle settings);
/* The point list with holds unfolded (a new Handle), null without memory. */
RC_API Handle Motion2Points(Handle settings);
/* Adapts point `index` to the frame aspect `ratio` (16.16 height / width). */
RC_API void FixMotionPoints(Handle settings, int32_t index, int32_t ratio);
RC_API void PointToFixed(const FmMotionPoint* point, FmMotionSample* out);
RC_API void PointAverage(const FmMotionSample* samples, int32_t n, FmMotionSample* out);
/* a + (b - a) * num / den, field by field (den 0 gives a). */
RC_API void midpoint(const FmMotionPoint* a, const FmMotionPoint* b, int32_t num, int32_t den,
                     FmMotionPoint* out);
/* x + r sin(angle), y - r cos(angle), rounded down to whole units. */
RC_API void PointCalc(int32_t x, int32_t y, double r, double angle, FmPoint* out);
/* The angle of p around (cx, cy), clockwise from up, 0 ... 2 pi. */
RC_API double AngleFromPoints(int32_t cx, int32_t cy, const FmPoint* p);
RC_API void FindCenter(const FmPoint quad[4], FmPoint* c);
/* Turns the point's corner offsets about the centre of rect by its rotation. */
RC_API void RotatePoint(FmMotionPoint* item, const FmRect* rect);
/* Fills dst with colour (alpha 0), transforms the sample's corners and
   draws src onto them through the utility table's distort entry. */
RC_API int32_t DoMFrame(PPixHand src, PPixHand dst, const FmMotionSample* sample,
                        const uint32_t* colour, int32_t flags);
RC_API OSErr LoadMotionSettings(ProjBufHand stream, Handle settings);
RC_API OSErr SaveMotionSettings(ProjBufHand stream, Handle settings);
RC_API double myhypot(double x, double y);
/* Older settings into the current form; `newer` must hold 12 + 46 x count. */
RC_API OSErr ConvertMotionSettings(Handle old, Handle newer);
/* Maps the source quadrilateral of src onto the destination one in dst
   (corners top-left, top-right, bottom-right, bottom-left, 16.16 pixels). */
RC_API int32_t FixedToFixed(PPixHand src, PPixHand dst, const FmFixedPoint srcCorners[4],
                            const FmFixedPoint dstCorners[4]);
/* src whole onto the rectangle of dst. */
RC_API int32_t DistortFixed(PPixHand src, PPixHand dst, const FmRect* rect, int32_t flags);
RC_API int32_t MapPolyToPoly(PPixHand src, PPixHand dst, const FmPoint srcPoly[4],
                             const FmPoint dstPoly[4]);
RC_API int32_t DistortPolygon(PPixHand src, PPixHand dst, const FmFixedPoint srcPoly[4],
                              const FmFixedPoint dstPoly[4]);

#ifdef __cplusplus
}
#endif

#endif
