// DoNewImpose: the source laid over the destination through a 256-entry
// coverage table indexed by the source alpha, for straight ('a'), black-
// premultiplied ('b') and white-premultiplied ('w') sources.
#include <algorithm>
#include <array>
#include <cstring>

#include "reelcore/mp.h"
#include "timeline/keying/keying_internal.h"
#include "timeline/mp_bands.h"

namespace rc::keying {

namespace {

using Table64k = std::array<uint8_t, 65536>;

// [a * 256 + s]: a colour premultiplied on white back to its straight value,
// max(0, s - (255 - a)) * 255 / a, kept to 8 bits.
const Table64k& unwhiteTable() {
    static const Table64k table = [] {
        Table64k t{};
        for (int32_t a = 1; a < 256; ++a)
            for (int32_t s = 0; s < 256; ++s)
                t[a * 256 + s] = uint8_t(std::min(255, std::max(0, s - (255 - a)) * 255 / a));
        return t;
    }();
    return table;
}

// [a * 256 + s]: a colour premultiplied on black back to its straight value
// s * 256 / a, clamped to 255 (colours above their alpha would overflow).
const Table64k& unblackTable() {
    static const Table64k table = [] {
        Table64k t{};
        for (int32_t a = 1; a < 256; ++a)
            for (int32_t s = 0; s < 256; ++s) t[a * 256 + s] = uint8_t(std::min(255, s * 256 / a));
        return t;
    }();
    return table;
}

inline void blendStraight(const uint8_t* c, uint32_t a, uint32_t f, uint8_t* d) {
    const uint32_t g = 255 - f;
    d[0] = uint8_t(div255(c[0] * f + d[0] * g));
    d[1] = uint8_t(div255(c[1] * f + d[1] * g));
    d[2] = uint8_t(div255(c[2] * f + d[2] * g));
    d[3] = uint8_t(a + div255((255 - a) * d[3]));
}

void rowNormal(const uint8_t* s, uint8_t* d, int32_t width, const FmCoverageEntry* table) {
    for (int32_t x = 0; x < width; ++x, s += 4, d += 4) {
        const FmCoverageEntry e = table[s[3]];
        if (e.flag == 0)
            std::memcpy(d, s, 4);
        else if (e.factor)
            blendStraight(s, s[3], e.factor, d);
    }
}

void rowWhite(const uint8_t* s, uint8_t* d, int32_t width, const FmCoverageEntry* table) {
    const uint8_t* unwhite = unwhiteTable().data();
    for (int32_t x = 0; x < width; ++x, s += 4, d += 4) {
        const uint32_t a = s[3];
        if (a == 0) continue;
        const FmCoverageEntry e = table[a];
        if (e.flag == 0) {
            std::memcpy(d, s, 4);
        } else if (e.factor) {
            const uint8_t* u = unwhite + a * 256;
            const uint8_t c[3] = {u[s[0]], u[s[1]], u[s[2]]};
            blendStraight(c, a, e.factor, d);
        }
    }
}

void rowBlack(const uint8_t* s, uint8_t* d, int32_t width, const FmCoverageEntry* table) {
    const uint8_t* unblack = unblackTable().data();
    for (int32_t x = 0; x < width; ++x, s += 4, d += 4) {
        const uint32_t a = s[3];
        if (a == 0) continue;  // nothing to un-premultiply
        const FmCoverageEntry e = table[a];
        if (e.flag == 0) {
            std::memcpy(d, s, 4);
        } else if (e.factor) {
            const uint32_t f = e.factor, g = e.flag;
            const uint8_t* u = unblack + a * 256;
            for (int c = 0; c < 3; ++c) d[c] = uint8_t((u[s[c]] * f >> 8) + (d[c] * g >> 8));
            d[3] = uint8_t(d[3] + (a * (255 - d[3]) * f >> 16));
        }
    }
}

}  // namespace

void imposeRows(int32_t mode, const uint8_t* src, intptr_t srcStride, uint8_t* dst,
                intptr_t dstStride, int32_t width, int32_t rows, const FmCoverageEntry* table) {
    auto row = mode == kImposeWhite ? rowWhite : mode == kImposeBlack ? rowBlack : rowNormal;
    for (int32_t y = 0; y < rows; ++y) row(src + srcStride * y, dst + dstStride * y, width, table);
}

}  // namespace rc::keying

RC_API void DoNewImpose(int32_t mode, const void* src, void* dst, int32_t rowBytes, int32_t width,
                        int32_t rows, const FmCoverageEntry* table) {
    if (!src || !dst || !table || width <= 0 || rows <= 0) return;
    if (mode != kImposeNormal && mode != kImposeBlack && mode != kImposeWhite) return;
    const auto* s = static_cast<const uint8_t*>(src);
    auto* d = static_cast<uint8_t*>(dst);
    rc::mp::runRowBands(rows, kMPMinSplitRows, [&](int32_t first, int32_t count) {
        const intptr_t offset = intptr_t(rowBytes) * first;
        rc::keying::imposeRows(mode, s + offset, rowBytes, d + offset, rowBytes, width, count,
                               table);
    });
}

RC_API void WhiteImpose(const void* src, void* dst, int32_t rowBytes, int32_t width, int32_t rows,
                        const FmCoverageEntry* table) {
    DoNewImpose(kImposeWhite, src, dst, rowBytes, width, rows, table);
}
