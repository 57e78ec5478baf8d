// AVI importer: uncompressed pictures (24- or 32-bit, bottom-up or top-down)
// and PCM sound, read through the host. Every chunk is checked against its
// parent; the frame and sound chunks of the "movi" list are indexed once
// when the file is described and kept as the importer's private data.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../common/riff.h"

#ifndef RC_AVI_ENTRY
#define RC_AVI_ENTRY xImportEntry
#endif

namespace {

using namespace rc_sample;

constexpr int32_t kMaxHeaderChunks = 256;
constexpr int32_t kMaxMoviChunks = 1 << 23;
constexpr int32_t kMaxEntries = 1 << 22;
constexpr int32_t kMaxSide = 16384;
constexpr uint32_t kDibCode = RC_FOURCC(' ', 'B', 'I', 'D');  // "DIB " read little-endian

struct AviHeader {
    int32_t width = 0, height = 0, bits = 0, topDown = 0;
    int32_t rate = 0, scale = 0;  // frames per second = rate / scale
    int32_t videoStream = -1, audioStream = -1;
    PcmFormat audio;
    int32_t frames = 0, audioChunks = 0;
    int64_t audioBytes = 0;

    int64_t rowBytes() const { return (int64_t(width) * bits + 31) / 32 * 4; }
};
struct FrameEntry {
    int64_t at;
    int64_t size;
};
struct AudioEntry {
    int64_t at;
    int64_t size;
    int64_t start;  // bytes of sound before this chunk
};

// The index as one block: the header, then the frames, then the sound chunks.
struct Index {
    std::vector<uint8_t> owned;
    const uint8_t* base = nullptr;

    const AviHeader& header() const { return *reinterpret_cast<const AviHeader*>(base); }
    const FrameEntry* frames() const {
        return reinterpret_cast<const FrameEntry*>(base + sizeof(AviHeader));
    }
    const AudioEntry* audio() const {
        return reinterpret_cast<const AudioEntry*>(frames() + header().frames);
    }
};

int32_t streamOf(const Chunk& c) {
    const char* d = c.id;
    if (d[0] < '0' || d[0] > '9' || d[1] < '0' || d[1] > '9') return -1;
    return (d[0] - '0') * 10 + (d[1] - '0');
}

struct Builder {
    const RcImportHostFuncs* f;
    intptr_t ref;
    AviHeader h;
    std::vector<FrameEntry> frames;
    std::vector<AudioEntry> audio;
    int32_t streams = 0;
    bool haveMain = false;
    bool bad = false;

    bool stream(const Chunk& list) {
        Chunk strh, strf;
        bool gotH = false, gotF = false;
        walkChunks(f, ref, list.dataAt + 4, list.dataAt + list.size, kMaxHeaderChunks,
                   [&](const Chunk& c) {
                       if (c.cut) return false;
                       if (c.is("strh")) strh = c, gotH = true;
                       if (c.is("strf")) strf = c, gotF = true;
                       return true;
                   });
        const int32_t number = streams++;
        if (!gotH || !gotF || strh.size < 36) return true;
        uint8_t raw[36];
        if (!readExactly(f, ref, strh.dataAt, raw, 36)) return false;
        const Bytes b{raw, 36};
        if (b.tag(0, "vids") && h.videoStream < 0) {
            uint8_t bmi[40];
            if (strf.size < 40 || !readExactly(f, ref, strf.dataAt, bmi, 40)) return true;
            const Bytes m{bmi, 40};
            const int32_t w = m.i32(4), ht = m.i32(8), bits = m.u16(14);
            const uint32_t code = m.u32(16);
            const uint32_t scale = b.u32(20), rate = b.u32(24);
            if (w <= 0 || w > kMaxSide || ht == 0 || ht < -kMaxSide || ht > kMaxSide) return true;
            if ((bits != 24 && bits != 32) || (code != 0 && code != kDibCode)) return true;
            if (scale == 0 || rate == 0 || scale > INT32_MAX || rate > INT32_MAX) return true;
            h.videoStream = number;
            h.width = w, h.height = ht < 0 ? -ht : ht, h.topDown = ht < 0, h.bits = bits;
            h.rate = int32_t(rate), h.scale = int32_t(scale);
        } else if (b.tag(0, "auds") && h.audioStream < 0) {
            if (readPcmFormat(f, ref, strf, h.audio)) h.audioStream = number;
        }
        return true;
    }

    bool headers(const Chunk& hdrl) {
        return walkChunks(f, ref, hdrl.dataAt + 4, hdrl.dataAt + hdrl.size, kMaxHeaderChunks,
                          [&](const Chunk& c) {
                              if (c.cut) return false;
                              if (c.is("avih")) haveMain = c.size >= 40;
                              if (c.is("LIST") && c.isForm("strl")) return stream(c);
                              return true;
                          });
    }

    // The frame and sound chunks, also inside "rec " lists. A chunk that
    // runs past the list's end ends the index there.
    bool media(int64_t from, int64_t end, int32_t& budget, int depth) {
        return walkChunks(f, ref, from, end, budget, [&](const Chunk& c) {
            if (--budget <= 0 || c.cut) return false;
            if (c.is("LIST") && c.isForm("rec ") && depth == 0)
                return media(c.dataAt + 4, c.dataAt + c.size, budget, 1);
            const int32_t s = streamOf(c);
            if (s >= 0 && s == h.videoStream && (c.id[2] == 'd')) {
                if (frames.size() >= size_t(kMaxEntries)) return false;
                frames.push_back({c.dataAt, c.size});
            } else if (s >= 0 && s == h.audioStream && c.id[2] == 'w' && c.id[3] == 'b') {
                if (audio.size() >= size_t(kMaxEntries)) return false;
                audio.push_back({c.dataAt, c.size, h.audioBytes});
                h.audioBytes += c.size;
            }
            return true;
        });
    }

    bool build(Index& out) {
        Chunk riff;
        if (!readRiff(f, ref, "AVI ", riff)) return false;
        bool haveMovi = false;
        int32_t budget = kMaxMoviChunks;
        walkChunks(f, ref, riff.dataAt + 4, riff.dataAt + riff.size, kMaxHeaderChunks,
                   [&](const Chunk& c) {
                       if (c.is("LIST") && c.isForm("hdrl")) {
                           if (c.cut || !headers(c)) bad = true;
                           return !bad;
                       }
                       if (c.is("LIST") && c.isForm("movi")) {
                           // A movie list cut short keeps the chunks that are whole.
                           haveMovi = media(c.dataAt + 4, c.dataAt + c.size, budget, 0);
                           return false;
                       }
                       return !c.cut;
                   });
        if (bad || !haveMain || !haveMovi) return false;
        if (h.videoStream < 0 && h.audioStream < 0) return false;
        h.frames = int32_t(frames.size());
        h.audioChunks = int32_t(audio.size());
        if (h.audioStream >= 0 && h.audioBytes / h.audio.blockAlign > INT32_MAX) return false;
        out.owned.resize(sizeof h + frames.size() * sizeof(FrameEntry) +
                         audio.size() * sizeof(AudioEntry));
        uint8_t* p = out.owned.data();
        std::memcpy(p, &h, sizeof h);
        if (!frames.empty())
            std::memcpy(p + sizeof h, frames.data(), frames.size() * sizeof(FrameEntry));
        if (!audio.empty())
            std::memcpy(p + sizeof h + frames.size() * sizeof(FrameEntry), audio.data(),
                        audio.size() * sizeof(AudioEntry));
        out.base = p;
        return true;
    }
};

bool indexOf(void* host, intptr_t ref, intptr_t privateData, Index& out) {
    if (auto hd = reinterpret_cast<void**>(privateData); hd && *hd) {
        out.base = static_cast<const uint8_t*>(*hd);
        return true;
    }
    Builder b{funcsOf(host), ref, {}, {}, {}};
    return b.build(out);
}

int16_t info(void* host, RcImportFileAccess& a, RcImporterInfo& out) {
    const RcImportHostFuncs* f = funcsOf(host);
    Index index;
    Builder b{f, a.fileRef, {}, {}, {}};
    if (!b.build(index)) return kRcImportBadFile;
    if (out.privateData) f->disposeHandle(reinterpret_cast<void**>(out.privateData));
    void** handle = f->newHandle(uint32_t(index.owned.size()));
    if (!handle) return kRcImportBadFile;
    std::memcpy(*handle, index.owned.data(), index.owned.size());
    out.privateData = reinterpret_cast<intptr_t>(handle);
    const AviHeader& h = index.header();
    if (h.videoStream >= 0 && h.frames > 0) {
        out.hasVideo = 1;
        out.width = h.width;
        out.height = h.height;
        out.depth = 24;
        out.alphaCode = h.bits == 32 ? kRcAlphaIgnore : kRcAlphaNone;
        out.videoScale = h.rate;
        out.videoSampleSize = h.scale;
        out.videoFrames = h.frames;
        out.pixelAspect = 0x10001;
        out.timeFormat = int32_t((int64_t(h.rate) + h.scale / 2) / h.scale) & 0xFFFF;
    }
    if (h.audioStream >= 0) {
        out.hasAudio = 1;
        out.audioRate = h.audio.rate;
        out.audioFormat = h.audio.flags();
        out.audioFrames = int32_t(h.audioBytes / h.audio.blockAlign);
        if (!out.hasVideo) out.timeFormat = h.audio.rate;
    }
    return 0;
}

int16_t image(void* host, const RcImportImageRequest& q) {
    Index index;
    if (q.width <= 0 || q.height <= 0 || !q.pixels ||
        !indexOf(host, q.fileRef, q.privateData, index))
        return kRcImportBadFile;
    const AviHeader& h = index.header();
    if (h.frames <= 0) return kRcImportBadFile;
    // A frame chunk left empty repeats the frame before it.
    int32_t n = std::clamp(q.position, 0, h.frames - 1);
    while (n > 0 && index.frames()[n].size == 0) --n;
    const FrameEntry& e = index.frames()[n];
    const int64_t rowBytes = h.rowBytes();
    if (e.size < rowBytes * h.height) return kRcImportBadFile;
    std::vector<uint8_t> raw(size_t(rowBytes * h.height));
    if (!readExactly(funcsOf(host), q.fileRef, e.at, raw.data(), int32_t(raw.size())))
        return kRcImportBadFile;
    std::vector<uint8_t> bgra(size_t(h.width) * size_t(h.height) * 4, 0);
    const int32_t bytes = h.bits / 8;
    for (int32_t y = 0; y < h.height; ++y) {
        const int32_t stored = h.topDown ? y : h.height - 1 - y;
        const uint8_t* src = raw.data() + stored * rowBytes;
        uint8_t* dst = bgra.data() + size_t(y) * size_t(h.width) * 4;
        for (int32_t x = 0; x < h.width; ++x) std::memcpy(dst + x * 4, src + x * bytes, 3);
    }
    drawScaled(bgra.data(), h.width, h.height, false, q);
    return 0;
}

int16_t audio(void* host, const RcImportAudioRequest& q) {
    Index index;
    if (q.size < 0 || (!q.buffer && q.size > 0) || !indexOf(host, q.fileRef, q.privateData, index))
        return kRcImportBadFile;
    const AviHeader& h = index.header();
    if (h.audioStream < 0) return kRcImportBadFile;
    auto* out = static_cast<uint8_t*>(q.buffer);
    std::memset(out, h.audio.bits == 8 ? 128 : 0, size_t(q.size));
    int64_t pos = q.sample * h.audio.blockAlign;
    int64_t done = pos < 0 ? std::min<int64_t>(-pos, q.size) : 0;
    pos += done;
    const AudioEntry* chunks = index.audio();
    // The chunk holding pos: the last one starting at or before it.
    int32_t i =
        int32_t(std::upper_bound(chunks, chunks + h.audioChunks, pos,
                                 [](int64_t p, const AudioEntry& e) { return p < e.start; }) -
                chunks) -
        1;
    for (; i >= 0 && i < h.audioChunks && done < q.size; ++i) {
        const AudioEntry& e = chunks[i];
        const int64_t inside = pos - e.start;
        const int64_t count = std::min<int64_t>(e.size - inside, q.size - done);
        if (count > 0 &&
            !readExactly(funcsOf(host), q.fileRef, e.at + inside, out + done, int32_t(count)))
            return kRcImportBadFile;
        done += std::max<int64_t>(count, 0);
        pos += std::max<int64_t>(count, 0);
    }
    return 0;
}

}  // namespace

RC_MODULE_ENTRY int16_t RC_AVI_ENTRY(int32_t selector, void* host, intptr_t param1,
                                     intptr_t param2) {
    switch (selector) {
        case kRcImportStartup:
            reinterpret_cast<RcImporterCapabilities*>(param1)->priority = 1;
            return 0;
        case kRcImportShutdown:
        case kRcImportOpenFile:
        case kRcImportQuietFile:
            return 0;
        case kRcImportCloseFile: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(param1);
            if (a->privateData)
                funcsOf(host)->disposeHandle(reinterpret_cast<void**>(a->privateData));
            a->privateData = 0;
            return 0;
        }
        case kRcImportGetInfo:
            return info(host, *reinterpret_cast<RcImportFileAccess*>(param1),
                        *reinterpret_cast<RcImporterInfo*>(param2));
        case kRcImportImage:
            return image(host, *reinterpret_cast<RcImportImageRequest*>(param2));
        case kRcImportAudio:
            return audio(host, *reinterpret_cast<RcImportAudioRequest*>(param2));
        case kRcImportGetIndFileType: {
            if (param1 != 0) return 1;
            auto* t = reinterpret_cast<RcImportFileType*>(param2);
            t->fileType = RC_FOURCC('V', 'f', 'W', ' ');
            t->kind = RC_FOURCC('M', 'o', 'o', 'V');
            std::snprintf(t->description, sizeof t->description, "AVI movie");
            std::snprintf(t->extensions, sizeof t->extensions, "avi");
            return 0;
        }
        default:
            return kRcImportUnsupported;
    }
}
