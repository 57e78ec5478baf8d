#include "timeline/keying/garbage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "reelcore/keying.h"

namespace rc::keying {

bool garbageUnset(const FmPoint corners[4]) {
    for (int i = 0; i < 4; ++i)
        if (corners[i].x || corners[i].y) return false;
    return true;
}

bool rasteriseGarbage(const FmPoint corners[4], int32_t width, int32_t height, uint8_t* mask) {
    double px[4], py[4];
    for (int i = 0; i < 4; ++i) {
        px[i] = double(corners[i].x) * width / double(kGarbageRefWidth);
        py[i] = double(corners[i].y) * height / double(kGarbageRefHeight);
    }
    bool partial = false;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = mask + size_t(width) * size_t(y);
        std::memset(row, 0, size_t(width));
        const double cy = y + 0.5;
        double cuts[4];
        int n = 0;
        for (int i = 0; i < 4; ++i) {
            const int j = (i + 1) % 4;
            if ((py[i] <= cy) == (py[j] <= cy)) continue;  // the edge does not cross this row
            cuts[n++] = px[i] + (cy - py[i]) * (px[j] - px[i]) / (py[j] - py[i]);
        }
        for (int a = 1; a < n; ++a)  // at most four crossings
            for (int b = a; b > 0 && cuts[b] < cuts[b - 1]; --b) std::swap(cuts[b], cuts[b - 1]);
        int32_t covered = 0;
        for (int k = 0; k + 1 < n; k += 2) {
            // pixels whose centre x + 0.5 lies in [cuts[k], cuts[k + 1])
            const double a = std::ceil(cuts[k] - 0.5), b = std::ceil(cuts[k + 1] - 0.5);
            const int32_t from = int32_t(std::clamp(a, 0.0, double(width)));
            const int32_t to = int32_t(std::clamp(b, 0.0, double(width)));
            if (to > from) {
                std::memset(row + from, 255, size_t(to - from));
                covered += to - from;
            }
        }
        if (covered < width) partial = true;
    }
    return partial;
}

}  // namespace rc::keying
