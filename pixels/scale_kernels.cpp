// Row kernels of the scalers: plain forms, AVX2 forms chosen at run time.
#include "pixels/scale_kernels.h"
#include "pixels/vector_loop.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RC_HAVE_X86 1
#endif

namespace rc::pix {
namespace {

std::atomic<bool> gPlainOnly{false};

bool avx2() {
#ifdef RC_HAVE_X86
    static const bool has = __builtin_cpu_supports("avx2");
    return has && !gPlainOnly.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

// a + floor((b - a) f / 256) == (a (256 - f) + b f) >> 8, which stays below 2^16.
RC_VECTOR_LOOP void lerpBytesLoop(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t n,
                                  int32_t f) {
    const uint16_t wa = uint16_t(256 - f), wb = uint16_t(f);
    for (int32_t i = 0; i < n; ++i) out[i] = uint8_t((a[i] * wa + b[i] * wb) >> 8);
}

RC_VECTOR_LOOP void addBytesLoop(uint32_t* sums, const uint8_t* s, int32_t n) {
    for (int32_t i = 0; i < n; ++i) sums[i] += s[i];
}

RC_VECTOR_LOOP void divideLoop(const uint32_t* sums, uint8_t* out, int32_t n, uint32_t magic,
                               int shift) {
    for (int32_t i = 0; i < n; ++i)
        out[i] = uint8_t((uint64_t{sums[i]} * uint64_t{magic}) >> shift);
}

// Output pixel x of the 2:1 reduction.
inline void halveOne(const uint8_t* a, const uint8_t* c, uint8_t* out, int32_t x) {
    for (int i = 0; i < 4; ++i) {
        const int k = 8 * x + i;
        out[4 * x + i] = uint8_t(((a[k] / 2 + a[k + 4] / 2) / 2) + ((c[k] / 2 + c[k + 4] / 2) / 2));
    }
}

#ifdef RC_HAVE_X86
// How far ahead of the 2:1 reduction's reads to prefetch, in bytes.
constexpr int32_t kHalvePrefetch = 6144;

__attribute__((target("avx2"))) void lerpPixelsAvx2(const uint8_t* line, int32_t lineWidth,
                                                    uint8_t* out, const int32_t* i0,
                                                    const int32_t* i1, const int32_t* f, int32_t n,
                                                    bool stream) {
    const int* base = reinterpret_cast<const int*>(line);
    const __m256i zero = _mm256_setzero_si256();
    int32_t x = 0;
    // streamed stores need 32-byte alignment: plain ones until it is reached
    if (stream) {
        const int32_t lead = int32_t((32 - (reinterpret_cast<uintptr_t>(out) & 31)) & 31);
        if (lead % 4 != 0) stream = false;
        for (; x < lead / 4 && x < n; ++x)
            lerpBytesLoop(line + 4 * i0[x], line + 4 * i1[x], out + 4 * x, 4, f[x]);
    }
    for (; x + 8 <= n; x += 8) {
        const __m256i ia = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(i0 + x));
        const __m256i ib = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(i1 + x));
        const __m256i fw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(f + x));
        __m256i pa, pb;
        // When enlarging, eight outputs read from a window of at most eight
        // source pixels: one load and two permutes instead of two gathers.
        const int32_t first = i0[x];
        if (i1[x + 7] - first < 8 && first + 8 <= lineWidth) {
            const __m256i window =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + first));
            const __m256i from = _mm256_set1_epi32(first);
            pa = _mm256_permutevar8x32_epi32(window, _mm256_sub_epi32(ia, from));
            pb = _mm256_permutevar8x32_epi32(window, _mm256_sub_epi32(ib, from));
        } else {
            pa = _mm256_i32gather_epi32(base, ia, 4);
            pb = _mm256_i32gather_epi32(base, ib, 4);
        }
        // a + floor((b - a) f / 256) as the high half of (2 (b - a)) (f << 7):
        // both factors fit a signed 16-bit lane and the high half floors.
        // Each pixel's weight repeated for its four channels.
        const __m256i w7 = _mm256_slli_epi32(fw, 7);
        const __m256i w = _mm256_or_si256(w7, _mm256_slli_epi32(w7, 16));
        const __m256i alo = _mm256_unpacklo_epi8(pa, zero), ahi = _mm256_unpackhi_epi8(pa, zero);
        const __m256i dlo = _mm256_sub_epi16(_mm256_unpacklo_epi8(pb, zero), alo);
        const __m256i dhi = _mm256_sub_epi16(_mm256_unpackhi_epi8(pb, zero), ahi);
        const __m256i lo = _mm256_add_epi16(
            alo, _mm256_mulhi_epi16(_mm256_add_epi16(dlo, dlo), _mm256_unpacklo_epi32(w, w)));
        const __m256i hi = _mm256_add_epi16(
            ahi, _mm256_mulhi_epi16(_mm256_add_epi16(dhi, dhi), _mm256_unpackhi_epi32(w, w)));
        const __m256i result = _mm256_packus_epi16(lo, hi);
        if (stream)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(out + 4 * x), result);
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), result);
    }
    _mm256_zeroupper();
    for (; x < n; ++x) lerpBytesLoop(line + 4 * i0[x], line + 4 * i1[x], out + 4 * x, 4, f[x]);
}

__attribute__((target("avx2"))) void pickPixelsAvx2(const uint8_t* line, uint8_t* out,
                                                    const int32_t* cols, int32_t n) {
    const int* base = reinterpret_cast<const int*>(line);
    int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m256i idx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cols + x));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x),
                            _mm256_i32gather_epi32(base, idx, 4));
    }
    _mm256_zeroupper();
    for (; x < n; ++x) std::memcpy(out + 4 * x, line + 4 * cols[x], 4);
}

__attribute__((target("avx2"))) void halvePixelsAvx2(const uint8_t* a, const uint8_t* c,
                                                     uint8_t* out, int32_t n, bool stream) {
    const __m256i low7 = _mm256_set1_epi8(0x7F);
#define RC_HALF(v) _mm256_and_si256(_mm256_srli_epi16(v, 1), low7)
    int32_t x = 0;
    if (stream) {
        const int32_t lead = int32_t((32 - (reinterpret_cast<uintptr_t>(out) & 31)) & 31);
        if (lead % 4 != 0) stream = false;
        for (; x < lead / 4 && x < n; ++x) halveOne(a, c, out, x);
    }
    // eight outputs a step: even and odd pixels of two vectors picked apart
    // with a float shuffle (it moves whole 32-bit pixels)
#define RC_PICK(p, q, m) \
    _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(p), _mm256_castsi256_ps(q), m))
    for (; x + 8 <= n; x += 8) {
        // Both rows are read once, straight through, from far beyond the
        // first-level cache: ask for them a few lines ahead.
        _mm_prefetch(reinterpret_cast<const char*>(a + 8 * x + kHalvePrefetch), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(c + 8 * x + kHalvePrefetch), _MM_HINT_T0);
#define RC_LOAD_HALF(p) RC_HALF(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)))
        const __m256i a0 = RC_LOAD_HALF(a + 8 * x), a1 = RC_LOAD_HALF(a + 8 * x + 32);
        const __m256i c0 = RC_LOAD_HALF(c + 8 * x), c1 = RC_LOAD_HALF(c + 8 * x + 32);
#undef RC_LOAD_HALF
        const __m256i sa = _mm256_add_epi8(RC_PICK(a0, a1, 0x88), RC_PICK(a0, a1, 0xDD));
        const __m256i sc = _mm256_add_epi8(RC_PICK(c0, c1, 0x88), RC_PICK(c0, c1, 0xDD));
        // lanes hold outputs 0 1 4 5 | 2 3 6 7
        const __m256i r = _mm256_add_epi8(RC_HALF(sa), RC_HALF(sc));
        const __m256i result = _mm256_permute4x64_epi64(r, 0xD8);
        if (stream)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(out + 4 * x), result);
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), result);
    }
#undef RC_PICK
    for (; x + 4 <= n; x += 4) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 8 * x));
        const __m256i vc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + 8 * x));
        // even and odd pixels of each 128-bit lane side by side
        const __m256i ha = RC_HALF(va), hc = RC_HALF(vc);
        const __m256i sa =
            _mm256_add_epi8(_mm256_shuffle_epi32(ha, 0x88), _mm256_shuffle_epi32(ha, 0xDD));
        const __m256i sc =
            _mm256_add_epi8(_mm256_shuffle_epi32(hc, 0x88), _mm256_shuffle_epi32(hc, 0xDD));
        const __m256i r = _mm256_add_epi8(RC_HALF(sa), RC_HALF(sc));
        const __m256i packed = _mm256_permute4x64_epi64(r, 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm256_castsi256_si128(packed));
    }
    _mm256_zeroupper();
    for (; x < n; ++x) halveOne(a, c, out, x);
}
#endif

}  // namespace

void usePlainScaleKernels(bool plain) {
    gPlainOnly.store(plain);
}

void lerpBytes(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t n, int32_t f) {
    lerpBytesLoop(a, b, out, n, f);
}

void addBytes(uint32_t* sums, const uint8_t* s, int32_t n) {
    addBytesLoop(sums, s, n);
}

void divideSums(const uint32_t* sums, uint8_t* out, int32_t n, uint32_t j) {
    if (j <= 1) {
        for (int32_t i = 0; i < n; ++i) out[i] = uint8_t(sums[i]);
        return;
    }
    // floor(x / j) == (x * m) >> (24 + l) for x < 2^24, m = ceil(2^(24 + l) / j)
    int l = 0;
    while ((uint32_t{1} << l) < j) ++l;
    const int shift = 24 + l;
    const uint32_t magic = uint32_t(((uint64_t{1} << shift) + j - 1) / j);
    divideLoop(sums, out, n, magic, shift);
}

void lerpPixels(const uint8_t* line, int32_t lineWidth, uint8_t* out, const int32_t* i0,
                const int32_t* i1, const int32_t* f, int32_t n, bool stream) {
#ifdef RC_HAVE_X86
    if (avx2()) return lerpPixelsAvx2(line, lineWidth, out, i0, i1, f, n, stream);
#else
    (void)stream;
#endif
    for (int32_t x = 0; x < n; ++x)
        for (int c = 0; c < 4; ++c) {
            const int a = line[4 * i0[x] + c], b = line[4 * i1[x] + c];
            out[4 * x + c] = uint8_t(a + (((b - a) * f[x]) >> 8));
        }
}

void pickPixels(const uint8_t* line, uint8_t* out, const int32_t* cols, int32_t n) {
#ifdef RC_HAVE_X86
    if (avx2()) return pickPixelsAvx2(line, out, cols, n);
#endif
    for (int32_t x = 0; x < n; ++x) std::memcpy(out + 4 * x, line + 4 * cols[x], 4);
}

void halvePixels(const uint8_t* a, const uint8_t* c, uint8_t* out, int32_t n, bool stream) {
#ifdef RC_HAVE_X86
    if (avx2()) return halvePixelsAvx2(a, c, out, n, stream);
#else
    (void)stream;
#endif
    for (int32_t x = 0; x < n; ++x) halveOne(a, c, out, x);
}

void finishStreaming() {
#ifdef RC_HAVE_X86
    _mm_sfence();
#endif
}

}  // namespace rc::pix
