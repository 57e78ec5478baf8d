// The FFmpeg export module: FFV1 in Matroska, H.264 in MPEG-4, ProRes 422 in
// QuickTime, uncompressed AVI, WAV and FLAC sound and PNG sequences. It
// describes one exporter per file type (ff_export_formats.cpp) and, to
// export, pulls the host's rendered frames and audio into a Writer.
//
// The exporter is told by the compressors the settings name: the video
// compressor for movies, the audio compressor for sound files. Its own
// settings (FFExportPrefs) carry the H.264 quality and the thread count.
#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "ff_export_formats.h"
#include "ff_export_prefs.h"
#include "ff_writer.h"
#include "reelcore/sdk/export.h"

extern "C" {
#include <libavutil/log.h>
}

#ifndef RC_FFEXPORT_ENTRY
#define RC_FFEXPORT_ENTRY xCompileEntry
#endif

namespace {

using ffexport::Format;

// FFmpeg's libraries (and libx264's threads) do not like being unmapped
// between calls: the first call keeps the module loaded.
void stayLoaded() {
    static bool pinned = false;
    if (pinned) return;
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&stayLoaded), &self) && self.dli_fname)
        pinned = dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

FFExportPrefs defaultPrefs() {
    FFExportPrefs p{};
    p.magic = FF_EXPORT_PREFS_MAGIC;
    p.crf = kFFExportDefaultCrf;
    return p;
}

FFExportPrefs prefsOf(const void* block) {
    FFExportPrefs p = defaultPrefs();
    const auto* given = static_cast<const FFExportPrefs*>(block);
    if (!given || given->magic != FF_EXPORT_PREFS_MAGIC) return p;
    p.crf = std::clamp(given->crf, 0, int32_t(kFFExportMaxCrf));
    p.threads = std::clamp(given->threads, 0, 64);
    std::memcpy(p.preset, given->preset, sizeof p.preset);
    p.preset[sizeof p.preset - 1] = 0;
    return p;
}

// The n-th exporter that offers a video (or audio) compressor.
const Format* withCompressor(int32_t index, bool video) {
    if (index < 0) return nullptr;
    for (const Format& f : ffexport::availableFormats()) {
        const bool offers =
            video ? f.video != ffexport::Video::None : f.audio != ffexport::Audio::None;
        if (offers && index-- == 0) return &f;
    }
    return nullptr;
}

// Which of our exporters the settings were made for.
const Format* formatOf(const RcCompileRecord& r) {
    const RcCompileSettings& s = r.settings;
    for (const Format& f : ffexport::availableFormats()) {
        if (r.exportKind == kRcExportAudio) {
            if ((f.flags & kRcCompileMakesAudio) && f.audioCode == s.audioCompressor) return &f;
        } else if (f.video != ffexport::Video::None && f.videoCode == s.videoCompressor) {
            return &f;
        }
    }
    // Failing that, the output's extension.
    const char* dot = std::strrchr(r.output.name, '.');
    for (const Format& f : ffexport::availableFormats())
        if (dot && strcasecmp(dot + 1, f.extension) == 0) return &f;
    return nullptr;
}

int32_t exportPicture(RcCompileServices* host, const RcCompileRecord& r) {
    void* pixels = nullptr;
    int32_t rowBytes = 0;
    RcCompileFrameInfo info{};
    const int32_t got = host->groups->video->getFrame(r.firstFrame, &pixels, &rowBytes, &info);
    if (got != kRcServiceOK) return got;
    const int32_t written =
        ffexport::writePngPicture(static_cast<const uint8_t*>(pixels), rowBytes, r.settings.width,
                                  r.settings.height, r.settings.depth == kRcDepth32, r.output.name);
    if (written != kRcCompileOK) return written;
    return host->groups->status->progress(1, 1);
}

int32_t compile(RcCompileServices* host, const RcCompileRecord& r) {
    const Format* format = formatOf(r);
    if (!format) return kRcCompileOpenFailed;
    const RcCompileSettings& s = r.settings;
    if (format->video == ffexport::Video::Png) return exportPicture(host, r);

    const FFExportPrefs prefs = prefsOf(s.compilerPrefs);
    ffexport::WriterSettings ws;
    ws.video =
        s.doVideo && format->video != ffexport::Video::None && r.exportKind != kRcExportAudio;
    ws.audio = s.doAudio && format->audio != ffexport::Audio::None && s.audioRate > 0;
    ws.width = s.width;
    ws.height = s.height;
    ws.timeScale = s.timeScale;
    ws.timeSampleSize = s.timeSampleSize;
    ws.alpha = s.depth == kRcDepth32;
    if (s.pixelAspectNum > 0 && s.pixelAspectDen > 0)
        ws.aspectNum = s.pixelAspectNum, ws.aspectDen = s.pixelAspectDen;
    ws.keyframeEvery = s.keyframeEvery;
    ws.audioRate = s.audioRate;
    ws.channels = s.channels;
    ws.bitsPerSample = s.bitsPerSample == 8 ? 8 : 16;
    ws.crf = prefs.crf;
    ws.threads = prefs.threads;
    ws.preset = prefs.preset;
    if (!ws.video && !ws.audio) return kRcCompileOpenFailed;
    if (ws.video && (ws.width <= 0 || ws.height <= 0)) return kRcCompileOpenFailed;

    av_log_set_level(AV_LOG_QUIET);
    ffexport::Writer writer(*format, ws);
    if (const int32_t opened = writer.open(r.output.name)) return opened;

    const RcCompileVideoFuncs* video = host->groups->video;
    const RcCompileAudioFuncs* audio = host->groups->audio;
    const RcCompileStatusFuncs* status = host->groups->status;
    status->setProgressText(format->name);
    const int32_t total = r.lastFrame - r.firstFrame;
    const int32_t block = std::max(s.audioBlockFrames, 1);
    // Without pictures the loop goes a block of audio at a time.
    const int32_t step = ws.video ? 1 : block;
    void* pixels = nullptr;
    int32_t rowBytes = 0, sameAhead = 0;
    for (int32_t f = r.firstFrame; f < r.lastFrame; f += step) {
        if (ws.video) {
            // Frames the host says look alike are not fetched again.
            if (sameAhead > 0) {
                --sameAhead;
            } else {
                RcCompileFrameInfo info{};
                const int32_t got = video->getFrameAtDepth(f, 32, &pixels, &rowBytes, &info);
                if (got != kRcServiceOK) return got;
                sameAhead = std::max(info.identicalFrames, 1) - 1;
            }
            if (const int32_t w = writer.writeVideo(static_cast<const uint8_t*>(pixels), rowBytes))
                return w;
        }
        if (ws.audio && (f - r.firstFrame) % block == 0) {
            void* samples = nullptr;
            int32_t bytes = 0;
            const int32_t count = std::min(block, r.lastFrame - f);
            const int32_t got = audio->getAudio(f, count, &samples, &bytes);
            if (got != kRcServiceOK) return got;
            if (const int32_t w = writer.writeAudio(static_cast<const uint8_t*>(samples), bytes))
                return w;
        }
        const int32_t done = std::min(f + step, r.lastFrame) - r.firstFrame;
        if (const int32_t stop = status->progress(done, total)) return stop;
    }
    return writer.finish();
}

void describeExporter(const Format& f, RcCompilerInfo* info) {
    info->fileType = f.fileType;
    info->classID = FF_EXPORT_CLASS;
    std::snprintf(info->name, sizeof info->name, "%s", f.name);
    info->flags = f.flags;
    std::snprintf(info->extension, sizeof info->extension, "%s", f.extension);
}

int32_t describeVideoCompressor(int32_t index, RcCompressorInfo* c) {
    const Format* f = withCompressor(index, true);
    if (!f) return 1;
    c->code = f->videoCode;
    std::snprintf(c->name, sizeof c->name, "%s", f->videoName);
    c->depthMask = f->depthMask;
    c->minWidth = c->minHeight = 2;
    c->fileType = f->fileType;
    c->classID = FF_EXPORT_CLASS;
    // Only H.264 predicts between frames; every other picture stands alone.
    c->flags = f->video == ffexport::Video::H264 ? 0 : kRcCompressorNoKeyframes;
    return kRcCompileOK;
}

int32_t describeAudioCompressor(int32_t index, RcAudioCompressorInfo* a) {
    const Format* f = withCompressor(index, false);
    if (!f) return 1;
    a->code = f->audioCode;
    std::snprintf(a->name, sizeof a->name, "%s", f->audioName);
    a->formats = f->audioFormats;
    a->fileType = f->fileType;
    a->classID = FF_EXPORT_CLASS;
    return kRcCompileOK;
}

// Headless, editing the settings means making sure they are ours.
int32_t ownSettings(RcCompileServices* host, RcCompileSettingsRequest* q) {
    const RcCompileMemoryFuncs* memory = host ? host->groups->memory : nullptr;
    if (!q || !memory) return 1;
    const auto* old = static_cast<const FFExportPrefs*>(q->settings);
    if (old && memory->getPtrSize(q->settings) >= int32_t(sizeof(FFExportPrefs)) &&
        old->magic == FF_EXPORT_PREFS_MAGIC)
        return kRcCompileOK;
    void* block = memory->newPtrClear(sizeof(FFExportPrefs));
    if (!block) return kRcCompileOutOfMemory;
    const FFExportPrefs p = defaultPrefs();
    std::memcpy(block, &p, sizeof p);
    if (q->settings) memory->disposePtr(q->settings);
    q->settings = block;
    return kRcCompileSettingsChanged;
}

}  // namespace

RC_MODULE_ENTRY int32_t RC_FFEXPORT_ENTRY(int32_t selector, RcCompileServices* host, void* record,
                                          int32_t index) {
    stayLoaded();
    const auto& formats = ffexport::availableFormats();
    switch (selector) {
        case kRcCompileStartup: {
            auto* info = static_cast<RcCompilerInfo*>(record);
            if (!info || index < 0 || size_t(index) >= formats.size()) return 1;
            describeExporter(formats[size_t(index)], info);
            return size_t(index) + 1 < formats.size() ? kRcCompileMoreExporters : kRcCompileOK;
        }
        case kRcCompileGetVideoCompressor:
            return record ? describeVideoCompressor(index, static_cast<RcCompressorInfo*>(record))
                          : 1;
        case kRcCompileGetAudioCompressor:
            return record
                       ? describeAudioCompressor(index, static_cast<RcAudioCompressorInfo*>(record))
                       : 1;
        case kRcCompileSettings:
            return ownSettings(host, static_cast<RcCompileSettingsRequest*>(record));
        case kRcCompileDoCompile:
        case kRcCompileCustom:
            if (!host || !record) return 1;
            return compile(host, *static_cast<const RcCompileRecord*>(record));
        case kRcCompileShutdown:
            return kRcCompileOK;
        default:
            return 1;  // the compressors have no settings of their own
    }
}
