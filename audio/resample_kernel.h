// The resampler's inner filter loop for one channel: fixed-point sinc
// interpolation from a 16-bit filter wing table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rc::audio {

struct FilterRun {
    const int16_t* coefs;
    int32_t wing;        // coefficients per wing
    uint32_t scale;      // output scale
    uint32_t timeStep;   // source frames per output frame, 15 fraction bits
    uint32_t tableStep;  // table entries per source frame, 7 fraction bits
    bool down;           // output rate below the input rate: the filter widens
};

// Samples one wing reads on either side of the current one (rounded up to
// the kernel's vector width); the source needs that much history around it.
int32_t wingReach(const FilterRun& f);

// Filters `count` outputs from planar samples `x`, output i at source time
// t + i x timeStep (15 fraction bits, t relative to x). Writes every
// yStride-th sample of y and returns the number of clipped outputs, or -1
// when memory for the phase tables runs out.
int64_t filterChannel(const FilterRun& f, const int16_t* x, uint64_t t, int16_t* y,
                      ptrdiff_t yStride, int32_t count);

}  // namespace rc::audio
