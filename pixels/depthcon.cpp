// Row converters between the pixel layouts.
#include "reelcore/depthcon.h"

#include <cstring>

#include "pixels/blitters_internal.h"
#include "pixels/depthcon_rows.h"
#include "pixels/mp_bands.h"
#include "reelcore/globals.h"

using namespace rc::pix;

namespace {

bool badShape(int32_t width, int32_t rows, const void* src, const void* dst) {
    return width <= 0 || rows <= 0 || !src || !dst;
}

// Applies a row kernel to every row; dstStep is the signed step between
// destination rows (minus the stride for the flipping converters).
template <typename RowF>
void eachRow(const void* src, void* dst, int32_t rows, int32_t srcStride, int32_t dstStep,
             RowF row) {
    const uint8_t* s = static_cast<const uint8_t*>(src);
    uint8_t* d = static_cast<uint8_t*>(dst);
    for (int32_t y = 0; y < rows; ++y) {
        row(s, d);
        s += srcStride;
        d += dstStep;
    }
}

// The kernels the converters use: processor-specific when slot 338 allows.
const FastRows& rowsForProcessor() {
    static const FastRows* plain = fastRowsLevel("plain");
    return GetAGlobal(kSlotIsMMX) ? fastRows() : *plain;
}

struct BandedRows {
    const void* src;
    void* dst;
    int32_t width, srcStride, dstStride;
    RowFn fn;
};

void bandedRowsJob(void* ctx, int32_t first, int32_t count) {
    const BandedRows& b = *static_cast<const BandedRows*>(ctx);
    const uint8_t* s = rowAt(b.src, first, b.srcStride);
    uint8_t* d = rowAt(b.dst, first, b.dstStride);
    eachRow(s, d, count, b.srcStride, b.dstStride,
            [&](const uint8_t* sr, uint8_t* dr) { b.fn(sr, dr, b.width); });
}

void splitOverProcessors(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                         int32_t dstStride, RowFn fn) {
    BandedRows b{src, dst, width, srcStride, dstStride, fn};
    runRowBands(rows, bandedRowsJob, &b);
}

}  // namespace

RC_API void DepthCon32To16(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    splitOverProcessors(src, dst, width, rows, srcStride, dstStride, rowsForProcessor().to16);
}

RC_API void DepthCon24To16(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    eachRow(src, dst, rows, srcStride, dstStride,
            [&](const uint8_t* s, uint8_t* d) { row24To16(s, d, width); });
}

RC_API void DepthCon8To16(const void* src, void* dst, int32_t width, int32_t rows,
                          int32_t srcStride, int32_t dstStride) {
    DepthCon24To16(src, dst, width, rows, srcStride, dstStride);
}

RC_API void DepthCon16To24(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    eachRow(src, dst, rows, srcStride, dstStride,
            [&](const uint8_t* s, uint8_t* d) { row16To24(s, d, width); });
}

RC_API void DepthCon16To32(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    splitOverProcessors(src, dst, width, rows, srcStride, dstStride, rowsForProcessor().from16);
}

RC_API void DepthCon8To24(const void* src, void* dst, int32_t width, int32_t rows,
                          int32_t srcStride, int32_t dstStride, const uint32_t* table) {
    if (badShape(width, rows, src, dst) || !table) return;
    eachRow(src, dst, rows, srcStride, dstStride, [&](const uint8_t* s, uint8_t* d) {
        for (int32_t x = 0; x < width; ++x) store32(d + 4 * x, table[s[x]]);
    });
}

RC_API void DepthCon8To32(const void* src, void* dst, int32_t width, int32_t rows,
                          int32_t srcStride, int32_t dstStride, const uint32_t* table) {
    if (badShape(width, rows, src, dst) || !table) return;
    eachRow(src, dst, rows, srcStride, dstStride, [&](const uint8_t* s, uint8_t* d) {
        for (int32_t x = 0; x < width; ++x) store32(d + 4 * x, table[s[x]] | 0xFF000000u);
    });
}

RC_API void DepthCon24To32(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    callSuiteEntry(kBN24To32, src, dst, width, rows, srcStride, dstStride);
}

RC_API void DepthCon32To24(const void* src, void* dst, int32_t width, int32_t rows,
                           int32_t srcStride, int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    callSuiteEntry(kBN32To24, src, dst, width, rows, srcStride, dstStride);
}

RC_API void Copy32(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                   int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    callSuiteEntry(kBNCopy32, src, dst, width, rows, srcStride, dstStride);
}

RC_API void DepthCon1(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                      int32_t dstStride, uint32_t background, uint32_t foreground) {
    if (badShape(width, rows, src, dst)) return;
    eachRow(src, dst, rows, srcStride, dstStride, [&](const uint8_t* s, uint8_t* d) {
        for (int32_t x = 0; x < width; ++x) {
            const bool set = (s[x >> 3] >> (7 - (x & 7))) & 1;
            store32(d + 4 * x, set ? foreground : background);
        }
    });
}

RC_API void AReduce24(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                      int32_t dstStride, const uint8_t* table) {
    if (badShape(width, rows, src, dst) || !table) return;
    eachRow(src, dst, rows, srcStride, dstStride, [&](const uint8_t* s, uint8_t* d) {
        for (int32_t x = 0; x < width; ++x)
            d[x] = table[pack555(s[3 * x], s[3 * x + 1], s[3 * x + 2])];
    });
}

RC_API void AReduce32(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                      int32_t dstStride, const uint8_t* table) {
    if (badShape(width, rows, src, dst) || !table) return;
    eachRow(src, dst, rows, srcStride, dstStride, [&](const uint8_t* s, uint8_t* d) {
        for (int32_t x = 0; x < width; ++x)
            d[x] = table[pack555(s[4 * x], s[4 * x + 1], s[4 * x + 2])];
    });
}

RC_API void DepthCon32ToQ16(const void* src, void* dst, int32_t width, int32_t rows,
                            int32_t srcStride, int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    eachRow(src, dst, rows, srcStride, -dstStride,
            [&](const uint8_t* s, uint8_t* d) { row32ToQ16(s, d, width); });
}

RC_API void Con32ToQ32(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                       int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    const RowFn fn = rowsForProcessor().toQ32;
    eachRow(src, dst, rows, srcStride, -dstStride,
            [&](const uint8_t* s, uint8_t* d) { fn(s, d, width); });
}

RC_API void Con32ToQ24(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                       int32_t dstStride) {
    if (badShape(width, rows, src, dst)) return;
    eachRow(src, dst, rows, srcStride, -dstStride,
            [&](const uint8_t* s, uint8_t* d) { row32ToQ24(s, d, width); });
}

RC_API void CopyIGLine(const void* src, void* dst, int32_t width) {
    if (badShape(width, 1, src, dst)) return;
    const uint8_t* s = static_cast<const uint8_t*>(src);
    uint8_t* d = static_cast<uint8_t*>(dst);
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t b = s[4 * x], g = s[4 * x + 1], r = s[4 * x + 2], a = s[4 * x + 3];
        d[4 * x] = r;
        d[4 * x + 1] = g;
        d[4 * x + 2] = b;
        d[4 * x + 3] = a;
    }
}

RC_API void PackAlpha(const void* src, void* dst, int32_t width) {
    DepthCon32To24(src, dst, width, 1, 0, 0);
}

RC_API void UnpackAlpha(const void* src, void* dst, int32_t width) {
    DepthCon24To32(src, dst, width, 1, 0, 0);
}

RC_API void PalToRGB(const FmPaletteEntry* entries, void* dst, int32_t count) {
    if (!entries || !dst) return;
    uint8_t* d = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < count; ++i) {
        d[4 * i] = entries[i].blue;
        d[4 * i + 1] = entries[i].green;
        d[4 * i + 2] = entries[i].red;
        d[4 * i + 3] = 0;
    }
}

RC_API void PalToRGBQuad(const FmLogPalette* palette, void* colorTable, int32_t start) {
    if (!palette || !colorTable || start < 0 || start > 255) return;
    int32_t count = palette->count < 255 ? palette->count : 255;
    if (count > 256 - start) count = 256 - start;
    PalToRGB(palette->entries, static_cast<uint8_t*>(colorTable) + 4 * start, count);
}
