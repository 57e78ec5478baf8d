// The resampler's lowpass filter: one wing of a Kaiser-windowed sinc with
// 256 table entries per zero crossing, in 16-bit fixed point.
#pragma once

#include <cstdint>

namespace rc::audio {

constexpr int32_t kFilterPhases = 256;   // table entries per zero crossing
constexpr int32_t kMaxWingCoefs = 5122;  // largest filter wing
constexpr uint32_t kMaxOutputScale = 65535;

// Modified Bessel function I0 (Abramowitz and Stegun 9.8.1 and 9.8.2).
double besselI0(double x);

// Fills `coefs` with `count` coefficients for the roll-off (fraction of the
// Nyquist frequency, 0 < rolloff <= 1) and Kaiser beta (>= 1), and gives the
// output scale that brings the filter's DC gain to unity. Returns 0 or -50
// for limits out of range.
int32_t designFilter(int32_t count, double rolloff, double beta, int16_t* coefs,
                     uint32_t* outputScale);

}  // namespace rc::audio
