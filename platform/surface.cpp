#include "platform/surface.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/files.h"
#include "platform/png.h"

namespace rc::platform {

Surface::Surface(int32_t w, int32_t h, uint32_t fill)
    : width(w > 0 ? w : 0), height(h > 0 ? h : 0) {
    pixels.assign(static_cast<size_t>(width) * height, fill);
}

namespace {

std::mutex registryMutex;
std::unordered_map<uint32_t, Surface*>& registry() {
    static std::unordered_map<uint32_t, Surface*> map;
    return map;
}

FmRect intersect(const FmRect& a, const FmRect& b) {
    FmRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
             std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

// The part of the surface a context may draw into.
FmRect drawableArea(const FmDeviceContext* dc) {
    FmRect area{0, 0, dc->target->width, dc->target->height};
    return dc->clipped ? intersect(area, dc->clip) : area;
}

// Reads image pixel (x, y) of a bitmap as 0x00RRGGBB; y counts from the top.
class DibReader {
  public:
    DibReader(const DibSource& src, const FmDeviceContext* dc) : src_(src), dc_(dc) {
        const FmBitmapInfoHeader* h = src.header;
        width_ = h->width;
        height_ = h->height < 0 ? -static_cast<int64_t>(h->height) : h->height;
        bottomUp_ = h->height > 0;
        bitCount_ = h->bitCount;
        stride_ = src.stride > 0 ? src.stride
                                 : ((static_cast<int64_t>(width_) * bitCount_ + 31) / 32) * 4;
    }
    bool valid() const {
        return src_.bits && width_ > 0 && height_ > 0 &&
               (bitCount_ == 1 || bitCount_ == 4 || bitCount_ == 8 || bitCount_ == 16 ||
                bitCount_ == 24 || bitCount_ == 32);
    }
    int64_t width() const { return width_; }
    int64_t height() const { return height_; }

    uint32_t pixel(int64_t x, int64_t y) const {
        int64_t memRow = bottomUp_ ? height_ - 1 - y : y;
        const uint8_t* row = static_cast<const uint8_t*>(src_.bits) + memRow * stride_;
        switch (bitCount_) {
            case 32:
            case 24: {
                const uint8_t* p = row + x * (bitCount_ / 8);
                return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
            }
            case 16: {
                uint32_t v = row[x * 2] | static_cast<uint32_t>(row[x * 2 + 1]) << 8;
                return ((v >> 10) & 31) << 19 | ((v >> 5) & 31) << 11 | (v & 31) << 3;
            }
            case 8:
                return indexColour(row[x]);
            case 4:
                return indexColour((row[x / 2] >> ((x & 1) ? 0 : 4)) & 15);
            default:
                return indexColour((row[x / 8] >> (7 - (x & 7))) & 1);
        }
    }

  private:
    uint32_t indexColour(uint32_t index) const {
        if (!src_.colours) return index << 16 | index << 8 | index;
        if (src_.colourUse == ColourUse::RgbQuads) {
            const uint8_t* q = static_cast<const uint8_t*>(src_.colours) + index * 4;
            return static_cast<uint32_t>(q[2]) << 16 | static_cast<uint32_t>(q[1]) << 8 | q[0];
        }
        uint16_t entry = static_cast<const uint16_t*>(src_.colours)[index];
        const FmLogPalette* pal = dc_->palette;
        if (!pal || entry >= pal->count) return 0;
        const FmPaletteEntry& e = pal->entries[entry];
        return static_cast<uint32_t>(e.red) << 16 | static_cast<uint32_t>(e.green) << 8 | e.blue;
    }

    const DibSource& src_;
    const FmDeviceContext* dc_;
    int64_t width_ = 0, height_ = 0, stride_ = 0;
    int bitCount_ = 0;
    bool bottomUp_ = true;
};

}  // namespace

void registerWindowSurface(uint32_t windowId, Surface* surface) {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (surface)
        registry()[windowId] = surface;
    else
        registry().erase(windowId);
}

void unregisterWindowSurface(uint32_t windowId) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry().erase(windowId);
}

Surface* surfaceForWindow(uint32_t windowId) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto it = registry().find(windowId);
    return it == registry().end() ? nullptr : it->second;
}

FmDeviceContext* getWindowDC(uint32_t windowId) {
    Surface* s = surfaceForWindow(windowId);
    if (!s) return nullptr;
    auto* dc = new (std::nothrow) FmDeviceContext();
    if (!dc) return nullptr;
    dc->target = s;
    dc->windowId = windowId;
    return dc;
}

FmDeviceContext* createMemoryDC(Surface* surface) {
    if (!surface) return nullptr;
    auto* dc = new (std::nothrow) FmDeviceContext();
    if (dc) dc->target = surface;
    return dc;
}

void releaseDC(FmDeviceContext* dc) {
    delete dc;
}

uint32_t colourAtDepth(uint32_t rgb, int32_t depth) {
    rgb &= 0xFFFFFF;
    if (depth == 16) return rgb & 0xF8F8F8;
    if (depth == 8) {
        // The colour cube of an 8-bit screen: six levels per channel.
        uint32_t r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
        r = (r + 25) / 51 * 51;
        g = (g + 25) / 51 * 51;
        b = (b + 25) / 51 * 51;
        return r << 16 | g << 8 | b;
    }
    return rgb;
}

int32_t stretchDIBits(FmDeviceContext* dc, const FmRect& dst, const FmRect& src,
                      const DibSource& bitmap) {
    if (!dc || !dc->target || !bitmap.header) return 0;
    DibReader reader(bitmap, dc);
    if (!reader.valid()) return 0;
    const int64_t dw = static_cast<int64_t>(dst.right) - dst.left;
    const int64_t dh = static_cast<int64_t>(dst.bottom) - dst.top;
    const int64_t sw = static_cast<int64_t>(src.right) - src.left;
    const int64_t sh = static_cast<int64_t>(src.bottom) - src.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return 0;
    FmRect area = intersect(drawableArea(dc), dst);
    Surface& s = *dc->target;
    const bool palettePixels = bitmap.colourUse == ColourUse::PaletteIndices;
    int32_t rows = 0;
    for (int32_t y = area.top; y < area.bottom; ++y) {
        int64_t sy = src.top + (y - static_cast<int64_t>(dst.top)) * sh / dh;
        if (sy < 0 || sy >= reader.height()) continue;
        uint32_t* out = s.row(y);
        for (int32_t x = area.left; x < area.right; ++x) {
            int64_t sx = src.left + (x - static_cast<int64_t>(dst.left)) * sw / dw;
            if (sx < 0 || sx >= reader.width()) continue;
            uint32_t rgb = reader.pixel(sx, sy);
            // Palette colours are what an 8-bit screen shows already.
            out[x] = 0xFF000000u | (palettePixels ? rgb : colourAtDepth(rgb, s.depth));
        }
        ++rows;
    }
    return rows;
}

int32_t setDIBitsToDevice(FmDeviceContext* dc, int32_t xDest, int32_t yDest, int32_t w, int32_t h,
                          int32_t xSrc, int32_t ySrc, const DibSource& src) {
    FmRect dst{xDest, yDest, xDest + w, yDest + h};
    FmRect from{xSrc, ySrc, xSrc + w, ySrc + h};
    return stretchDIBits(dc, dst, from, src);
}

void fillSurfaceRect(FmDeviceContext* dc, const FmRect& rect, uint32_t rgb) {
    if (!dc || !dc->target) return;
    FmRect area = intersect(drawableArea(dc), rect);
    uint32_t value = 0xFF000000u | colourAtDepth(rgb, dc->target->depth);
    for (int32_t y = area.top; y < area.bottom; ++y)
        std::fill(dc->target->row(y) + area.left, dc->target->row(y) + area.right, value);
}

std::vector<uint8_t> encodePng(const Surface& surface) {
    return encodePngRows(surface.width, surface.height, false, [&](int32_t y, uint8_t* out) {
        const uint32_t* row = surface.row(y);
        for (int32_t x = 0; x < surface.width; ++x) {
            *out++ = static_cast<uint8_t>(row[x] >> 16);
            *out++ = static_cast<uint8_t>(row[x] >> 8);
            *out++ = static_cast<uint8_t>(row[x]);
        }
    });
}

bool writePng(const Surface& surface, const std::string& path) {
    std::vector<uint8_t> png = encodePng(surface);
    if (png.empty()) return false;
    FILE* f = std::fopen(normalisePath(path.c_str()).c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

}  // namespace rc::platform
