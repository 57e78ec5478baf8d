// Shared by the render core's sources: the context record behind its Handle,
// picture helpers over 32-bit ppix buffers, and the field operations of the
// frame fetch.
#pragma once

#include <cstdint>
#include <functional>

#include "reelcore/ppix.h"
#include "reelcore/render.h"
#include "reelcore/effects.h"
#include "reelcore/tracks.h"

namespace rc::render {

// The context record, or null when the Handle does not hold a whole one.
FmRenderContext* contextOf(Handle context);

// Width and height of a picture (0 for null).
int32_t widthOf(PPixHand pix);
int32_t heightOf(PPixHand pix);
// Start of image row y (0 = top) of a 32-bit picture.
uint8_t* rowOf(PPixHand pix, int32_t y);
// Runs row(y) for y in 0 .. rows - 1, in bands over the processor pool.
void forRows(int32_t rows, const std::function<void(int32_t y)>& row);
// Fills with 0x00000000 (transparent black).
void clearTransparent(PPixHand pix);
// Copies the common area of two 32-bit pictures.
void copyPixels(PPixHand src, PPixHand dst);

// The field operation of a CalcInterp code applied to a fetched frame.
void applyFieldCode(PPixHand pix, int32_t code);

// Post steps of the render flags' high byte.
void flickerFilter(PPixHand pix);
void deinterlaceLowerField(PPixHand pix);

// The project pixel aspect (slot 397, 0 as square).
uint32_t projectAspect();

// The item's opacity for the superimpose composite at time t, 0 ... 65535.
int32_t superOpacity(const TrackItemRec* item, int32_t t);

}  // namespace rc::render

namespace rc::render {

// Step 8 of a frame: the A and B items into the two sources and the
// transition module between them into the destination. `field` is true on
// the field path, where part and total are doubled and the second field
// lies half a frame later.
void renderTransition(FmRenderContext* context, int32_t time, const TDB* tdb, int32_t flags,
                      int32_t options, Handle table, const TrackItemRec& a, bool hasA,
                      const TrackItemRec& b, bool hasB, const TrackItemRec& transition, bool field,
                      int32_t second);

// Fills with opaque black (what a failed transition leaves).
void fillBlack(PPixHand pix);

}  // namespace rc::render

namespace rc::render {

// The pixel aspect of a picture squeezed by the render flags (a field, half
// width, half height) from a frame of the given aspect.
uint32_t squeezedAspect(uint32_t aspect, int32_t flags);

// The clip's frame at pos (in tdb) into dst with the field code applied;
// transparent black and the error when it cannot be had.
OSErr fetchFrame(int32_t clipID, int32_t pos, const TDB* tdb, int32_t flags, PPixHand dst,
                 const FmRect* rect, int32_t interpCode);

// The frame callback of module records, and a new data block for it (the
// caller disposes of it).
RcFrameCallback frameCallbackProc();
Handle newCallbackData(uint32_t kind, int32_t time, const TDB& tdb, Handle table, int32_t clipID,
                       Handle filterList, int32_t filterIndex, int32_t fieldFlags);

// The track table of a nested timeline file that may be followed from the
// current nesting level; null for other files, and beyond the depth of
// slot 92.
Handle nestedTableOf(int16_t fileID);
// Frame pos (in tdb) of a nested timeline into dst, one level deeper;
// transparent black on failure.
OSErr renderNested(Handle table, int32_t pos, const TDB* tdb, int32_t flags, PPixHand dst);
// Classes what a nested timeline shows at pos (in tdb), one level deeper.
int16_t nestedClass(Handle table, int32_t pos, const TDB* tdb, int32_t flags);

// True when the item's filter list holds an active XE filter.
bool hasActiveXEFilter(const TrackItemRec& item);

}  // namespace rc::render
