// Recording fader moves into a band: the audio mixer writes a level at a
// position, with ramps that lead into and out of the written point.
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::timeline {

enum class AutomationMode {
    Insert,  // a single move: ramps in from and back out to the old level
    Extend   // continuous writing: each write extends the last one
};

// Writes level (clamped to 0 ... 256) at position (clamped to the band) with
// ramps of rampWidth. Positions stay strictly ascending: a ramp point is added
// only where it falls strictly between the written point and its neighbour,
// and a write on an occupied position replaces that point. Returns the index
// of the written point, or -1 (band unchanged) when the band is unsound or
// cannot grow.
int32_t writeAutomation(Handle band, int32_t position, int16_t level, int32_t rampWidth,
                        AutomationMode mode);

}  // namespace rc::timeline
