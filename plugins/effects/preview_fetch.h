// Frames for setup previews and for modules that ask for another frame: a
// clip's frame (through the filters before the one being set up) or the
// frame of a picture track, and the frame-callback data that names them.
#pragma once

#include <cstdint>

#include "reelcore/effects.h"
#include "reelcore/ppix.h"
#include "reelcore/timerecord.h"
#include "reelcore/tracks.h"
#include "reelcore/types.h"

namespace rc::effects {

// The clip's frame at `time` (in tdb) into pix, through the filters of the
// list `filters` (may be null). A frame that cannot be had leaves pix black.
void fetchFilteredPreview(int32_t clipID, int32_t time, const TDB& tdb, Handle filters,
                          PPixHand pix);
// The frame of picture track `ordinal` (A 0, B 1) at timeline time `time`.
void fetchTrackPreview(int32_t ordinal, int32_t time, const TDB& tdb, Handle trackTable,
                       PPixHand pix);

// New frame-callback data blocks (Handles the caller disposes of).
Handle newClipFrameData(int32_t clipID, int32_t time, const TDB& tdb, Handle filters);
Handle newTimelineFrameData(int32_t time, const TDB& tdb, Handle trackTable);

// The frame callback handed to modules: `offset` frames from the data's time.
int16_t previewFrameCallback(int32_t offset, RcHandleWord pix, const RcRect* rect,
                             RcHandleWord privateData);

// The transition module of a transition item: its clip's file.
int16_t transitionModuleOf(const TrackItemRec* item);

}  // namespace rc::effects
