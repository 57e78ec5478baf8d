// Horizontal band splitting over the processor pool.
#pragma once

#include <cstdint>

namespace rc::pix {

// Runs job(ctx, firstRow, rowCount) over `rows` rows: split into one band per
// processor the pool grants (the last band takes the remainder) and run in
// parallel, or as one band when the pool grants fewer than two.
using BandJob = void (*)(void* ctx, int32_t firstRow, int32_t rowCount);
void runRowBands(int32_t rows, BandJob job, void* ctx);

// Row-array helper: the address of row `row` from `base` with a signed stride.
inline const uint8_t* rowAt(const void* base, int32_t row, int32_t stride) {
    return static_cast<const uint8_t*>(base) + static_cast<intptr_t>(row) * stride;
}
inline uint8_t* rowAt(void* base, int32_t row, int32_t stride) {
    return static_cast<uint8_t*>(base) + static_cast<intptr_t>(row) * stride;
}

}  // namespace rc::pix
