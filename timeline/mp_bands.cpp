#include "timeline/mp_bands.h"

#include <vector>

#include "reelcore/mp.h"

namespace rc::mp {

namespace {

struct Band {
    const std::function<void(int32_t, int32_t)>* body;
    int32_t first;
    int32_t count;
};

void runBand(void* block) {
    auto* b = static_cast<Band*>(block);
    (*b->body)(b->first, b->count);
}

}  // namespace

BandSplit splitRows(int32_t rows, int32_t granted) {
    if (granted < 2 || rows < granted) return BandSplit{1, rows, rows};
    int32_t each = rows / granted;
    return BandSplit{granted, each, rows - each * (granted - 1)};
}

void runRowBands(int32_t rows, int32_t minRows,
                 const std::function<void(int32_t firstRow, int32_t rowCount)>& body) {
    if (rows <= 0) return;
    int32_t granted = rows >= minRows ? FmLockMP(rows) : 1;
    BandSplit split = splitRows(rows, granted);
    if (split.bands < 2) {
        if (granted > 1) FmCancelMP();
        body(0, rows);
        return;
    }
    std::vector<Band> bands(split.bands);
    for (int32_t i = 0; i < split.bands; ++i)
        bands[i] =
            Band{&body, i * split.rowsEach, i + 1 < split.bands ? split.rowsEach : split.rowsLast};
    FmExecuteMP(split.bands, runBand, bands.data(), sizeof(Band));
}

}  // namespace rc::mp
