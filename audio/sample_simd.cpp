// AVX2 loops of AudioSum and AudioLimit, eight accumulator words at a time.
// They compute exactly what the scalar loops compute; the callers finish
// any tail.
#include "audio/sample_simd.h"

#include <atomic>

namespace rc::audio {

namespace {
std::atomic<bool> gScalarOnly{false};
}  // namespace

void setScalarKernelsOnly(bool on) {
    gScalarOnly.store(on);
}

bool scalarKernelsOnly() {
    return gScalarOnly.load();
}

}  // namespace rc::audio

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace rc::audio {

namespace {

// a + t, sticking at the ends of the 32-bit range.
__attribute__((target("avx2"))) inline __m256i addSaturated(__m256i a, __m256i t) {
    const __m256i sum = _mm256_add_epi32(a, t);
    // Overflow when a and t share a sign that the sum does not.
    const __m256i overflow = _mm256_and_si256(_mm256_xor_si256(a, sum), _mm256_xor_si256(t, sum));
    const __m256i limit = _mm256_xor_si256(_mm256_srai_epi32(a, 31), _mm256_set1_epi32(INT32_MAX));
    return _mm256_blendv_epi8(sum, limit, _mm256_srai_epi32(overflow, 31));
}

__attribute__((target("avx2"))) int32_t sum16Avx2(const int16_t* s, int32_t* acc, int32_t n,
                                                  int32_t g) {
    const __m256i gain = _mm256_set1_epi32(g);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i v =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
        const __m256i t = _mm256_srai_epi32(_mm256_mullo_epi32(v, gain), 8);
        auto* a = reinterpret_cast<__m256i*>(acc + i);
        _mm256_storeu_si256(a, addSaturated(_mm256_loadu_si256(a), t));
    }
    return i;
}

__attribute__((target("avx2"))) int32_t sum8Avx2(const uint8_t* s, int32_t* acc, int32_t n,
                                                 int32_t g) {
    const __m256i gain = _mm256_set1_epi32(g);
    const __m256i bias = _mm256_set1_epi32(128);
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i v = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + i))), bias);
        auto* a = reinterpret_cast<__m256i*>(acc + i);
        _mm256_storeu_si256(a, addSaturated(_mm256_loadu_si256(a), _mm256_mullo_epi32(v, gain)));
    }
    return i;
}

__attribute__((target("avx2"))) int32_t limit16Avx2(const int32_t* acc, int16_t* out, int32_t n) {
    const __m256i lo = _mm256_set1_epi32(-0x80000), hi = _mm256_set1_epi32(0x7FFFF);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc + i + 8));
        const __m256i ca = _mm256_srai_epi32(_mm256_min_epi32(_mm256_max_epi32(a, lo), hi), 4);
        const __m256i cb = _mm256_srai_epi32(_mm256_min_epi32(_mm256_max_epi32(b, lo), hi), 4);
        // packs works within 128-bit halves; the permute puts them in order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(ca, cb), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), packed);
    }
    return i;
}

__attribute__((target("avx2"))) int32_t limit8Avx2(const int32_t* acc, uint8_t* out, int32_t n) {
    const __m256i lo = _mm256_set1_epi32(-128), hi = _mm256_set1_epi32(127);
    const __m256i bias = _mm256_set1_epi32(128);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc + i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(acc + i + 8));
        a = _mm256_add_epi32(_mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(a, 12), lo), hi),
                             bias);
        b = _mm256_add_epi32(_mm256_min_epi32(_mm256_max_epi32(_mm256_srai_epi32(b, 12), lo), hi),
                             bias);
        const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
    }
    return i;
}

int32_t none16(const int16_t*, int32_t*, int32_t, int32_t) {
    return 0;
}
int32_t none8(const uint8_t*, int32_t*, int32_t, int32_t) {
    return 0;
}
int32_t noneLimit16(const int32_t*, int16_t*, int32_t) {
    return 0;
}
int32_t noneLimit8(const int32_t*, uint8_t*, int32_t) {
    return 0;
}

}  // namespace

SampleKernels sampleKernels() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && !scalarKernelsOnly()) return {sum16Avx2, sum8Avx2, limit16Avx2, limit8Avx2};
    return {none16, none8, noneLimit16, noneLimit8};
}

}  // namespace rc::audio

#else

namespace rc::audio {

namespace {
int32_t none16(const int16_t*, int32_t*, int32_t, int32_t) {
    return 0;
}
int32_t none8(const uint8_t*, int32_t*, int32_t, int32_t) {
    return 0;
}
int32_t noneLimit16(const int32_t*, int16_t*, int32_t) {
    return 0;
}
int32_t noneLimit8(const int32_t*, uint8_t*, int32_t) {
    return 0;
}
}  // namespace

SampleKernels sampleKernels() {
    return {none16, none8, noneLimit16, noneLimit8};
}

}  // namespace rc::audio

#endif
