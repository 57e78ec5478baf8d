// Putting buffers on screen surfaces and into device-independent bitmaps.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "pixels/ppix_internal.h"
#include "platform/surface.h"
#include "reelcore/depthcon.h"
#include "reelcore/imagefilters.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace rc::pixels {

namespace {

// 8 x 8 ordered dither for 8-bit screens.
constexpr uint8_t kDither[8][8] = {
    {0, 25, 7, 32, 2, 27, 8, 33},   {38, 13, 44, 19, 40, 14, 46, 21},
    {10, 35, 3, 29, 11, 36, 5, 30}, {47, 22, 41, 16, 49, 24, 43, 18},
    {3, 28, 9, 34, 1, 26, 7, 32},   {40, 15, 47, 21, 39, 14, 45, 20},
    {12, 37, 6, 31, 10, 36, 4, 29}, {50, 25, 43, 18, 48, 23, 42, 17}};

constexpr int32_t kPaletteHeaderBytes = 256 * 2;  // 16-bit palette indices of CreateDIB

struct CubePalette {
    uint16_t version = 0x300;
    uint16_t count = 256;
    FmPaletteEntry entries[256];
    CubePalette() {
        std::memset(entries, 0, sizeof entries);
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    entries[10 + 36 * r + 6 * g + b] =
                        FmPaletteEntry{static_cast<uint8_t>(51 * r), static_cast<uint8_t>(51 * g),
                                       static_cast<uint8_t>(51 * b), 0};
    }
};

// The palette of an 8-bit screen when the executable has not set one: the
// colour cube at indices 10 .. 225 that the dither maps to.
const FmLogPalette* screenPalette() {
    static const CubePalette cube;
    auto* p = reinterpret_cast<const FmLogPalette*>(GetAGlobal(kSlotScreenPalette));
    return p ? p : reinterpret_cast<const FmLogPalette*>(&cube);
}

int32_t screenDepth() {
    intptr_t d = GetAGlobal(kSlotScreenDepth);
    return d > 0 ? static_cast<int32_t>(d) : 32;
}

inline int ditherLevel(int v, int d) {
    return std::min(5, (v + d) / 51);
}

uint8_t* dibBits(FmBitmapInfoHeader* dib) {
    uint32_t colours = 0;
    if (dib->bitCount <= 8) colours = dib->clrUsed ? dib->clrUsed : (1u << dib->bitCount);
    return reinterpret_cast<uint8_t*>(dib) + dib->size + colours * 4;
}

// CreateDIB's layout for 8 bits and less: 256 16-bit palette indices, each
// its own position, instead of a table of colours.
bool hasIndexTable(const FmBitmapInfoHeader* dib) {
    if (dib->bitCount > 8 || dib->clrUsed != 0) return false;
    const auto* indices = reinterpret_cast<const uint8_t*>(dib) + dib->size;
    for (int i = 0; i < 256; ++i) {
        uint16_t v;
        std::memcpy(&v, indices + 2 * i, 2);
        if (v != i) return false;
    }
    return true;
}

// A temporary buffer holding the source rectangle scaled to w x h.
PPixHand scaledCopy(PPixHand pix, const FmRect& src, int32_t w, int32_t h) {
    FmRect bounds{0, 0, w, h};
    PPixHand tmp = ppixNew(&bounds);
    if (!tmp) return nullptr;
    if (rc::pixhooks::copy()(pix, tmp, &src, &bounds) != 0) {
        ppixDispose(tmp);
        return nullptr;
    }
    return tmp;
}

rc::platform::DibSource dibOfBuffer(const PPixRecord* r, FmBitmapInfoHeader& header) {
    header = FmBitmapInfoHeader{};
    header.size = sizeof(FmBitmapInfoHeader);
    header.width = width(r);
    header.height = height(r);
    header.planes = 1;
    header.bitCount = static_cast<uint16_t>(r->depth);
    rc::platform::DibSource s;
    s.header = &header;
    s.bits = r->pixels;
    s.stride = r->rowBytes;
    return s;
}

// Source rectangle in image coordinates (0, 0 = the buffer's top-left).
FmRect toImage(const PPixRecord* r, const FmRect& src) {
    return FmRect{src.left - r->bounds.left, src.top - r->bounds.top, src.right - r->bounds.left,
                  src.bottom - r->bounds.top};
}

int32_t drawDither8(PPixHand pix, FmDC dc, const FmRect& src, const FmRect& dst) {
    PPixRecord* r = record(pix);
    const int32_t w = width(r), h = height(r);
    Ptr dib = CreateDIB(w, h, 8);
    if (!dib) return memFullErr;
    auto* header = reinterpret_cast<FmBitmapInfoHeader*>(dib);
    uint8_t* bits = reinterpret_cast<uint8_t*>(dib) + header->size + kPaletteHeaderBytes;
    const int32_t dibRow = CalcRowBytes(w, 8);
    r = record(pix);
    for (int32_t i = 0; i < h; ++i) {  // memory rows, bottom-up in both
        const uint8_t* in =
            reinterpret_cast<const uint8_t*>(r->pixels) + static_cast<int64_t>(i) * r->rowBytes;
        uint8_t* out = bits + static_cast<int64_t>(i) * dibRow;
        const uint8_t* dither = kDither[(h + i) & 7];
        for (int32_t j = 0; j < w; ++j) {
            const int d = dither[(w + j) & 7];
            out[j] =
                static_cast<uint8_t>(10 + 36 * ditherLevel(in[j * 4 + 2], d) +
                                     6 * ditherLevel(in[j * 4 + 1], d) + ditherLevel(in[j * 4], d));
        }
    }
    const FmLogPalette* old = dc->palette;
    dc->palette = screenPalette();
    rc::platform::DibSource s;
    s.header = header;
    s.bits = bits;
    s.colours = reinterpret_cast<uint8_t*>(dib) + header->size;
    s.colourUse = rc::platform::ColourUse::PaletteIndices;
    FmRect from = toImage(r, src);
    rc::platform::setDIBitsToDevice(dc, dst.left, dst.top, dst.right - dst.left,
                                    dst.bottom - dst.top, from.left, from.top, s);
    dc->palette = old;
    DisposePtr(dib);
    return 0;
}

int32_t drawPrinter(PPixHand pix, FmDC dc, const FmRect& src, const FmRect& dst) {
    PPixRecord* r = record(pix);
    Ptr dib = CreateDIB(width(r), height(r), 24);
    if (!dib) return memFullErr;
    auto* header = reinterpret_cast<FmBitmapInfoHeader*>(dib);
    int32_t rc = PPixToDib(pix, header, nullptr);
    if (rc == 0) {
        rc::platform::DibSource s;
        s.header = header;
        s.bits = dibBits(header);
        rc::platform::stretchDIBits(dc, dst, toImage(record(pix), src), s);
    }
    DisposePtr(dib);
    return rc == 0 ? 0 : memFullErr;
}

}  // namespace

}  // namespace rc::pixels

using namespace rc::pixels;

extern "C" {

RC_API int32_t ppixToScreen(PPixHand pix, FmDC dc, const FmRect* srcRect, const FmRect* dstRect) {
    if (!dc || !dc->target) return 1;
    PPixRecord* r = record(pix);
    if (!r || !r->pixels || r->depth != 32) return nilHandleErr;
    FmRect src = srcRect ? *srcRect : r->bounds;
    FmRect dst = dstRect ? *dstRect : FmRect{0, 0, src.right - src.left, src.bottom - src.top};
    const int32_t sw = src.right - src.left, sh = src.bottom - src.top;
    const int32_t dw = dst.right - dst.left, dh = dst.bottom - dst.top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return 0;

    const int32_t depth = screenDepth();
    const bool raster = dc->kind == rc::platform::DeviceKind::RasterDisplay;
    bool prescale = false;
    if (depth < 16 || !raster)
        prescale = sw != dw || (depth == 8 && sh != dh);
    else
        prescale = (sw != dw || sh != dh) && (sw > 800 || sh > 600);

    PPixHand source = pix;
    PPixHand tmp = nullptr;
    if (prescale) {
        tmp = scaledCopy(pix, src, dw, dh);
        if (!tmp) return memFullErr;
        source = tmp;
        src = FmRect{0, 0, dw, dh};
    }

    int32_t result = 0;
    if (!raster) {
        result = drawPrinter(source, dc, src, dst);
    } else if (depth == 8) {
        result = drawDither8(source, dc, src, dst);
    } else {
        SetAGlobal(kSlotDrawDibWidth, -1);
        SetAGlobal(kSlotDrawDibHeight, -1);
        PPixRecord* s = record(source);
        FmBitmapInfoHeader header;
        rc::platform::DibSource bits = dibOfBuffer(s, header);
        rc::platform::stretchDIBits(dc, dst, toImage(s, src), bits);
    }
    if (tmp) ppixDispose(tmp);
    return result;
}

RC_API int32_t PPixToScreen(PPixHand pix, FmDC dc, const FmRect* src, const FmRect* dst) {
    return ppixToScreen(pix, dc, src, dst);
}

RC_API int32_t PPixToDib(PPixHand pix, FmBitmapInfoHeader* dib, const FmLogPalette* palette) {
    PPixRecord* r = record(pix);
    if (!r || !r->pixels || r->depth != 32 || !dib || dib->size < sizeof(FmBitmapInfoHeader))
        return 1;
    const int32_t bitCount = dib->bitCount;
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return 1;
    if (dib->width < 0 || dib->clrUsed > 256) return 1;
    const int32_t w = std::min<int32_t>(width(r), dib->width);
    const int32_t h = std::min<int32_t>(height(r), dib->height < 0 ? -dib->height : dib->height);
    const int64_t dibRow = CalcRowBytes(dib->width, bitCount);
    // A bitmap from CreateDIB holds palette indices: its pixels are written
    // as indices of the given palette, and the index table stays; without a
    // palette the indices would mean nothing, so nothing is written.
    const bool indexTable = bitCount == 8 && hasIndexTable(dib);
    if (indexTable && !palette) return 1;
    uint8_t* bits = indexTable ? reinterpret_cast<uint8_t*>(dib) + dib->size + kPaletteHeaderBytes
                               : dibBits(dib);
    const bool dibBottomUp = dib->height > 0;

    // 8-bit: nearest palette entry through a 15-bit colour lookup; without a
    // palette, an optimal one of 236 colours from the picture's histogram.
    std::vector<uint8_t> lookup;
    FmLogPalette* built = nullptr;
    if (bitCount == 8) {
        lookup.resize(32768);
        const FmLogPalette* pal = palette;
        if (!pal) {
            Handle hist = InitHistogram(nullptr);
            if (!hist) return memFullErr;
            auto* counts = reinterpret_cast<uint32_t*>(*hist);
            for (int32_t y = 0; y < h; ++y) {
                const auto* px = reinterpret_cast<const uint8_t*>(rowAddress(r, y));
                for (int32_t x = 0; x < w; ++x, px += 4)
                    ++counts[(px[2] >> 3) << 10 | (px[1] >> 3) << 5 | (px[0] >> 3)];
            }
            built = HistogramPalette(hist, lookup.data(), 236);
            FreeHistogram(hist);
            if (!built) return memFullErr;
            pal = built;
        } else {
            MakePalLookup(lookup.data(), pal);
        }
        const int n = std::min<int>(pal->count, 256);
        if (n == 0) {
            if (built) DisposePtr(reinterpret_cast<Ptr>(built));
            return 1;
        }
        uint8_t* table = reinterpret_cast<uint8_t*>(dib) + dib->size;
        const uint32_t entries = indexTable ? 0 : dib->clrUsed ? dib->clrUsed : 256;
        for (uint32_t i = 0; i < entries; ++i) {
            FmPaletteEntry e = i < static_cast<uint32_t>(n) ? pal->entries[i] : FmPaletteEntry{};
            table[i * 4] = e.blue;
            table[i * 4 + 1] = e.green;
            table[i * 4 + 2] = e.red;
            table[i * 4 + 3] = 0;
        }
        if (built) DisposePtr(reinterpret_cast<Ptr>(built));
    }

    if (w <= 0 || h <= 0) return 0;
    // Image rows top to bottom: the buffer's run downward in memory, the
    // bitmap's as its orientation says.
    const char* in = rowAddress(r, 0);
    const int32_t inStep = -r->rowBytes;
    uint8_t* out = bits + (dibBottomUp ? dibRow * (dib->height - 1) : 0);
    const int32_t outStep = static_cast<int32_t>(dibBottomUp ? -dibRow : dibRow);
    switch (bitCount) {
        case 32:
            Copy32(in, out, w, h, inStep, outStep);
            break;
        case 24:
            DepthCon32To24(in, out, w, h, inStep, outStep);
            break;
        case 16:
            DepthCon32To16(in, out, w, h, inStep, outStep);
            break;
        default:
            for (int32_t y = 0; y < h; ++y, in += inStep, out += outStep) {
                const auto* px = reinterpret_cast<const uint8_t*>(in);
                for (int32_t x = 0; x < w; ++x)
                    out[x] = lookup[(px[x * 4 + 2] >> 3) << 10 | (px[x * 4 + 1] >> 3) << 5 |
                                    (px[x * 4] >> 3)];
            }
            break;
    }
    return 0;
}

RC_API Ptr CreateDIB(int32_t width, int32_t height, int32_t depth) {
    if (width < 0 || height < 0) return nullptr;
    const int32_t rowBytes = CalcRowBytes(width, depth);
    if (rowBytes == 0 && width != 0) return nullptr;
    const uint64_t image = static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(height);
    const uint64_t table = depth <= 8 ? kPaletteHeaderBytes : 0;
    const uint64_t total = sizeof(FmBitmapInfoHeader) + table + image;
    if (total > 0xFFFFFFFFull) return nullptr;
    Ptr p = NewPtrClear(static_cast<uint32_t>(total));
    if (!p) return nullptr;
    auto* h = reinterpret_cast<FmBitmapInfoHeader*>(p);
    h->size = sizeof(FmBitmapInfoHeader);
    h->width = width;
    h->height = height;
    h->planes = 1;
    h->bitCount = static_cast<uint16_t>(depth);
    h->compression = 0;
    h->sizeImage = static_cast<uint32_t>(image);
    if (depth <= 8) {
        auto* indices = reinterpret_cast<uint16_t*>(p + sizeof(FmBitmapInfoHeader));
        for (int i = 0; i < 256; ++i) indices[i] = static_cast<uint16_t>(i);
    }
    return p;
}

}  // extern "C"
