// Editing envelopes: inserting and deleting points, moving the ends of a
// band, and re-projecting its heights for a new display height.
#include <algorithm>
#include <cstring>

#include "reelcore/memory.h"
#include "timeline/envelopes_internal.h"
#include "timeline/tracks_internal.h"

using namespace rc::timeline;

namespace {

// Opens a gap at index (0 ... count) for one more point; false (band
// unchanged) when the block cannot grow. The view is refreshed.
bool openGap(Handle band, BandView& b, int32_t index) {
    if (b.count >= INT16_MAX) return false;
    if (FmSetHandleSize(band, bandBytes(b.count + 1)) != 0) return false;
    readBand(band, b);
    std::memmove(&b[index + 1], &b[index], size_t(b.count - index) * sizeof(RubberHandPt));
    ++b.header->count;
    ++b.count;
    return true;
}

void removePoint(Handle band, BandView& b, int32_t index) {
    std::memmove(&b[index], &b[index + 1], size_t(b.count - index - 1) * sizeof(RubberHandPt));
    --b.header->count;
    FmSetHandleSize(band, bandBytes(b.count - 1));  // shrinking does not fail
    readBand(band, b);
}

// Deletes the points before the last one that stand at or after it, keeping
// the two end points.
void dropPassedPoints(Handle band, BandView& b) {
    while (b.count > 2 && b[b.count - 2].position >= b.last().position)
        removePoint(band, b, b.count - 2);
}

int16_t clampHeight(int64_t h) {
    return int16_t(std::clamp<int64_t>(h, INT16_MIN, INT16_MAX));
}

// The height the band has at a position on its own display height.
int16_t ownHeight(Handle band, const BandView& b, int32_t position) {
    return clampHeight(HeightAtPoint(position, b.header->scale, band));
}

void shiftStart(Handle band, BandView& b, int32_t delta) {
    for (int32_t i = 0; i < b.count; ++i)
        b[i].position = saturate32(int64_t(b[i].position) - delta);
    b[0].position = 0;
    while (b.count > 2 && b[1].position <= 0) removePoint(band, b, 1);
    // Keep the end after the start even when the whole band was passed.
    if (b.last().position < 0) b.last().position = 0;
}

}  // namespace

RC_API int16_t InsertPoint(int32_t position, int16_t height, Handle band) {
    BandView b;
    if (!editBand(band, b)) return -1;
    position = std::max(position, int32_t{b[0].position});  // never before point 0
    height = clampHeight(std::clamp<int32_t>(height, 0, std::max<int32_t>(b.header->scale, 0)));
    const int16_t level = levelForHeight(b, height, position);
    int32_t at = b.count;
    while (at > 1 && b[at - 1].position >= position) --at;
    if (!openGap(band, b, at)) return -1;
    b[at] = RubberHandPt{position, height, level};
    return int16_t(at);
}

RC_API int16_t AddPoint(int16_t index, int32_t position, int16_t height, Handle band) {
    BandView b;
    if (!editBand(band, b) || index < 0) return -1;
    const int32_t at = std::min<int32_t>(index, b.count);
    // A point out of order would leave a band no edit accepts.
    if ((at > 0 && b[at - 1].position > position) || (at < b.count && position > b[at].position))
        return -1;
    const int16_t level = levelForHeight(b, height, position);
    if (!openGap(band, b, at)) return -1;
    b[at] = RubberHandPt{position, height, level};
    return int16_t(at);
}

RC_API void DeletePoint(int16_t index, Handle band) {
    BandView b;
    if (!editBand(band, b) || index <= 0 || index >= b.count - 1) return;
    removePoint(band, b, index);
}

RC_API void SizeRubberBand(Handle band, int32_t length) {
    BandView b;
    if (!editBand(band, b)) return;
    // The end never passes the start (nor 0).
    b.last().position = std::max({length, int32_t{b[0].position}, 0});
    dropPassedPoints(band, b);
}

RC_API void TrimBandEnd(Handle band, int32_t position) {
    BandView b;
    if (!editBand(band, b)) return;
    position = std::max({position, int32_t{b[0].position}, 0});
    const int16_t height = ownHeight(band, b, position);
    const int16_t level = levelForHeight(b, height, position);
    b.last() = RubberHandPt{position, height, level};
    dropPassedPoints(band, b);
}

RC_API void MoveBandStart(Handle band, int32_t delta) {
    BandView b;
    if (!editBand(band, b)) return;
    shiftStart(band, b, delta);
}

RC_API void TrimBandStart(Handle band, int32_t delta) {
    BandView b;
    if (!editBand(band, b)) return;
    const int16_t height = ownHeight(band, b, delta);
    const int16_t level = levelForHeight(b, height, delta);
    shiftStart(band, b, delta);
    b[0].height = height;
    b[0].level = level;
}

RC_API void ScaleRubberBand(Handle* band, int16_t newScale) {
    BandView b;
    if (!band || !editBand(*band, b) || newScale == b.header->scale) return;
    const int16_t scale = b.header->scale;
    if (scale > 0) {
        const float ratio = float(newScale) / float(scale);
        for (int32_t i = 0; i < b.count; ++i)
            b[i].height = clampHeight(int64_t(ratio * b[i].height));
    } else {
        // No heights to scale from: rebuild them from the levels.
        for (int32_t i = 0; i < b.count; ++i)
            b[i].height = clampHeight(int64_t(b[i].level) * newScale / 256);
    }
    b.header->scale = newScale;
}
