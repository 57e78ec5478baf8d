// Internal helpers of the pixel-buffer family, shared with the depth
// conversion and drawing code.
#pragma once

#include <cstdint>

#include "reelcore/ppix.h"

namespace rc::pixels {

// The record behind a buffer handle, or null.
inline PPixRecord* record(PPixHand pix) {
    return pix && *pix ? reinterpret_cast<PPixRecord*>(*pix) : nullptr;
}
inline int32_t width(const PPixRecord* r) {
    return r->bounds.right - r->bounds.left;
}
inline int32_t height(const PPixRecord* r) {
    return r->bounds.bottom - r->bounds.top;
}

// Address of image row y (0 = top) of the buffer.
inline char* rowAddress(const PPixRecord* r, int32_t y) {
    return r->pixels + static_cast<int64_t>(r->rowBytes) * (height(r) - 1 - y);
}

// 0x00BBGGRR as handed to fills -> 0xAARRGGBB as stored.
inline uint32_t pixelFromColour(uint32_t colour, uint32_t alpha) {
    return alpha << 24 | (colour & 0xFF) << 16 | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

// The largest pixel block a buffer may have.
constexpr uint64_t kMaxPixelBytes = 0xFFFFFFFFull;

// A 32-bit buffer whose pixel memory comes from the host allocator of slot
// 286 (marked "Rand"), without the memory check; null when there is no
// allocator or it fails.
PPixHand newHostAllocated(const FmRect* bounds);

// Fills `count` 32-bit words with value.
void fillWords(uint32_t* dst, size_t count, uint32_t value);
// The same with non-temporal stores, which bypass the caches: for fills far
// larger than the caches. The caller issues streamFence() after the last one.
void streamWords(uint32_t* dst, size_t count, uint32_t value);
void streamFence();
// Fills of at least this many bytes stream past the caches.
constexpr size_t kStreamFillBytes = size_t{4} << 20;

// Copies src rectangle of one buffer into the dst rectangle of another of
// the same depth (the copy of 8-bit masks), scaling by nearest pixel (rectangles in each buffer's
// bounds coordinates; null = the whole bounds). 0 on success.
int32_t copyNearest(PPixHand src, PPixHand dst, const FmRect* srcRect, const FmRect* dstRect);

}  // namespace rc::pixels

namespace rc::pixhooks {

// The pixel copy used for buffer swaps and scaled drawing: ppixCopy unless a
// test installs another.
using CopyFn = int32_t (*)(PPixHand src, PPixHand dst, const FmRect* srcRect,
                           const FmRect* dstRect);
void setCopy(CopyFn fn);  // null restores ppixCopy
CopyFn copy();

}  // namespace rc::pixhooks
