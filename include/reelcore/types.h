/* Shared types of the runtime: handles, error codes, FSSpec records,
   rectangles, points, type codes and fixed-point numbers. */
#ifndef REELCORE_TYPES_H
#define REELCORE_TYPES_H

#include <stddef.h>
#include <stdint.h>

#include "reelcore/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef char* Ptr;
/* A Handle points at a record whose first field is the block's current
   address. Handle records live in the low 2 GB of the address space, so a
   Handle value always fits in 32 bits (see HandleToWord / WordToHandle). */
typedef Ptr* Handle;
typedef int16_t OSErr;
typedef uint8_t Boolean;
typedef int32_t Fixed;   /* signed 16.16 */
typedef uint32_t OSType; /* four-character code, first character in the top byte */
typedef uint32_t ResType;
typedef int32_t FileRef; /* file reference; -1 means none */

/* The 4-byte form of a Handle used in records whose byte layout is fixed. */
static inline uint32_t HandleToWord(Handle h) {
    return (uint32_t)(uintptr_t)h;
}
static inline Handle WordToHandle(uint32_t w) {
    return (Handle)(uintptr_t)w;
}

typedef struct FmRect {
    int32_t left, top, right, bottom;
} FmRect;

typedef struct FmPoint {
    int32_t x, y;
} FmPoint;

#pragma pack(push, 1)
/* FSSpec: files are located by the path alone. */
typedef struct FSSpec {
    int16_t vRefNum;
    int32_t parID;
    char name[260];
} FSSpec;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(FSSpec) == 266, "FSSpec is a 266-byte packed record");
static_assert(sizeof(FmRect) == 16, "rectangles are four 32-bit values");
#endif

/* Toolbox result codes used across the library. */
enum {
    noErr = 0,
    readErr = -19,
    writErr = -20,
    openErr = -23,
    nsvErr = -35,
    ioErr = -36,
    eofErr = -39,
    tmfoErr = -42,
    fnfErr = -43,
    wPrErr = -44,
    permErr = -54,
    memFullErr = -108,
    nilHandleErr = -109,
    memWZErr = -111,
    resNotFound = -192,
    fileTooLargeErr = -2125
};

#ifdef __cplusplus
}
#endif

#endif
