// Template part of ppix_region.h.
#pragma once

#include <algorithm>
#include <utility>

namespace rc::pixels {

template <typename Fn>
void forEachRegionSpan(const FmRegion& region, const FmRect& clip, Fn span) {
    FmRect b = regionBounds(region);
    int32_t top = std::max(b.top, clip.top), bottom = std::min(b.bottom, clip.bottom);
    std::vector<std::pair<int32_t, int32_t>> runs;
    for (int32_t y = top; y < bottom; ++y) {
        runs.clear();
        for (const FmRect& r : region.rects) {
            if (y < r.top || y >= r.bottom) continue;
            int32_t l = std::max(r.left, clip.left), rt = std::min(r.right, clip.right);
            if (l < rt) runs.emplace_back(l, rt);
        }
        std::sort(runs.begin(), runs.end());
        size_t i = 0;
        while (i < runs.size()) {
            int32_t l = runs[i].first, rt = runs[i].second;
            for (++i; i < runs.size() && runs[i].first <= rt; ++i)
                rt = std::max(rt, runs[i].second);
            span(y, l, rt);
        }
    }
}

}  // namespace rc::pixels
