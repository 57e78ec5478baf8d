// Read access to device-independent bitmaps (header, colour table, rows).
#pragma once

#include <cstdint>

#include "reelcore/imagefilters.h"

namespace rc::pix {

struct DibView {
    const FmBitmapInfoHeader* header = nullptr;
    const uint8_t* colors = nullptr;  // colour table entries B, G, R, x
    int32_t colorCount = 0;
    const uint8_t* bits = nullptr;
    int32_t width = 0, height = 0;  // height is positive
    int32_t bitCount = 0;
    int32_t rowBytes = 0;
    bool bottomUp = true;
    // Row y counted from the top of the image.
    const uint8_t* row(int32_t y) const {
        return bits + static_cast<intptr_t>(bottomUp ? height - 1 - y : y) * rowBytes;
    }
};

// Row bytes of an uncompressed bitmap row: padded to 4 bytes. Computed in
// 64 bits: a row of a hostile header may exceed 2 GB.
inline int64_t dibRowBytes64(int32_t width, int32_t bitCount) {
    return ((int64_t{width} * bitCount + 31) / 32) * 4;
}
// The same for rows known to fit (openDib checks).
inline int32_t dibRowBytes(int32_t width, int32_t bitCount) {
    return static_cast<int32_t>(dibRowBytes64(width, bitCount));
}

// Fills `view` for an uncompressed 1-, 4-, 8-, 16-, 24- or 32-bit bitmap; bits
// null means they follow the colour table. False for anything else.
bool openDib(const FmBitmapInfoHeader* header, const void* bits, DibView& view);

// Colour of pixel x of a row as 0x00RRGGBB.
uint32_t dibPixel(const DibView& v, const uint8_t* row, int32_t x);

// The 15-bit colour code of a 0x00RRGGBB colour.
inline uint32_t code15(uint32_t rgb) {
    return (((rgb >> 19) & 31) << 10) | (((rgb >> 11) & 31) << 5) | ((rgb >> 3) & 31);
}

}  // namespace rc::pix
