// Rectangle and point routines.
#include "reelcore/strings.h"

namespace {

// One coordinate moved from [fromLow, fromHigh) to the same relative place
// in [toLow, toHigh); the quotient is cut to a signed 16-bit value. An empty
// source range gives toLow.
int32_t mapCoordinate(int32_t v, int32_t fromLow, int32_t fromHigh, int32_t toLow, int32_t toHigh) {
    const int64_t fromSpan = int64_t{fromHigh} - fromLow;
    if (fromSpan == 0) return toLow;
    const int64_t quotient = (int64_t{toHigh} - toLow) * (int64_t{v} - fromLow) / fromSpan;
    return static_cast<int32_t>(toLow + static_cast<int16_t>(quotient));
}

int32_t clamp(int32_t v, int32_t low, int32_t high) {
    return v < low ? low : v > high ? high : v;
}

}  // namespace

RC_API void MapPoint(FmPoint* point, const FmRect* from, const FmRect* to) {
    if (point == nullptr || from == nullptr || to == nullptr) return;
    point->x = mapCoordinate(point->x, from->left, from->right, to->left, to->right);
    point->y = mapCoordinate(point->y, from->top, from->bottom, to->top, to->bottom);
}

RC_API void MapRect(FmRect* rect, const FmRect* from, const FmRect* to) {
    if (rect == nullptr) return;
    FmPoint topLeft{rect->left, rect->top}, bottomRight{rect->right, rect->bottom};
    MapPoint(&topLeft, from, to);
    MapPoint(&bottomRight, from, to);
    *rect = FmRect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

RC_API void ScalePt(FmPoint* size, const FmRect* from, const FmRect* to) {
    if (size == nullptr) return;
    FmRect r{0, 0, size->x, size->y};
    MapRect(&r, from, to);
    size->x = r.right - r.left;
    size->y = r.bottom - r.top;
}

RC_API void PinPt(FmPoint* point, const FmRect* rect) {
    if (point == nullptr || rect == nullptr) return;
    // At most right - 1, at least left (left wins for an empty rectangle).
    point->x =
        clamp(point->x, rect->left, rect->right - 1 < rect->left ? rect->left : rect->right - 1);
    point->y =
        clamp(point->y, rect->top, rect->bottom - 1 < rect->top ? rect->top : rect->bottom - 1);
}

RC_API FmPoint PinRect(const FmRect* rect, int32_t x, int32_t y) {
    if (rect == nullptr) return FmPoint{x, y};
    return FmPoint{clamp(x, rect->left, rect->right < rect->left ? rect->left : rect->right),
                   clamp(y, rect->top, rect->bottom < rect->top ? rect->top : rect->bottom)};
}

RC_API Boolean fmPtClose(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const int64_t dx = int64_t{x1} - x2, dy = int64_t{y1} - y2;
    return dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2;
}

RC_API void fmPt2Rect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, FmRect* rect) {
    if (rect == nullptr) return;
    *rect = FmRect{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
}
