// Clip markers: twelve fixed ones (0 in, 1 out, 2 poster frame, 3 to 11
// free) and any number of extra markers from 12 up, kept in ascending order
// when inserted by time. Markers 0 and 1 never take part in searches.
#include <cstring>
#include <limits>

#include "media/clip_table_internal.h"
#include "media/media_hooks.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

using namespace rc::media;

namespace {

constexpr int32_t kMarkersCleared = 258;
constexpr int32_t kClipChanged = 72;
constexpr int32_t kReasonMarkers = 4;
constexpr int32_t kPosterFrame = 2;
constexpr int64_t kSecondsPerHour = 3600;

// Calls fn(index, time in the caller's base) for every set marker from 2 up.
template <class F>
void forEachSearchable(FmClipRecord* r, const TDB* tb, F fn) {
    for (int32_t i = 2; i < kClipFixedMarkers; ++i)
        if (r->markers[i] != -1) fn(i, int64_t(toCaller(r, r->markers[i], tb)));
    if (int32_t* extra = extraMarkers(r))
        for (int32_t i = 0; i < r->extraCount; ++i)
            if (extra[i] != -1) fn(kClipFixedMarkers + i, int64_t(toCaller(r, extra[i], tb)));
}

// Index of the marker whose time is the best under `better`, among those
// `allowed`; -1 when none.
template <class Allowed, class Better>
int32_t bestMarker(int32_t id, const TDB* tb, Allowed allowed, Better better) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return -1;
    int32_t best = -1;
    int64_t bestTime = 0;
    forEachSearchable(r, tb, [&](int32_t index, int64_t t) {
        if (allowed(t) && (best == -1 || better(t, bestTime))) {
            best = index;
            bestTime = t;
        }
    });
    return best;
}

bool anySearchableSet(FmClipRecord* r) {
    for (int32_t i = 2; i < kClipFixedMarkers; ++i)
        if (r->markers[i] != -1) return true;
    return r->extraCount > 0;
}

void clearMarkers(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return;
    for (int32_t i = 2; i < kClipFixedMarkers; ++i) r->markers[i] = -1;
    if (r->extraMarkers) FmDisposeHandle(r->extraMarkers);
    r->extraMarkers = nullptr;
    r->extraCount = 0;
}

// The time base of the functions on the current clip.
const TDB* scaleBase(int32_t scale, TDB* storage) {
    if (scale <= 0) return nullptr;
    *storage = TDB{0, scale, 1};
    return storage;
}

int32_t currentClip() {
    return int32_t(GetAGlobal(kSlotCurrentClip));
}

}  // namespace

RC_API int32_t FmGetClipMarker(int32_t id, int32_t index, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    if (!r || index < 0) return -1;
    if (index < kClipFixedMarkers) return toCaller(r, r->markers[index], tb);
    int32_t k = index - kClipFixedMarkers;
    if (k >= r->extraCount || !r->extraMarkers) return -1;
    return toCaller(r, extraMarkers(r)[k], tb);
}

RC_API void FmSetClipMarker(int32_t id, int32_t index, int32_t t, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    if (!r || index < 0) return;
    int32_t v = fromCaller(r, t, tb);
    if (index < kClipFixedMarkers) {
        r->markers[index] = v;
        return;
    }
    if (index == kClipInsertMarker) {
        if (v == -1) return;
        if (!r->extraMarkers) {
            Handle h = FmNewHandle(0);
            if (!h) return;
            r = findClipRec(id);
            r->extraMarkers = h;
            r->extraCount = 0;
        }
        int32_t n = r->extraCount;
        if (FmSetHandleSize(r->extraMarkers, uint32_t(n + 1) * 4) != 0) return;
        r = findClipRec(id);
        int32_t* m = extraMarkers(r);
        int32_t at = 0;
        while (at < n && m[at] < v) ++at;
        std::memmove(m + at + 1, m + at, size_t(n - at) * 4);
        m[at] = v;
        r->extraCount = n + 1;
        return;
    }
    int32_t k = index - kClipFixedMarkers;
    if (k >= r->extraCount || !r->extraMarkers) return;
    int32_t* m = extraMarkers(r);
    if (t != -1) {
        m[k] = v;
        return;
    }
    int32_t n = r->extraCount;
    std::memmove(m + k, m + k + 1, size_t(n - k - 1) * 4);
    r->extraCount = n - 1;
    if (r->extraCount == 0) {
        FmDisposeHandle(r->extraMarkers);
        r->extraMarkers = nullptr;
    } else {
        FmSetHandleSize(r->extraMarkers, uint32_t(r->extraCount) * 4);
    }
}

RC_API int32_t FmFindClipMarker(int32_t id, int32_t t, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return -1;
    int32_t found = -1;
    forEachSearchable(r, tb, [&](int32_t index, int64_t time) {
        if (found == -1 && time == t) found = index;
    });
    return found;
}

RC_API int32_t FmPreviousClipMarker(int32_t id, int32_t t, const TDB* tb) {
    return bestMarker(
        id, tb, [t](int64_t m) { return m >= 0 && m < t; },
        [](int64_t m, int64_t best) { return m > best; });
}

RC_API int32_t FmNextClipMarker(int32_t id, int32_t t, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return -1;
    const TDB base = callerBase(r, tb);
    const int64_t limit = MaxLen(&base);
    return bestMarker(
        id, tb, [t, limit](int64_t m) { return m > t && m < limit; },
        [](int64_t m, int64_t best) { return m < best; });
}

// The bound is one hour in ticks of the caller's base.
RC_API int32_t FmLastClipMarker(int32_t id, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return -1;
    const int64_t hour = int64_t(callerBase(r, tb).scale) * kSecondsPerHour;
    return bestMarker(
        id, tb, [hour](int64_t m) { return m < hour; },
        [](int64_t m, int64_t best) { return m > best; });
}

RC_API int32_t FmCountClipMarkers(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    return r ? kClipFixedMarkers + r->extraCount : 0;
}

RC_API void FmClearClipMarkers(int32_t id, int32_t withLink) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return;
    int32_t partner = withLink ? GetClipLink(id) : 0;
    FmClipRecord* p = partner ? findClipRec(partner) : nullptr;
    if (!anySearchableSet(r) && !(p && anySearchableSet(p))) return;
    sendMessage(kWindHide, kMarkersCleared, id, withLink);
    clearMarkers(id);
    if (p) clearMarkers(partner);
    sendMessage(kWindHide, kClipChanged, id, kReasonMarkers);
    if (p) sendMessage(kWindHide, kClipChanged, partner, kReasonMarkers);
}

RC_API int32_t FmGetClipPosterFrame(int32_t id, const TDB* tb) {
    return FmGetClipMarker(id, kPosterFrame, tb);
}

RC_API void FmSetClipPosterFrame(int32_t id, int32_t t, const TDB* tb) {
    FmSetClipMarker(id, kPosterFrame, t, tb);
}

RC_API int32_t CountClipMarkers(void) {
    return FmCountClipMarkers(currentClip());
}

RC_API int32_t GetClipMarker(int32_t index, int32_t scale) {
    TDB tb;
    return FmGetClipMarker(currentClip(), index, scaleBase(scale, &tb));
}

RC_API int32_t FindClipMarker(int32_t t, int32_t scale) {
    TDB tb;
    return FmFindClipMarker(currentClip(), t, scaleBase(scale, &tb));
}

RC_API int32_t NextClipMarker(int32_t t, int32_t scale) {
    TDB tb;
    return FmNextClipMarker(currentClip(), t, scaleBase(scale, &tb));
}

RC_API int32_t PreviousClipMarker(int32_t t, int32_t scale) {
    TDB tb;
    return FmPreviousClipMarker(currentClip(), t, scaleBase(scale, &tb));
}

RC_API int32_t ClipFlags(void) {
    return FmClipFlags(currentClip());
}

RC_API void SyncMasterMarkers(int32_t a, int32_t b) {
    FmClipRecord* rb = findClipRec(b);
    if (!rb || !findClipRec(a)) return;
    const TDB base = rb->timeBase;
    const int32_t in1 = rb->markIn, out1 = rb->markOut, in2 = rb->markIn2, out2 = rb->markOut2;
    SetClipMarkIn(a, in1, &base, 1);
    SetClipMarkOut(a, out1, &base, 1);
    SetClipMarkIn(a, in2, &base, 2);
    SetClipMarkOut(a, out2, &base, 2);
}
