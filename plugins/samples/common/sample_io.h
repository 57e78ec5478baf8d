// Helpers shared by the sample importers that read their files through the
// host (RcImportHostFuncs::readFile): whole files into memory with a size
// limit, little-endian fields read only after their bounds are checked, and
// a decoded picture scaled into an image request.
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "reelcore/sdk/importer.h"
#include "reelcore/sdk/kinds.h"

namespace rc_sample {

inline const RcImportHostFuncs* funcsOf(void* host) {
    return host ? static_cast<const RcImportHostRecord*>(host)->funcs : nullptr;
}

// A view of bytes whose every read is checked against its size.
struct Bytes {
    const uint8_t* data = nullptr;
    uint64_t size = 0;

    bool has(uint64_t offset, uint64_t count) const {
        return offset <= size && count <= size - offset;
    }
    uint16_t u16(uint64_t at) const { return uint16_t(data[at] | data[at + 1] << 8); }
    uint32_t u32(uint64_t at) const {
        return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
               uint32_t(data[at + 3]) << 24;
    }
    int32_t i32(uint64_t at) const { return int32_t(u32(at)); }
    bool tag(uint64_t at, const char (&four)[5]) const {
        return has(at, 4) && std::memcmp(data + at, four, 4) == 0;
    }
};

// Reads `count` bytes at `offset` of the host-opened file; false when the
// file is shorter or cannot be read.
inline bool readExactly(const RcImportHostFuncs* f, intptr_t ref, int64_t offset, void* out,
                        int32_t count) {
    if (!f || !f->readFile || count < 0) return false;
    return f->readFile(ref, offset, out, count) == count;
}

// The whole file, refused above `limit` bytes.
inline bool readWhole(const RcImportHostFuncs* f, intptr_t ref, int64_t limit,
                      std::vector<uint8_t>& out) {
    if (!f || !f->fileSize) return false;
    const int64_t size = f->fileSize(ref);
    if (size < 0 || size > limit || size > INT32_MAX) return false;
    out.resize(size_t(size));
    return readExactly(f, ref, 0, out.data(), int32_t(size));
}

// Draws a B, G, R, A picture (rows top first) scaled to the request by the
// nearest pixel. Without alpha the request's alpha bytes are left alone:
// the host makes them opaque.
inline void drawScaled(const uint8_t* bgra, int32_t width, int32_t height, bool withAlpha,
                       const RcImportImageRequest& q) {
    for (int32_t y = 0; y < q.height; ++y) {
        const int64_t sy = int64_t(y) * height / q.height;
        const uint8_t* src = bgra + sy * width * 4;
        auto* row = reinterpret_cast<uint8_t*>(q.pixels + intptr_t(y) * q.rowStride);
        for (int32_t x = 0; x < q.width; ++x) {
            const uint8_t* s = src + int64_t(x) * width / q.width * 4;
            uint8_t* d = row + int64_t(x) * 4;
            d[0] = s[0], d[1] = s[1], d[2] = s[2];
            if (withAlpha) d[3] = s[3];
        }
    }
}

// True when the file name (after the last slash, before the extension) ends
// in digits: the first picture of a numbered sequence.
inline bool numberedName(const char* path) {
    const char* name = std::strrchr(path, '/');
    name = name ? name + 1 : path;
    const char* dot = std::strrchr(name, '.');
    const char* end = dot ? dot : name + std::strlen(name);
    return end > name && end[-1] >= '0' && end[-1] <= '9';
}

}  // namespace rc_sample
