// A timeline model mapped onto the library's track table. The first two
// video tracks are video A and B (a track's metadata may say otherwise), the
// transitions of A and B go on the transition track, further video tracks
// superimpose, audio tracks follow. Each clip's media is registered in the
// file table and cut as a clip in the timeline's time base; item positions
// are ticks of that time base.
#pragma once

#include <string>
#include <vector>

#include "otio.h"
#include "reelcore/timerecord.h"
#include "reelcore/types.h"

namespace otio {

// Where one model item landed in the library.
struct PlacedItem {
    size_t track = 0;           // index in Timeline::tracks
    size_t item = 0;            // index in Track::items
    int32_t libraryTrack = -1;  // absolute index in the track table
    Handle record = nullptr;    // the item record
};

class LibraryTimeline {
  public:
    LibraryTimeline() = default;
    LibraryTimeline(const LibraryTimeline&) = delete;
    LibraryTimeline& operator=(const LibraryTimeline&) = delete;
    ~LibraryTimeline();

    // Builds the track table; false with a message when the library refuses
    // (no memory, a clip that cannot be cut). Needs the file and clip tables.
    bool build(const Timeline& timeline, const std::string& baseDir, std::string& error);
    void release();

    Handle table() const { return table_; }
    const TDB& timeBase() const { return timeBase_; }
    const std::vector<PlacedItem>& placed() const { return placed_; }
    // Ticks of the end of the last item on any track.
    int32_t length() const;
    // "A", "B", "transition", "superimpose 1", "audio 1" ...
    std::string trackLabel(int32_t index) const;

  private:
    Handle table_ = nullptr;
    TDB timeBase_{0, 25, 1};
    std::vector<Handle> lists_, records_, bands_;
    std::vector<int32_t> clips_;
    std::vector<PlacedItem> placed_;
};

}  // namespace otio
