// The preferences store's internals: the directory entry layout, batched
// saving, and test hooks.
#pragma once

#include <cstdint>
#include <string>

#include "reelcore/prefs.h"

namespace rc::prefs {

#pragma pack(push, 1)
struct DirEntry {  // 14 bytes in the file and in the directory Handle
    OSType type;
    int16_t id;
    int32_t offset;
    int32_t length;
};
#pragma pack(pop)
static_assert(sizeof(DirEntry) == kPrefsEntrySize, "directory entries are 14 bytes");

// Between begin and end every change is made in memory and the file is
// replaced once at the end (only when something changed).
void beginBatch();
OSErr endBatch();

// The default location: <config>/Orvik/Filmoryx/Filmoryx 6.5 Prefs.
std::string defaultPrefsPath();

}  // namespace rc::prefs

namespace rc::prefs {

// Puts every application value back to its default (tests).
void resetAppValues();

}  // namespace rc::prefs
