// Still importer: BMP (8-bit with a palette, 24- and 32-bit, bottom-up or
// top-down) and PNG pictures, read through the host. A numbered name marks
// the picture as the first of a frame store; the host gathers the sequence
// and opens the right file for each frame.
#include <png.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../common/sample_io.h"

#ifndef RC_STILL_ENTRY
#define RC_STILL_ENTRY xImportEntry
#endif

namespace {

using rc_sample::Bytes;

constexpr int64_t kMaxFileBytes = int64_t(256) << 20;
constexpr int32_t kMaxSide = 32768;
constexpr int64_t kMaxPixels = int64_t(1) << 26;

struct Picture {
    int32_t width = 0, height = 0;
    bool alpha = false;
    std::vector<uint8_t> bgra;  // rows top first
};

bool sizeAllowed(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels;
}

// ---- BMP ----

struct BmpLayout {
    int32_t width = 0, height = 0;
    bool topDown = false;
    int32_t bits = 0;
    uint64_t pixelsAt = 0, rowBytes = 0, paletteAt = 0;
    uint32_t paletteCount = 0;
};

// Checks every size and offset of the headers against the file.
bool bmpLayout(const Bytes& b, BmpLayout& l) {
    if (!b.has(0, 14 + 40) || b.data[0] != 'B' || b.data[1] != 'M') return false;
    const uint32_t headerSize = b.u32(14);
    if (headerSize < 40 || !b.has(14, headerSize)) return false;
    const int32_t w = b.i32(18), h = b.i32(22);
    const int32_t bits = b.u16(28);
    const uint32_t compression = b.u32(30);
    if (h == INT32_MIN || !sizeAllowed(w, h < 0 ? -int64_t(h) : h)) return false;
    if (b.u16(26) != 1 || (bits != 8 && bits != 24 && bits != 32)) return false;
    // Plain pixels only; 32-bit bit fields are accepted in the usual B, G, R, A order.
    if (compression != 0 && !(compression == 3 && bits == 32)) return false;
    l.width = w;
    l.height = h < 0 ? -h : h;
    l.topDown = h < 0;
    l.bits = bits;
    l.rowBytes = (uint64_t(w) * uint64_t(bits) + 31) / 32 * 4;
    l.pixelsAt = b.u32(10);
    if (!b.has(l.pixelsAt, l.rowBytes * uint64_t(l.height))) return false;
    if (bits == 8) {
        const uint32_t used = b.u32(46);
        l.paletteCount = used == 0 ? 256 : used;
        l.paletteAt = 14 + uint64_t(headerSize);
        if (l.paletteCount > 256 || !b.has(l.paletteAt, uint64_t(l.paletteCount) * 4)) return false;
    }
    return true;
}

bool decodeBmp(const Bytes& b, Picture& p) {
    BmpLayout l;
    if (!bmpLayout(b, l)) return false;
    p.width = l.width;
    p.height = l.height;
    p.alpha = l.bits == 32;
    p.bgra.assign(size_t(l.width) * size_t(l.height) * 4, 0);
    for (int32_t y = 0; y < l.height; ++y) {
        const int32_t stored = l.topDown ? y : l.height - 1 - y;
        const uint8_t* src = b.data + l.pixelsAt + uint64_t(stored) * l.rowBytes;
        uint8_t* dst = p.bgra.data() + size_t(y) * size_t(l.width) * 4;
        for (int32_t x = 0; x < l.width; ++x, dst += 4) {
            if (l.bits == 8) {
                const uint32_t index = src[x];
                if (index < l.paletteCount) std::memcpy(dst, b.data + l.paletteAt + index * 4, 3);
            } else {
                std::memcpy(dst, src + x * (l.bits / 8), l.bits / 8);
            }
        }
    }
    return true;
}

// ---- PNG ----

bool isPng(const Bytes& b) {
    return b.size >= 8 && png_sig_cmp(b.data, 0, 8) == 0;
}

bool pngHeader(const Bytes& b, png_image& image) {
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, b.data, size_t(b.size))) return false;
    if (!sizeAllowed(image.width, image.height)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

bool decodePng(const Bytes& b, Picture& p) {
    png_image image;
    if (!pngHeader(b, image)) return false;
    p.alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_BGRA;
    p.width = int32_t(image.width);
    p.height = int32_t(image.height);
    p.bgra.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, p.bgra.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

// ---- Files ----

bool readPicture(void* host, intptr_t ref, Picture& p) {
    std::vector<uint8_t> bytes;
    if (!rc_sample::readWhole(rc_sample::funcsOf(host), ref, kMaxFileBytes, bytes)) return false;
    const Bytes b{bytes.data(), bytes.size()};
    return isPng(b) ? decodePng(b, p) : decodeBmp(b, p);
}

// The picture's size and alpha from its headers only.
bool describe(void* host, intptr_t ref, int32_t& w, int32_t& h, bool& alpha) {
    std::vector<uint8_t> bytes;
    if (!rc_sample::readWhole(rc_sample::funcsOf(host), ref, kMaxFileBytes, bytes)) return false;
    const Bytes b{bytes.data(), bytes.size()};
    if (isPng(b)) {
        png_image image;
        if (!pngHeader(b, image)) return false;
        w = int32_t(image.width), h = int32_t(image.height);
        alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
        png_image_free(&image);
        return true;
    }
    BmpLayout l;
    if (!bmpLayout(b, l)) return false;
    w = l.width, h = l.height, alpha = l.bits == 32;
    return true;
}

int16_t info(void* host, const RcImportFileAccess& a, RcImporterInfo& out) {
    int32_t w = 0, h = 0;
    bool alpha = false;
    if (!describe(host, a.fileRef, w, h, alpha)) return kRcImportBadFile;
    out.hasVideo = 1;
    out.width = w;
    out.height = h;
    out.depth = alpha ? 32 : 24;
    out.alphaCode = alpha ? kRcAlphaStraight : kRcAlphaNone;
    out.videoFrames = 1;
    out.isStill = 1;
    out.noDuration = 1;
    out.isFramestore = rc_sample::numberedName(a.path) ? 1 : 0;
    out.pixelAspect = 0x10001;
    return 0;
}

int16_t image(void* host, const RcImportImageRequest& q) {
    if (q.width <= 0 || q.height <= 0 || !q.pixels) return kRcImportBadFile;
    Picture p;
    if (!readPicture(host, q.fileRef, p)) return kRcImportBadFile;
    rc_sample::drawScaled(p.bgra.data(), p.width, p.height, p.alpha, q);
    return 0;
}

int16_t fileType(intptr_t index, RcImportFileType* t) {
    if (index < 0 || index > 1) return 1;
    const bool png = index == 1;
    t->fileType = png ? RC_FOURCC('P', 'N', 'G', ' ') : RC_FOURCC('B', 'M', 'P', ' ');
    t->kind = RC_FOURCC('P', 'I', 'C', 'T');
    t->flags = kRcXrefStill;
    std::snprintf(t->description, sizeof t->description, png ? "PNG picture" : "Bitmap picture");
    std::snprintf(t->extensions, sizeof t->extensions, png ? "png" : "bmp;dib");
    return 0;
}

}  // namespace

RC_MODULE_ENTRY int16_t RC_STILL_ENTRY(int32_t selector, void* host, intptr_t param1,
                                       intptr_t param2) {
    switch (selector) {
        case kRcImportStartup: {
            auto* caps = reinterpret_cast<RcImporterCapabilities*>(param1);
            caps->priority = 1;  // the host opens the files; the importer reads them through it
            return 0;
        }
        case kRcImportShutdown:
        case kRcImportOpenFile:
        case kRcImportQuietFile:
        case kRcImportCloseFile:
            return 0;
        case kRcImportGetInfo:
            return info(host, *reinterpret_cast<RcImportFileAccess*>(param1),
                        *reinterpret_cast<RcImporterInfo*>(param2));
        case kRcImportImage:
            return image(host, *reinterpret_cast<RcImportImageRequest*>(param2));
        case kRcImportGetIndFileType:
            return fileType(param1, reinterpret_cast<RcImportFileType*>(param2));
        default:
            return kRcImportUnsupported;
    }
}
