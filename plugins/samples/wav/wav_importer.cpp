// WAV importer: plain PCM sound (8-bit unsigned or 16-bit, mono or stereo)
// read through the host. The chunks are walked with bounds: a "data" chunk
// that claims more than the file holds is cut to the file's end, and any
// other chunk that runs past the end stops the walk.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "../common/riff.h"

#ifndef RC_WAV_ENTRY
#define RC_WAV_ENTRY xImportEntry
#endif

namespace {

using namespace rc_sample;

constexpr int32_t kMaxChunks = 4096;

struct WavLayout {
    PcmFormat format;
    int64_t dataAt = 0;
    int64_t dataBytes = 0;  // whole sample frames only

    int64_t frames() const { return dataBytes / format.blockAlign; }
};

bool readLayout(const RcImportHostFuncs* f, intptr_t ref, WavLayout& out) {
    Chunk riff;
    if (!readRiff(f, ref, "WAVE", riff)) return false;
    bool haveFormat = false, haveData = false;
    const bool walked = walkChunks(
        f, ref, riff.dataAt + 4, riff.dataAt + riff.size, kMaxChunks, [&](const Chunk& c) {
            if (c.is("fmt ")) {
                if (c.cut) return false;
                haveFormat = readPcmFormat(f, ref, c, out.format);
                return haveFormat;
            }
            if (c.is("data")) {
                out.dataAt = c.dataAt;
                out.dataBytes = c.size;  // cut to the file: the sound that is there
                haveData = true;
                return false;
            }
            return !c.cut;
        });
    if (!walked || !haveFormat || !haveData) return false;
    out.dataBytes -= out.dataBytes % out.format.blockAlign;
    return out.frames() <= INT32_MAX;
}

// The layout kept as private data, or read again when there is none.
bool layoutOf(void* host, intptr_t ref, intptr_t privateData, WavLayout& out) {
    if (auto h = reinterpret_cast<void**>(privateData); h && *h) {
        std::memcpy(&out, *h, sizeof out);
        return true;
    }
    return readLayout(funcsOf(host), ref, out);
}

int16_t info(void* host, RcImportFileAccess& a, RcImporterInfo& out) {
    const RcImportHostFuncs* f = funcsOf(host);
    WavLayout l;
    if (!readLayout(f, a.fileRef, l)) return kRcImportBadFile;
    if (!out.privateData) {
        void** h = f->newHandle(sizeof l);
        if (!h) return kRcImportBadFile;
        out.privateData = reinterpret_cast<intptr_t>(h);
    }
    std::memcpy(*reinterpret_cast<void**>(out.privateData), &l, sizeof l);
    out.hasVideo = 0;
    out.hasAudio = 1;
    out.audioRate = l.format.rate;
    out.audioFormat = l.format.flags();
    out.audioFrames = int32_t(l.frames());
    out.timeFormat = l.format.rate;
    return 0;
}

// Sound from sample frame q.sample on; silence where the file has none.
int16_t audio(void* host, const RcImportAudioRequest& q) {
    if (q.size < 0 || (!q.buffer && q.size > 0)) return kRcImportBadFile;
    WavLayout l;
    if (!layoutOf(host, q.fileRef, q.privateData, l)) return kRcImportBadFile;
    auto* out = static_cast<uint8_t*>(q.buffer);
    std::memset(out, l.format.bits == 8 ? 128 : 0, size_t(q.size));
    const int64_t start = q.sample * l.format.blockAlign;
    int64_t skip = start < 0 ? -start : 0;  // before the start: silence
    if (skip >= q.size) return 0;
    const int64_t from = start + skip;
    if (from >= l.dataBytes) return 0;
    const int64_t count = std::min<int64_t>(q.size - skip, l.dataBytes - from);
    const int32_t got =
        funcsOf(host)->readFile(q.fileRef, l.dataAt + from, out + skip, int32_t(count));
    return got == count ? int16_t(0) : int16_t(kRcImportBadFile);
}

}  // namespace

RC_MODULE_ENTRY int16_t RC_WAV_ENTRY(int32_t selector, void* host, intptr_t param1,
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
        case kRcImportAudio:
            return audio(host, *reinterpret_cast<RcImportAudioRequest*>(param2));
        case kRcImportGetIndFileType: {
            if (param1 != 0) return 1;
            auto* t = reinterpret_cast<RcImportFileType*>(param2);
            t->fileType = t->kind = RC_FOURCC('W', 'A', 'V', 'E');
            std::snprintf(t->description, sizeof t->description, "WAV sound");
            std::snprintf(t->extensions, sizeof t->extensions, "wav");
            return 0;
        }
        default:
            return kRcImportUnsupported;
    }
}
