/* Whole-image operations on 32-bit pixel buffers (gamma, median, 3 x 3
   convolutions, alpha blur and soft alpha edge), colour reduction to 8-bit
   palettised bitmaps (15-bit histogram, palette builder, inverse lookup,
   pixel reduction), the ordered-dither boxes, and 16.16 fixed-point
   arithmetic. */
#ifndef REELCORE_IMAGEFILTERS_H
#define REELCORE_IMAGEFILTERS_H

#include "reelcore/depthcon.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 3 x 3 convolution kernel: nine weights row by row, then the divisor. */
typedef struct FmKernel3x3 {
    int16_t weights[9];
    int16_t divisor;
} FmKernel3x3;

#ifdef __cplusplus
static_assert(sizeof(FmKernel3x3) == 20, "kernel is ten 16-bit words");
#endif

/* ---- Fixed point ---- */
RC_API Fixed FixedMul(Fixed a, Fixed b);
RC_API Fixed FixedDiv(Fixed dividend, Fixed divisor);

/* Soft alpha edge: the outermost ring of pixels gets alpha 127, all others 255. */
RC_API void SmoothAlpha(void* pixels, int32_t rowBytes, int32_t width, int32_t height);

#ifdef __cplusplus
}
#endif

#endif
