// Widths between stored pixels and square pixels.
#include <cstdint>

#include "reelcore/aspect.h"

namespace {

int32_t clampTo32(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// A square code (which includes every code with a zero half) leaves the
// width alone, so neither direction can divide by zero or collapse to 0.
int32_t scaleWidth(FmPARCode code, int32_t width, bool toSquare) {
    if (FmPARIsSquare(code)) return width;
    const int64_t num = FmPARNumerator(code);
    const int64_t den = FmPARDenominator(code);
    const int64_t product = int64_t{width} * (toSquare ? num : den);
    return clampTo32(product / (toSquare ? den : num));
}

}  // namespace

RC_API int32_t FmPixelWidthScale(FmPARCode code, int32_t width) {
    return scaleWidth(code, width, true);
}

RC_API int32_t FmPixelWidthUnscale(FmPARCode code, int32_t width) {
    return scaleWidth(code, width, false);
}
