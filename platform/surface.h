// Off-screen drawing: 32-bit surfaces (the pixels of a headless window or a
// memory bitmap), device contexts that target them, the blits that put
// device-independent bitmaps onto them, and PNG files of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reelcore/ppix.h"

namespace rc::platform {

// Pixels are 0xAARRGGBB words, rows top-down. `depth` is the colour depth
// the surface shows: at 16 bits each channel keeps its top five bits, at 8
// bits pixels are palette colours (what the blits write), at 24 and 32 bits
// colours are kept whole.
struct Surface {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 32;
    std::vector<uint32_t> pixels;

    Surface() = default;
    Surface(int32_t w, int32_t h, uint32_t fill = 0xFF000000u);
    uint32_t* row(int32_t y) { return pixels.data() + static_cast<size_t>(y) * width; }
    const uint32_t* row(int32_t y) const { return pixels.data() + static_cast<size_t>(y) * width; }
    uint32_t at(int32_t x, int32_t y) const { return row(y)[x]; }
};

// Windows own their surfaces; this registry lets drawing code find the
// surface of a window id. The window model registers and unregisters.
void registerWindowSurface(uint32_t windowId, Surface* surface);
void unregisterWindowSurface(uint32_t windowId);
Surface* surfaceForWindow(uint32_t windowId);  // null when there is no such window

enum class DeviceKind { RasterDisplay, Printer };

}  // namespace rc::platform

// A device context: where drawing goes and what it may touch.
struct FmDeviceContext {
    rc::platform::Surface* target = nullptr;
    bool clipped = false;
    FmRect clip{0, 0, 0, 0};  // in surface coordinates, when clipped
    rc::platform::DeviceKind kind = rc::platform::DeviceKind::RasterDisplay;
    const FmLogPalette* palette = nullptr;  // selected palette for palette-index blits
    uint32_t windowId = 0;                  // 0 for a memory context
};

namespace rc::platform {

// A context for a window's surface, or null when the window has none;
// release it with releaseDC.
FmDeviceContext* getWindowDC(uint32_t windowId);
// A context for a memory surface (the caller keeps the surface).
FmDeviceContext* createMemoryDC(Surface* surface);
void releaseDC(FmDeviceContext* dc);

// How the bitmap's colour table is read for 8-bit and lower depths.
enum class ColourUse { RgbQuads, PaletteIndices };

// The bits of a bitmap whose rows are bottom-up (positive height) or
// top-down (negative height), with an optional colour table.
struct DibSource {
    const FmBitmapInfoHeader* header = nullptr;
    const void* bits = nullptr;
    const void* colours = nullptr;  // RGB quads or 16-bit palette indices
    ColourUse colourUse = ColourUse::RgbQuads;
    int64_t stride = 0;  // bytes from one row to the next; 0: the padded row of the width
};

// Copies a w x h block of the bitmap (starting at xSrc, ySrc counted from the
// image's top) to (xDest, yDest) of the context's surface. Returns the
// number of rows drawn.
int32_t setDIBitsToDevice(FmDeviceContext* dc, int32_t xDest, int32_t yDest, int32_t w, int32_t h,
                          int32_t xSrc, int32_t ySrc, const DibSource& src);

// Draws the source rectangle of the bitmap (image coordinates, top-down)
// into the destination rectangle, scaling by nearest pixel. Returns the
// number of rows drawn.
int32_t stretchDIBits(FmDeviceContext* dc, const FmRect& dst, const FmRect& src,
                      const DibSource& bitmap);

// Fills the rectangle (clipped) with an opaque colour 0x00RRGGBB.
void fillSurfaceRect(FmDeviceContext* dc, const FmRect& rect, uint32_t rgb);

// The colour a surface of the given depth shows for 0x00RRGGBB.
uint32_t colourAtDepth(uint32_t rgb, int32_t depth);

// PNG of the surface (8-bit RGB). False on a write error.
bool writePng(const Surface& surface, const std::string& path);
std::vector<uint8_t> encodePng(const Surface& surface);

}  // namespace rc::platform
