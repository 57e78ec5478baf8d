// Row kernels of the scalers. Each has a plain form and, where the
// processor has AVX2, a vector form giving the same bytes.
#pragma once

#include <cstdint>

namespace rc::pix {

// out[i] = a[i] + floor((b[i] - a[i]) * f / 256) over n bytes.
void lerpBytes(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t n, int32_t f);
// sums[i] += s[i] over n bytes.
void addBytes(uint32_t* sums, const uint8_t* s, int32_t n);
// out[i] = sums[i] / j (truncated) over n values below 2^24.
void divideSums(const uint32_t* sums, uint8_t* out, int32_t n, uint32_t j);
// Pixel x of out = lerp of pixels i0[x] and i1[x] of line (lineWidth pixels,
// indices rising with x) with weight f[x].
//
// With `stream` the row kernels below may write around the caches (for
// outputs far larger than they are); call finishStreaming() before the
// output is read or handed on.
void lerpPixels(const uint8_t* line, int32_t lineWidth, uint8_t* out, const int32_t* i0,
                const int32_t* i1, const int32_t* f, int32_t n, bool stream = false);
// Pixel x of out = pixel cols[x] of line.
void pickPixels(const uint8_t* line, uint8_t* out, const int32_t* cols, int32_t n);
// 2:1 in both directions: pixel x of out averages pixels 2x, 2x + 1 of rows a
// and c as ((a0 / 2 + a1 / 2) / 2) + ((c0 / 2 + c1 / 2) / 2) per byte.
void halvePixels(const uint8_t* a, const uint8_t* c, uint8_t* out, int32_t n, bool stream = false);
// Orders streamed stores before whatever follows.
void finishStreaming();

// Tests: true runs only the plain forms.
void usePlainScaleKernels(bool plain);

}  // namespace rc::pix
