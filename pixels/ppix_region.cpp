#include "pixels/ppix_region.h"

#include <new>

namespace rc::pixels {

FmRect regionBounds(const FmRegion& region) {
    if (region.rects.empty()) return FmRect{0, 0, 0, 0};
    FmRect b = region.rects.front();
    for (const FmRect& r : region.rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

bool regionContains(const FmRegion& region, int32_t x, int32_t y) {
    for (const FmRect& r : region.rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

bool regionIsRectangle(const FmRegion& region) {
    if (region.rects.empty()) return false;
    FmRect b = regionBounds(region);
    // One rectangle, or several that all equal the bounding box.
    for (const FmRect& r : region.rects)
        if (r.left != b.left || r.top != b.top || r.right != b.right || r.bottom != b.bottom)
            return false;
    return true;
}

}  // namespace rc::pixels

namespace {
bool validRect(const FmRect* r) {
    return r && r->left < r->right && r->top < r->bottom;
}
}  // namespace

extern "C" {

RC_API FmRgn FmNewRectRgn(const FmRect* rect) {
    auto* region = new (std::nothrow) FmRegion();
    if (region && validRect(rect)) {
        try {
            region->rects.push_back(*rect);
        } catch (const std::bad_alloc&) {
            delete region;
            return nullptr;
        }
    }
    return region;
}

RC_API int32_t FmUnionRectRgn(FmRgn region, const FmRect* rect) {
    if (!region || !rect) return -50;
    if (!validRect(rect)) return 0;  // an empty rectangle adds nothing
    try {
        region->rects.push_back(*rect);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return 0;
}

RC_API void FmDisposeRgn(FmRgn region) {
    delete region;
}

}  // extern "C"
