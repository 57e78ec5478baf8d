// Synthetic importer: colour bars, a green field with a moving red disc, or a
// sine tone, chosen by a small text file ("kind bars", "width 320" ...: one
// key and value a line, '#' starts a comment).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "reelcore/sdk/importer.h"

#ifndef RC_SYNTH_ENTRY
#define RC_SYNTH_ENTRY xImportEntry
#endif

namespace {

constexpr RcOSType kSynthType = RC_FOURCC('S', 'Y', 'N', 'T');

enum class Kind : int32_t { Bars, Disc, Tone };

struct SynthParams {
    Kind kind = Kind::Bars;
    int32_t width = 320, height = 240, rate = 25, frames = 250;
    int32_t frequency = 440, sampleRate = 48000, channels = 2, seconds = 10;
};

bool positive(long v) {
    return v > 0 && v <= 1 << 20;
}

SynthParams readParams(const char* path) {
    SynthParams p;
    FILE* f = std::fopen(path, "rb");
    if (!f) return p;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        if (char* hash = std::strchr(line, '#')) *hash = '\0';
        char key[64] = {}, value[64] = {};
        if (std::sscanf(line, "%63s %63s", key, value) != 2) continue;
        const std::string k = key, v = value;
        const long n = std::strtol(value, nullptr, 10);
        if (k == "kind") {
            p.kind = v == "disc" ? Kind::Disc : v == "tone" ? Kind::Tone : Kind::Bars;
        } else if (positive(n)) {
            if (k == "width")
                p.width = int32_t(n);
            else if (k == "height")
                p.height = int32_t(n);
            else if (k == "rate")
                p.rate = int32_t(n);
            else if (k == "frames")
                p.frames = int32_t(n);
            else if (k == "frequency")
                p.frequency = int32_t(n);
            else if (k == "samplerate")
                p.sampleRate = int32_t(n);
            else if (k == "channels")
                p.channels = n >= 2 ? 2 : 1;
            else if (k == "seconds")
                p.seconds = int32_t(n);
        }
    }
    std::fclose(f);
    return p;
}

const SynthParams* paramsOf(intptr_t privateData) {
    auto h = reinterpret_cast<void**>(privateData);
    return h && *h ? reinterpret_cast<const SynthParams*>(*h) : nullptr;
}

// 75 % bars: white, yellow, cyan, green, magenta, red, blue (B, G, R).
const uint8_t kBars[7][3] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                             {191, 0, 191},   {0, 0, 191},   {191, 0, 0}};

void drawBars(const RcImportImageRequest& q) {
    for (int32_t y = 0; y < q.height; ++y) {
        auto* row = reinterpret_cast<uint8_t*>(q.pixels + intptr_t(y) * q.rowStride);
        for (int32_t x = 0; x < q.width; ++x) {
            const uint8_t* c = kBars[int64_t(x) * 7 / q.width];
            uint8_t* px = row + x * 4;
            px[0] = c[0], px[1] = c[1], px[2] = c[2], px[3] = 255;
        }
    }
}

// The disc crosses the picture once over the clip's frames. It is laid out
// in the file's own frame and scaled to the size asked for, so a picture of
// another shape (a field is half as tall) shows the same picture squeezed,
// as a stored frame scaled to that size would.
void drawDisc(const RcImportImageRequest& q, const SynthParams& p) {
    const double radius = p.height / 6.0;
    const int32_t frame = ((q.position % p.frames) + p.frames) % p.frames;
    const double cx = radius + (p.width - 2 * radius) * frame / std::max(1, p.frames - 1);
    const double cy = p.height / 2.0;
    const double toFileX = double(p.width) / q.width, toFileY = double(p.height) / q.height;
    for (int32_t y = 0; y < q.height; ++y) {
        auto* row = reinterpret_cast<uint8_t*>(q.pixels + intptr_t(y) * q.rowStride);
        for (int32_t x = 0; x < q.width; ++x) {
            const double dx = (x + 0.5) * toFileX - cx, dy = (y + 0.5) * toFileY - cy;
            const bool inside = dx * dx + dy * dy <= radius * radius;
            uint8_t* px = row + x * 4;
            px[0] = 0, px[1] = inside ? 0 : 160, px[2] = inside ? 220 : 0, px[3] = 255;
        }
    }
}

void makeTone(const RcImportAudioRequest& q, const SynthParams& p) {
    auto* out = static_cast<int16_t*>(q.buffer);
    const int32_t frames = q.size / (2 * p.channels);
    const int64_t total = int64_t(p.sampleRate) * p.seconds;
    for (int32_t i = 0; i < frames; ++i) {
        const int64_t n = q.sample + i;
        double v = 0;
        if (n >= 0 && n < total)
            v = 0.5 * std::sin(2 * M_PI * p.frequency * double(n) / p.sampleRate);
        const auto s = int16_t(std::lround(v * 32767));
        for (int32_t c = 0; c < p.channels; ++c) out[i * p.channels + c] = s;
    }
    std::memset(out + int64_t(frames) * p.channels, 0, size_t(q.size - frames * 2 * p.channels));
}

const RcImportHostFuncs* funcsOf(void* host) {
    return static_cast<const RcImportHostRecord*>(host)->funcs;
}

int16_t open(void* host, RcImportFileAccess* a) {
    void** h = funcsOf(host)->newHandle(sizeof(SynthParams));
    if (!h) return 5;
    const SynthParams p = readParams(a->path);
    std::memcpy(*h, &p, sizeof p);
    a->privateData = reinterpret_cast<intptr_t>(h);
    a->fileRef = a->fileID;  // a token: the file itself is read only here
    return 0;
}

int16_t info(RcImporterInfo* info, const SynthParams& p) {
    if (p.kind == Kind::Tone) {
        info->hasAudio = 1;
        info->audioRate = p.sampleRate;
        info->audioFormat = 0x200 | (p.channels == 2 ? 0x100 : 0);
        info->audioFrames = p.sampleRate * p.seconds;
        info->timeFormat = p.sampleRate;
        return 0;
    }
    info->hasVideo = 1;
    info->width = p.width;
    info->height = p.height;
    info->depth = 24;
    info->videoScale = p.rate;
    info->videoSampleSize = 1;
    info->videoFrames = p.frames;
    info->pixelAspect = 0x10001;
    info->timeFormat = p.rate;
    return 0;
}

}  // namespace

RC_MODULE_ENTRY int16_t RC_SYNTH_ENTRY(int32_t selector, void* host, intptr_t param1,
                                       intptr_t param2) {
    switch (selector) {
        case kRcImportStartup: {
            auto* caps = reinterpret_cast<RcImporterCapabilities*>(param1);
            caps->ownsFile = 1;
            caps->priority = 1;
            // Timelines read many frames from it: staying loaded spares a
            // load of the module for every call.
            caps->keepLoaded = 1;
            std::snprintf(caps->displayName, sizeof caps->displayName, "&Synthetic Media...");
            return 0;
        }
        case kRcImportShutdown:
        case kRcImportQuietFile:
            return 0;
        case kRcImportOpenFile:
            return open(host, reinterpret_cast<RcImportFileAccess*>(param2));
        case kRcImportCloseFile: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(param1);
            if (a->privateData)
                funcsOf(host)->disposeHandle(reinterpret_cast<void**>(a->privateData));
            a->privateData = 0;
            return 0;
        }
        case kRcImportGetInfo: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(param1);
            auto* out = reinterpret_cast<RcImporterInfo*>(param2);
            const SynthParams* p = paramsOf(a->privateData);
            return p ? info(out, *p) : int16_t(5);
        }
        case kRcImportImage: {
            auto* q = reinterpret_cast<RcImportImageRequest*>(param2);
            const SynthParams* p = paramsOf(q->privateData);
            if (!p || p->kind == Kind::Tone || q->width <= 0 || q->height <= 0) return 5;
            p->kind == Kind::Bars ? drawBars(*q) : drawDisc(*q, *p);
            return 0;
        }
        case kRcImportAudio: {
            auto* q = reinterpret_cast<RcImportAudioRequest*>(param2);
            const SynthParams* p = paramsOf(q->privateData);
            if (!p || p->kind != Kind::Tone || q->size < 0 || !q->buffer) return 5;
            makeTone(*q, *p);
            return 0;
        }
        case kRcImportGetIndFileType: {
            if (param1 != 0) return 1;
            auto* t = reinterpret_cast<RcImportFileType*>(param2);
            t->fileType = kSynthType;
            t->kind = kSynthType;
            std::snprintf(t->description, sizeof t->description, "Synthetic media");
            std::snprintf(t->extensions, sizeof t->extensions, "synth");
            return 0;
        }
        default:
            return 2;
    }
}
