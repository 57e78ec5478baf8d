// Shared by the track sources: checked access to track tables, item lists
// and item records, and the clip an item shows.
#pragma once

#include <cstdint>

#include "reelcore/clips.h"
#include "reelcore/tracks.h"

namespace rc::timeline {

// Tracks in a table (0 for a null, dead or empty Handle).
int32_t trackCount(Handle table);
// The record at an absolute index, or null.
TrackRec* trackAt(Handle table, int32_t index);
// (mask, n) addressing: the absolute index, or -1.
bool trackMatches(const TrackRec& track, uint16_t mask);
int32_t typeIndex(uint16_t mask, int32_t n, Handle table);
inline TrackRec* typeTrack(uint16_t mask, int32_t n, Handle table) {
    return trackAt(table, typeIndex(mask, n, table));
}

// The track whose output and shy toggles the addressed track shows (the A
// track for the B track of the pair), or null.
TrackRec* toggleTrack(uint16_t mask, int32_t n, Handle table);

// Items in a list (0 for a null or dead Handle).
int32_t itemCount(Handle list);
// The item record behind word i of a list; null when the word is not a live
// Handle holding a whole record.
TrackItemRec* itemAt(Handle list, int32_t i);
// The record of an item Handle, or null.
TrackItemRec* itemRecord(Handle item);
// The item's clip record: its clip Handle, else the clip table's record for
// its clipID; null when it has neither.
FmClipRecord* itemClip(const TrackItemRec* item);
// The FileID of the item's clip, 0 when it has none.
int16_t itemFileID(const TrackItemRec* item);

int32_t saturate32(int64_t v);

}  // namespace rc::timeline
