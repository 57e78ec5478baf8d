// Shared by the envelope sources: checked views of a band's block.
#pragma once

#include <cstdint>

#include "reelcore/envelopes.h"

namespace rc::timeline {

struct BandView {
    RubberHand* header = nullptr;
    RubberHandPt* points = nullptr;
    int32_t count = 0;

    RubberHandPt& operator[](int32_t i) const { return points[i]; }
    RubberHandPt& last() const { return points[count - 1]; }
};

// A band whose header fits its block: at least 2 points, all inside it.
// Reading needs no more; points out of order only give odd values.
bool readBand(Handle band, BandView& view);
// Editing also needs the positions in order (never descending).
bool editBand(Handle band, BandView& view);

// The block size for count points and the spare one.
constexpr uint32_t bandBytes(int32_t count) {
    return uint32_t(sizeof(RubberHand) + (count + 1) * sizeof(RubberHandPt));
}

// The level (0 ... 256 in a sound band) at a position, interpolated.
int32_t levelAt(const BandView& band, int32_t position);
// The level a height stands for; with no display height (scale <= 0) the
// level the band already has at the position.
int16_t levelForHeight(const BandView& band, int32_t height, int32_t position);

}  // namespace rc::timeline
