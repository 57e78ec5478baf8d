// The general pixel copy on plain buffer descriptions, so that it can be used
// on ppix records and on raw memory alike.
#pragma once

#include <cstdint>

#include "reelcore/depthcon.h"

namespace rc::pix {

// A 32-bit (or, for coverage masks, 8-bit) buffer: memory starts with the
// bottom row, as in a device-independent bitmap.
struct PixView {
    uint8_t* pixels = nullptr;
    int32_t rowBytes = 0;
    FmRect bounds{};
    int32_t depth = 32;
};

// Mask argument of the copy, by the flags: kCopyBitMask -> `bits` (1-bit
// rows of whole 16-bit words, bottom row first, covering the source
// rectangle); kCopyCoverageMask -> `coverage` (8-bit buffer in the source's
// coordinates); otherwise `region` (may be null).
struct CopyMaskArg {
    const uint8_t* bits = nullptr;
    const PixView* coverage = nullptr;
    const FmRegion* region = nullptr;
};

void copyPix(const PixView& src, const PixView& dst, const FmRect& srcRect, const FmRect& dstRect,
             int32_t flags, const CopyMaskArg& mask);

// Scaling of a whole buffer region, exposed for tests and benchmarks: rows
// are in memory order (bottom first), `smooth` picks the smoothing scaler.
void scaleRect(const uint8_t* src, int32_t srcStride, int32_t sw, int32_t sh, uint8_t* dst,
               int32_t dstStride, int32_t dw, int32_t dh, bool smooth);

// Renders a region into a 1-bit mask (rows of ceil(w / 16) * 2 bytes, bottom
// row first) over `rect`; bits are 1 inside the region.
void regionToBits(const FmRegion& region, const FmRect& rect, uint8_t* bits);
inline int32_t maskRowBytes(int32_t width) {
    return ((width + 15) / 16) * 2;
}

}  // namespace rc::pix
