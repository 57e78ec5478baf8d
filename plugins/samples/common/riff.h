// RIFF chunks read through the host with bounds on every chunk: a chunk's
// header must lie inside its parent, and its data is cut to the parent's end
// (the caller decides whether a cut chunk is still usable).
#pragma once

#include <cstdint>
#include <cstring>

#include "sample_io.h"

namespace rc_sample {

struct Chunk {
    char id[4] = {};
    uint32_t declared = 0;  // the size the file claims
    int64_t dataAt = 0;     // first byte of the data
    int64_t size = 0;       // bytes of data inside the parent
    bool cut = false;       // the claimed size runs past the parent's end
    char form[4] = {};      // RIFF and LIST: the form type (the data's first 4 bytes)

    bool is(const char (&four)[5]) const { return std::memcmp(id, four, 4) == 0; }
    bool isForm(const char (&four)[5]) const { return std::memcmp(form, four, 4) == 0; }
    // Where the next chunk of the parent starts (data padded to an even size).
    int64_t next() const { return dataAt + size + (size & 1); }
};

// The chunk whose header starts at `at` inside a parent ending at `end`.
inline bool readChunk(const RcImportHostFuncs* f, intptr_t ref, int64_t at, int64_t end, Chunk& c) {
    uint8_t header[12];
    if (at < 0 || end - at < 8 || !readExactly(f, ref, at, header, 8)) return false;
    const Bytes b{header, 8};
    std::memcpy(c.id, header, 4);
    c.declared = b.u32(4);
    c.dataAt = at + 8;
    c.cut = int64_t(c.declared) > end - c.dataAt;
    c.size = c.cut ? end - c.dataAt : int64_t(c.declared);
    std::memset(c.form, 0, 4);
    if ((c.is("RIFF") || c.is("LIST")) && c.size >= 4) {
        if (!readExactly(f, ref, c.dataAt, c.form, 4)) return false;
    }
    return true;
}

// The file's outer RIFF chunk of the form type. It is taken to run to the end
// of the file whatever size it claims: writers that stream their files leave
// it 0 or too small, and the file's end is the bound that matters.
inline bool readRiff(const RcImportHostFuncs* f, intptr_t ref, const char (&form)[5], Chunk& c) {
    const int64_t fileSize = f && f->fileSize ? f->fileSize(ref) : -1;
    if (fileSize < 12 || !readChunk(f, ref, 0, fileSize, c) || !c.is("RIFF")) return false;
    c.size = fileSize - c.dataAt;
    c.cut = false;
    return readExactly(f, ref, c.dataAt, c.form, 4) && c.isForm(form);
}

// Walks the chunks of [from, end), at most `limit` of them; visit(chunk)
// returns false to stop. False when a header could not be read.
template <typename Visit>
bool walkChunks(const RcImportHostFuncs* f, intptr_t ref, int64_t from, int64_t end, int32_t limit,
                Visit visit) {
    int64_t at = from;
    for (int32_t n = 0; n < limit && end - at >= 8; ++n) {
        Chunk c;
        if (!readChunk(f, ref, at, end, c)) return false;
        if (!visit(c)) return true;
        at = c.next();
    }
    return true;
}

// The WAVE format record of "fmt " chunks (AVI audio streams too): plain
// PCM (or its extensible form), 8 or 16 bits, one or two channels.
struct PcmFormat {
    int32_t channels = 0, rate = 0, bits = 0, blockAlign = 0;

    int32_t flags() const { return (channels == 2 ? 0x100 : 0) | (bits == 16 ? 0x200 : 0); }
};

inline bool readPcmFormat(const RcImportHostFuncs* f, intptr_t ref, const Chunk& c,
                          PcmFormat& out) {
    uint8_t raw[40] = {};
    if (c.size < 16) return false;
    const int32_t n = int32_t(c.size < 40 ? c.size : 40);
    if (!readExactly(f, ref, c.dataAt, raw, n)) return false;
    const Bytes b{raw, uint64_t(n)};
    uint16_t tag = b.u16(0);
    if (tag == 0xFFFE && n >= 26) tag = b.u16(24);  // extensible: the sub-format's tag
    out.channels = b.u16(2);
    out.rate = int32_t(b.u32(4));
    out.blockAlign = b.u16(12);
    out.bits = b.u16(14);
    return tag == 1 && (out.channels == 1 || out.channels == 2) &&
           (out.bits == 8 || out.bits == 16) && out.rate > 0 && out.rate <= 1000000 &&
           out.blockAlign == out.channels * out.bits / 8;
}

}  // namespace rc_sample
