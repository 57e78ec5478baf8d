// Helpers shared by the pixel tests: random images in padded memory with a
// guard zone, so that writes outside the rows are caught.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace pixtest {

inline std::mt19937& rng() {
    static std::mt19937 gen(12345);
    return gen;
}

inline void randomBytes(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(rng()() >> 24);
}

inline std::vector<uint8_t> randomVector(size_t n) {
    std::vector<uint8_t> v(n);
    randomBytes(v.data(), n);
    return v;
}

// Rows of `rowLen` bytes in a block with `pad` spare bytes after each row and
// guard zones at both ends. `negative` lays the rows out last-first so the
// stride between consecutive rows is negative.
struct RowBlock {
    static constexpr size_t kGuard = 64;
    std::vector<uint8_t> mem;
    size_t rowLen, stride;
    int32_t rows;
    bool negative;

    RowBlock(size_t len, int32_t n, size_t pad, bool neg, uint8_t fill = 0xCD)
        : rowLen(len), stride(len + pad), rows(n), negative(neg) {
        mem.assign(2 * kGuard + stride * (n > 0 ? n : 0) + 8, fill);
    }
    uint8_t* row(int32_t y) {
        const int32_t k = negative ? rows - 1 - y : y;
        return mem.data() + kGuard + stride * k;
    }
    uint8_t* first() { return row(0); }
    int32_t step() const {
        return negative ? -static_cast<int32_t>(stride) : static_cast<int32_t>(stride);
    }
    void randomize() { randomBytes(mem.data(), mem.size()); }
};

// Index of the first differing byte, -1 when equal (sizes must match).
inline long firstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return -2;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return -1;
}

// Resets the runtime state a pixel test relies on.
inline void resetRuntime() {
    SetupGlobals();
    InitMemoryMgr();
}

}  // namespace pixtest
