/* Time display formats: ticks to and from timecode, frame and feet+frames
   text; the packed BCD timecode word and its text; byte-count and decimal
   number text. */
#ifndef REELCORE_TIMECODE_H
#define REELCORE_TIMECODE_H

#include "reelcore/timerecord.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Time display format: the rate in the low 16 bits (frames per second, or
   frames per foot for feet+frames; 0 reads as 1 and 2997 as 30), the kind
   in bits 16-19 and display flags above. */
enum {
    kTimeRateMask = 0xFFFF,
    kTimeKindMask = 0xF0000,
    kTimeKindFrames = 0x10000,
    kTimeKindNonDrop = 0x20000,
    kTimeKindDrop = 0x40000,
    kTimeKindFeet = 0x80000,
    kTimeShowHoursUnits = 0x100000, /* hours units digit and its separator */
    kTimeShowHoursTens = 0x200000,
    kTimeSecondsOnly = 0x800000,
    kTimeStripLeading = 0x1000000, /* drop leading spaces, zeros, separators */

    /* The seven formats of the format list, in list order. */
    kTimeFormat24 = 0x20018,
    kTimeFormat25 = 0x20019,
    kTimeFormat30Drop = 0x4001E,
    kTimeFormat30NonDrop = 0x2001E,
    kTimeFormatFrames = 0x10000,
    kTimeFormatFeet16mm = 0x80028,
    kTimeFormatFeet35mm = 0x80010,
    kTimeFormatCount = 7
};

/* String list holding the names of the seven formats, in list order. */
enum { kTimeFormatNameList = 2200 };

/* Every function below that writes text writes at most kTimecodeTextSize
   bytes, NUL included: give it a buffer of at least that size. */
enum { kTimecodeTextSize = 32 };
/* The number texts write at most kNumberTextSize bytes, NUL included. */
enum { kNumberTextSize = 64 };

/* Binary timecode record: a frame count, the drop-frame flag (1 = drop
   frame) and the type (kTimecode25, kTimecode30 or kTimecode24). */
enum { kTimecode25 = 0, kTimecode30 = 1, kTimecode24 = 2 };
typedef struct BinTimecode {
    int32_t frames;
    uint8_t drop;
    uint8_t type;
} BinTimecode;

/* Bit 25 of a BCD timecode word: drop frame. */
enum { kBcdDropFlag = 0x2000000 };

/* Ticks in the time base tb as text in the given format. */
RC_API void FmTimecodeToStr(int32_t ticks, const TDB* tb, int32_t format, char* out);
RC_API void TimecodeToStr(int32_t ticks, const TDB* tb, int32_t format, char* out);
/* Text typed in the given format, as ticks in tb (clamped to 32 bits). */
RC_API int32_t FmStrToTimecode(const char* text, int32_t format, const TDB* tb);
RC_API int32_t StrToTimecode(const char* text, int32_t format, const TDB* tb);
RC_API int32_t TimeFormatToListIndex(int32_t format);
/* 0 for an index outside 0-6. */
RC_API int32_t ListIndexToTimeFormat(int32_t index);
RC_API int32_t NextTimeFormat(int32_t format);
/* The time format of the clip's media file; 0 when there is none. */
RC_API int32_t ClipTimeFormat(int32_t clipID);

/* BCD timecode word (see the bit layout in time/bcd.cpp). */
RC_API void StrToBcd(const char* text, uint32_t* bcd, int16_t type);
/* hh:mm:ss:ff, 11 characters and a NUL. */
RC_API void BcdToStr(char* out, uint32_t bcd);
/* Non-zero when the seconds came out negative (never: counts wrap into one
   day). keepDropped keeps the labels ;00 and ;01 that drop frame skips. */
RC_API int16_t BinToBcd(const BinTimecode* bin, uint32_t* bcd, Boolean keepDropped);
RC_API void BcdToBin(uint32_t bcd, BinTimecode* out, int16_t type);
RC_API void StrToBin(const char* text, BinTimecode* out, Boolean drop, int16_t type);
RC_API void BinToStr(const BinTimecode* bin, char* out);
RC_API void ParseTimecode(const char* text, BinTimecode* out);
RC_API void FormatTimecode(const BinTimecode* bin, char* out);

/* Number texts; each returns the length of the text written. The decimal
   separator is the character in global slot 67, '.' when it is 0. */
enum { kSlotDecimalSeparator = 67 };
RC_API int32_t FmBytes64ToStr(uint32_t low, int32_t high, char* out, int32_t decimals);
RC_API int32_t FmBytesFToStr(double count, char* out, int32_t decimals);
RC_API int32_t FmFloatToStr(double value, char* out, int32_t decimals);

/* Frame counts in a short format: the low 15 bits are the rate (30 and 25
   select those types, anything else 24) and bit 15 is the drop flag. */
RC_API int32_t Str2Time(const char* text, int32_t length, int16_t shortFormat);
/* flags: 1 prefix the text, 2 keep the hours, 4 keep one hours digit. */
RC_API void Time2Str(int32_t frames, char* out, int16_t shortFormat, int32_t flags);

#ifdef __cplusplus
}
#endif

#endif
