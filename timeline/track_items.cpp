// Item lists: the time search, the lookups of the item under a time, and
// the source position an item shows at a time.
#include <algorithm>
#include <cstring>

#include "reelcore/memory.h"
#include "timeline/tracks_internal.h"

namespace rc::timeline {

int32_t itemCount(Handle list) {
    // The size first: it is 0 for anything but a live Handle.
    const uint32_t size = list ? FmGetHandleSize(list) : 0;
    if (size < sizeof(uint32_t) || !*list) return 0;
    return int32_t(size / sizeof(uint32_t));
}

TrackItemRec* itemRecord(Handle item) {
    if (!item || FmGetHandleSize(item) < sizeof(TrackItemRec) || !*item) return nullptr;
    return reinterpret_cast<TrackItemRec*>(*item);
}

TrackItemRec* itemAt(Handle list, int32_t i) {
    uint32_t word;
    std::memcpy(&word, *list + size_t(i) * sizeof word, sizeof word);
    return itemRecord(WordToHandle(word));
}

FmClipRecord* itemClip(const TrackItemRec* item) {
    if (!item) return nullptr;
    Handle h = WordToHandle(item->clip);
    if (!h) h = item->clipID ? FindClip(item->clipID) : nullptr;
    if (!h || FmGetHandleSize(h) < sizeof(FmClipRecord) || !*h) return nullptr;
    return reinterpret_cast<FmClipRecord*>(*h);
}

int16_t itemFileID(const TrackItemRec* item) {
    const FmClipRecord* clip = itemClip(item);
    return clip && clip->fileID > 0 ? clip->fileID : 0;
}

}  // namespace rc::timeline

using namespace rc::timeline;

namespace {

Handle handleAt(Handle list, int32_t i) {
    uint32_t word;
    std::memcpy(&word, *list + size_t(i) * sizeof word, sizeof word);
    return WordToHandle(word);
}

// The index a mode picks after the binary search. mid is the hit (or the last
// probe); lo and hi are where the search stopped.
int32_t pick(Handle list, int32_t count, int32_t t, int16_t mode, bool hit, int32_t mid, int32_t lo,
             int32_t hi) {
    switch (mode) {
        case kFindBefore:
            return hit ? mid - 1 : hi;
        case kFindAtOrBefore:
        case kFindAtOutgoing:
            if (!hit) return mode == kFindAtOrBefore ? hi : -1;
            if (mid > 0) {
                const TrackItemRec* prev = itemAt(list, mid - 1);
                if (prev && prev->end == t) return mid - 1;
            }
            return mid;
        case kFindAtOrAfter:
            return hit ? mid : lo;
        case kFindAfter:
            return hit ? mid + 1 : lo;
        case kFindNearest: {
            if (hit) return mid;
            // lo's range first: past the last item only hi can be nearest.
            if (lo >= count) return hi >= 0 ? hi : -1;
            if (hi < 0) return lo;
            const TrackItemRec* after = itemAt(list, lo);
            const TrackItemRec* before = itemAt(list, hi);
            if (!after || !before) return -1;
            return int64_t(after->start) - t < int64_t(t) - before->end ? lo : hi;
        }
        case kFindCovering:
            return hit ? mid : -1;
        default:
            return -1;
    }
}

// The item of the track covering t, switched-off items excluded.
TrackItemRec* coveringItem(const TrackRec* track, int32_t t, Handle* itemHandle) {
    Handle list = WordToHandle(track->theTrack);
    Boolean found = 0;
    int32_t index = -1;
    FindTrackRecIndexAtTime(list, t, kFindCovering, &found, &index);
    if (!found) return nullptr;
    TrackItemRec* item = itemAt(list, index);
    if (!item || (item->flags & kItemSwitchedOff)) return nullptr;
    if (itemHandle) *itemHandle = handleAt(list, index);
    return item;
}

bool listOverlaps(Handle list, int32_t from, int32_t to) {
    if (from >= to) return false;
    Boolean found = 0;
    int32_t index = -1;
    // The item covering from, else the first one after it.
    FindTrackRecIndexAtTime(list, from, kFindAtOrAfter, &found, &index);
    if (!found) return false;
    const TrackItemRec* item = itemAt(list, index);
    if (!item) return false;
    const int32_t start = item->start, end = item->end;  // packed: copied out
    return std::max(start, from) < std::min(end, to);
}

}  // namespace

RC_API int32_t CountTrackItems(Handle itemList) {
    return itemCount(itemList);
}

RC_API int32_t LastTrackFrame(Handle itemList) {
    const int32_t count = itemCount(itemList);
    const TrackItemRec* last = count ? itemAt(itemList, count - 1) : nullptr;
    return last ? last->end : 0;
}

RC_API int32_t LastTrackFrameTDB(Handle itemList, const TDB* tdb) {
    const int32_t count = itemCount(itemList);
    const TrackItemRec* last = count ? itemAt(itemList, count - 1) : nullptr;
    if (!last) return 0;
    const FmClipRecord* clip = itemClip(last);
    if (!clip || !tdb) return last->end;
    return TDB_TimePosConvert(last->end, &clip->timeBase, tdb);
}

RC_API void GetIndTrackTDB(uint16_t mask, int32_t n, Handle table, TDB* tdb) {
    if (!tdb) return;
    const TrackRec* track = typeTrack(mask, n, table);
    Handle list = track ? WordToHandle(track->theTrack) : nullptr;
    const FmClipRecord* clip = itemCount(list) ? itemClip(itemAt(list, 0)) : nullptr;
    if (clip) {
        *tdb = clip->timeBase;
        return;
    }
    const TDB* current = GetCurrentTimeBase(0);
    if (current) *tdb = *current;
}

RC_API int32_t FindTrackRecIndexAtTime(Handle itemList, int32_t t, int16_t mode, Boolean* found,
                                       int32_t* index) {
    if (found) *found = 0;
    if (index) *index = -1;
    const int32_t count = itemCount(itemList);
    if (!index || count == 0) return -1;
    int32_t lo = 0, hi = count - 1, mid = 0;
    bool hit = false;
    while (lo <= hi) {
        mid = lo + (hi - lo) / 2;
        const TrackItemRec* item = itemAt(itemList, mid);
        if (!item) return -1;
        if (t < item->start) {
            hi = mid - 1;
        } else if (t < item->end) {
            hit = true;
            break;
        } else {
            lo = mid + 1;
        }
    }
    int32_t result = pick(itemList, count, t, mode, hit, mid, lo, hi);
    if (result < 0 || result >= count) return -1;
    *index = result;
    if (found) *found = 1;
    return result;
}

RC_API Boolean TrackRangeHasContent(int32_t index, int32_t from, int32_t to, Handle table) {
    const TrackRec* track = trackAt(table, index);
    return track && listOverlaps(WordToHandle(track->theTrack), from, to);
}

RC_API Boolean RangeHasVideo(int32_t from, int32_t to, Handle table) {
    const int32_t count = trackCount(table);
    for (int32_t i = 0; i < count; ++i)
        if ((trackAt(table, i)->type & kTrackVideoMask) && TrackRangeHasContent(i, from, to, table))
            return 1;
    return 0;
}

RC_API Boolean RangeHasAudio(int32_t from, int32_t to, Handle table) {
    const int32_t count = trackCount(table);
    for (int32_t i = 0; i < count; ++i) {
        const TrackRec& t = *trackAt(table, i);
        if ((t.type & kTrackAudio) && t.output && TrackRangeHasContent(i, from, to, table))
            return 1;
    }
    return 0;
}

RC_API int16_t GetTrackSeg(uint16_t mask, int32_t n, int32_t t, TrackItemRec* itemCopy,
                           Handle table) {
    const TrackRec* track = typeTrack(mask, n, table);
    if (!track || !track->output) return 0;
    const TrackItemRec* item = coveringItem(track, t, nullptr);
    if (!item) return 0;
    if (itemCopy) std::memcpy(itemCopy, item, sizeof *itemCopy);
    return itemFileID(item);
}

RC_API int16_t GetTrackSegPtr(uint16_t mask, int32_t n, int32_t t, Handle* itemRef, Handle table) {
    const TrackRec* track = typeTrack(mask, n, table);
    const TrackRec* toggles = toggleTrack(mask, n, table);
    if (!track || !toggles || !toggles->output) return 0;
    Handle h = nullptr;
    const TrackItemRec* item = coveringItem(track, t, &h);
    if (!item) return 0;
    if (itemRef) *itemRef = h;
    return itemFileID(item);
}

RC_API int32_t GetLocalFrame(int32_t t, const TDB* tdb, const TrackItemRec* item,
                             Boolean forFilters) {
    if (!item) return 0;
    const FmClipRecord* clip = itemClip(item);
    const TDB clipBase = clip ? clip->timeBase : (tdb ? *tdb : TDB{0, 0, 1});
    const TDB& callerBase = tdb ? *tdb : clipBase;
    const int32_t in = clip ? clip->markers[0] : 0;
    const int32_t out = clip ? clip->markers[1] : 0;
    const bool backwards = clip && clip->backwards;
    const int32_t first = backwards ? out : in;
    const int32_t last = backwards ? in : out;
    auto toClip = [&](int32_t time) {
        if (callerBase.scale == clipBase.scale || callerBase.scale == 0) return time;
        return TDB_TimePosConvert(time, &callerBase, &clipBase);
    };

    // 1. Frame hold.
    bool window = false;
    const bool considered = !forFilters || (item->flags & kItemHoldFilters);
    if (considered && (item->flags & kItemHoldOn)) {
        switch (item->flags & kItemHoldSource) {
            case kItemHoldIn:
                return in;
            case kItemHoldMarker: {
                const int32_t marker = clip ? clip->markers[2] : -1;
                return marker != -1 ? marker : in;
            }
            case kItemHoldOut:
                return out;
            case kItemHoldWindow: {
                window = true;
                const int32_t tc = toClip(t);
                if (item->holdStart && tc < item->holdStart) return first;
                if (item->holdEnd && tc > item->holdEnd) return last;
                break;  // inside the window the clip plays as usual
            }
            default:
                break;
        }
    }

    // 2. Reduced frame rate: t rounded down to a whole step. A rate or step of
    // 0 or less means no reduction.
    if ((item->flags & kItemFieldA) && !(item->flags & kItemFieldB) && item->holdRate > 0) {
        const int32_t step = clipBase.scale / item->holdRate;
        if (step > 0) {
            int32_t r = t % step;
            if (r < 0) r += step;
            t = saturate32(int64_t(t) - r);
        }
    }

    // 3 and 4. The offset into the item.
    const int64_t d = int64_t(toClip(t)) - item->start;
    if (d < 0) return window ? first : 0;
    return saturate32(backwards ? int64_t(out) - d : int64_t(in) + d);
}
