// Envelopes: the bands of an item, checked band views, and reading a band's
// height and value at a position.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "reelcore/memory.h"
#include "timeline/envelopes_internal.h"
#include "timeline/tracks_internal.h"

namespace rc::timeline {

bool readBand(Handle band, BandView& view) {
    // The size first: it is 0 for anything but a live Handle.
    const uint32_t size = band ? FmGetHandleSize(band) : 0;
    if (size < sizeof(RubberHand) || !*band) return false;
    auto* header = reinterpret_cast<RubberHand*>(*band);
    if (header->count < 2 ||
        (size - sizeof(RubberHand)) / sizeof(RubberHandPt) < uint32_t(header->count))
        return false;
    view.header = header;
    view.points = reinterpret_cast<RubberHandPt*>(*band + sizeof(RubberHand));
    view.count = header->count;
    return true;
}

bool editBand(Handle band, BandView& view) {
    if (!readBand(band, view)) return false;
    for (int32_t i = 1; i < view.count; ++i)
        if (view[i].position < view[i - 1].position) return false;
    return true;
}

namespace {

// i = hi and j = lo bracket p after a binary search; at an exact point, i is
// that point and j the next one (or i itself at the end). Positions outside
// the band are clamped to its end points.
void bracket(const BandView& band, int32_t p, int32_t& i, int32_t& j) {
    int32_t lo = 0, hi = band.count - 1;
    while (lo <= hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const int32_t at = band[mid].position;
        if (at == p) {
            i = mid;
            j = mid + 1 < band.count ? mid + 1 : mid;
            return;
        }
        if (at < p)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    i = std::clamp(hi, 0, band.count - 1);
    j = std::clamp(lo, 0, band.count - 1);
}

}  // namespace

int32_t levelAt(const BandView& band, int32_t p) {
    int32_t i, j;
    bracket(band, p, i, j);
    const int64_t li = band[i].level, lj = band[j].level;
    const int64_t span = int64_t(band[j].position) - band[i].position;
    const int64_t into = int64_t(p) - band[i].position;
    if (span == 0 || into == 0) return int32_t(li);
    const int64_t level = li + into * (lj - li) / span;
    // A band out of order could place p outside [i, j]; stay between them.
    return int32_t(std::clamp(level, std::min(li, lj), std::max(li, lj)));
}

int16_t levelForHeight(const BandView& band, int32_t height, int32_t position) {
    const int32_t scale = band.header->scale;
    if (scale <= 0) return int16_t(levelAt(band, position));
    return int16_t(std::clamp<int64_t>(int64_t(height) * 256 / scale, INT16_MIN, INT16_MAX));
}

}  // namespace rc::timeline

using namespace rc::timeline;

namespace {

Handle newBand(int32_t length, int16_t value, int16_t scale, int16_t kind) {
    Handle band = FmNewHandleClear(bandBytes(2));
    if (!band) return nullptr;
    auto* header = reinterpret_cast<RubberHand*>(*band);
    *header = RubberHand{scale, 2, 0, kind};
    auto* points = reinterpret_cast<RubberHandPt*>(*band + sizeof(RubberHand));
    points[0] = RubberHandPt{0, value, value};
    points[1] = RubberHandPt{length, value, value};
    return band;
}

// The item's fields are packed: read and written by value, never bound to
// references or pointers.
enum class Which { Gain, Pan };

Handle bandOf(const TrackItemRec* item, Which which) {
    return WordToHandle(which == Which::Gain ? item->gainBand : item->panBand);
}

void setBand(TrackItemRec* item, Which which, Handle band) {
    if (which == Which::Gain)
        item->gainBand = HandleToWord(band);
    else
        item->panBand = HandleToWord(band);
}

OSErr duplicate(TrackItemRec* item, Which which) {
    Handle band = bandOf(item, which);
    if (!band) return noErr;
    OSErr err = FmHandToHand(&band);
    if (err) return err;
    setBand(item, which, band);
    return noErr;
}

void disposeBand(TrackItemRec* item, Which which) {
    Handle band = bandOf(item, which);
    if (band) FmDisposeHandle(band);
    setBand(item, which, nullptr);
}

}  // namespace

RC_API Handle NewGainBand(TrackItemRec* item, int32_t length, int16_t value, int16_t scale) {
    if (!item) return nullptr;
    Handle band = newBand(length, value, scale, value == scale ? kBandGainFull : kBandGain);
    if (band) item->gainBand = HandleToWord(band);
    return band;
}

RC_API Handle NewPanBand(TrackItemRec* item, int32_t length, int16_t value, int16_t scale) {
    if (!item) return nullptr;
    Handle band = newBand(length, value, scale, kBandPan);
    if (band) item->panBand = HandleToWord(band);
    return band;
}

RC_API void DisposeGainBand(TrackItemRec* item) {
    if (item) disposeBand(item, Which::Gain);
}
RC_API void DisposePanBand(TrackItemRec* item) {
    if (item) disposeBand(item, Which::Pan);
}
RC_API void SetTrackGainBand(TrackItemRec* item, Handle band) {
    if (item) item->gainBand = HandleToWord(band);
}
RC_API Handle GetTrackGainBand(const TrackItemRec* item) {
    return item ? WordToHandle(item->gainBand) : nullptr;
}
RC_API void SetTrackPanBand(TrackItemRec* item, Handle band) {
    if (item) item->panBand = HandleToWord(band);
}
RC_API Handle GetTrackPanBand(const TrackItemRec* item) {
    return item ? WordToHandle(item->panBand) : nullptr;
}
RC_API OSErr DupTrackGainBand(TrackItemRec* item) {
    return item ? duplicate(item, Which::Gain) : OSErr(noErr);
}
RC_API OSErr DupTrackPanBand(TrackItemRec* item) {
    return item ? duplicate(item, Which::Pan) : OSErr(noErr);
}
RC_API Boolean CanTrackPan(const TrackItemRec*) {
    return 1;
}

RC_API int32_t HeightAtPoint(int32_t position, int32_t displayScale, Handle band) {
    BandView b;
    if (!readBand(band, b)) return 0;
    const int32_t p = std::clamp(position, int32_t{b[0].position},
                                 std::max(int32_t{b[0].position}, int32_t{b.last().position}));
    int32_t i = 0;
    while (i + 1 < b.count && b[i + 1].position <= p) ++i;
    int32_t j = b.count - 1;
    while (j > 0 && b[j - 1].position >= p) --j;
    const int64_t scale = b.header->scale;
    if (scale == 0) return b[i].height;
    const __int128 r = __int128(b[i].height) * displayScale / scale;
    const int64_t span = int64_t(b[j].position) - b[i].position;
    if (span == 0) return saturate32(int64_t(r));
    const __int128 slope = __int128(b[j].height - b[i].height) * (int64_t(p) - b[i].position) *
                           displayScale / (__int128(scale) * span);
    const __int128 h = r + slope;
    return saturate32(h > INT64_MAX ? INT64_MAX : h < INT64_MIN ? INT64_MIN : int64_t(h));
}

RC_API int32_t ValueAtPoint(int32_t position, int32_t full, Handle band) {
    BandView b;
    if (!readBand(band, b)) return 0;
    return saturate32(int64_t(levelAt(b, position)) * full / 256);
}

RC_API int32_t GetRubberValue(Handle band, int32_t position, int32_t full) {
    return band ? ValueAtPoint(position, full, band) : 0;
}

RC_API Boolean HitPoint(int32_t position, int32_t y, Handle band) {
    BandView b;
    if (!readBand(band, b)) return 0;
    return std::llabs(int64_t(y) - HeightAtPoint(position, b.header->scale, band)) < 4;
}

RC_API RubberHandPt* FindPoint(int32_t position, Handle* band) {
    BandView b;
    if (!band || !readBand(*band, b)) return nullptr;
    for (int32_t i = 0; i < b.count; ++i)
        if (b[i].position == position) return &b[i];
    return nullptr;
}
