/* Time records: a rational count of seconds with the size of one sample,
   their exact arithmetic, the process-wide time bases and the small rate
   helpers that sit beside them. */
#ifndef REELCORE_TIMERECORD_H
#define REELCORE_TIMERECORD_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* value ÷ scale seconds; scale ÷ samp is the frame or sample rate. 29.97 fps
   is scale 2997, samp 100. A scale of 0 marks an invalid or failed result. */
typedef struct TDB {
    int32_t value;
    int32_t scale;
    int32_t samp;
} TDB;

#ifdef __cplusplus
static_assert(sizeof(TDB) == 12, "a time record is three 32-bit fields");
#endif

/* The failure value of a sum, difference or quotient: this value, scale 0. */
#define kTDBFailureValue ((int32_t)0x80000000)

/* Result codes of the arithmetic. */
enum {
    kTDBNoErr = 0,
    kTDBZeroScale = 5,   /* a zero scale where one is not allowed */
    kTDBTooLarge = 1,    /* a conversion or product does not fit in 32 bits */
    kTDBSumOverflow = -1 /* a sum or difference does not fit in 32 bits */
};

/* Global slots holding the time bases (each a pointer block with one TDB). */
enum {
    kSlotCurrentTimeBase = 21,
    kSlotCurrentTimeBase2 = 22,
    kSlotPreferredTimeBase = 204,
    kSlotPreferredTimeBase2 = 205
};

/* Byte offsets of the two time records inside the media information record
   (after its 16-byte frame rectangle): audio first, then video. */
enum { kMediaInfoAudioTDB = 16, kMediaInfoVideoTDB = 28 };

RC_API void TDB_SetTimeRecord(int32_t value, int32_t scale, int32_t samp, TDB* out);
RC_API int32_t TDB_FindScale(const TDB* t);
/* value ÷ samp truncated toward zero; 1 when samp is 0. */
RC_API int32_t TDB_TotalNumFrames(const TDB* t);
/* rate a ÷ rate b truncated: (a.scale × b.samp) ÷ (a.samp × b.scale) in
   64 bits, saturated to 0xFFFFFFFF; a zero a.samp or b.scale counts as 1. */
RC_API uint32_t TDB_DivTimeBase(const TDB* a, const TDB* b);
/* pos × to.scale ÷ from.scale truncated toward zero (samples ignored),
   saturated to the 32-bit range; 0 when from.scale is 0. */
RC_API int32_t TDB_TimePosConvert(int32_t pos, const TDB* from, const TDB* to);
/* src in newScale, rounded half up; out->samp = 1. Returns 5 for a zero
   scale (out gets 0/0). When the time cannot be held in newScale the result
   is 0/0 and the code is 0: check out->scale. exact (may be null) tells
   whether the conversion lost nothing. */
RC_API int16_t TDB_ConvTime(const TDB* src, int32_t newScale, TDB* out, Boolean* exact);
/* a − b. newScale 0 keeps the exact difference (samp 1); otherwise the
   difference is converted to newScale and out->samp is left alone. A
   difference that no 32-bit rational can approximate, or that does not fit
   in newScale, gives the failure value and a non-zero code. */
RC_API int16_t TDB_SubTime(const TDB* a, const TDB* b, int32_t newScale, TDB* out);
/* *result < 0, 0, > 0 as a is earlier than, equal to or later than b; only
   its sign is meaningful. */
RC_API int16_t TDB_CompareTime(const TDB* a, const TDB* b, int32_t* result);
/* Frame durations that fit in time: floor, or ceiling when roundUp is set,
   signed. Returns 5 for a zero scale or duration, 1 when the count does not
   fit in 32 bits; the count is written only on success. */
RC_API int16_t TDB_CountFrames(const TDB* time, const TDB* frameDuration, Boolean roundUp,
                               int32_t* count);
/* out = 0 / (rate written with its decimals): 29.97 gives 2997/100. A rate
   that cannot be written so in 32 bits gives scale 0. */
RC_API void TDB_FRate2Duration(double rate, TDB* out);
/* Sets the audio and video records of a media information record to 0/1/1. */
RC_API void* InitTDB(void* mediaInfo);
/* Ticks in three hours (scale × 10800), saturated to INT32_MAX. */
RC_API int32_t MaxLen(const TDB* t);
RC_API TDB* GetCurrentTimeBase(int32_t second);
RC_API void SetCurrentTimeBase(int32_t second, const TDB* t);
RC_API TDB* GetPreferredTimeBase(int32_t second);
RC_API void SetPreferredTimeBase(int32_t second, const TDB* t);
/* Sample rate in Hz for the low byte of an audio rate code. */
RC_API int32_t GetRate(int32_t code);

/* The speed and alternate-rate dialogs are supplied by the interface. A
   dialog edits the value in place and answers kTimeDialogOK or
   kTimeDialogCancel. Without an interface they answer Cancel and leave the
   value alone. */
enum { kTimeDialogOK = 1, kTimeDialogCancel = 2 };
typedef int16_t (*SpeedDialogProc)(float* speedPercent);
typedef int16_t (*AlternateRateDialogProc)(TDB* rate);
/* Install a dialog (null restores the headless one); returns the previous. */
RC_API SpeedDialogProc SetSpeedDialogProc(SpeedDialogProc proc);
RC_API AlternateRateDialogProc SetAlternateRateDialogProc(AlternateRateDialogProc proc);
/* Edit a clip's speed in percent (negative plays backwards). */
RC_API int16_t GetSpeed(float* speedPercent);
/* Edit an alternate frame rate, given as scale ÷ samp. */
RC_API int16_t GetAlternateRate(TDB* rate);

#ifdef __cplusplus
}
#endif

#endif
