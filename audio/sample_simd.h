// Vector loops of the sample operations. Each handles a whole number of
// vectors from the start and returns how many samples it did (0 without
// AVX2); the caller does the rest with the scalar loop.
#pragma once

#include <cstdint>

namespace rc::audio {

struct SampleKernels {
    int32_t (*sum16)(const int16_t* samples, int32_t* accumulator, int32_t count, int32_t gain);
    int32_t (*sum8)(const uint8_t* samples, int32_t* accumulator, int32_t count, int32_t gain);
    int32_t (*limit16)(const int32_t* accumulator, int16_t* out, int32_t count);
    int32_t (*limit8)(const int32_t* accumulator, uint8_t* out, int32_t count);
};

SampleKernels sampleKernels();

// Tests switch the vector loops off to check the scalar ones.
void setScalarKernelsOnly(bool on);
bool scalarKernelsOnly();

}  // namespace rc::audio
