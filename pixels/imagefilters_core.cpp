// Image filters on raw rows.
#include "pixels/imagefilters_core.h"
#include "pixels/vector_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RC_HAVE_X86 1
#endif

namespace rc::pix {

void gammaTable(int32_t tenths, uint8_t table[256]) {
    const double exponent = tenths * 0.1;
    for (int i = 0; i < 256; ++i) {
        const double v = 255.0 * std::pow(i * (1.0 / 255.0), exponent);
        table[i] = static_cast<uint8_t>(std::clamp(std::floor(v), 0.0, 255.0));
    }
}

void applyColorTable(const Rows& img, const uint8_t table[256]) {
    for (int32_t y = 0; y < img.height; ++y) {
        uint8_t* p = img.row(y);
        for (int32_t x = 0; x < img.width; ++x, p += 4) {
            p[0] = table[p[0]];
            p[1] = table[p[1]];
            p[2] = table[p[2]];
        }
    }
}

namespace {

// Copies the outer ring of pixels (first and last rows, first and last pixel
// of the others) that the 3 x 3 filters leave unchanged.
void copyRing(const Rows& src, const Rows& dst) {
    const size_t rowLen = static_cast<size_t>(src.width) * 4;
    std::memmove(dst.row(0), src.row(0), rowLen);
    if (src.height > 1) std::memmove(dst.row(src.height - 1), src.row(src.height - 1), rowLen);
    for (int32_t y = 1; y + 1 < src.height; ++y) {
        std::memcpy(dst.row(y), src.row(y), 4);
        std::memcpy(dst.row(y) + rowLen - 4, src.row(y) + rowLen - 4, 4);
    }
}

// Median of nine through a fixed compare-exchange network, as a macro so the
// same network serves bytes and vector registers (LO = minimum, HI = maximum).
#define RC_SORT2(p, a, b, LO, HI)  \
    do {                           \
        auto lo_ = LO(p[a], p[b]); \
        p[b] = HI(p[a], p[b]);     \
        p[a] = lo_;                \
    } while (0)
#define RC_MEDIAN9(p, LO, HI)      \
    do {                           \
        RC_SORT2(p, 1, 2, LO, HI); \
        RC_SORT2(p, 4, 5, LO, HI); \
        RC_SORT2(p, 7, 8, LO, HI); \
        RC_SORT2(p, 0, 1, LO, HI); \
        RC_SORT2(p, 3, 4, LO, HI); \
        RC_SORT2(p, 6, 7, LO, HI); \
        RC_SORT2(p, 1, 2, LO, HI); \
        RC_SORT2(p, 4, 5, LO, HI); \
        RC_SORT2(p, 7, 8, LO, HI); \
        RC_SORT2(p, 0, 3, LO, HI); \
        RC_SORT2(p, 5, 8, LO, HI); \
        RC_SORT2(p, 4, 7, LO, HI); \
        RC_SORT2(p, 3, 6, LO, HI); \
        RC_SORT2(p, 1, 4, LO, HI); \
        RC_SORT2(p, 2, 5, LO, HI); \
        RC_SORT2(p, 4, 7, LO, HI); \
        RC_SORT2(p, 4, 2, LO, HI); \
        RC_SORT2(p, 6, 4, LO, HI); \
        RC_SORT2(p, 4, 2, LO, HI); \
    } while (0)

inline uint8_t minU8(uint8_t u, uint8_t v) {
    return u < v ? u : v;
}
inline uint8_t maxU8(uint8_t u, uint8_t v) {
    return u < v ? v : u;
}

// Median of the interior bytes [from, to) of row y (byte offsets).
void medianBytesPlain(const Rows& src, const Rows& dst, int32_t y, int32_t from, int32_t to) {
    const uint8_t* a = src.row(y - 1);
    const uint8_t* b = src.row(y);
    const uint8_t* c = src.row(y + 1);
    uint8_t* d = dst.row(y);
    for (int32_t i = from; i < to; ++i) {
        uint8_t p[9] = {a[i - 4], a[i],     a[i + 4], b[i - 4], b[i],
                        b[i + 4], c[i - 4], c[i],     c[i + 4]};
        RC_MEDIAN9(p, minU8, maxU8);
        d[i] = p[4];
    }
}

#ifdef RC_HAVE_X86
__attribute__((target("avx2"))) void medianRowAvx2(const Rows& src, const Rows& dst, int32_t y) {
    const uint8_t* a = src.row(y - 1);
    const uint8_t* b = src.row(y);
    const uint8_t* c = src.row(y + 1);
    uint8_t* d = dst.row(y);
    const int32_t end = (src.width - 1) * 4;
    int32_t i = 4;
#define RC_LD(q) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q))
    for (; i + 32 <= end; i += 32) {
        __m256i p[9] = {RC_LD(a + i - 4), RC_LD(a + i), RC_LD(a + i + 4),
                        RC_LD(b + i - 4), RC_LD(b + i), RC_LD(b + i + 4),
                        RC_LD(c + i - 4), RC_LD(c + i), RC_LD(c + i + 4)};
        RC_MEDIAN9(p, _mm256_min_epu8, _mm256_max_epu8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), p[4]);
    }
#undef RC_LD
    // the tail is plain code, possibly SSE: leave the upper halves clean first
    _mm256_zeroupper();
    medianBytesPlain(src, dst, y, i, end);
}
#endif

}  // namespace

void median3x3(const Rows& src, const Rows& dst, const char* level) {
    if (src.width <= 0 || src.height <= 0) return;
    copyRing(src, dst);
    if (src.width < 3 || src.height < 3) return;
#ifdef RC_HAVE_X86
    const bool avx2 = level ? std::strcmp(level, "avx2") == 0 && __builtin_cpu_supports("avx2")
                            : __builtin_cpu_supports("avx2");
#else
    const bool avx2 = false;
#endif
    for (int32_t y = 1; y + 1 < src.height; ++y) {
#ifdef RC_HAVE_X86
        if (avx2) {
            medianRowAvx2(src, dst, y);
            continue;
        }
#endif
        medianBytesPlain(src, dst, y, 4, (src.width - 1) * 4);
    }
}

namespace {

void convolveBytesPlain(const Rows& src, const Rows& dst, int32_t y, int32_t from, int32_t to,
                        const FmKernel3x3& k) {
    const uint8_t* r[3] = {src.row(y - 1), src.row(y), src.row(y + 1)};
    uint8_t* d = dst.row(y);
    const int32_t div = k.divisor ? k.divisor : 1;
    for (int32_t i = from; i < to; ++i) {
        int32_t sum = 0;
        for (int ky = 0; ky < 3; ++ky)
            sum += k.weights[3 * ky] * r[ky][i - 4] + k.weights[3 * ky + 1] * r[ky][i] +
                   k.weights[3 * ky + 2] * r[ky][i + 4];
        // floor division, so that negative sums fall to 0 whatever their remainder
        int32_t q = sum / div;
        if ((sum % div != 0) && ((sum < 0) != (div < 0))) --q;
        d[i] = static_cast<uint8_t>(std::clamp(q, 0, 255));
    }
}

#ifdef RC_HAVE_X86
// Kernels with non-negative weights whose sums stay below 65536 run in 16-bit
// lanes with the division done as a multiply by a reciprocal; `magic` is only
// used when it was checked exact for every reachable sum.
__attribute__((target("avx2"))) void convolveRowAvx2(const Rows& src, const Rows& dst, int32_t y,
                                                     const FmKernel3x3& k, uint16_t magic,
                                                     int shift) {
    const uint8_t* r[3] = {src.row(y - 1), src.row(y), src.row(y + 1)};
    uint8_t* d = dst.row(y);
    const int32_t end = (src.width - 1) * 4;
    __m256i w[9];
    for (int j = 0; j < 9; ++j) w[j] = _mm256_set1_epi16(k.weights[j]);
    const __m256i m = _mm256_set1_epi16(static_cast<int16_t>(magic));
    const __m128i sh = _mm_cvtsi32_si128(shift);
    int32_t i = 4;
    for (; i + 16 <= end; i += 16) {
        __m256i sum = _mm256_setzero_si256();
        for (int ky = 0; ky < 3; ++ky)
            for (int kx = 0; kx < 3; ++kx) {
                const __m256i px = _mm256_cvtepu8_epi16(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[ky] + i + 4 * (kx - 1))));
                sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(px, w[3 * ky + kx]));
            }
        const __m256i q = _mm256_srl_epi16(_mm256_mulhi_epu16(sum, m), sh);
        const __m256i packed = _mm256_packus_epi16(q, q);
        const __m128i out = _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), out);
    }
    _mm256_zeroupper();
    convolveBytesPlain(src, dst, y, i, end, k);
}
#endif

// Finds m and s with floor(x / div) == (x * m >> 16) >> s for all x <= maxSum.
bool reciprocalFor(int32_t div, int32_t maxSum, uint16_t& magic, int& shift) {
    if (div <= 0 || maxSum >= 65536) return false;
    for (int s = 0; s < 16; ++s) {
        const uint64_t m = ((uint64_t{1} << (16 + s)) + div - 1) / div;
        if (m > 0xFFFF) break;
        bool exact = true;
        for (int32_t x = 0; x <= maxSum && exact; ++x)
            exact = static_cast<int32_t>(((x * m) >> 16) >> s) == x / div;
        if (exact) {
            magic = static_cast<uint16_t>(m);
            shift = s;
            return true;
        }
    }
    return false;
}

}  // namespace

void convolve3x3(const Rows& src, const Rows& dst, const FmKernel3x3& k, const char* level) {
    if (src.width <= 0 || src.height <= 0) return;
    copyRing(src, dst);
    if (src.width < 3 || src.height < 3) return;
    bool fast = false;
    uint16_t magic = 0;
    int shift = 0;
#ifdef RC_HAVE_X86
    const bool avx2 = level ? std::strcmp(level, "avx2") == 0 && __builtin_cpu_supports("avx2")
                            : __builtin_cpu_supports("avx2");
    if (avx2) {
        int32_t total = 0;
        bool nonNegative = true;
        for (int16_t w : k.weights) {
            nonNegative = nonNegative && w >= 0;
            total += w;
        }
        fast = nonNegative && reciprocalFor(k.divisor, total * 255, magic, shift);
    }
#else
    (void)level;
#endif
    for (int32_t y = 1; y + 1 < src.height; ++y) {
#ifdef RC_HAVE_X86
        if (fast) {
            convolveRowAvx2(src, dst, y, k, magic, shift);
            continue;
        }
#endif
        convolveBytesPlain(src, dst, y, 4, (src.width - 1) * 4, k);
    }
}

std::vector<int32_t> alphaBlurWeights(double radius) {
    std::vector<int32_t> w;
    if (!(radius > 0)) return w;
    const int32_t n = static_cast<int32_t>(std::ceil(std::min(radius, 65535.0)));
    w.push_back(255);
    for (int32_t c = 1; c <= n; ++c) {
        const double t = c / (radius + 1.0);
        const double f = t <= 1.0 ? 1.0 - 1.102 * (1.0 - std::exp(-2.378 * t * t)) : 0.0;
        w.push_back(static_cast<int32_t>(std::lround(255.0 * f)));
    }
    return w;
}

namespace {

// One direction of the separable blur: out[i] = sum_c w|c| * in[i + c*stride],
// rounded, over `count` outputs whose inputs extend n samples either side.
void blurLine(const uint8_t* in, intptr_t inStride, uint8_t* out, intptr_t outStride, int32_t count,
              const std::vector<int32_t>& w) {
    const int32_t n = static_cast<int32_t>(w.size()) - 1;
    int64_t total = w[0];
    for (int32_t c = 1; c <= n; ++c) total += 2 * int64_t{w[c]};
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* centre = in + (i + n) * inStride;
        int64_t sum = int64_t{w[0]} * centre[0];
        for (int32_t c = 1; c <= n; ++c)
            sum += int64_t{w[c]} * (centre[c * inStride] + centre[-c * inStride]);
        out[i * outStride] =
            static_cast<uint8_t>(std::min<int64_t>(255, (sum + total / 2) / total));
    }
}

}  // namespace

namespace {

// Vectorised loops of the separable alpha blur (integer arithmetic, so every
// instruction set gives the same bytes).

RC_VECTOR_LOOP void weighOne(int32_t* acc, const uint8_t* a, int32_t w, int32_t n) {
    for (int32_t i = 0; i < n; ++i) acc[i] = w * a[i];
}

RC_VECTOR_LOOP void weighPair(int32_t* acc, const uint8_t* a, const uint8_t* b, int32_t w,
                              int32_t n) {
    for (int32_t i = 0; i < n; ++i) acc[i] += w * (a[i] + b[i]);
}

// out = (acc + half) / total, through a reciprocal exact for sums below 2^24.
RC_VECTOR_LOOP void divideRounded(const int32_t* acc, uint8_t* out, int32_t n, uint32_t half,
                                  uint32_t magic, int shift) {
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t x = uint32_t(acc[i]) + half;
        const uint64_t q = (uint64_t{x} * uint64_t{magic}) >> shift;
        out[i] = static_cast<uint8_t>(q > 255 ? 255 : q);
    }
}

RC_VECTOR_LOOP void extractAlpha(const uint8_t* px, uint8_t* out, int32_t n) {
    for (int32_t i = 0; i < n; ++i) out[i] = px[4 * i + 3];
}

void insertAlphaPlain(const uint8_t* in, uint8_t* px, int32_t n) {
    for (int32_t i = 0; i < n; ++i) px[4 * i + 3] = in[i];
}

#ifdef RC_HAVE_X86
// Eight pixels a step: the colour bytes kept, the alpha byte replaced (the
// compiler does not vectorise the strided byte stores by itself).
__attribute__((target("avx2"))) void insertAlphaAvx2(const uint8_t* in, uint8_t* px, int32_t n) {
    const __m256i colour = _mm256_set1_epi32(0x00FFFFFF);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i a = _mm256_slli_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i))), 24);
        __m256i* p = reinterpret_cast<__m256i*>(px + 4 * i);
        _mm256_storeu_si256(p, _mm256_or_si256(_mm256_and_si256(_mm256_loadu_si256(p), colour), a));
    }
    _mm256_zeroupper();
    insertAlphaPlain(in + i, px + 4 * i, n - i);
}
#endif

void insertAlpha(const uint8_t* in, uint8_t* px, int32_t n) {
#ifdef RC_HAVE_X86
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) return insertAlphaAvx2(in, px, n);
#endif
    insertAlphaPlain(in, px, n);
}

struct Divider {
    uint32_t half;
    uint32_t magic;  // below 2^25
    int shift;
    explicit Divider(uint32_t total) : half(total / 2) {
        int l = 0;
        while ((uint64_t{1} << l) < total) ++l;
        shift = 24 + l;
        magic = static_cast<uint32_t>(((uint64_t{1} << shift) + total - 1) / total);
    }
};

#ifdef RC_HAVE_X86
// Sixteen outputs at a time with the whole sum kept in registers: the taps
// go in pairs through a 16-bit multiply-add (tap sums stay below 511 and
// weights below 256), and the rounded division is the same reciprocal as
// divideRounded's. Returns how many outputs it wrote; the caller does the rest.
// Sixteen inputs at tap c either side of the centre, summed (tap 0 alone).
__attribute__((target("avx2"))) inline __m256i tapSum(const uint8_t* centre, intptr_t tapStep,
                                                      int32_t c) {
    const __m256i a = _mm256_cvtepu8_epi16(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(centre + c * tapStep)));
    if (c == 0) return a;
    const __m256i b = _mm256_cvtepu8_epi16(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(centre - c * tapStep)));
    return _mm256_add_epi16(a, b);
}

// floor((sum + half) / total) per 32-bit lane through the reciprocal.
__attribute__((target("avx2"))) inline __m256i divideLanes(__m256i sum, __m256i half, __m256i magic,
                                                           __m128i shift) {
    const __m256i x = _mm256_add_epi32(sum, half);
    const __m256i even = _mm256_srl_epi64(_mm256_mul_epu32(x, magic), shift);
    const __m256i odd = _mm256_srl_epi64(_mm256_mul_epu32(_mm256_srli_epi64(x, 32), magic), shift);
    return _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xAA);
}

__attribute__((target("avx2"))) int32_t blurLineAvx2(const uint8_t* centre, intptr_t tapStep,
                                                     const int32_t* w, int32_t radius, uint8_t* out,
                                                     int32_t n, const Divider& div) {
    const __m256i half = _mm256_set1_epi32(static_cast<int>(div.half));
    const __m256i magic = _mm256_set1_epi32(static_cast<int>(div.magic));
    const __m128i shift = _mm_cvtsi32_si128(div.shift);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
        for (int32_t c = 0; c <= radius; c += 2) {
            const __m256i s0 = tapSum(centre + i, tapStep, c);
            const __m256i s1 =
                c + 1 <= radius ? tapSum(centre + i, tapStep, c + 1) : _mm256_setzero_si256();
            const int32_t w1 = c + 1 <= radius ? w[c + 1] : 0;
            const __m256i weights = _mm256_set1_epi32(w[c] | (w1 << 16));
            // in-lane interleave: lo holds outputs 0-3 and 8-11, hi 4-7 and 12-15
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(s0, s1), weights));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(s0, s1), weights));
        }
        // the packs undo the interleave lane by lane and saturate at 255
        const __m256i words = _mm256_packs_epi32(divideLanes(lo, half, magic, shift),
                                                 divideLanes(hi, half, magic, shift));
        const __m256i bytes = _mm256_packus_epi16(words, words);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0x08)));
    }
    _mm256_zeroupper();
    return i;
}
#endif

// One direction over `count` lines of `n` outputs: line k reads inputs
// base + (k + radius + c) * step for c = -radius .. radius (step = the
// distance between neighbours along the blur), writes out + k * outStep.
void blurLines(const uint8_t* in, intptr_t lineStep, intptr_t tapStep, int32_t lines, int32_t n,
               const std::vector<int32_t>& w, uint8_t* out, intptr_t outStep, int32_t* acc) {
    const int32_t radius = static_cast<int32_t>(w.size()) - 1;
    uint32_t total = static_cast<uint32_t>(w[0]);
    for (int32_t c = 1; c <= radius; ++c) total += 2 * static_cast<uint32_t>(w[c]);
    const Divider div(total);
#ifdef RC_HAVE_X86
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        for (int32_t k = 0; k < lines; ++k) {
            const uint8_t* centre = in + k * lineStep + radius * tapStep;
            const int32_t done =
                blurLineAvx2(centre, tapStep, w.data(), radius, out + k * outStep, n, div);
            if (done == n) continue;
            weighOne(acc, centre + done, w[0], n - done);
            for (int32_t c = 1; c <= radius; ++c)
                weighPair(acc, centre + done + c * tapStep, centre + done - c * tapStep, w[c],
                          n - done);
            divideRounded(acc, out + k * outStep + done, n - done, div.half, div.magic, div.shift);
        }
        return;
    }
#endif
    for (int32_t k = 0; k < lines; ++k) {
        const uint8_t* centre = in + k * lineStep + radius * tapStep;
        weighOne(acc, centre, w[0], n);
        for (int32_t c = 1; c <= radius; ++c)
            weighPair(acc, centre + c * tapStep, centre - c * tapStep, w[c], n);
        divideRounded(acc, out + k * outStep, n, div.half, div.magic, div.shift);
    }
}

// Kernels small enough for 32-bit sums below 2^24 take the vector path.
bool fastBlurFits(const std::vector<int32_t>& w) {
    int64_t total = 0;
    for (size_t c = 0; c < w.size(); ++c) total += (c ? 2 : 1) * int64_t{w[c]};
    return total * 255 + total < (int64_t{1} << 24);
}

}  // namespace

bool blurAlpha(const Rows& img, double radius, bool field) {
    if (img.width <= 0 || img.height <= 0) return true;
    const std::vector<int32_t> wh = alphaBlurWeights(radius);
    const std::vector<int32_t> wv = alphaBlurWeights(field ? radius / 2 : radius);
    if (wh.empty() && wv.empty()) return true;
    const int32_t nh = wh.empty() ? 0 : static_cast<int32_t>(wh.size()) - 1;
    const int32_t nv = wv.empty() ? 0 : static_cast<int32_t>(wv.size()) - 1;
    const int64_t ww = int64_t{img.width} + 2 * nh, wHeight = int64_t{img.height} + 2 * nv;
    const int64_t cells = ww * wHeight;
    std::unique_ptr<uint8_t[]> work(new (std::nothrow) uint8_t[cells]);
    std::unique_ptr<uint8_t[]> pass(new (std::nothrow) uint8_t[int64_t{img.width} * wHeight]);
    std::unique_ptr<int32_t[]> acc(new (std::nothrow) int32_t[img.width]);
    if (!work || !pass || !acc) return false;
    // alpha into the work buffer, edges extended into the margin
    for (int64_t y = 0; y < wHeight; ++y) {
        const int32_t sy = static_cast<int32_t>(std::clamp<int64_t>(y - nv, 0, img.height - 1));
        const uint8_t* s = img.row(sy);
        uint8_t* d = work.get() + y * ww;
        std::memset(d, s[3], nh);
        extractAlpha(s, d + nh, img.width);
        std::memset(d + nh + img.width, s[(img.width - 1) * 4 + 3], nh);
    }
    const bool fastH = wh.empty() || fastBlurFits(wh), fastV = wv.empty() || fastBlurFits(wv);
    // horizontal: every work row into `pass` (width bytes per row)
    if (wh.empty()) {
        for (int64_t y = 0; y < wHeight; ++y)
            std::memcpy(pass.get() + y * img.width, work.get() + y * ww + nh, img.width);
    } else if (fastH) {
        blurLines(work.get(), ww, 1, static_cast<int32_t>(wHeight), img.width, wh, pass.get(),
                  img.width, acc.get());
    } else {
        for (int64_t y = 0; y < wHeight; ++y)
            blurLine(work.get() + y * ww, 1, pass.get() + y * img.width, 1, img.width, wh);
    }
    // vertical: `pass` rows into the work buffer's first rows (width bytes each)
    uint8_t* result = work.get();
    if (wv.empty()) {
        std::memcpy(result, pass.get(), size_t(img.width) * img.height);
    } else if (fastV) {
        blurLines(pass.get(), img.width, img.width, img.height, img.width, wv, result, img.width,
                  acc.get());
    } else {
        for (int32_t x = 0; x < img.width; ++x)
            blurLine(pass.get() + x, img.width, result + x, img.width, img.height, wv);
    }
    for (int32_t y = 0; y < img.height; ++y) {
        uint8_t* d = img.row(y);
        insertAlpha(result + int64_t{y} * img.width, d, img.width);
    }
    return true;
}

void smoothAlpha(const Rows& img) {
    for (int32_t y = 0; y < img.height; ++y) {
        uint8_t* p = img.row(y);
        const bool edgeRow = y == 0 || y == img.height - 1;
        for (int32_t x = 0; x < img.width; ++x)
            p[x * 4 + 3] = edgeRow || x == 0 || x == img.width - 1 ? 127 : 255;
    }
}

}  // namespace rc::pix
