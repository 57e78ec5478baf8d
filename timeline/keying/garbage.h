// The garbage matte: four corners in the 117 x 87 reference frame mapped
// onto a picture and rasterised into a coverage mask.
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::keying {

// True when the four corners are all (0, 0): the item sets no matte.
bool garbageUnset(const FmPoint corners[4]);

// Writes 255 for every pixel whose centre lies inside the quadrilateral
// (even-odd rule) and 0 elsewhere into mask (width bytes a row, top row
// first). Returns true when some pixel lies outside.
bool rasteriseGarbage(const FmPoint corners[4], int32_t width, int32_t height, uint8_t* mask);

}  // namespace rc::keying
