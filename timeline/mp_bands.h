// Splitting a row range into bands for the processor pool.
#pragma once

#include <cstdint>
#include <functional>

namespace rc::mp {

struct BandSplit {
    int32_t bands;     // number of bands (1 = run serially)
    int32_t rowsEach;  // rows of every band but the last
    int32_t rowsLast;  // rows of the last band (rowsEach + the remainder)
};

// The split of `rows` rows over `granted` processors: every band gets
// rows / granted rows and the last takes the remainder as well.
BandSplit splitRows(int32_t rows, int32_t granted);

// Runs body(firstRow, rowCount) over rows 0 .. rows - 1: split over the pool
// when rows >= minRows and FmLockMP grants more than one band, else in one
// call on this thread.
void runRowBands(int32_t rows, int32_t minRows,
                 const std::function<void(int32_t firstRow, int32_t rowCount)>& body);

}  // namespace rc::mp
