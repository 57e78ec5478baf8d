// Colour reduction: the 15-bit histogram, the box-split palette builder, the
// inverse lookup, pixel reduction and the ordered dither.
#include <algorithm>
#include <cstring>
#include <vector>

#include "pixels/dib.h"
#include "reelcore/depthcon.h"
#include "reelcore/imagefilters.h"
#include "reelcore/memory.h"

namespace rc::pix {

bool openDib(const FmBitmapInfoHeader* h, const void* bits, DibView& v) {
    if (!h || h->size < 40 || h->width <= 0 || h->height == 0 || h->height == INT32_MIN)
        return false;
    if (h->compression != 0) return false;
    const int32_t bc = h->bitCount;
    if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return false;
    if (dibRowBytes64(h->width, bc) > INT32_MAX) return false;
    v.header = h;
    v.bitCount = bc;
    v.width = h->width;
    v.bottomUp = h->height > 0;
    v.height = v.bottomUp ? h->height : -h->height;
    v.rowBytes = dibRowBytes(v.width, bc);
    uint32_t n = h->clrUsed;
    if (bc <= 8) {
        const uint32_t full = 1u << bc;
        if (n == 0 || n > full) n = full;
    } else if (n > 256) {
        return false;
    }
    v.colorCount = static_cast<int32_t>(n);
    v.colors = reinterpret_cast<const uint8_t*>(h) + h->size;
    v.bits = bits ? static_cast<const uint8_t*>(bits) : v.colors + 4 * n;
    return true;
}

uint32_t dibPixel(const DibView& v, const uint8_t* row, int32_t x) {
    uint32_t index;
    switch (v.bitCount) {
        case 1:
            index = (row[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case 4:
            index = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
            break;
        case 8:
            index = row[x];
            break;
        case 16: {
            const uint32_t w = row[2 * x] | (row[2 * x + 1] << 8);
            return (((w >> 10) & 31) << 19) | (((w >> 5) & 31) << 11) | ((w & 31) << 3);
        }
        case 24:
            return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
        default:
            return row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16);
    }
    if (static_cast<int32_t>(index) >= v.colorCount) return 0;
    const uint8_t* c = v.colors + 4 * index;
    return c[0] | (c[1] << 8) | (c[2] << 16);
}

namespace {

// The library's own colours for the reserved ends of a 256-entry palette.
const FmPaletteEntry kFixedLow[10] = {
    {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0}, {224, 224, 224, 0}, {176, 208, 240, 0}};
const FmPaletteEntry kFixedHigh[10] = {
    {248, 248, 240, 0}, {160, 160, 160, 0}, {96, 96, 96, 0},  {255, 0, 0, 0},   {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0}};

constexpr double kFreshScore = 9999999.0;

// Axis 0 red (code bits 10-14), 1 green (5-9), 2 blue (0-4).
inline uint32_t codeOf(const int c[3]) {
    return (c[0] << 10) | (c[1] << 5) | c[2];
}

struct Box {
    int lo[3], hi[3];
    uint64_t population = 0;
    double score = 0;
    int cutAxis = -1, cutPos = 0;  // best cut, when scored
};

// Counts along each axis and the population.
void marginals(const uint32_t* hist, const Box& b, uint64_t m[3][32], uint64_t& pop) {
    std::memset(m, 0, sizeof(uint64_t) * 96);
    pop = 0;
    int c[3];
    for (c[0] = b.lo[0]; c[0] <= b.hi[0]; ++c[0])
        for (c[1] = b.lo[1]; c[1] <= b.hi[1]; ++c[1])
            for (c[2] = b.lo[2]; c[2] <= b.hi[2]; ++c[2]) {
                const uint32_t n = hist[codeOf(c)];
                if (!n) continue;
                m[0][c[0]] += n;
                m[1][c[1]] += n;
                m[2][c[2]] += n;
                pop += n;
            }
}

// Scores a box: the largest variance gain over cuts that leave both sides
// populated (0 when there is none).
void scoreBox(const uint32_t* hist, Box& b) {
    uint64_t m[3][32];
    marginals(hist, b, m, b.population);
    b.score = 0;
    b.cutAxis = -1;
    const double n = static_cast<double>(b.population);
    if (b.population == 0) return;
    for (int a = 0; a < 3; ++a) {
        double sum = 0;
        for (int v = b.lo[a]; v <= b.hi[a]; ++v) sum += double(v) * m[a][v];
        const double mean = sum / n;
        uint64_t nLow = 0;
        double sumLow = 0;
        for (int cut = b.lo[a] + 1; cut <= b.hi[a]; ++cut) {
            nLow += m[a][cut - 1];
            sumLow += double(cut - 1) * m[a][cut - 1];
            if (nLow == 0 || nLow == b.population) continue;
            const double meanLow = sumLow / nLow;
            const double gain = (mean - meanLow) * (mean - meanLow) * nLow / (n - nLow);
            if (gain > b.score) {
                b.score = gain;
                b.cutAxis = a;
                b.cutPos = cut;
            }
        }
    }
}

}  // namespace
}  // namespace rc::pix

using namespace rc::pix;

RC_API Handle InitHistogram(Handle histogram) {
    if (histogram) return histogram;
    return FmNewHandleClear(kHistogramBytes);
}

RC_API void FreeHistogram(Handle histogram) {
    if (histogram) FmDisposeHandle(histogram);
}

RC_API int32_t DibHistogram(const FmBitmapInfoHeader* header, const void* bits, int32_t left,
                            int32_t top, int32_t right, int32_t bottom, Handle histogram) {
    if (!header || !histogram || !*histogram || FmGetHandleSize(histogram) < kHistogramBytes)
        return 0;
    DibView v;
    if (!openDib(header, bits, v)) return 0;
    if (right < 0 || right > v.width) right = v.width;
    if (bottom < 0 || bottom > v.height) bottom = v.height;
    left = std::max(left, 0);
    top = std::max(top, 0);
    uint32_t* counts = reinterpret_cast<uint32_t*>(*histogram);
    for (int32_t y = top; y < bottom; ++y) {
        const uint8_t* row = v.row(y);
        for (int32_t x = left; x < right; ++x) {
            uint32_t& c = counts[code15(dibPixel(v, row, x))];
            if (c != 0xFFFFFFFFu) ++c;
        }
    }
    return 1;
}

RC_API FmLogPalette* HistogramPalette(Handle histogram, uint8_t* lookup, int32_t colors) {
    if (!histogram || !*histogram || FmGetHandleSize(histogram) < kHistogramBytes) return nullptr;
    uint32_t* hist = reinterpret_cast<uint32_t*>(*histogram);
    // keep every counter within 16 bits
    for (;;) {
        uint32_t largest = 0;
        for (int i = 0; i < 32768; ++i) largest = std::max(largest, hist[i]);
        if (largest <= 65535) break;
        for (int i = 0; i < 32768; ++i)
            if (hist[i]) hist[i] >>= 1;
    }
    const int32_t boxCount = std::clamp(colors, 1, static_cast<int32_t>(kMaxPaletteBoxes));
    std::vector<Box> boxes;
    boxes.reserve(boxCount);
    Box whole;
    for (int a = 0; a < 3; ++a) whole.lo[a] = 0, whole.hi[a] = 31;
    whole.score = kFreshScore;
    boxes.push_back(whole);
    while (static_cast<int32_t>(boxes.size()) < boxCount) {
        size_t head = 0;
        for (size_t i = 1; i < boxes.size(); ++i)
            if (boxes[i].score > boxes[head].score) head = i;
        if (boxes[head].score <= 0) break;
        if (boxes[head].cutAxis < 0) {
            scoreBox(hist, boxes[head]);  // a fresh box has no cut yet
            continue;
        }
        Box low = boxes[head], high = boxes[head];
        const int a = low.cutAxis;
        low.hi[a] = low.cutPos - 1;
        high.lo[a] = high.cutPos;
        scoreBox(hist, low);
        scoreBox(hist, high);
        boxes[head] = low;
        boxes.push_back(high);
    }
    for (Box& b : boxes) {
        uint64_t m[3][32];
        marginals(hist, b, m, b.population);
    }
    std::stable_sort(boxes.begin(), boxes.end(),
                     [](const Box& x, const Box& y) { return x.population > y.population; });

    const bool full = colors > kMaxPaletteBoxes;
    const int32_t entries = full ? 256 : static_cast<int32_t>(boxes.size());
    const int32_t first = full ? 10 : 0;
    FmLogPalette* lp = reinterpret_cast<FmLogPalette*>(FmNewPtrClear(4 + 4 * entries));
    if (!lp) return nullptr;
    lp->version = 0x300;
    lp->count = static_cast<uint16_t>(entries);
    if (full) {
        std::memcpy(&lp->entries[0], kFixedLow, sizeof kFixedLow);
        std::memcpy(&lp->entries[246], kFixedHigh, sizeof kFixedHigh);
    }
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& b = boxes[i];
        uint64_t m[3][32];
        uint64_t n;
        marginals(hist, b, m, n);
        uint8_t rgb[3] = {0, 0, 0};
        if (n) {
            for (int a = 0; a < 3; ++a) {
                uint64_t sum = 0;
                for (int v = b.lo[a]; v <= b.hi[a]; ++v) sum += uint64_t(v) * m[a][v];
                rgb[a] = static_cast<uint8_t>((((sum + n / 2) * 255) / n) >> 5);
            }
        }
        FmPaletteEntry& e = lp->entries[first + i];
        e.red = rgb[0], e.green = rgb[1], e.blue = rgb[2], e.flags = 0;
        if (lookup) {
            int c[3];
            for (c[0] = b.lo[0]; c[0] <= b.hi[0]; ++c[0])
                for (c[1] = b.lo[1]; c[1] <= b.hi[1]; ++c[1])
                    for (c[2] = b.lo[2]; c[2] <= b.hi[2]; ++c[2])
                        lookup[codeOf(c)] = static_cast<uint8_t>(first + i);
        }
    }
    return lp;
}

RC_API void MakePalLookup(uint8_t* lookup, const FmLogPalette* lp) {
    if (!lookup || !lp) return;
    const int32_t n = std::min<int32_t>(lp->count, 256);
    if (n <= 0) {
        std::memset(lookup, 0, kPalLookupBytes);
        return;
    }
    for (int32_t code = 0; code < 32768; ++code) {
        const int r = ((code >> 10) & 31) * 8, g = ((code >> 5) & 31) * 8, b = (code & 31) * 8;
        int best = 0;
        int32_t bestDist = INT32_MAX;
        for (int32_t i = 0; i < n; ++i) {
            const FmPaletteEntry& e = lp->entries[i];
            const int32_t dr = e.red - r, dg = e.green - g, db = e.blue - b;
            const int32_t dist = dr * dr + dg * dg + db * db;
            if (dist < bestDist) bestDist = dist, best = i;
        }
        lookup[code] = static_cast<uint8_t>(best);
    }
}

namespace {

int32_t paletteEntries(const FmLogPalette* palette) {
    return palette ? std::min<int32_t>(palette->count, 256) : 0;
}

// Writes the indices of `v` into 8-bit rows (same row order as the source).
void reduceInto(const DibView& v, uint8_t* dst, const uint8_t* lookup) {
    const int32_t dstRow = dibRowBytes(v.width, 8);
    for (int32_t y = 0; y < v.height; ++y) {
        // memory row order is kept: row(y) and the destination row share orientation
        const uint8_t* s = v.row(y);
        uint8_t* d = dst + static_cast<intptr_t>(v.bottomUp ? v.height - 1 - y : y) * dstRow;
        if (v.bitCount == 24) {
            AReduce24(s, d, v.width, 1, 0, 0, lookup);
        } else if (v.bitCount == 32) {
            AReduce32(s, d, v.width, 1, 0, 0, lookup);
        } else {
            for (int32_t x = 0; x < v.width; ++x) d[x] = lookup[code15(dibPixel(v, s, x))];
        }
        std::memset(d + v.width, 0, dstRow - v.width);
    }
}

void fillHeader8(FmBitmapInfoHeader& h, const DibView& v, int32_t colors) {
    std::memset(&h, 0, sizeof h);
    h.size = 40;
    h.width = v.width;
    h.height = v.header->height;
    h.planes = 1;
    h.bitCount = 8;
    h.sizeImage = static_cast<uint32_t>(dibRowBytes(v.width, 8)) * v.height;
    h.clrUsed = static_cast<uint32_t>(colors);
}

}  // namespace

RC_API int32_t ReducePixels(const FmBitmapInfoHeader* srcHeader, const void* srcBits,
                            FmBitmapInfoHeader* dstHeader, void* dstBits,
                            const FmLogPalette* palette, const uint8_t* lookup) {
    DibView v;
    if (!lookup || !dstBits || !openDib(srcHeader, srcBits, v)) return 0;
    reduceInto(v, static_cast<uint8_t*>(dstBits), lookup);
    if (dstHeader) fillHeader8(*dstHeader, v, paletteEntries(palette));
    return 1;
}

RC_API Handle DibReduce(const FmBitmapInfoHeader* header, const void* bits,
                        const FmLogPalette* palette, const uint8_t* lookup) {
    DibView v;
    if (!lookup || !openDib(header, bits, v)) return nullptr;
    const int32_t colors = paletteEntries(palette);
    const uint64_t bytes = 40 + 4ull * colors + uint64_t(dibRowBytes(v.width, 8)) * v.height;
    if (bytes > 0x7FFFFFFF) return nullptr;
    Handle out = FmNewHandle(static_cast<uint32_t>(bytes));
    if (!out) return nullptr;
    auto* h = reinterpret_cast<FmBitmapInfoHeader*>(*out);
    fillHeader8(*h, v, colors);
    uint8_t* table = reinterpret_cast<uint8_t*>(*out) + 40;
    if (colors) PalToRGB(palette->entries, table, colors);
    reduceInto(v, table + 4 * colors, lookup);
    return out;
}
