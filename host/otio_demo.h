// The demo timeline that `reelhost timeline demo` writes and the demo and the
// golden frames render: synthetic bars and a moving disc, a dissolve and a
// wipe between A and B, a keyframed tint on A, a green-keyed disc moving,
// turning and shrinking on a superimpose track, and a tone.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "otio.h"

namespace otio {

// The synthetic media files the timeline names: (file name, contents).
std::vector<std::pair<std::string, std::string>> demoMedia();
Timeline demoTimeline();

}  // namespace otio
