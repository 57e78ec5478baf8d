// The effects of a timeline model put onto its library track table: the
// transition modules of OTIO Transitions, the key and motion settings kept
// in a clip's metadata.reelcore, and video filters from OTIO Effects whose
// metadata.reelcore names a module:
//   transition: its TransitionOptions (otio.h); without a module a dissolve;
//   clip key:   {"type": key type number, "threshold", "cutoff",
//               "similarity", "smoothing": 0 ... 255, "colour": "#RRGGBB"};
//   clip motion: {"points": [[x, y, zoom, rotation, time], ...]} in the
//               80-unit reference frame, time 0 ... 1000, "fill": "#RRGGBB"
//               around the moved picture (a key colour keys it out);
//   effect:     {"module": "vf-tint", "keys": [[frame, amount, "#RRGGBB"]]}.
#pragma once

#include <string>
#include <vector>

#include "otio.h"
#include "otio_tracks.h"

namespace otio {

class LibraryEffects {
  public:
    LibraryEffects() = default;
    LibraryEffects(const LibraryEffects&) = delete;
    LibraryEffects& operator=(const LibraryEffects&) = delete;
    ~LibraryEffects();

    // Modules are looked for in moduleDir ("<name>.fmx"). False with a
    // message for settings that make no sense or a module that cannot be had.
    bool attach(const Timeline& timeline, LibraryTimeline& lib, const std::string& moduleDir,
                std::string& error);
    void release();

  private:
    std::vector<Handle> handles_;  // clip records of modules, motion, lists
    std::vector<Handle> compSpecs_;
};

}  // namespace otio
