// The track table: counting and addressing tracks by type mask, their flag
// fields, adding, deleting and copying tracks.
#include <cstring>
#include <limits>

#include "core/memory_internal.h"
#include "reelcore/memory.h"
#include "timeline/tracks_internal.h"

namespace rc::timeline {

namespace {

constexpr uint32_t kRecSize = sizeof(TrackRec);

// A table made by CopyItems borrows its item lists. It says so with a mark
// after its records: fewer bytes than a record, so the count (size ÷ 24)
// is unaffected, and the mark travels with any copy of the table.
constexpr uint32_t kBorrowMark = 0x424F5257;  // 'BORW'

bool liveHandle(Handle h) {
    return h && rc::memory::zoneKind(h) != rc::memory::ZoneKind::None;
}

TrackRec* records(Handle table) {
    return reinterpret_cast<TrackRec*>(*table);
}

uint32_t tailBytes(Handle table) {
    return FmGetHandleSize(table) % kRecSize;
}

bool borrowsLists(Handle table) {
    if (tailBytes(table) != sizeof(kBorrowMark)) return false;
    uint32_t mark;
    std::memcpy(&mark, *table + uint32_t(trackCount(table)) * kRecSize, sizeof mark);
    return mark == kBorrowMark;
}

// Resizes the table to count records, keeping whatever follows the records.
bool resizeTable(Handle table, int32_t count) {
    const uint32_t tail = tailBytes(table);
    const uint32_t oldEnd = uint32_t(trackCount(table)) * kRecSize;
    const uint32_t newEnd = uint32_t(count) * kRecSize;
    char saved[kRecSize];
    if (tail) std::memcpy(saved, *table + oldEnd, tail);
    if (FmSetHandleSize(table, newEnd + tail) != 0) return false;
    if (tail) std::memcpy(*table + newEnd, saved, tail);
    return true;
}

// Whether the track has every bit of mask (any track for 0xFFFF).
bool hasEveryBit(const TrackRec& t, uint16_t mask) {
    if (mask == kTrackAll) return true;
    return mask != 0 && (t.type & mask) == mask;
}

TrackRec newRecord(Handle itemList, uint16_t type) {
    TrackRec r{};
    r.theTrack = HandleToWord(itemList);
    r.type = type;
    r.output = 1;
    r.hilitesection = -1;
    return r;
}

}  // namespace

// The track whose output and shy flags the addressed track shows: the A track
// for the B track of the pair. Null when the addressed track does not exist.
TrackRec* toggleTrack(uint16_t mask, int32_t n, Handle table) {
    TrackRec* t = typeTrack(mask, n, table);
    if (t && (mask & kTrackTypeVideoAB) && n == 1) return typeTrack(mask, 0, table);
    return t;
}

namespace {

template <typename T>
T getField(T TrackRec::*field, TrackRec* t) {
    return t ? t->*field : T(0);
}

template <typename T>
void setField(T TrackRec::*field, T value, TrackRec* t) {
    if (t) t->*field = value;
}

}  // namespace

int32_t saturate32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

int32_t trackCount(Handle table) {
    // The size first: it is 0 for anything but a live Handle.
    const uint32_t size = table ? FmGetHandleSize(table) : 0;
    if (size < kRecSize || !*table) return 0;
    return int32_t(size / kRecSize);
}

TrackRec* trackAt(Handle table, int32_t index) {
    if (index < 0 || index >= trackCount(table)) return nullptr;
    return records(table) + index;
}

bool trackMatches(const TrackRec& track, uint16_t mask) {
    return mask == kTrackAll || (track.type & mask) != 0;
}

int32_t typeIndex(uint16_t mask, int32_t n, Handle table) {
    const int32_t count = trackCount(table);
    if (n < 0 || n >= count) return -1;
    if (mask == kTrackAll) return n;
    const TrackRec* r = records(table);
    for (int32_t i = 0; i < count; ++i)
        if (trackMatches(r[i], mask) && n-- == 0) return i;
    return -1;
}

}  // namespace rc::timeline

using namespace rc::timeline;

RC_API int32_t CountTracks(Handle table) {
    return trackCount(table);
}

RC_API int32_t CountTypeTracks(uint16_t mask, Handle table) {
    const int32_t count = trackCount(table);
    int32_t matching = 0;
    for (int32_t i = 0; i < count; ++i)
        if (trackMatches(*trackAt(table, i), mask)) ++matching;
    return matching;
}

RC_API int32_t GetTrackTypeIndex(uint16_t mask, int32_t n, Handle table) {
    return typeIndex(mask, n, table);
}

RC_API Handle GetTypeTrack(uint16_t mask, int32_t n, Handle table) {
    TrackRec* t = typeTrack(mask, n, table);
    return t ? WordToHandle(t->theTrack) : nullptr;
}

RC_API uint16_t GetIndTrackType(uint16_t mask, int32_t n, Handle table) {
    return getField(&TrackRec::type, typeTrack(mask, n, table));
}

RC_API uint8_t GetTrackState(uint16_t mask, int32_t n, Handle table) {
    return getField(&TrackRec::active, typeTrack(mask, n, table));
}
RC_API void SetTrackState(uint8_t value, uint16_t mask, int32_t n, Handle table) {
    setField(&TrackRec::active, value, typeTrack(mask, n, table));
}
RC_API uint8_t GetTrackLock(uint16_t mask, int32_t n, Handle table) {
    return getField(&TrackRec::locked, typeTrack(mask, n, table));
}
RC_API void SetTrackLock(uint8_t value, uint16_t mask, int32_t n, Handle table) {
    setField(&TrackRec::locked, value, typeTrack(mask, n, table));
}
RC_API uint8_t GetTrackOutput(uint16_t mask, int32_t n, Handle table) {
    return getField(&TrackRec::output, toggleTrack(mask, n, table));
}
RC_API void SetTrackOutput(uint8_t value, uint16_t mask, int32_t n, Handle table) {
    setField(&TrackRec::output, value, typeTrack(mask, n, table));
}
RC_API uint8_t GetTrackShy(uint16_t mask, int32_t n, Handle table) {
    return getField(&TrackRec::shy, toggleTrack(mask, n, table));
}
RC_API void SetTrackShy(uint8_t value, uint16_t mask, int32_t n, Handle table) {
    setField(&TrackRec::shy, value, typeTrack(mask, n, table));
}
RC_API int16_t GetTrackHilite(uint16_t mask, int32_t n, Handle table) {
    return getField(&TrackRec::hilitesection, typeTrack(mask, n, table));
}
RC_API void SetTrackHilite(int16_t value, uint16_t mask, int32_t n, Handle table) {
    setField(&TrackRec::hilitesection, value, typeTrack(mask, n, table));
}
RC_API int16_t GetTrackMapping(uint16_t mask, int32_t n, Handle table) {
    return getField(&TrackRec::mapping, typeTrack(mask, n, table));
}
RC_API void SetTrackMapping(int16_t value, uint16_t mask, int32_t n, Handle table) {
    setField(&TrackRec::mapping, value, typeTrack(mask, n, table));
}
RC_API Handle GetTrackName(uint16_t mask, int32_t n, Handle table) {
    TrackRec* t = typeTrack(mask, n, table);
    return t ? WordToHandle(t->name) : nullptr;
}

RC_API int32_t AddTrackItem(Handle itemList, uint16_t type, Handle table) {
    if (!liveHandle(table)) return -1;
    const int32_t count = trackCount(table);
    // After the last track whose type ranks at or above the new one.
    int32_t at = 0;
    for (int32_t i = 0; i < count; ++i)
        if (trackAt(table, i)->type >= type) at = i + 1;
    if (!resizeTable(table, count + 1)) return -1;
    TrackRec* r = records(table);
    std::memmove(r + at + 1, r + at, size_t(count - at) * kRecSize);
    r[at] = newRecord(itemList, type);
    return at;
}

RC_API Boolean DeleteTrackItem(uint16_t mask, int32_t n, Handle table) {
    const int32_t count = trackCount(table);
    if (n < 0) return 0;
    int32_t at = -1;
    for (int32_t i = 0; i < count && at < 0; ++i)
        if (hasEveryBit(*trackAt(table, i), mask) && n-- == 0) at = i;
    if (at < 0) return 0;
    if (!borrowsLists(table)) {
        Handle list = WordToHandle(trackAt(table, at)->theTrack);
        if (list) FmDisposeHandle(list);
    }
    TrackRec* r = records(table);
    std::memmove(r + at, r + at + 1, size_t(count - at - 1) * kRecSize);
    resizeTable(table, count - 1);  // shrinking does not fail
    return 1;
}

RC_API Handle CopyItems(uint16_t mask, Handle table) {
    if (!liveHandle(table)) return nullptr;
    const int32_t count = trackCount(table);
    const int32_t copies = CountTypeTracks(mask, table);
    Handle copy = FmNewHandleClear(uint32_t(copies) * kRecSize + sizeof(kBorrowMark));
    if (!copy) return nullptr;
    TrackRec* out = records(copy);
    for (int32_t i = 0; i < count; ++i) {
        const TrackRec& t = *trackAt(table, i);
        if (!trackMatches(t, mask)) continue;
        *out = newRecord(WordToHandle(t.theTrack), t.type);
        out->output = t.output;
        ++out;
    }
    std::memcpy(out, &kBorrowMark, sizeof kBorrowMark);
    return copy;
}

RC_API int32_t LookupAltTrack(int32_t index, Handle table) {
    const TrackRec* t = trackAt(table, index);
    if (!t) return -1;
    const uint16_t want =
        (t->type & kTrackPicture) ? uint16_t(kTrackAudio) : uint16_t(kTrackPicture);
    const int32_t count = trackCount(table);
    for (int32_t i = 0; i < count; ++i) {
        const TrackRec& r = *trackAt(table, i);
        if (r.active && (r.type & want)) return i;
    }
    return -1;
}

RC_API int32_t MapTrackIndex(uint16_t mask, int32_t n, uint16_t mask2, Handle table) {
    const int32_t at = typeIndex(mask, n, table);
    if (at < 0) return -1;
    int32_t before = 0;
    for (int32_t i = 0; i < at; ++i)
        if (trackMatches(*trackAt(table, i), mask2)) ++before;
    return before;
}
