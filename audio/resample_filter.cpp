// Kaiser-windowed sinc design for the resampler.
#include "audio/resample_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

namespace rc::audio {

namespace {

constexpr int32_t kParamErr = -50;

}  // namespace

double besselI0(double x) {
    const double ax = std::fabs(x);
    if (ax < 3.75) {
        const double y = (x / 3.75) * (x / 3.75);
        return 1.0 +
               y * (3.5156229 +
                    y * (3.0899424 +
                         y * (1.2067492 + y * (0.2659732 + y * (0.0360768 + y * 0.0045813)))));
    }
    const double y = 3.75 / ax;
    return (std::exp(ax) / std::sqrt(ax)) *
           (0.39894228 +
            y * (0.01328592 +
                 y * (0.00225319 +
                      y * (-0.00157565 +
                           y * (0.00916281 +
                                y * (-0.02057706 +
                                     y * (0.02635537 + y * (-0.01647633 + y * 0.00392377))))))));
}

int32_t designFilter(int32_t count, double rolloff, double beta, int16_t* coefs,
                     uint32_t* outputScale) {
    if (count <= 0 || count > kMaxWingCoefs || !(rolloff > 0.0 && rolloff <= 1.0) ||
        !(beta >= 1.0) || !coefs || !outputScale)
        return kParamErr;
    const double pi = std::numbers::pi;
    std::vector<double> c(static_cast<size_t>(count));
    c[0] = 2.0 * rolloff;
    for (int32_t i = 1; i < count; ++i) {
        const double x = pi * double(i) / double(kFilterPhases);
        c[i] = std::sin(2.0 * x * rolloff) / x;
    }
    const double inverseI0Beta = 1.0 / besselI0(beta);
    for (int32_t i = 1; i < count; ++i) {
        const double r = double(i) / double(count);
        const double w = 1.0 - r * r;
        c[i] *= besselI0(beta * std::sqrt(w < 0.0 ? 0.0 : w)) * inverseI0Beta;
    }

    double peak = 0.0;
    for (double v : c) peak = std::max(peak, std::fabs(v));
    double m = 32767.0 / peak;
    if (c[0] < 0.0) m = -m;
    for (int32_t i = 0; i < count; ++i) coefs[i] = int16_t(c[i] * m + 0.5);

    int64_t dcGain = 0;
    for (int32_t i = kFilterPhases; i < count; i += kFilterPhases) dcGain += coefs[i];
    dcGain = 2 * dcGain + coefs[0];
    if (dcGain == 0) return kParamErr;
    const int64_t scale = std::llabs((int64_t(1) << 29) / dcGain);
    if (scale > kMaxOutputScale) return kParamErr;
    *outputScale = uint32_t(scale);
    return 0;
}

}  // namespace rc::audio
