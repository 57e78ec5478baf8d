// Processor-specific row kernels. The AVX2 kernels are compiled for that
// instruction set only (function attributes) and chosen at run time; SSE2 is
// part of every x86-64 processor. Row tails go to the plain kernels. Every
// AVX2 kernel clears the upper register halves before it leaves its vector
// loop, so no SSE code after it (ours or the caller's) pays the transition.
#include <cstring>

#include "pixels/depthcon_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RC_HAVE_X86 1
#endif

namespace rc::pix {
namespace {

#ifdef RC_HAVE_X86

// ---- SSE2 ----

void sse2To16(const uint8_t* s, uint8_t* d, int32_t n) {
    const __m128i mb = _mm_set1_epi32(0x1F), mg = _mm_set1_epi32(0x3E0),
                  mr = _mm_set1_epi32(0x7C00);
    int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x + 16));
        auto pack = [&](__m128i v) {
            return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 3), mb),
                                             _mm_and_si128(_mm_srli_epi32(v, 6), mg)),
                                _mm_and_si128(_mm_srli_epi32(v, 9), mr));
        };
        // values stay below 0x8000, so the signed pack cannot saturate
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * x), _mm_packs_epi32(pack(a), pack(b)));
    }
    row32To16(s + 4 * x, d + 2 * x, n - x);
}

void sse2From16(const uint8_t* s, uint8_t* d, int32_t n) {
    const __m128i mb = _mm_set1_epi32(0x1F), mg = _mm_set1_epi32(0x3E0),
                  mr = _mm_set1_epi32(0x7C00);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x));
        auto expand = [&](__m128i w) {
            return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(w, mb), 3),
                                             _mm_slli_epi32(_mm_and_si128(w, mg), 6)),
                                _mm_or_si128(_mm_slli_epi32(_mm_and_si128(w, mr), 9), alpha));
        };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x),
                         expand(_mm_unpacklo_epi16(v, zero)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x + 16),
                         expand(_mm_unpackhi_epi16(v, zero)));
    }
    row16To32(s + 2 * x, d + 4 * x, n - x);
}

void sse2ToQ32(const uint8_t* s, uint8_t* d, int32_t n) {
    int32_t x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * x));
        // swap bytes in each 16-bit half, then the halves
        __m128i w = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        w = _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, 0xB1), 0xB1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x), w);
    }
    row32ToQ32(s + 4 * x, d + 4 * x, n - x);
}

// ---- AVX2 ----

__attribute__((target("avx2"))) inline __m256i avx2Pack555(__m256i v, __m256i mb, __m256i mg,
                                                           __m256i mr) {
    return _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(v, 3), mb),
                                           _mm256_and_si256(_mm256_srli_epi32(v, 6), mg)),
                           _mm256_and_si256(_mm256_srli_epi32(v, 9), mr));
}

__attribute__((target("avx2"))) void avx2To16(const uint8_t* s, uint8_t* d, int32_t n) {
    const __m256i mb = _mm256_set1_epi32(0x1F), mg = _mm256_set1_epi32(0x3E0),
                  mr = _mm256_set1_epi32(0x7C00);
    int32_t x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * x));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * x + 32));
        const __m256i p =
            _mm256_packs_epi32(avx2Pack555(a, mb, mg, mr), avx2Pack555(b, mb, mg, mr));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 2 * x),
                            _mm256_permute4x64_epi64(p, 0xD8));
    }
    // the tail runs SSE2 code: leave the upper halves clean first
    _mm256_zeroupper();
    sse2To16(s + 4 * x, d + 2 * x, n - x);
}

__attribute__((target("avx2"))) void avx2From16(const uint8_t* s, uint8_t* d, int32_t n) {
    const __m256i mb = _mm256_set1_epi32(0x1F), mg = _mm256_set1_epi32(0x3E0),
                  mr = _mm256_set1_epi32(0x7C00);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int32_t x = 0;
    for (; x + 16 <= n; x += 16) {
        for (int half = 0; half < 2; ++half) {
            const __m256i w = _mm256_cvtepu16_epi32(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x + 16 * half)));
            const __m256i v = _mm256_or_si256(
                _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(w, mb), 3),
                                _mm256_slli_epi32(_mm256_and_si256(w, mg), 6)),
                _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(w, mr), 9), alpha));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * x + 32 * half), v);
        }
    }
    _mm256_zeroupper();
    sse2From16(s + 2 * x, d + 4 * x, n - x);
}

__attribute__((target("avx2"))) void avx2To24(const uint8_t* s, uint8_t* d, int32_t n) {
    // per 128-bit lane: 4 pixels -> 12 bytes in the low part of the lane
    const __m256i shuf = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                          1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i gather = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * x));
        const __m256i p = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, shuf), gather);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * x), _mm256_castsi256_si128(p));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 3 * x + 16),
                         _mm256_extracti128_si256(p, 1));
    }
    _mm256_zeroupper();
    row32To24(s + 4 * x, d + 3 * x, n - x);
}

__attribute__((target("avx2"))) void avx2From24(const uint8_t* s, uint8_t* d, int32_t n) {
    const __m256i shuf = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                          1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int32_t x = 0;
    // each step reads 28 bytes for 8 pixels (24 bytes), so keep 2 pixels spare
    for (; x + 10 <= n; x += 8) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x + 12));
        const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * x),
                            _mm256_or_si256(_mm256_shuffle_epi8(v, shuf), alpha));
    }
    _mm256_zeroupper();
    row24To32(s + 3 * x, d + 4 * x, n - x);
}

__attribute__((target("avx2"))) void avx2ToQ32(const uint8_t* s, uint8_t* d, int32_t n) {
    const __m256i shuf = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3,
                                          2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * x));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * x), _mm256_shuffle_epi8(v, shuf));
    }
    _mm256_zeroupper();
    row32ToQ32(s + 4 * x, d + 4 * x, n - x);
}

#endif  // RC_HAVE_X86

void plainTo16(const uint8_t* s, uint8_t* d, int32_t n) {
    row32To16(s, d, n);
}
void plainFrom16(const uint8_t* s, uint8_t* d, int32_t n) {
    row16To32(s, d, n);
}
void plainTo24(const uint8_t* s, uint8_t* d, int32_t n) {
    row32To24(s, d, n);
}
void plainFrom24(const uint8_t* s, uint8_t* d, int32_t n) {
    row24To32(s, d, n);
}
void plainToQ32(const uint8_t* s, uint8_t* d, int32_t n) {
    row32ToQ32(s, d, n);
}

const FastRows kPlain{plainTo16, plainFrom16, plainTo24, plainFrom24, plainToQ32, "plain"};
#ifdef RC_HAVE_X86
// SSE2 has no byte shuffle, so the 24-bit kernels stay plain at that level.
const FastRows kSse2{sse2To16, sse2From16, plainTo24, plainFrom24, sse2ToQ32, "sse2"};
const FastRows kAvx2{avx2To16, avx2From16, avx2To24, avx2From24, avx2ToQ32, "avx2"};
#endif

}  // namespace

const FastRows* fastRowsLevel(const char* level) {
    if (std::strcmp(level, "plain") == 0) return &kPlain;
#ifdef RC_HAVE_X86
    if (std::strcmp(level, "sse2") == 0) return &kSse2;
    if (std::strcmp(level, "avx2") == 0) return __builtin_cpu_supports("avx2") ? &kAvx2 : nullptr;
#endif
    return nullptr;
}

const FastRows& fastRows() {
    static const FastRows* chosen = [] {
        const FastRows* f = fastRowsLevel("avx2");
        if (!f) f = fastRowsLevel("sse2");
        return f ? f : &kPlain;
    }();
    return *chosen;
}

}  // namespace rc::pix
