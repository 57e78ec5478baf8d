// Alpha-channel utilities on 32-bit buffers.
#include <cstring>

#include "pixels/ppix_internal.h"
#include "pixels/ppix_region.h"
#include "reelcore/depthcon.h"

using rc::pixels::record;

RC_API void A_AlphaToRGB(void* pixels, int32_t width, int32_t height, int32_t rowBytes) {
    if (!pixels || width <= 0 || height <= 0) return;
    uint8_t* row = static_cast<uint8_t*>(pixels);
    for (int32_t y = 0; y < height; ++y, row += rowBytes)
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t a = row[4 * x + 3];
            std::memset(row + 4 * x, a, 4);
        }
}

RC_API void AlphaToRGB(PPixHand pix) {
    const PPixRecord* r = record(pix);
    if (!r || !r->pixels || r->depth != 32) return;
    A_AlphaToRGB(r->pixels, rc::pixels::width(r), rc::pixels::height(r), r->rowBytes);
}

RC_API void ppixFillAlpha(PPixHand pix, uint8_t value) {
    const PPixRecord* r = record(pix);
    if (!r || !r->pixels || r->depth != 32) return;
    const int32_t w = rc::pixels::width(r), h = rc::pixels::height(r);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = reinterpret_cast<uint8_t*>(rc::pixels::rowAddress(r, y));
        for (int32_t x = 0; x < w; ++x) row[4 * x + 3] = value;
    }
}

RC_API void FillMaskRGB(PPixHand pix, FmRgn region, const FmRect* rect, uint32_t colour) {
    const PPixRecord* r = record(pix);
    if (!r || !r->pixels || r->depth != 32 || !region) return;
    const int32_t w = rc::pixels::width(r), h = rc::pixels::height(r);
    FmRect clip{0, 0, w, h};
    if (rect) {
        clip.left = std::max(clip.left, rect->left);
        clip.top = std::max(clip.top, rect->top);
        clip.right = std::min(clip.right, rect->right);
        clip.bottom = std::min(clip.bottom, rect->bottom);
    }
    if (clip.right <= clip.left || clip.bottom <= clip.top) return;
    const uint32_t value = rc::pixels::pixelFromColour(colour, 0);
    rc::pixels::forEachRegionSpan(*region, clip, [&](int32_t y, int32_t left, int32_t right) {
        uint8_t* row = reinterpret_cast<uint8_t*>(rc::pixels::rowAddress(r, y));
        for (int32_t x = left; x < right; ++x) std::memcpy(row + 4 * x, &value, 4);
    });
}
