/* Pixel aspect ratios: the 32-bit ratio code, widths and rectangles in
   square pixels. */
#ifndef REELCORE_ASPECT_H
#define REELCORE_ASPECT_H

#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A pixel aspect ratio code holds the horizontal term (numerator) in the
   high 16 bits and the vertical term (denominator) in the low 16 bits.
   0 and 1 mean "not set"; a code whose halves are equal or either half is
   0 counts as square pixels. */
typedef uint32_t FmPARCode;

enum { kPARSquare = 0x00010001u };

static inline uint32_t FmPARNumerator(FmPARCode code) {
    return code >> 16;
}
static inline uint32_t FmPARDenominator(FmPARCode code) {
    return code & 0xFFFFu;
}
static inline FmPARCode FmPARMakeCode(uint32_t numerator, uint32_t denominator) {
    return ((numerator & 0xFFFFu) << 16) | (denominator & 0xFFFFu);
}
static inline int FmPARIsUnset(FmPARCode code) {
    return code == 0 || code == 1;
}
/* Square: unset, halves equal, or either half 0. */
static inline int FmPARIsSquare(FmPARCode code) {
    return FmPARIsUnset(code) || FmPARNumerator(code) == FmPARDenominator(code) ||
           FmPARNumerator(code) == 0 || FmPARDenominator(code) == 0;
}

/* Width in square pixels: width x numerator / denominator, truncated toward
   zero and held to the 32-bit range. Square codes return the width. */
RC_API int32_t FmPixelWidthScale(FmPARCode code, int32_t width);
/* The inverse: width x denominator / numerator. */
RC_API int32_t FmPixelWidthUnscale(FmPARCode code, int32_t width);

#ifdef __cplusplus
}
#endif

#endif
