// The automation write: the mixer records a fader level into a band. The
// edit is made on a copy of the points and stored only when the block could
// take them, so a failed write leaves the band as it was.
#include "timeline/automation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "reelcore/memory.h"
#include "timeline/envelopes_internal.h"

namespace rc::timeline {

namespace {

using Points = std::vector<RubberHandPt>;

// The index of the point exactly at p, or the index a point at p would be
// inserted at (the first point after p).
int32_t search(const Points& pts, int32_t p, bool& exact) {
    auto it = std::lower_bound(pts.begin(), pts.end(), p,
                               [](const RubberHandPt& a, int32_t v) { return a.position < v; });
    exact = it != pts.end() && it->position == p;
    return int32_t(it - pts.begin());
}

bool near(int32_t a, int32_t b, int32_t tolerance) {
    return std::abs(a - b) <= tolerance;
}

// The height of a written level: the neighbour's height when the neighbour
// has the same level, else level × scale ÷ 256.
int16_t heightFor(const Points& pts, int32_t index, int32_t neighbour, int32_t scale) {
    if (neighbour >= 0 && neighbour < int32_t(pts.size()) &&
        pts[size_t(neighbour)].level == pts[size_t(index)].level)
        return pts[size_t(neighbour)].height;
    if (scale <= 0) return 0;
    return int16_t(int32_t(pts[size_t(index)].level) * scale / 256);
}

}  // namespace

int32_t writeAutomation(Handle band, int32_t position, int16_t level, int32_t rampWidth,
                        AutomationMode mode) {
    BandView view;
    if (!editBand(band, view)) return -1;
    Points pts(view.points, view.points + view.count);
    const int32_t scale = view.header->scale;
    const int32_t p =
        std::clamp(position, int32_t{pts.front().position}, int32_t{pts.back().position});
    const int16_t b = std::clamp<int16_t>(level, 0, 256);
    const int16_t old = int16_t(levelAt(view, p));
    const int64_t w = std::max(rampWidth, 0);

    bool exact = false;
    int32_t k = search(pts, p, exact);
    int32_t leadIn = -1, leadOut = -1;

    // Lead-in: only strictly between the previous point and p.
    if (mode == AutomationMode::Insert && w > 0 && k > 0 &&
        int64_t(pts[size_t(k - 1)].position) < p - w && !near(old, b, 1)) {
        pts.insert(pts.begin() + k, RubberHandPt{int32_t(p - w), 0, old});
        leadIn = k++;
    }

    // The written point replaces one standing at p.
    if (exact)
        pts[size_t(k)].level = b;
    else
        pts.insert(pts.begin() + k, RubberHandPt{p, 0, b});

    // Lead-out: only strictly between p and the next point.
    const bool needLeadOut = w > 0 && k + 1 < int32_t(pts.size()) &&
                             int64_t(pts[size_t(k + 1)].position) > p + w && !near(old, b, 1);
    if (needLeadOut) {
        // Continuous writing over a flat run: rather than adding a point, the
        // previous one (within 1 of b, like the one before it) moves on to
        // become the lead-out.
        if (mode == AutomationMode::Extend && exact && k >= 2 &&
            near(pts[size_t(k - 1)].level, b, 1) && near(pts[size_t(k - 2)].level, b, 1)) {
            pts.erase(pts.begin() + (k - 1));
            --k;
        }
        pts.insert(pts.begin() + k + 1, RubberHandPt{int32_t(p + w), 0, old});
        leadOut = k + 1;
    }

    // Heights: from the previous neighbour before the lead-out, the next one
    // for the lead-out.
    if (leadIn >= 0) pts[size_t(leadIn)].height = heightFor(pts, leadIn, leadIn - 1, scale);
    pts[size_t(k)].height = heightFor(pts, k, k - 1, scale);
    if (leadOut >= 0) pts[size_t(leadOut)].height = heightFor(pts, leadOut, leadOut + 1, scale);

    // Thinning: the middle of three equal levels goes.
    if (k >= 2 && pts[size_t(k)].level == pts[size_t(k - 1)].level &&
        pts[size_t(k)].level == pts[size_t(k - 2)].level) {
        pts.erase(pts.begin() + (k - 1));
        --k;
    }

    if (pts.size() >= size_t(INT16_MAX)) return -1;
    const int32_t count = int32_t(pts.size());
    if (FmSetHandleSize(band, bandBytes(count)) != 0) return -1;
    auto* header = reinterpret_cast<RubberHand*>(*band);
    header->count = int16_t(count);
    std::memcpy(*band + sizeof(RubberHand), pts.data(), pts.size() * sizeof(RubberHandPt));
    std::memset(*band + sizeof(RubberHand) + pts.size() * sizeof(RubberHandPt), 0,
                sizeof(RubberHandPt));
    return k;
}

}  // namespace rc::timeline
