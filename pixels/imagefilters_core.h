// Image filters on raw rows. Images are addressed from their top row with a
// signed step to the next row down (negative for bottom-up buffers).
#pragma once

#include <cstdint>
#include <vector>

#include "reelcore/imagefilters.h"

namespace rc::pix {

struct Rows {
    uint8_t* top;   // first byte of the top row
    intptr_t step;  // bytes from one row to the row below it
    int32_t width, height;
    uint8_t* row(int32_t y) const { return top + step * y; }
};

// table[i] = floor(255 * (i / 255)^(tenths / 10)).
void gammaTable(int32_t tenths, uint8_t table[256]);
// Maps B, G and R of every 32-bit pixel through the table; alpha is kept.
void applyColorTable(const Rows& img, const uint8_t table[256]);

// 3 x 3 median of each byte of 32-bit pixels; the outer ring is copied.
// `level` chooses the kernels: "avx2", or anything else for plain code.
void median3x3(const Rows& src, const Rows& dst, const char* level = nullptr);
// 3 x 3 convolution of each byte of 32-bit pixels: floor(sum / divisor)
// clamped to 0..255; the outer ring is copied. A divisor of 0 counts as 1.
void convolve3x3(const Rows& src, const Rows& dst, const FmKernel3x3& k,
                 const char* level = nullptr);

// Alpha blur weights for a radius: weights[0] = 255, then one per pixel of
// distance up to ceil(radius); empty when radius <= 0.
std::vector<int32_t> alphaBlurWeights(double radius);
// Blurs the alpha bytes of 32-bit pixels; false when work memory is short.
bool blurAlpha(const Rows& img, double radius, bool field);

// Ring of alpha 127, inside 255.
void smoothAlpha(const Rows& img);

}  // namespace rc::pix
