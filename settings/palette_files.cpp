// Loading a colour table into the video section from a palette file: a
// RIFF palette ('PAL '), an image editor's colour table ('Q7CO': 256 RGB
// triples, optionally followed by a 16-bit count and a transparent index) or
// a JASC text palette.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reelcore/files.h"
#include "settings/settings_internal.h"

namespace {

struct Colour {
    uint8_t r, g, b;
};

// Entries are kept as 0x00RRGGBB words.
uint32_t word(const Colour& c) {
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

bool readWhole(const char* path, std::vector<uint8_t>& out) {
    FileRef ref = -1;
    if (!path || HOpen(0, 0, path, fsRdPerm, &ref) != noErr) return false;
    int32_t size = 0;
    bool ok = GetEOF(ref, &size) == noErr && size >= 0 && size <= (1 << 20);
    if (ok) {
        out.resize(size_t(size));
        int32_t n = size;
        ok = size == 0 || (FSRead(ref, &n, out.data()) == noErr && n == size);
    }
    FSClose(ref);
    return ok;
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// RIFF "PAL " with a "data" chunk holding a logical palette: version, count,
// then red, green, blue, flags per entry.
bool riffPalette(const std::vector<uint8_t>& d, std::vector<Colour>& out) {
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) != 0 ||
        std::memcmp(d.data() + 8, "PAL ", 4) != 0)
        return false;
    size_t at = 12;
    while (at + 8 <= d.size()) {
        const uint32_t size = le32(d.data() + at + 4);
        const size_t body = at + 8;
        if (size > d.size() - body) return false;
        if (std::memcmp(d.data() + at, "data", 4) == 0) {
            if (size < 4) return false;
            const size_t count = size_t(d[body + 2] | d[body + 3] << 8);
            if (count > 256 || 4 + count * 4 > size) return false;
            for (size_t i = 0; i < count; ++i) {
                const uint8_t* e = d.data() + body + 4 + i * 4;
                out.push_back(Colour{e[0], e[1], e[2]});
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

bool colourTable(const std::vector<uint8_t>& d, std::vector<Colour>& out) {
    if (d.size() != 768 && d.size() != 772) return false;
    size_t count = 256;
    if (d.size() == 772) {
        count = size_t(d[768] << 8 | d[769]);  // big-endian, as the editors write it
        if (count == 0 || count > 256) count = 256;
    }
    for (size_t i = 0; i < count; ++i) out.push_back(Colour{d[i * 3], d[i * 3 + 1], d[i * 3 + 2]});
    return true;
}

bool jascPalette(const std::vector<uint8_t>& d, std::vector<Colour>& out) {
    std::string text(d.begin(), d.end());
    if (text.rfind("JASC-PAL", 0) != 0) return false;
    std::vector<long> numbers;
    const char* p = text.c_str() + 8;
    while (*p) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p) {
            ++p;
            continue;
        }
        numbers.push_back(v);
        p = end;
    }
    if (numbers.size() < 2) return false;
    const long count = numbers[1];
    if (count < 0 || count > 256 || numbers.size() < size_t(2 + 3 * count)) return false;
    for (long i = 0; i < count; ++i) {
        long c[3] = {numbers[2 + 3 * i], numbers[3 + 3 * i], numbers[4 + 3 * i]};
        for (long& v : c)
            if (v < 0 || v > 255) return false;
        out.push_back(Colour{uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])});
    }
    return true;
}

}  // namespace

extern "C" {

RC_API OSErr psetLoadPalette(Handle settings, const char* path) {
    PsetBlock* s = rc::settings::resolve(settings);
    if (!s) return nilHandleErr;
    std::vector<uint8_t> data;
    if (!readWhole(path, data)) return fnfErr;
    std::vector<Colour> colours;
    if (!riffPalette(data, colours) && !colourTable(data, colours) && !jascPalette(data, colours))
        return kPsetBadFile;
    std::memset(s->video.palette, 0, sizeof s->video.palette);
    for (size_t i = 0; i < colours.size(); ++i) s->video.palette[i] = word(colours[i]);
    s->video.paletteCount = int16_t(colours.size());
    s->video.paletteType = 1;
    return noErr;
}

}  // extern "C"
