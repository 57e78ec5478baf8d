// The FFmpeg importer module: everyday movie, sound and picture files
// through libavformat and libavcodec. The file types it reads are in its
// resources (ff_import.rsrc); this file answers the importer selectors.
//
// Per file it keeps a MediaSource (the file's description and its decoder
// state) behind the private-data handle the host stores for the file.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "ff_media.h"
#include "reelcore/sdk/importer.h"

extern "C" {
#include <libavutil/log.h>
}

#ifndef RC_FFIMPORT_ENTRY
#define RC_FFIMPORT_ENTRY xImportEntry
#endif

namespace {

using ffimport::MediaSource;

// The host may load and unload a module's code around every call. Our files
// keep decoders (and FFmpeg's libraries their tables) between calls, so the
// first call makes the module stay mapped until the process ends.
void stayLoaded() {
    static bool pinned = false;
    if (pinned) return;
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&stayLoaded), &self) && self.dli_fname)
        pinned = dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

const RcImportHostFuncs* funcsOf(void* host) {
    auto* record = static_cast<const RcImportHostRecord*>(host);
    return record ? record->funcs : nullptr;
}

int32_t threadsFor(void* host) {
    const RcImportHostFuncs* f = funcsOf(host);
    return f && f->processorCount ? std::clamp(f->processorCount(), 1, 16) : 1;
}

MediaSource* sourceOf(intptr_t privateData) {
    auto h = reinterpret_cast<void**>(privateData);
    return h && *h ? *static_cast<MediaSource**>(*h) : nullptr;
}

// Opens and describes the file; its handle for the host, 0 on failure.
intptr_t openSource(void* host, const char* path) {
    const RcImportHostFuncs* f = funcsOf(host);
    if (!f || !f->newHandle || !path || !path[0]) return 0;
    auto* source = new (std::nothrow) MediaSource(path);
    if (!source) return 0;
    if (!source->open(threadsFor(host))) {
        delete source;
        return 0;
    }
    void** h = f->newHandle(sizeof(MediaSource*));
    if (!h || !*h) {
        delete source;
        return 0;
    }
    *static_cast<MediaSource**>(*h) = source;
    return reinterpret_cast<intptr_t>(h);
}

void closeSource(void* host, intptr_t privateData) {
    delete sourceOf(privateData);
    const RcImportHostFuncs* f = funcsOf(host);
    if (privateData && f && f->disposeHandle)
        f->disposeHandle(reinterpret_cast<void**>(privateData));
}

constexpr int32_t kKindNonDrop = 0x20000, kKindDrop = 0x40000;

void describe(const ffimport::MediaFacts& m, RcImporterInfo* info) {
    const ffimport::VideoFacts& v = m.video;
    if (v.stream >= 0) {
        info->hasVideo = 1;
        info->width = v.width;
        info->height = v.height;
        info->depth = v.alpha ? 32 : 24;
        info->alphaCode = v.alpha ? kRcAlphaStraight : kRcAlphaNone;
        info->pixelAspect = uint32_t(v.aspectNum) << 16 | uint32_t(v.aspectDen);
        info->fieldType = v.fieldOrder;
        if (v.still) {
            info->isStill = 1;
            info->noDuration = 2;
            info->videoFrames = 1;
        } else {
            info->videoScale = v.rateNum;
            info->videoSampleSize = v.rateDen;
            // The host keeps the length in ticks in 32 bits.
            info->videoFrames = int32_t(std::min<int64_t>(v.frames, INT32_MAX / v.rateDen));
            const int32_t fps = int32_t(std::lround(double(v.rateNum) / v.rateDen));
            const bool drop = m.timecode.find_first_of(";.,") != std::string::npos;
            info->timeFormat = (drop ? kKindDrop : kKindNonDrop) | std::clamp(fps, 1, 0xFFFF);
        }
    }
    std::memcpy(info->timecode, m.timecode.c_str(),
                std::min(m.timecode.size(), sizeof info->timecode - 1));
    const ffimport::AudioFacts& a = m.audio;
    if (a.stream >= 0) {
        info->hasAudio = 1;
        info->audioRate = a.rate;
        info->audioFormat = 0x200 | (a.channels >= 2 ? 0x100 : 0);
        info->audioFrames = int32_t(std::min<int64_t>(a.frames, INT32_MAX));
        if (v.stream < 0) info->timeFormat = a.rate;
    }
}

int16_t importImage(RcImportImageRequest* q) {
    MediaSource* s = q ? sourceOf(q->privateData) : nullptr;
    if (!s || !q->pixels || q->width <= 0 || q->height <= 0) return kRcImportBadFile;
    if (std::abs(int64_t(q->rowStride)) < int64_t(q->width) * 4) return kRcImportBadFile;
    bool opaque = false;
    if (!s->readVideo(q->position, q->width, q->height, reinterpret_cast<uint8_t*>(q->pixels),
                      q->rowStride, &opaque))
        return kRcImportBadFile;
    q->opaque = opaque ? 1 : 0;
    return 0;
}

int16_t importAudio(const RcImportAudioRequest* q) {
    MediaSource* s = q ? sourceOf(q->privateData) : nullptr;
    if (!s || !q->buffer || q->size < 0 || q->sample < 0) return kRcImportBadFile;
    const bool wide = q->format & 0x200, stereo = q->format & 0x100;
    const int32_t bytes = (wide ? 2 : 1) * (stereo ? 2 : 1);
    const int32_t frames = q->size / bytes;
    auto* out = static_cast<uint8_t*>(q->buffer);
    // A trailing partial sample frame is silence.
    std::memset(out + int64_t(frames) * bytes, wide ? 0 : 128, size_t(q->size - frames * bytes));
    return s->readAudio(q->sample, frames, wide, stereo, out) ? 0 : kRcImportBadFile;
}

}  // namespace

RC_MODULE_ENTRY int16_t RC_FFIMPORT_ENTRY(int32_t selector, void* host, intptr_t param1,
                                          intptr_t param2) {
    stayLoaded();
    switch (selector) {
        case kRcImportStartup: {
            av_log_set_level(AV_LOG_QUIET);
            auto* caps = reinterpret_cast<RcImporterCapabilities*>(param1);
            if (!caps) return kRcImportUnsupported;
            caps->ownsFile = 1;
            caps->keepLoaded = 1;
            // Above the samples: this module reads the everyday files for real.
            caps->priority = 8;
            return 0;
        }
        case kRcImportShutdown:
            return 0;
        case kRcImportOpenFile: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(param2);
            if (!a) return kRcImportBadFile;
            if (!sourceOf(a->privateData)) {
                av_log_set_level(AV_LOG_QUIET);
                const intptr_t h = openSource(host, a->path);
                if (!h) return kRcImportBadFile;
                a->privateData = h;
            }
            a->fileRef = a->fileID;  // a token: libavformat holds the file itself
            return 0;
        }
        case kRcImportQuietFile: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(param1);
            if (MediaSource* s = a ? sourceOf(a->privateData) : nullptr) s->quiet();
            return 0;
        }
        case kRcImportCloseFile: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(param1);
            if (!a) return 0;
            closeSource(host, a->privateData);
            a->privateData = 0;
            return 0;
        }
        case kRcImportGetInfo: {
            auto* a = reinterpret_cast<RcImportFileAccess*>(param1);
            auto* info = reinterpret_cast<RcImporterInfo*>(param2);
            if (!a || !info) return kRcImportBadFile;
            MediaSource* s = sourceOf(info->privateData);
            if (!s) s = sourceOf(a->privateData);
            if (!s) {
                av_log_set_level(AV_LOG_QUIET);
                const intptr_t h = openSource(host, a->path);
                if (!h) return kRcImportBadFile;
                info->privateData = h;
                s = sourceOf(h);
            }
            describe(s->facts(), info);
            return 0;
        }
        case kRcImportImage:
            return importImage(reinterpret_cast<RcImportImageRequest*>(param2));
        case kRcImportAudio:
            return importAudio(reinterpret_cast<const RcImportAudioRequest*>(param2));
        default:
            return kRcImportUnsupported;
    }
}
