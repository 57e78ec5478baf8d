// Calls from the render core into the module calls of the filter and
// transition host (Effect, Filter: tests replace them to watch the calls),
// into the window layer (opening a window; until it exists the default
// answers as when no window opens: 1), the modules' PiPLs and the playback
// library.
#pragma once

#include <cstdint>

#include "reelcore/effects.h"
#include "reelcore/types.h"

namespace rc::render {

struct Hooks {
    // A transition module call (selector, Handle of RcEffectRecord).
    int16_t (*effect)(int16_t fileID, int16_t selector, Handle record);
    // A filter module call (selector, Handle of RcVideoFilterRecord, entry).
    int16_t (*filter)(int16_t fileID, int16_t selector, Handle record, RcFilterListEntry* entry);
    // Opens a window of a handler type; 0 when one opened.
    int16_t (*newWindow)(OSType type);
    // True when a transition module's PiPL says it copes with any pixel
    // aspect (option bits 0x30000), so it is never asked for square pixels.
    bool (*anyAspect)(int16_t fileID);
    // The real-time conversation of a frame: the playback module the
    // timeline window ('COMP') reports (0 for none), whether it can render
    // the frame, and the render itself into the destination picture.
    intptr_t (*playModule)();
    int32_t (*canRender)(intptr_t module);
    int32_t (*renderRT)(intptr_t module, int32_t time, intptr_t frame, int32_t fieldMode,
                        void* destination, int32_t size);
};

// Installs a table (copied); null restores the defaults.
void setHooks(const Hooks* hooks);
const Hooks& hooks();

// Module sequence data kept between the frames of a run, by module.
Handle& sequenceData(int16_t fileID);
void releaseSequenceData();

}  // namespace rc::render
