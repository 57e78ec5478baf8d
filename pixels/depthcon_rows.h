// Plain single-row kernels shared by the converters, the suites and the
// processor-specific variants (which hand their row tails to these).
#pragma once

#include <cstdint>
#include <cstring>

namespace rc::pix {

inline uint16_t pack555(uint32_t b, uint32_t g, uint32_t r) {
    return static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

inline uint32_t expand555(uint32_t v) {
    const uint32_t b = (v & 31u) << 3;
    const uint32_t g = ((v >> 5) & 31u) << 3;
    const uint32_t r = ((v >> 10) & 31u) << 3;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}
inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void store16(uint8_t* p, uint16_t v) {
    std::memcpy(p, &v, 2);
}

inline void row32To16(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x)
        store16(d + 2 * x, pack555(s[4 * x], s[4 * x + 1], s[4 * x + 2]));
}
inline void row24To16(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x)
        store16(d + 2 * x, pack555(s[3 * x], s[3 * x + 1], s[3 * x + 2]));
}
inline void row16To32(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x) store32(d + 4 * x, expand555(load16(s + 2 * x)));
}
inline void row16To24(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x) {
        const uint32_t v = load16(s + 2 * x);
        d[3 * x] = static_cast<uint8_t>((v & 31u) << 3);
        d[3 * x + 1] = static_cast<uint8_t>(((v >> 5) & 31u) << 3);
        d[3 * x + 2] = static_cast<uint8_t>(((v >> 10) & 31u) << 3);
    }
}
inline void row24To32(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x) {
        d[4 * x] = s[3 * x];
        d[4 * x + 1] = s[3 * x + 1];
        d[4 * x + 2] = s[3 * x + 2];
        d[4 * x + 3] = 255;
    }
}
inline void row32To24(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x) {
        d[3 * x] = s[4 * x];
        d[3 * x + 1] = s[4 * x + 1];
        d[3 * x + 2] = s[4 * x + 2];
    }
}
inline void row32ToQ32(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x) store32(d + 4 * x, __builtin_bswap32(load32(s + 4 * x)));
}
inline void row32ToQ16(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x) {
        const uint16_t v = pack555(s[4 * x], s[4 * x + 1], s[4 * x + 2]);
        d[2 * x] = static_cast<uint8_t>(v >> 8);
        d[2 * x + 1] = static_cast<uint8_t>(v);
    }
}
inline void row32ToQ24(const uint8_t* s, uint8_t* d, int32_t n) {
    for (int32_t x = 0; x < n; ++x) {
        d[3 * x] = s[4 * x + 2];
        d[3 * x + 1] = s[4 * x + 1];
        d[3 * x + 2] = s[4 * x];
    }
}
inline void rowCopy32(const uint8_t* s, uint8_t* d, int32_t n) {
    if (n > 0) std::memmove(d, s, static_cast<size_t>(n) * 4);
}

// Processor-specific row kernels (AVX2 or SSE2 when the processor has them,
// else the plain ones above). Results are identical to the plain kernels.
using RowFn = void (*)(const uint8_t*, uint8_t*, int32_t);
struct FastRows {
    RowFn to16;         // 32 -> 16
    RowFn from16;       // 16 -> 32
    RowFn to24;         // 32 -> 24
    RowFn from24;       // 24 -> 32
    RowFn toQ32;        // 32 -> Q32
    const char* level;  // "avx2", "sse2" or "plain"
};
// The kernels for the running processor.
const FastRows& fastRows();
// The kernels of one level, for tests and benchmarks: "avx2", "sse2", "plain".
// Returns null when the processor lacks the level.
const FastRows* fastRowsLevel(const char* level);

}  // namespace rc::pix
