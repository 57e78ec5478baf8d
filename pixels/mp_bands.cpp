#include "pixels/mp_bands.h"

namespace rc::pix {

void runRowBands(int32_t rows, BandJob job, void* ctx) {
    if (rows <= 0) return;
    job(ctx, 0, rows);
}

}  // namespace rc::pix
