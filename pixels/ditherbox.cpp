// Boxes painted through a temporary buffer, so that 8-bit screens show
// their colour dithered.
#include <algorithm>

#include "pixels/ppix_internal.h"
#include "platform/surface.h"
#include "reelcore/imagefilters.h"

namespace {

// Draws `pix` into `rect` of the context, or of the window's own context.
int32_t drawBox(uint32_t window, FmDC dc, PPixHand pix, const FmRect& bounds, const FmRect& rect) {
    if (dc) return ppixToScreen(pix, dc, &bounds, &rect);
    FmDC own = rc::platform::getWindowDC(window);
    if (!own) return 1;
    const int32_t result = ppixToScreen(pix, own, &bounds, &rect);
    rc::platform::releaseDC(own);
    return result;
}

}  // namespace

RC_API int32_t DitherBox(uint32_t window, FmDC dc, const FmRect* rect, uint32_t colour) {
    if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return 0;
    const FmRect bounds{0, 0, rect->right - rect->left, rect->bottom - rect->top};
    PPixHand box = ppixNew(&bounds);
    if (!box) return -108;
    ppixFillRect(box, nullptr, colour);
    const int32_t result = drawBox(window, dc, box, bounds, *rect);
    ppixDispose(box);
    return result;
}

RC_API int32_t DitherBoxPat(uint32_t window, FmDC dc, const FmRect* rect, const uint8_t pattern[8],
                            uint32_t foreground, uint32_t background) {
    if (!rect || !pattern) return 0;
    FmDC target = dc ? dc : rc::platform::getWindowDC(window);
    if (!target) return 1;
    FmRect box = *rect;
    if (target->clipped) {
        box.left = std::max(box.left, target->clip.left);
        box.top = std::max(box.top, target->clip.top);
        box.right = std::min(box.right, target->clip.right);
        box.bottom = std::min(box.bottom, target->clip.bottom);
    }
    int32_t result = 0;
    if (box.right > box.left && box.bottom > box.top) {
        const FmRect bounds{0, 0, box.right - box.left, box.bottom - box.top};
        PPixHand pix = ppixNew(&bounds);
        if (!pix) {
            result = -108;
        } else {
            const PPixRecord* r = rc::pixels::record(pix);
            const uint32_t fg = rc::pixels::pixelFromColour(foreground, 0xFF);
            const uint32_t bg = rc::pixels::pixelFromColour(background, 0xFF);
            // the pattern is anchored to the context's origin
            for (int32_t y = 0; y < bounds.bottom; ++y) {
                uint32_t* row = reinterpret_cast<uint32_t*>(rc::pixels::rowAddress(r, y));
                const uint8_t bits = pattern[(box.top + y) & 7];
                for (int32_t x = 0; x < bounds.right; ++x)
                    row[x] = (bits >> (7 - ((box.left + x) & 7))) & 1 ? fg : bg;
            }
            result = ppixToScreen(pix, target, &bounds, &box);
            ppixDispose(pix);
        }
    }
    if (!dc) rc::platform::releaseDC(target);
    return result;
}
