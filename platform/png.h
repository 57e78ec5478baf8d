// PNG files through libpng: an encoder fed row by row and a decoder that
// gives any 8- or 16-bit PNG as 8-bit B, G, R, A bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rc::platform {

// PNG of any picture: `fillRow(y, out)` writes row y (top first) as 8-bit
// R, G, B (and A when withAlpha) bytes into out. Empty for an empty size or
// when memory runs out.
std::vector<uint8_t> encodePngRows(int32_t width, int32_t height, bool withAlpha,
                                   const std::function<void(int32_t y, uint8_t* out)>& fillRow);

enum class PngRead { Ok, NotPng, Truncated, Malformed, TooLarge, NoMemory };

struct PngPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bgra;  // rows top first, 4 bytes a pixel
    std::string problem;        // libpng's words when the file is refused
};

// Grey, grey+alpha, RGB, RGBA and palette pictures of every bit depth
// (16-bit samples rounded to 8 bits, transparency chunks made alpha,
// interlacing undone); opaque pixels get alpha 255. Pictures of more than
// maxPixels pixels are refused before any pixel memory is taken.
PngRead decodePng(const uint8_t* data, size_t size, int64_t maxPixels, PngPicture& out);

inline bool looksLikePng(const uint8_t* data, size_t size) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 8) return false;
    for (int i = 0; i < 8; ++i)
        if (data[i] != kSignature[i]) return false;
    return true;
}

}  // namespace rc::platform
