// Picture files made by the tests: BMP files of several depths and row
// orders, and PNG files, from a B, G, R, A pixel function.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/png.h"

namespace importtest {

// B, G, R, A of the pixel at (x, y), rows from the top.
using PixelFn = std::function<uint32_t(int32_t x, int32_t y)>;  // 0xAARRGGBB

inline void put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x), v[at + 1] = uint8_t(x >> 8);
}
inline void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// A BMP file: bits 8 (the palette is the 256 greys; the pixel's blue is the
// index), 24 or 32; topDown stores the first row first.
inline std::vector<uint8_t> makeBmp(int32_t w, int32_t h, int32_t bits, bool topDown,
                                    const PixelFn& pixel) {
    const uint32_t rowBytes = (uint32_t(w) * uint32_t(bits) + 31) / 32 * 4;
    const uint32_t palette = bits == 8 ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + palette;
    std::vector<uint8_t> v(offset + rowBytes * uint32_t(h), 0);
    v[0] = 'B', v[1] = 'M';
    put32(v, 2, uint32_t(v.size()));
    put32(v, 10, offset);
    put32(v, 14, 40);
    put32(v, 18, uint32_t(w));
    put32(v, 22, uint32_t(topDown ? -h : h));
    put16(v, 26, 1);
    put16(v, 28, uint32_t(bits));
    for (uint32_t i = 0; i < palette / 4; ++i) put32(v, 54 + i * 4, i * 0x010101);
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t stored = uint32_t(topDown ? y : h - 1 - y);
        uint8_t* row = v.data() + offset + stored * rowBytes;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = pixel(x, y);
            if (bits == 8) {
                row[x] = uint8_t(c);
            } else {
                for (int i = 0; i < bits / 8; ++i) row[x * (bits / 8) + i] = uint8_t(c >> (8 * i));
            }
        }
    }
    return v;
}

inline std::vector<uint8_t> makePng(int32_t w, int32_t h, bool withAlpha, const PixelFn& pixel) {
    return rc::platform::encodePngRows(w, h, withAlpha, [&](int32_t y, uint8_t* out) {
        const int n = withAlpha ? 4 : 3;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = pixel(x, y);
            out[x * n] = uint8_t(c >> 16), out[x * n + 1] = uint8_t(c >> 8),
                    out[x * n + 2] = uint8_t(c);
            if (withAlpha) out[x * n + 3] = uint8_t(c >> 24);
        }
    });
}

}  // namespace importtest
