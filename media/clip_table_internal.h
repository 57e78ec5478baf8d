// Shared by the clip table's sources: record access, the time conversion of
// clip times, and the clip index.
#pragma once

#include <cstdint>

#include "reelcore/clips.h"

namespace rc::media {

inline FmClipRecord* clipRec(Handle h) {
    return h ? reinterpret_cast<FmClipRecord*>(*h) : nullptr;
}
inline FmClipRecord* findClipRec(int32_t id) {
    return clipRec(FindClip(id));
}

// A time from one base into another: 0 stays 0; a source scale of 0 leaves
// the time alone; otherwise to.scale × t ÷ from.scale + to.samp ÷ 2, truncated
// and rounded down to a multiple of to.samp. Computed in 64 bits and
// saturated, so no out-of-range value is ever produced by a cast.
int64_t convertTime64(int64_t t, const TDB& from, const TDB& to);
int32_t saturate32(int64_t v);
int32_t convertTime(int32_t t, const TDB& from, const TDB& to);
// Rounds down to a multiple of samp (no change when samp is not positive).
int64_t floorToSample(int64_t t, int32_t samp);

// The caller's time base, or the clip's own when none (or an invalid one) is
// given.
const TDB& callerBase(const FmClipRecord* r, const TDB* tb);
// A stored time seen from the caller's base; -1 (unset) stays -1.
int32_t toCaller(const FmClipRecord* r, int32_t t, const TDB* tb);
// A caller's time stored in the clip's base; -1 stays -1.
int32_t fromCaller(const FmClipRecord* r, int32_t t, const TDB* tb);

// Extra markers (12 and up) of a record.
inline int32_t* extraMarkers(FmClipRecord* r) {
    return r->extraMarkers ? reinterpret_cast<int32_t*>(*r->extraMarkers) : nullptr;
}

// Disposes of every clip and the table (start-up's shutdown step and tests).
void disposeClipTable();

}  // namespace rc::media
