// Pictures in and out of 32-bit buffers: packed device-independent bitmaps
// (resources), BMP files and PNG files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reelcore/ppix.h"

namespace rc::pix {

enum class DibRules {
    Resource,  // 4- and 8-bit (8-bit run-length too) and 24-bit; alpha 0; others left zero
    File       // also 1-, 16- and 32-bit; alpha 255
};

// A new 32-bit buffer from a packed bitmap (header, colour table, bits) of
// `size` bytes, or null when it is malformed or memory is short. bitsOffset,
// when non-zero, is where the bits start (as a BMP file header gives it).
// status (may be null) receives 0 or a kPicture... reason.
PPixHand dibToPPix(const uint8_t* dib, size_t size, DibRules rules, size_t bitsOffset = 0,
                   int32_t* status = nullptr);
// The same from the bytes of a BMP file ("BM" header first).
PPixHand bmpFileToPPix(const uint8_t* data, size_t size, int32_t* status = nullptr);
// A new opaque (or, with an alpha channel, translucent) buffer of a PNG file.
PPixHand pngFileToPPix(const uint8_t* data, size_t size, int32_t* status = nullptr);
// BMP or PNG, told by the first bytes.
PPixHand pictureToPPix(const uint8_t* data, size_t size, int32_t* status = nullptr);

// A 24-bit BMP file of a 32-bit buffer.
std::vector<uint8_t> encodeBmp24(PPixHand pix);
// A BMP file wrapping a packed bitmap of `size` bytes.
std::vector<uint8_t> encodeBmpFromDib(const uint8_t* dib, size_t size);
// A PNG file (8-bit RGB or RGBA) of a 32-bit buffer.
std::vector<uint8_t> encodePng(PPixHand pix, bool withAlpha);

bool readFile(const std::string& path, std::vector<uint8_t>& bytes);
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace rc::pix

namespace rc::pixhooks {

// Replaces the resource lookup of Bmp2PPix (tests): fn returns a plain handle
// holding a packed bitmap, disposed after use. Null restores GetResource.
using BitmapResourceFn = Handle (*)(int16_t resourceID, intptr_t moduleInstance);
void setBitmapResource(BitmapResourceFn fn);  // null restores the default

}  // namespace rc::pixhooks
