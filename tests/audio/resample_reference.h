// A plain, slow reference of the resampler's fixed-point arithmetic, and
// the signal measurements the quality tests use.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace resref {

// Abramowitz and Stegun 9.8.1 and 9.8.2.
inline double i0(double x) {
    const double ax = std::fabs(x);
    if (ax < 3.75) {
        const double t = (x / 3.75) * (x / 3.75);
        const double terms[] = {1.0,       3.5156229, 3.0899424, 1.2067492,
                                0.2659732, 0.0360768, 0.0045813};
        double sum = 0, power = 1;
        for (double k : terms) {
            sum += k * power;
            power *= t;
        }
        return sum;
    }
    const double t = 3.75 / ax;
    const double terms[] = {0.39894228,  0.01328592, 0.00225319,  -0.00157565, 0.00916281,
                            -0.02057706, 0.02635537, -0.01647633, 0.00392377};
    double sum = 0, power = 1;
    for (double k : terms) {
        sum += k * power;
        power *= t;
    }
    return sum * std::exp(ax) / std::sqrt(ax);
}

struct Filter {
    std::vector<int16_t> c;
    uint32_t scale = 0;
    int nmult = 0;
};

inline Filter design(int nmult, double rolloff, double beta) {
    const int n = (nmult + 1) * 128;
    const double pi = 3.14159265358979323846;
    std::vector<double> c(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double v = 2 * rolloff;
        if (i > 0) v = std::sin(2 * pi * rolloff * i / 256.0) / (pi * i / 256.0);
        const double r = double(i) / n;
        c[i] = v * i0(beta * std::sqrt(std::max(0.0, 1 - r * r))) / i0(beta);
    }
    double peak = 0;
    for (double v : c) peak = std::max(peak, std::fabs(v));
    Filter f;
    f.nmult = nmult;
    for (double v : c) f.c.push_back(int16_t(v * (32767.0 / peak) + 0.5));
    int64_t g = f.c[0];
    for (int k = 256; k < n; k += 256) g += 2 * f.c[k];
    f.scale = uint32_t(std::llabs((int64_t(1) << 29) / g));
    return f;
}

// Product rounded to nearest after dropping 14 bits.
inline int32_t rounded(int32_t t) {
    if (t & (1 << 13)) t += 1 << 13;
    return t >> 14;
}

// One channel: x holds the whole source (zero outside it); output i sits at
// source time first + i x dtb / 2^15.
inline std::vector<int16_t> channel(const std::vector<int32_t>& x, int first, int frames,
                                    int srcRate, int dstRate, const Filter& filter) {
    const int n = int(filter.c.size());
    const double factor = double(dstRate) / double(srcRate);
    const uint32_t dtb = uint32_t((1.0 / factor) * 32768 + 0.5);
    uint32_t scale = filter.scale;
    uint32_t dhb = 256 << 7;
    if (factor < 1) {
        scale = uint32_t(scale * factor + 0.5);
        dhb = uint32_t(std::min(256.0, factor * 256) * 128 + 0.5);
    }
    auto sample = [&](int64_t k) { return k < 0 || k >= int64_t(x.size()) ? 0 : x[size_t(k)]; };
    std::vector<int16_t> y;
    int64_t t = int64_t(first) << 15;
    for (int i = 0; i < frames; ++i, t += dtb) {
        const int64_t p = t >> 15;
        const uint32_t phase = uint32_t(t & 0x7FFF);
        const uint32_t rightPhase = ((uint32_t(t) ^ 0x7FFF) + 1) & 0x7FFF;
        int32_t v = 0;
        // Index into the table in 1/128 entries for both ways of stepping.
        uint32_t h = factor >= 1 ? (phase >> 7) << 7 : (phase * dhb) >> 15;
        for (int64_t k = 0; (h >> 7) < uint32_t(n); ++k, h += dhb)
            v += rounded(filter.c[h >> 7] * sample(p - k));
        h = factor >= 1 ? (rightPhase >> 7) << 7 : (rightPhase * dhb) >> 15;
        if (rightPhase == 0) h += dhb;
        for (int64_t k = 1; (h >> 7) < uint32_t(n - 1); ++k, h += dhb)
            v += rounded(filter.c[h >> 7] * sample(p + k));
        const int64_t out = (int64_t(scale) * (v >> 2)) >> 13;
        y.push_back(int16_t(std::clamp<int64_t>(out, -32768, 32767)));
    }
    return y;
}

// The 8-bit expansion of the resampler.
inline int32_t expand(int u) {
    return u < 128 ? 256 * u - 32768 : (u - 128) * 32767 / 127;
}

// The dither generator and the 16-to-8-bit step with it.
struct Dither {
    uint32_t x = 0;
    int32_t previous[2] = {0, 0};
    uint8_t narrow(int32_t s, int ch) {
        x = (x * 7141u + 54773u) % 259200u;
        const int32_t r = int8_t(uint8_t(x * 256ull / 259200u));
        const int32_t v = std::clamp(s + r - previous[ch], -32768, 32767);
        previous[ch] = r;
        return uint8_t((v >> 8) + 128);
    }
};

// Amplitude of the component at `cycles` per sample, Hann-windowed, over
// y[from, to).
inline double amplitudeAt(const std::vector<double>& y, size_t from, size_t to, double cycles) {
    const double pi = 3.14159265358979323846;
    double re = 0, im = 0, wsum = 0;
    const size_t n = to - from;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * pi * (i + 0.5) / n);
        const double a = 2 * pi * cycles * double(from + i);
        re += w * y[from + i] * std::cos(a);
        im += w * y[from + i] * std::sin(a);
        wsum += w;
    }
    return 2 * std::sqrt(re * re + im * im) / wsum;
}

// Signal-to-noise ratio (dB) of y[from, to) against the best-fitting sine at
// `cycles` per sample: the fit's power over the residual's power.
inline double sineSnr(const std::vector<double>& y, size_t from, size_t to, double cycles) {
    const double pi = 3.14159265358979323846;
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (size_t i = from; i < to; ++i) {
        const double s = std::sin(2 * pi * cycles * double(i)),
                     c = std::cos(2 * pi * cycles * double(i));
        ss += s * s;
        sc += s * c;
        cc += c * c;
        ys += y[i] * s;
        yc += y[i] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    double signal = 0, noise = 0;
    for (size_t i = from; i < to; ++i) {
        const double fit =
            a * std::sin(2 * pi * cycles * double(i)) + b * std::cos(2 * pi * cycles * double(i));
        signal += fit * fit;
        noise += (y[i] - fit) * (y[i] - fit);
    }
    return 10 * std::log10(signal / std::max(noise, 1e-30));
}

}  // namespace resref
