/* Pixel buffers (ppix): a relocatable record describing a rectangle of
   pixels held in separately allocated memory. 32-bit pixels are the bytes
   B, G, R, A (the little-endian word 0xAARRGGBB, alpha 255 opaque); rows are
   stored bottom-up, so image row y of a buffer of height h starts at
   pixels + rowBytes * (h - 1 - y). The pixel block holds two spare rows
   beyond the height. */
#ifndef REELCORE_PPIX_H
#define REELCORE_PPIX_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    kSlotScreenPalette = 221,  /* the 8-bit screen's logical palette (FmLogPalette*) */
    kSlotPWorldTable = 233,    /* the pixel-world table */
    kSlotDrawDib = 236,        /* the drawing service handle (unused here) */
    kSlotScreenDepth = 249,    /* bits per pixel of the screen; 0 reads as 32 */
    kSlotDrawDibWidth = 270,   /* set to -1 before each screen draw */
    kSlotDrawDibHeight = 271,  /* set to -1 before each screen draw */
    kSlotHostPixelAlloc = 286, /* PPixHostAlloc supplied by the executable */
    kSlotHostPixelFree = 287,  /* PPixHostFree supplied by the executable */
    kSlotLowMemory = 294,      /* set to 1 when a buffer was refused for lack of memory */
    kSlotMemoryReserve = 295   /* bytes a new buffer must leave free */
};

/* "Rand": pixel memory from the host allocator, or owned by the caller. */
enum { kPPixRandMark = 0x52616e64 };

typedef Handle PPixHand;
typedef void* (*PPixHostAlloc)(uint32_t byteCount);
typedef void (*PPixHostFree)(void* pixels);

/* The block a PPixHand leads to (zero-filled at creation). */
typedef struct PPixRecord {
    FmRect bounds;       /* width = right - left, height = bottom - top */
    int32_t rowBytes;    /* bytes from one row to the next */
    int32_t depth;       /* 32 or 8 */
    int32_t pixelFormat; /* 0 as created */
    int32_t reserved0;
    char* pixels;      /* first byte of the bottom row */
    char* frameBase;   /* while field access is prepared: pixels of the whole frame */
    char* field1Start; /* first rows of the two interlaced fields */
    char* field2Start;
    int32_t activeField; /* 0 whole frame; 1 or 2: pixels address that field, row bytes doubled */
    uint32_t savedFieldStates; /* Handle word of the saved field settings, 0 = none */
    uint32_t allocatorMark;    /* kPPixRandMark: pixels came from the host allocator */
    uint32_t reserved1[2];
    uint32_t privateMark;      /* kPPixRandMark: pixels belong to the caller */
    uint32_t pixelAspectRatio; /* numerator << 16 | denominator; 0 and 1 unset */
    uint32_t reserved2[9];
} PPixRecord;

#ifdef __cplusplus
static_assert(sizeof(PPixRecord) == 128, "the ppix record is 128 bytes");
static_assert(offsetof(PPixRecord, pixels) == 32, "pixel pointer follows the format words");
static_assert(offsetof(PPixRecord, activeField) == 64, "field state follows the pointers");
static_assert(offsetof(PPixRecord, pixelAspectRatio) == 88, "aspect ratio word at 88");
#endif

/* A device context: a target surface with an optional clip rectangle. */
typedef struct FmDeviceContext* FmDC;

/* A region: a union of rectangles in buffer coordinates (0, 0 = the top-left
   pixel). */
typedef struct FmRegion* FmRgn;

#pragma pack(push, 1)
/* Header of a device-independent bitmap (40 bytes). */
typedef struct FmBitmapInfoHeader {
    uint32_t size; /* 40 */
    int32_t width;
    int32_t height; /* positive: rows bottom-up */
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression; /* 0: none */
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t clrUsed;
    uint32_t clrImportant;
} FmBitmapInfoHeader;

typedef struct FmPaletteEntry {
    uint8_t red, green, blue, flags;
} FmPaletteEntry;

/* A logical palette: version, entry count, then the entries. */
typedef struct FmLogPalette {
    uint16_t version;
    uint16_t count;
    FmPaletteEntry entries[1];
} FmLogPalette;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(FmBitmapInfoHeader) == 40, "bitmap header is 40 bytes");
#endif

/* ---- Buffers ---- */
RC_API PPixHand ppixNew(const FmRect* bounds);
RC_API PPixHand ppixNew8(const FmRect* bounds);
RC_API PPixHand ppixNewPrivate(const FmRect* bounds, void* pixels);
RC_API int32_t ppixDispose(PPixHand pix);
RC_API void ppixGetBounds(PPixHand pix, FmRect* bounds);
RC_API int32_t ppixGetRowbytes(PPixHand pix);
RC_API int32_t ppixGetDepth(PPixHand pix);
RC_API int32_t ppixGetPixelFormat(PPixHand pix);
RC_API char* ppixGetPixels(PPixHand pix);
RC_API uint32_t ppixGetPixelAspectRatio(PPixHand pix);
RC_API void ppixSetPixelAspectRatio(PPixHand pix, uint32_t ratio);
RC_API char* ppixTopLine(char* pixels, int32_t rowBytes, int32_t height);
RC_API char* ppixNextLine(char* row, int32_t rowBytes);
RC_API int32_t ppixLockPixels(PPixHand pix);
RC_API int32_t ppixUnlockPixels(PPixHand pix);
/* 0x00RRGGBB at (x, y), 0xFFFFFF outside the buffer. */
RC_API uint32_t ppixGetPixel(PPixHand pix, int32_t x, int32_t y);
/* colour is 0x00BBGGRR; a null rectangle fills the whole buffer. */
RC_API void ppixFillRect(PPixHand pix, const FmRect* rect, uint32_t colour);
RC_API void ppixFillRectTransparent(PPixHand pix, const FmRect* rect, uint32_t colour);
RC_API void ppixFillRgn(PPixHand pix, FmRgn region, uint32_t colour);
RC_API int32_t ppixSwapPixels(PPixHand a, PPixHand b);
/* 0 for a negative width, an unknown depth or a row beyond 2 GB. */
RC_API int32_t CalcRowBytes(int32_t width, int32_t depth);
RC_API int64_t CalcPPixSize(const FmRect* bounds);

/* ---- Drawing ---- */
RC_API int32_t ppixToScreen(PPixHand pix, FmDC dc, const FmRect* src, const FmRect* dst);
RC_API int32_t PPixToScreen(PPixHand pix, FmDC dc, const FmRect* src, const FmRect* dst);
RC_API int32_t PPixToWind(PPixHand pix, int32_t world, const FmRect* src, const FmRect* dst);
RC_API int32_t PPixToDib(PPixHand pix, FmBitmapInfoHeader* dib, const FmLogPalette* palette);
RC_API Ptr CreateDIB(int32_t width, int32_t height, int32_t depth);

/* ---- Regions ---- */
RC_API FmRgn FmNewRectRgn(const FmRect* rect);
/* Adds a rectangle to the region; 0 done, -108 out of memory, -50 bad argument. */
RC_API int32_t FmUnionRectRgn(FmRgn region, const FmRect* rect);
RC_API void FmDisposeRgn(FmRgn region);

#ifdef __cplusplus
}
#endif

#endif
