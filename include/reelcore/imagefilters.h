/* Whole-image operations on 32-bit pixel buffers (gamma, median, 3 x 3
   convolutions, alpha blur and soft alpha edge), colour reduction to 8-bit
   palettised bitmaps (15-bit histogram, palette builder, inverse lookup,
   pixel reduction), the ordered-dither boxes, and 16.16 fixed-point
   arithmetic. */
#ifndef REELCORE_IMAGEFILTERS_H
#define REELCORE_IMAGEFILTERS_H

#include "reelcore/depthcon.h"
#include "reelcore/ppix.h"
#include "reelcore/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 3 x 3 convolution kernel: nine weights row by row, then the divisor. */
typedef struct FmKernel3x3 {
    int16_t weights[9];
    int16_t divisor;
} FmKernel3x3;

enum { kHistogramBytes = 131072, kPalLookupBytes = 32768, kMaxPaletteBoxes = 236 };

#ifdef __cplusplus
static_assert(sizeof(FmKernel3x3) == 20, "kernel is ten 16-bit words");
#endif

/* ---- Fixed point ---- */
RC_API Fixed FixedMul(Fixed a, Fixed b);
RC_API Fixed FixedDiv(Fixed dividend, Fixed divisor);

/* ---- Whole-image filters on 32-bit buffers ---- */
/* Maps R, G and B through floor(255 * (i / 255)^(tenths / 10)). */
RC_API void DoGamma(PPixHand pix, int32_t gammaTenths);
/* 3 x 3 median of each byte; the outer ring of pixels is copied. */
RC_API void DoMedian(PPixHand src, PPixHand dst);
/* Blur (0 1 0 / 1 2 1 / 0 1 0, / 6) and Gaussian (1 2 1 / 2 5 2 / 1 2 1, / 17)
   through the convolution entry of the utility table in slot 81. */
RC_API void DoBlur(PPixHand src, PPixHand dst);
RC_API void DoGaussian(PPixHand src, PPixHand dst);
/* Blurs the alpha channel; with fieldFlag the vertical radius is halved. */
RC_API void ppixBlurMask(PPixHand pix, double radius, int32_t fieldFlag);

/* ---- Histogram and palettes ----
   A histogram is a handle of 32768 32-bit counters indexed by the 15-bit
   colour code (R >> 3) << 10 | (G >> 3) << 5 | (B >> 3). Palettes are
   FmLogPalette blocks; HistogramPalette returns one made with FmNewPtr
   (release it with DisposePtr). A lookup is 32768 bytes: the palette index
   of each 15-bit code. */
RC_API Handle InitHistogram(Handle histogram);
RC_API void FreeHistogram(Handle histogram);
/* bits null: the bits follow the header's colour table. right and bottom -1
   mean the whole width or height. Returns 1, or 0 for a missing header or
   histogram or a layout it cannot read. */
RC_API int32_t DibHistogram(const FmBitmapInfoHeader* header, const void* bits, int32_t left,
                            int32_t top, int32_t right, int32_t bottom, Handle histogram);
/* Builds an optimal palette of up to `colors` colours (236 at most; above 236
   the palette has 256 entries with the library's 20 fixed colours at 0-9 and
   246-255) and fills the lookup when given. Null when out of memory. */
RC_API FmLogPalette* HistogramPalette(Handle histogram, uint8_t* lookup, int32_t colors);
RC_API void MakePalLookup(uint8_t* lookup, const FmLogPalette* palette);
/* Maps every pixel of a 1-, 4-, 8-, 16-, 24- or 32-bit bitmap to palette
   indices in an 8-bit destination of the same size (rows padded to 4 bytes);
   fills the destination header when given. Returns 1, or 0 for a layout it
   cannot read. */
RC_API int32_t ReducePixels(const FmBitmapInfoHeader* srcHeader, const void* srcBits,
                            FmBitmapInfoHeader* dstHeader, void* dstBits,
                            const FmLogPalette* palette, const uint8_t* lookup);
/* A new packed 8-bit bitmap (header, palette as colour table, indices) in one
   handle; null when out of memory or unreadable. */
RC_API Handle DibReduce(const FmBitmapInfoHeader* header, const void* bits,
                        const FmLogPalette* palette, const uint8_t* lookup);

/* ---- Dithered boxes ----
   Paint a rectangle through a temporary buffer drawn with ppixToScreen, so
   that 8-bit screens show the colour dithered. window is a PWorld window
   identifier (its context is used when dc is null). Return ppixToScreen's result, 1 without a
   context, -108 without memory. */
RC_API int32_t DitherBox(uint32_t window, FmDC dc, const FmRect* rect, uint32_t colour);
/* The same with an 8 x 8 pattern: pattern bits (row 0 first, most significant
   bit leftmost) choose the foreground (1) or background (0) colour; the box
   is clipped to the context's clip rectangle. */
RC_API int32_t DitherBoxPat(uint32_t window, FmDC dc, const FmRect* rect, const uint8_t pattern[8],
                            uint32_t foreground, uint32_t background);

/* Soft alpha edge: the outermost ring of pixels gets alpha 127, all others 255. */
RC_API void SmoothAlpha(void* pixels, int32_t rowBytes, int32_t width, int32_t height);

#ifdef __cplusplus
}
#endif

#endif
