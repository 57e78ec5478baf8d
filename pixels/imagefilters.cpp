// Exported image filters.
#include "reelcore/imagefilters.h"

#include "pixels/imagefilters_core.h"

using namespace rc::pix;

RC_API void SmoothAlpha(void* pixels, int32_t rowBytes, int32_t width, int32_t height) {
    if (!pixels || width <= 0 || height <= 0) return;
    smoothAlpha(Rows{static_cast<uint8_t*>(pixels), rowBytes, width, height});
}
