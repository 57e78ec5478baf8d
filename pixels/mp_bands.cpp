#include "pixels/mp_bands.h"

#include "timeline/mp_bands.h"

namespace rc::pix {

void runRowBands(int32_t rows, BandJob job, void* ctx) {
    if (rows <= 0) return;
    rc::mp::runRowBands(rows, 0, [&](int32_t first, int32_t count) { job(ctx, first, count); });
}

}  // namespace rc::pix
