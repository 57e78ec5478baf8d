/* Depth conversion: row converters between pixel layouts, the blitter suite
   table, the general pixel copy (move, scale, blend, mask) and the alpha
   utilities.

   Layouts (bytes in memory order): 32 = B, G, R, A; 24 = B, G, R; 16 = 5-5-5
   little-endian (blue in bits 0-4, red in 10-14); 8 = palette index; 1 = one
   bit per pixel, most significant first; Q32 = A, R, G, B; Q24 = R, G, B;
   Q16 = 5-5-5 big-endian; interleaved RGBA = R, G, B, A.

   Row converters take (source, destination, pixels per row, rows, source
   stride, destination stride, ...): strides are signed byte offsets added
   after each row. */
#ifndef REELCORE_DEPTHCON_H
#define REELCORE_DEPTHCON_H

#include "reelcore/ppix.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Global slots read or written by this family. */
enum {
    kSlotBlitterSuite = 403 /* the top BNSuite (below) */
};

/* ---- Blitter suite table ----
   Three suites are stacked: "base suite" (plain code), "MMX suite" (the
   processor-specific converters, installed when slot 338 is non-zero) and
   "MP suite" (band splitting over the processor pool, installed when slot 313
   is above 1). Each entry of an upper suite wraps the entry with the same
   index below it. */
typedef struct BNSuiteEntry BNSuiteEntry;

/* Every converter gets the common row arguments, two extra values whose use
   depends on the entry (a table, two colours), and its own entry. */
typedef void (*BNConvertProc)(const void* src, void* dst, int32_t width, int32_t rows,
                              int32_t srcStride, int32_t dstStride, intptr_t extra1,
                              intptr_t extra2, const BNSuiteEntry* self);

struct BNSuiteEntry {
    BNConvertProc proc;        /* null: the entry is empty */
    const BNSuiteEntry* wraps; /* the entry this one stands in front of, or null */
    intptr_t refCon;
    int32_t rowThreshold; /* the MP splitter divides calls above this many rows */
    int32_t argForm;      /* argument form 1-4; 0 = not splittable */
};

enum { kBNSuiteVersion = 1, kBNSuiteEntries = 11 };
enum { kBNCopy32 = 2, kBN24To32 = 4, kBN32To24 = 5 };

typedef struct BNSuite {
    const char* name;
    int16_t version;
    int16_t count;
    BNSuiteEntry entries[kBNSuiteEntries];
} BNSuite;

/* Builds the three suites (as the processor flags allow) and stores the top
   one in slot 403. Returns the suite stored. */
RC_API const BNSuite* FmBNInitialize(void);

/* ---- Row converters ---- */
RC_API void DepthCon32To16(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride);
RC_API void DepthCon24To16(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride);
RC_API void DepthCon8To16(const void* src, void* dst, int32_t width, int32_t rows,
                          int32_t srcStride, int32_t dstStride);
RC_API void DepthCon16To24(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride);
RC_API void DepthCon16To32(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride);
/* Each index becomes its whole 32-bit table word. */
RC_API void DepthCon8To24(const void* src, void* dst, int32_t width, int32_t rows,
                          int32_t srcStride, int32_t dstStride, const uint32_t* table);
/* Each index becomes the table word's B, G, R with alpha 255. */
RC_API void DepthCon8To32(const void* src, void* dst, int32_t width, int32_t rows,
                          int32_t srcStride, int32_t dstStride, const uint32_t* table);
RC_API void DepthCon24To32(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride);
RC_API void DepthCon32To24(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride);
RC_API void Copy32(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                   int32_t dstStride);
/* 1 bit -> 32: each bit selects foreground (1) or background (0). */
RC_API void DepthCon1(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                      int32_t dstStride, uint32_t background, uint32_t foreground);
/* 24/32 -> 8 through a 32768-byte inverse colour table indexed by the 15-bit
   code (R >> 3) << 10 | (G >> 3) << 5 | (B >> 3). */
RC_API void AReduce24(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                      int32_t dstStride, const uint8_t* table);
RC_API void AReduce32(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                      int32_t dstStride, const uint8_t* table);
/* These three turn the image over: destination rows advance by minus the
   destination stride. */
RC_API void DepthCon32ToQ16(const void* src, void* dst, int32_t width, int32_t rows,
                            int32_t srcStride, int32_t dstStride);
RC_API void Con32ToQ32(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                       int32_t dstStride);
RC_API void Con32ToQ24(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                       int32_t dstStride);
/* One row of 32-bit pixels to interleaved R, G, B, A. */
RC_API void CopyIGLine(const void* src, void* dst, int32_t width);
RC_API void PackAlpha(const void* src, void* dst, int32_t width);
RC_API void UnpackAlpha(const void* src, void* dst, int32_t width);

/* count palette entries (R, G, B, flags) -> 32-bit words B, G, R, 0. */
RC_API void PalToRGB(const FmPaletteEntry* entries, void* dst, int32_t count);
/* Writes colour-table entries start..255 from the palette's entries 0, 1, ...
   (at most its first 255, and no more than it holds) as B, G, R, 0. */
RC_API void PalToRGBQuad(const FmLogPalette* palette, void* colorTable, int32_t start);

/* ---- Pixel copy ---- */
enum {
    kCopyBlend = 0x8000,       /* low byte = opacity (0 draws nothing, 255 copies) */
    kCopySmooth = 0x4000,      /* use the smoothing scaler even when enlarging */
    kCopyBitMask = 0x2000,     /* mask = 1-bit rows of whole 16-bit words */
    kCopyCoverageMask = 0x1000 /* mask = 8-bit ppix of per-pixel coverage */
};

/* The mask argument depends on the flags: with kCopyBitMask it points at the
   mask bits (rows of ceil(width / 16) * 2 bytes covering the source
   rectangle, bottom row first, most significant bit = leftmost pixel); with
   kCopyCoverageMask it is an 8-bit PPixHand in the source's coordinates
   (outside it counts as 0); otherwise it is an FmRgn in the source's
   coordinates, or null. Rectangles are in each buffer's bounds coordinates
   (null = the whole bounds). The copies return 0, or -50 when a buffer is
   missing or not 32-bit. */
RC_API int32_t ppixCopy(PPixHand src, PPixHand dst, const FmRect* srcRect, const FmRect* dstRect,
                        int32_t flags, const void* mask);
RC_API int32_t bn_StretchBits(PPixHand src, PPixHand dst, const FmRect* srcRect,
                              const FmRect* dstRect, int32_t flags, const void* mask);
RC_API int32_t MyCopyPix(const PPixRecord* src, const PPixRecord* dst, const FmRect* srcRect,
                         const FmRect* dstRect, int32_t flags, const void* mask);
/* MyCopyPix through a 1-bit mask (laid out as for kCopyBitMask). */
RC_API int32_t CopyMask(const PPixRecord* src, const PPixRecord* dst, const FmRect* srcRect,
                        const FmRect* dstRect, int32_t flags, const void* maskBits);

/* ---- Alpha ---- */
/* Every pixel becomes its alpha repeated in all four bytes. */
RC_API void AlphaToRGB(PPixHand pix);
RC_API void A_AlphaToRGB(void* pixels, int32_t width, int32_t height, int32_t rowBytes);
RC_API void ppixFillAlpha(PPixHand pix, uint8_t value);
/* Every pixel of the region inside rect (and the bounds) becomes the colour
   0x00BBGGRR with alpha 0; region coordinates have (0, 0) at the top-left
   pixel. */
RC_API void FillMaskRGB(PPixHand pix, FmRgn region, const FmRect* rect, uint32_t colour);
/* Bitmap resources hold a packed bitmap (header, colour table, bits). */
enum { kBitmapResType = 0x424D5020 /* 'BMP ' */ };
/* A new 32-bit buffer from a bitmap resource of a module (moduleInstance: its
   resource file, 0 for the current resource chain) (4- and 8-bit
   palettised, 8-bit run-length compressed, 24-bit); alpha 0; other depths
   leave the buffer zero. Null when the bitmap cannot be had. */
RC_API PPixHand Bmp2PPix(int16_t resourceID, intptr_t moduleInstance);

/* ---- Picture files ----
   A BMP file (1-, 4-, 8-bit, 8-bit run-length, 16-, 24- and 32-bit) read into
   a new opaque 32-bit buffer; null when unreadable. The writers return 0,
   -50 for a missing or non-32-bit buffer, -36 when the file cannot be
   written. PNG files are compressed; their pixels read back exactly. */
RC_API PPixHand FmReadBmpFile(const char* path);
/* Why a picture file cannot be read. Pictures hold at most
   kMaxPicturePixels pixels; 8-bit run-length bitmaps, whose data may
   describe far more pixels than it has bytes, at most kMaxRle8PicturePixels. */
enum {
    kPictureNotFound = -43,   /* no file at the path */
    kPictureReadFailed = -36, /* the file could not be read */
    kPictureNoMemory = -108,
    kPictureUnknownFormat = 1, /* neither a BMP nor a PNG file */
    kPictureTruncated = 2,     /* the file ends before its pixels do */
    kPictureUnsupported = 3,   /* a bit depth or compression not read here */
    kPictureTooLarge = 4,      /* more pixels than the limits below */
    kPictureMalformed = 5      /* a header or data that make no sense */
};
#define kMaxPicturePixels (INT64_C(1) << 28)
#define kMaxRle8PicturePixels (INT64_C(1) << 25)
/* A BMP or PNG file (told by its first bytes) into a new 32-bit buffer. PNG:
   grey, grey and alpha, RGB, RGBA and palette pictures of any bit depth,
   16-bit samples rounded to 8 bits, transparency kept as alpha, opaque
   pixels alpha 255. status (may be null) receives 0 or a kPicture... reason;
   null on failure. */
RC_API PPixHand FmReadPictureFile(const char* path, int32_t* status);
RC_API int32_t FmWriteBmpFile(PPixHand pix, const char* path);
RC_API int32_t FmWritePngFile(PPixHand pix, const char* path, int32_t withAlpha);

#ifdef __cplusplus
}
#endif

#endif
