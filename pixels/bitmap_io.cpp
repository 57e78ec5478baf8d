// Bitmap decoding and encoding. Every length and offset read from a bitmap is
// checked against the bytes actually present.
#include "pixels/bitmap_io.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <cstdio>
#include <cstring>

#include "pixels/dib.h"
#include "pixels/ppix_internal.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/png.h"
#include "platform/surface.h"
#include "reelcore/depthcon.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

namespace rc::pix {
namespace {

uint32_t le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

// Expands 8-bit run-length data into rows of `width` indices (bottom row
// first). Runs past a row's end or past the last row are cut off.
void expandRle8(const uint8_t* p, size_t n, int32_t width, int32_t height, uint8_t* out) {
    int32_t x = 0, y = 0;
    size_t i = 0;
    auto put = [&](uint8_t v) {
        if (x < width && y < height) out[size_t(y) * width + x] = v;
        ++x;
    };
    while (i + 1 < n && y < height) {
        const uint8_t count = p[i], value = p[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k) put(value);
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (i + 1 >= n) break;
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else {  // absolute run, padded to a 16-bit boundary
            const size_t len = value;
            if (i + len > n) break;
            for (size_t k = 0; k < len; ++k) put(p[i + k]);
            i += (len + 1) & ~size_t{1};
        }
    }
}

}  // namespace

PPixHand dibToPPix(const uint8_t* dib, size_t size, DibRules rules, size_t bitsOffset,
                   int32_t* status) {
    int32_t ignored = 0;
    int32_t& why = status ? *status : ignored;
    why = kPictureMalformed;
    if (!dib || size < 40) {
        why = kPictureTruncated;
        return nullptr;
    }
    FmBitmapInfoHeader h;
    std::memcpy(&h, dib, 40);
    if (h.size < 40 || h.width <= 0 || h.height == 0 || h.height == INT32_MIN) return nullptr;
    if (h.size > size) {
        why = kPictureTruncated;
        return nullptr;
    }
    const int32_t width = h.width, height = h.height > 0 ? h.height : -h.height;
    const int32_t bc = h.bitCount;
    // Depths a bitmap can have at all; checked before any size is computed
    // from them.
    if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) {
        why = kPictureUnsupported;
        return nullptr;
    }
    const bool rle8 = h.compression == 1 && bc == 8;
    const bool bitfields = h.compression == 3 && (bc == 16 || bc == 32);
    if (h.compression != 0 && !rle8 && !bitfields) {
        why = kPictureUnsupported;
        return nullptr;
    }
    // Run-length data can describe far more pixels than it has bytes, so its
    // pictures have a lower limit of their own.
    if (int64_t{width} * height > (rle8 ? kMaxRle8PicturePixels : kMaxPicturePixels)) {
        why = kPictureTooLarge;
        return nullptr;
    }
    uint32_t colors = h.clrUsed;
    if (bc <= 8) {
        if (colors == 0 || colors > (1u << bc)) colors = 1u << bc;
    } else if (colors > 256) {
        return nullptr;
    }
    const size_t tableAt = h.size + (bitfields && h.size == 40 ? 12 : 0);
    if (tableAt + size_t{colors} * 4 > size) {
        why = kPictureTruncated;
        return nullptr;
    }
    const uint8_t* table = dib + tableAt;
    const size_t bitsAt = bitsOffset ? bitsOffset : tableAt + size_t{colors} * 4;
    if (bitsAt > size) {
        why = kPictureTruncated;
        return nullptr;
    }
    const uint8_t* bits = dib + bitsAt;
    const size_t available = size - bitsAt;
    const int64_t rowBytes = dibRowBytes64(width, bc);
    if (!rle8 && uint64_t(rowBytes) * uint64_t(height) > available) {
        why = kPictureTruncated;
        return nullptr;
    }

    const bool fileRules = rules == DibRules::File;
    const bool supported =
        bc == 4 || bc == 8 || bc == 24 || (fileRules && (bc == 1 || bc == 16 || bc == 32));
    const FmRect bounds{0, 0, width, height};
    PPixHand pix = ppixNew(&bounds);
    if (!pix) {
        why = kPictureNoMemory;
        return nullptr;
    }
    why = 0;
    const PPixRecord* r = rc::pixels::record(pix);
    const size_t pixelBytes = size_t(r->rowBytes) * height;
    std::memset(r->pixels, 0, pixelBytes);
    if (!supported) return pix;

    std::vector<uint8_t> expanded;
    DibView view;
    FmBitmapInfoHeader plain = h;
    plain.size = 40;
    plain.compression = 0;
    plain.clrUsed = colors;
    const int32_t rleRowBytes = rle8 ? dibRowBytes(width, 8) : 0;
    if (rle8) {
        try {
            expanded.assign(size_t(rleRowBytes) * height, 0);
        } catch (const std::bad_alloc&) {
            ppixDispose(pix);
            why = kPictureNoMemory;
            return nullptr;
        }
        expandRle8(bits, available, rleRowBytes, height, expanded.data());
    }
    view.header = &plain;
    view.colors = table;
    view.colorCount = static_cast<int32_t>(colors);
    view.bits = rle8 ? expanded.data() : bits;
    view.width = width;
    view.height = height;
    view.bitCount = bc;
    view.rowBytes = rle8 ? rleRowBytes : int32_t(rowBytes);  // fits: the bytes are there
    view.bottomUp = h.height > 0;
    const uint32_t alpha = fileRules ? 0xFF000000u : 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = view.row(y);
        uint32_t* dst = reinterpret_cast<uint32_t*>(rc::pixels::rowAddress(r, y));
        for (int32_t x = 0; x < width; ++x) dst[x] = dibPixel(view, src, x) | alpha;
    }
    return pix;
}

PPixHand bmpFileToPPix(const uint8_t* data, size_t size, int32_t* status) {
    int32_t ignored = 0;
    int32_t& why = status ? *status : ignored;
    if (!data || size < 2 || data[0] != 'B' || data[1] != 'M') {
        why = kPictureUnknownFormat;
        return nullptr;
    }
    if (size < 14 + 40) {
        why = kPictureTruncated;
        return nullptr;
    }
    const uint32_t offBits = le32(data + 10);
    if (offBits < 14 || offBits > size) {
        why = offBits < 14 ? kPictureMalformed : kPictureTruncated;
        return nullptr;
    }
    return dibToPPix(data + 14, size - 14, DibRules::File, offBits - 14, status);
}

PPixHand pngFileToPPix(const uint8_t* data, size_t size, int32_t* status) {
    int32_t ignored = 0;
    int32_t& why = status ? *status : ignored;
    // Deflate expands at most about 1032 times, 8 pixels a byte at 1 bit:
    // a picture larger than its data could hold is refused before its
    // pixels are allocated.
    const int64_t plausible = int64_t(std::min<size_t>(size, size_t{1} << 30)) * 8 * 1032 + 4096;
    rc::platform::PngPicture png;
    switch (rc::platform::decodePng(data, size, std::min(kMaxPicturePixels, plausible), png)) {
        case rc::platform::PngRead::Ok:
            break;
        case rc::platform::PngRead::NotPng:
            why = kPictureUnknownFormat;
            return nullptr;
        case rc::platform::PngRead::Truncated:
            why = kPictureTruncated;
            return nullptr;
        case rc::platform::PngRead::TooLarge:
            why = kPictureTooLarge;
            return nullptr;
        case rc::platform::PngRead::NoMemory:
            why = kPictureNoMemory;
            return nullptr;
        default:
            why = kPictureMalformed;
            return nullptr;
    }
    const FmRect bounds{0, 0, png.width, png.height};
    PPixHand pix = ppixNew(&bounds);
    if (!pix) {
        why = kPictureNoMemory;
        return nullptr;
    }
    // B, G, R, A bytes are the buffer's own pixel layout.
    const PPixRecord* r = rc::pixels::record(pix);
    for (int32_t y = 0; y < png.height; ++y)
        std::memcpy(rc::pixels::rowAddress(r, y), png.bgra.data() + size_t(y) * png.width * 4,
                    size_t(png.width) * 4);
    why = 0;
    return pix;
}

PPixHand pictureToPPix(const uint8_t* data, size_t size, int32_t* status) {
    if (rc::platform::looksLikePng(data, size)) return pngFileToPPix(data, size, status);
    return bmpFileToPPix(data, size, status);
}

std::vector<uint8_t> encodeBmpFromDib(const uint8_t* dib, size_t size) {
    std::vector<uint8_t> out;
    if (!dib || size < 40) return out;
    const uint32_t headerSize = le32(dib);
    const uint16_t bc = le16(dib + 14);
    uint32_t colors = le32(dib + 32);
    if (bc <= 8 && colors == 0) colors = 1u << bc;
    if (bc > 8) colors = 0;
    const uint32_t offBits = 14 + headerSize + 4 * colors;
    // The file header, then the bitmap as it is; sized once.
    out.resize(14 + size);
    out[0] = 'B';
    out[1] = 'M';
    const uint32_t total = static_cast<uint32_t>(14 + size);
    std::memcpy(&out[2], &total, 4);
    std::memcpy(&out[10], &offBits, 4);
    std::memcpy(out.data() + 14, dib, size);
    return out;
}

std::vector<uint8_t> encodeBmp24(PPixHand pix) {
    std::vector<uint8_t> out;
    const PPixRecord* r = rc::pixels::record(pix);
    if (!r || !r->pixels || r->depth != 32) return out;
    const int32_t w = rc::pixels::width(r), h = rc::pixels::height(r);
    const int32_t rowBytes = dibRowBytes(w, 24);
    std::vector<uint8_t> dib(40 + size_t(rowBytes) * h, 0);
    FmBitmapInfoHeader hdr{};
    hdr.size = 40;
    hdr.width = w;
    hdr.height = h;
    hdr.planes = 1;
    hdr.bitCount = 24;
    hdr.sizeImage = uint32_t(rowBytes) * h;
    std::memcpy(dib.data(), &hdr, 40);
    // buffer rows are bottom-up like the file's
    DepthCon32To24(r->pixels, dib.data() + 40, w, h, r->rowBytes, rowBytes);
    return encodeBmpFromDib(dib.data(), dib.size());
}

std::vector<uint8_t> encodePng(PPixHand pix, bool withAlpha) {
    const PPixRecord* r = rc::pixels::record(pix);
    if (!r || !r->pixels || r->depth != 32) return {};
    const int32_t w = rc::pixels::width(r), h = rc::pixels::height(r);
    return rc::platform::encodePngRows(w, h, withAlpha, [&](int32_t y, uint8_t* out) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(rc::pixels::rowAddress(r, y));
        for (int32_t x = 0; x < w; ++x, p += 4) {
            *out++ = p[2];
            *out++ = p[1];
            *out++ = p[0];
            if (withAlpha) *out++ = p[3];
        }
    });
}

// Through the platform layer, which also turns backslashes into slashes.
bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    namespace plat = rc::platform;
    int32_t err = 0;
    const int32_t fd = plat::openFile(path.c_str(), plat::OpenMode::Read, &err);
    if (fd < 0) return false;
    const int64_t size = plat::fileSize(fd);
    bool ok = size >= 0;
    if (ok) {
        bytes.resize(size_t(size));
        ok = plat::readFile(fd, bytes.data(), bytes.size()) == size;
    }
    plat::closeFile(fd);
    return ok;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    namespace plat = rc::platform;
    int32_t err = 0;
    const int32_t fd = plat::openFile(path.c_str(), plat::OpenMode::CreateTruncate, &err);
    if (fd < 0) return false;
    const bool ok = plat::writeFile(fd, bytes.data(), bytes.size()) == int64_t(bytes.size());
    return plat::closeFile(fd) && ok;
}

}  // namespace rc::pix

namespace rc::pixhooks {
namespace {
std::atomic<BitmapResourceFn> bitmapResource{nullptr};
}
void setBitmapResource(BitmapResourceFn fn) {
    bitmapResource.store(fn);
}
}  // namespace rc::pixhooks

RC_API PPixHand Bmp2PPix(int16_t resourceID, intptr_t moduleInstance) {
    const rc::pixhooks::BitmapResourceFn fetch = rc::pixhooks::bitmapResource.load();
    if (fetch) {
        Handle h = fetch(resourceID, moduleInstance);
        if (!h) return nullptr;
        PPixHand pix = nullptr;
        if (*h)
            pix = rc::pix::dibToPPix(reinterpret_cast<const uint8_t*>(*h), FmGetHandleSize(h),
                                     rc::pix::DibRules::Resource);
        FmDisposeHandle(h);
        return pix;
    }
    // the module instance names its resource file; 0 searches the current chain
    const ResFileRef previous = CurResFile();
    if (moduleInstance > 0) UseResFile(static_cast<ResFileRef>(moduleInstance));
    Handle h = GetResource(kBitmapResType, resourceID);
    if (moduleInstance > 0) UseResFile(previous);
    if (!h) return nullptr;
    PPixHand pix = nullptr;
    if (*h)
        pix = rc::pix::dibToPPix(reinterpret_cast<const uint8_t*>(*h), FmGetHandleSize(h),
                                 rc::pix::DibRules::Resource);
    ReleaseResource(h);
    return pix;
}

RC_API PPixHand FmReadBmpFile(const char* path) {
    std::vector<uint8_t> bytes;
    if (!path || !rc::pix::readFile(path, bytes)) return nullptr;
    return rc::pix::bmpFileToPPix(bytes.data(), bytes.size());
}

RC_API PPixHand FmReadPictureFile(const char* path, int32_t* status) {
    int32_t ignored = 0;
    int32_t& why = status ? *status : ignored;
    std::vector<uint8_t> bytes;
    if (!path || !rc::platform::pathExists(path)) {
        why = kPictureNotFound;
        return nullptr;
    }
    try {
        if (!rc::pix::readFile(path, bytes)) {
            why = kPictureReadFailed;
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        why = kPictureNoMemory;
        return nullptr;
    }
    return rc::pix::pictureToPPix(bytes.data(), bytes.size(), &why);
}

namespace {
int32_t writeEncoded(const std::vector<uint8_t>& bytes, const char* path) {
    if (bytes.empty() || !path) return -50;
    return rc::pix::writeFile(path, bytes) ? 0 : -36;
}
}  // namespace

RC_API int32_t FmWriteBmpFile(PPixHand pix, const char* path) {
    return writeEncoded(rc::pix::encodeBmp24(pix), path);
}

RC_API int32_t FmWritePngFile(PPixHand pix, const char* path, int32_t withAlpha) {
    return writeEncoded(rc::pix::encodePng(pix, withAlpha != 0), path);
}
