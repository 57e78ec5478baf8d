// Internal interfaces of the keying family.
#pragma once

#include <cstdint>

#include "reelcore/keying.h"

namespace rc::keying {

// Stores the library's tables in slots 62 and 63 when they are empty.
void installApplicationTables();
// The tables of slots 62 and 63 (the library's when a slot is empty).
const FmLumaTables& lumaTables();
const FmChromaTables& chromaTables();

// x * y / 255 for 8-bit values, as (p + 128 + (p + 128) / 256) / 256.
inline uint32_t div255(uint32_t p) {
    p += 128;
    return (p + (p >> 8)) >> 8;
}

// The blends of DoNewImpose on one band of rows, on the calling thread.
// Row y of src is src + srcStride * y, likewise for dst.
void imposeRows(int32_t mode, const uint8_t* src, intptr_t srcStride, uint8_t* dst,
                intptr_t dstStride, int32_t width, int32_t rows, const FmCoverageEntry* table);

// Hook through which the image and difference mattes draw their still (the
// matte file) into the matte picture. Until media access provides one there
// is no still, and the matte picture is used as it is.
using DrawMatteStillFn = bool (*)(int32_t matteFile, PPixHand matte);
void setDrawMatteStill(DrawMatteStillFn fn);
DrawMatteStillFn drawMatteStill();

}  // namespace rc::keying
