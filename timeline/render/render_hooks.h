// Calls from the render core into families that sit above it: the filter
// and transition host (module calls) and the window layer (opening a
// window). Each default answers as when that family has nothing: a module
// that cannot be called (result 1), no window opened (result 1).
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::render {

struct Hooks {
    // A transition module call (selector, effect record).
    int16_t (*effect)(int16_t fileID, int16_t selector, void* record);
    // A filter module call (selector, filter record, filter list entry).
    int16_t (*filter)(int16_t fileID, int16_t selector, void* record, void* listEntry);
    // Opens a window of a handler type; 0 when one opened.
    int16_t (*newWindow)(OSType type);
};

// Installs a table (copied); null restores the defaults.
void setHooks(const Hooks* hooks);
const Hooks& hooks();

// Module sequence data kept between the frames of a run, by module.
Handle& sequenceData(int16_t fileID);
void releaseSequenceData();

}  // namespace rc::render
