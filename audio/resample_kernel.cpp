// The resampler's inner loop. For each output frame the left wing sums the
// samples at and before the current one, the right wing those after it, each
// product rounded to 14 fraction bits less; the taps of a wing are gathered
// into a row of coefficients so both wings become plain dot products (AVX2
// when the processor has it). Zero coefficients pad the rows: their
// products round to 0, so the sums are those of the taps alone.
#include "audio/resample_kernel.h"

#include <immintrin.h>

#include <algorithm>
#include <memory>
#include <new>

#include "audio/resample_filter.h"
#include "audio/sample_simd.h"

namespace rc::audio {

namespace {

constexpr int kTimeBits = 15;
constexpr uint32_t kPhaseMask = (1u << kTimeBits) - 1;
constexpr int kIndexBits = 7;
constexpr int kProductShift = 14;
constexpr int kGuardBits = 2;
constexpr int kScaleShift = 13;
constexpr int kLanes = 8;
constexpr uint32_t kWholeCrossing = uint32_t(kFilterPhases) << kIndexBits;

// Sum of (c x s + 2^13) >> 14 over both wings; n is a multiple of 8.
using DotFn = int32_t (*)(const int32_t* cl, const int16_t* xl, const int32_t* cr,
                          const int16_t* xr, int32_t n);

int32_t dotScalar(const int32_t* cl, const int16_t* xl, const int32_t* cr, const int16_t* xr,
                  int32_t n) {
    constexpr int32_t half = 1 << (kProductShift - 1);
    int32_t v = 0;
    for (int32_t k = 0; k < n; ++k) {
        v += (cl[k] * xl[k] + half) >> kProductShift;
        v += (cr[k] * xr[k] + half) >> kProductShift;
    }
    return v;
}

__attribute__((target("avx2"))) int32_t dotAvx2(const int32_t* cl, const int16_t* xl,
                                                const int32_t* cr, const int16_t* xr, int32_t n) {
    const __m256i half = _mm256_set1_epi32(1 << (kProductShift - 1));
    __m256i acc = _mm256_setzero_si256();
    for (int32_t k = 0; k < n; k += kLanes) {
        const __m256i sl =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(xl + k)));
        const __m256i sr =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(xr + k)));
        const __m256i pl =
            _mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(cl + k)), sl);
        const __m256i pr =
            _mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(cr + k)), sr);
        acc = _mm256_add_epi32(acc, _mm256_srai_epi32(_mm256_add_epi32(pl, half), kProductShift));
        acc = _mm256_add_epi32(acc, _mm256_srai_epi32(_mm256_add_epi32(pr, half), kProductShift));
    }
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}

int32_t roundUpToLanes(int64_t n) {
    return int32_t((n + kLanes - 1) / kLanes * kLanes);
}

// Taps per wing, padded to whole vectors.
int32_t paddedTaps(const FilterRun& f) {
    const uint32_t step = f.down ? f.tableStep : kWholeCrossing;
    const int64_t most = ((int64_t(f.wing) << kIndexBits) + step - 1) / step;
    return roundUpToLanes(std::max<int64_t>(most, 1));
}

// The left wing's taps for a table position h (7 fraction bits), stored last
// tap first so they line up with the samples ending at the current one.
void gatherLeft(const FilterRun& f, uint32_t h, uint32_t step, int32_t* row, int32_t n) {
    const uint32_t end = uint32_t(f.wing) << kIndexBits;
    int32_t k = 0;
    for (; h < end && k < n; h += step, ++k) row[n - 1 - k] = f.coefs[h >> kIndexBits];
    for (; k < n; ++k) row[n - 1 - k] = 0;
}

// The right wing stops one entry before the end of the table.
void gatherRight(const FilterRun& f, uint32_t h, uint32_t step, int32_t* row, int32_t n) {
    const uint32_t end = uint32_t(f.wing - 1) << kIndexBits;
    int32_t k = 0;
    for (; h < end && k < n; h += step, ++k) row[k] = f.coefs[h >> kIndexBits];
    for (; k < n; ++k) row[k] = 0;
}

// Downsampling rows straight from the wing table with vector gathers. The
// tables are copies of the wing padded with zeros far enough that no tap
// needs a bounds check: `left` holds the whole wing, `right` all but its
// last entry.
__attribute__((target("avx2"))) void gatherRowAvx2(const int16_t* table, uint32_t h, uint32_t step,
                                                   int32_t* row, int32_t n, bool reversed) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i stepVec = _mm256_set1_epi32(int32_t(step));
    for (int32_t q = 0; q < n; q += kLanes) {
        // Tap k of lane j: k = q + j, or n - 1 - (q + j) when stored last tap first.
        const __m256i k = reversed ? _mm256_sub_epi32(_mm256_set1_epi32(n - 1 - q), lane)
                                   : _mm256_add_epi32(_mm256_set1_epi32(q), lane);
        const __m256i pos =
            _mm256_add_epi32(_mm256_set1_epi32(int32_t(h)), _mm256_mullo_epi32(k, stepVec));
        const __m256i index = _mm256_srli_epi32(pos, kIndexBits);
        const __m256i pair = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), index, 2);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + q),
                            _mm256_srai_epi32(_mm256_slli_epi32(pair, 16), 16));
    }
}

// Downsampling: table positions of the two wings for the phases of time t.
uint32_t leftStart(const FilterRun& f, uint32_t phase) {
    return (phase * f.tableStep) >> kTimeBits;
}

uint32_t rightStart(const FilterRun& f, uint32_t rightPhase) {
    const uint32_t h = (rightPhase * f.tableStep) >> kTimeBits;
    // At phase 0 the first right sample lies a whole step away.
    return rightPhase == 0 ? h + f.tableStep : h;
}

inline int16_t scaled(const FilterRun& f, int32_t v, int64_t& clipped) {
    const int64_t out = (int64_t(f.scale) * (v >> kGuardBits)) >> kScaleShift;
    if (out > 32767 || out < -32768) ++clipped;
    return int16_t(std::clamp<int64_t>(out, -32768, 32767));
}

}  // namespace

int32_t wingReach(const FilterRun& f) {
    return paddedTaps(f) + 1;
}

namespace {

// The loops over the outputs, instantiated once per kernel so the dot
// product is inlined.
template <DotFn dot, bool vector>
inline int64_t filterLoop(const FilterRun& f, const int16_t* x, uint64_t t, int16_t* y,
                          ptrdiff_t yStride, int32_t count) {
    const int32_t n = paddedTaps(f);
    int64_t clipped = 0;
    if (!f.down) {
        // Upsampling: 256 table phases; every left row and right row made once.
        constexpr int kRows = kFilterPhases + 1;  // right rows: 256 phases and phase 0
        std::unique_ptr<int32_t[]> left(new (std::nothrow) int32_t[size_t(kRows) * n]);
        std::unique_ptr<int32_t[]> right(new (std::nothrow) int32_t[size_t(kRows) * n]);
        if (!left || !right) return -1;
        for (int32_t p = 0; p < kFilterPhases; ++p) {
            gatherLeft(f, uint32_t(p) << kIndexBits, kWholeCrossing, &left[size_t(p) * n], n);
            gatherRight(f, uint32_t(p) << kIndexBits, kWholeCrossing, &right[size_t(p) * n], n);
        }
        gatherRight(f, kWholeCrossing, kWholeCrossing, &right[size_t(kFilterPhases) * n], n);
        for (int32_t i = 0; i < count; ++i, t += f.timeStep, y += yStride) {
            const int16_t* now = x + (t >> kTimeBits);
            const uint32_t rightPhase = uint32_t(-t) & kPhaseMask;
            const size_t lrow = (uint32_t(t) & kPhaseMask) >> kIndexBits;
            const size_t rrow = rightPhase == 0 ? kFilterPhases : rightPhase >> kIndexBits;
            const int32_t v = dot(&left[lrow * n], now - (n - 1), &right[rrow * n], now + 1, n);
            *y = scaled(f, v, clipped);
        }
        return clipped;
    }
    // Downsampling: the rows depend on the whole phase; they are gathered
    // again only when it changes (never for whole-number ratios).
    std::unique_ptr<int32_t[]> rows(new (std::nothrow) int32_t[size_t(2) * n]);
    if (!rows) return -1;
    int32_t* left = rows.get();
    int32_t* right = rows.get() + n;
    // Padded copies of the wing for the vector gathers (see gatherRowAvx2).
    const size_t padded = ((size_t(n) + 2) * f.tableStep >> kIndexBits) + size_t(f.wing) + 4;
    std::unique_ptr<int16_t[]> tables(vector ? new (std::nothrow) int16_t[2 * padded]() : nullptr);
    if (vector && !tables) return -1;
    int16_t* leftTable = tables.get();
    int16_t* rightTable = tables.get() + padded;
    if (vector) {
        std::copy(f.coefs, f.coefs + f.wing, leftTable);
        std::copy(f.coefs, f.coefs + f.wing - 1, rightTable);
    }
    uint32_t lastPhase = UINT32_MAX;
    for (int32_t i = 0; i < count; ++i, t += f.timeStep, y += yStride) {
        const int16_t* now = x + (t >> kTimeBits);
        const uint32_t phase = uint32_t(t) & kPhaseMask;
        if (phase != lastPhase) {
            const uint32_t hl = leftStart(f, phase), hr = rightStart(f, uint32_t(-t) & kPhaseMask);
            if constexpr (vector) {
                gatherRowAvx2(leftTable, hl, f.tableStep, left, n, true);
                gatherRowAvx2(rightTable, hr, f.tableStep, right, n, false);
            } else {
                gatherLeft(f, hl, f.tableStep, left, n);
                gatherRight(f, hr, f.tableStep, right, n);
            }
            lastPhase = phase;
        }
        *y = scaled(f, dot(left, now - (n - 1), right, now + 1, n), clipped);
    }
    return clipped;
}

__attribute__((target("avx2"), flatten)) int64_t filterAvx2(const FilterRun& f, const int16_t* x,
                                                            uint64_t t, int16_t* y,
                                                            ptrdiff_t yStride, int32_t count) {
    return filterLoop<dotAvx2, true>(f, x, t, y, yStride, count);
}

int64_t filterScalar(const FilterRun& f, const int16_t* x, uint64_t t, int16_t* y,
                     ptrdiff_t yStride, int32_t count) {
    return filterLoop<dotScalar, false>(f, x, t, y, yStride, count);
}

}  // namespace

int64_t filterChannel(const FilterRun& f, const int16_t* x, uint64_t t, int16_t* y,
                      ptrdiff_t yStride, int32_t count) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && !scalarKernelsOnly() ? filterAvx2(f, x, t, y, yStride, count)
                                        : filterScalar(f, x, t, y, yStride, count);
}

}  // namespace rc::audio
