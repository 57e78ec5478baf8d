// Regions: unions of rectangles in buffer coordinates, used as fill masks.
#pragma once

#include <vector>

#include "reelcore/ppix.h"

struct FmRegion {
    std::vector<FmRect> rects;  // non-empty rectangles; may overlap
};

namespace rc::pixels {

// The smallest rectangle holding the region (empty for an empty region).
FmRect regionBounds(const FmRegion& region);
// True when (x, y) lies inside one of the region's rectangles.
bool regionContains(const FmRegion& region, int32_t x, int32_t y);
// True when the region is exactly one rectangle.
bool regionIsRectangle(const FmRegion& region);
// Calls span(y, left, right) for every covered run of row y inside `clip`,
// runs in ascending order without overlaps.
template <typename Fn>
void forEachRegionSpan(const FmRegion& region, const FmRect& clip, Fn span);

}  // namespace rc::pixels

#include "pixels/ppix_region_impl.h"
