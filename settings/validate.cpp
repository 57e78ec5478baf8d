// Making a settings block consistent with the installed export and capture
// modules, and deriving the capture format from the video settings.
#include <algorithm>

#include "settings/settings_hooks.h"
#include "settings/settings_internal.h"

namespace hk = rc::settingshooks;

namespace rc::settings {

namespace {

bool exporterFor(const hk::ExportCatalog& c, OSType fileType, OSType classID,
                 hk::ExporterInfo* out) {
    hk::ExporterInfo e{};
    bool anyClass = false;
    for (int32_t i = 0; c.exporterAt && c.exporterAt(i, &e); ++i) {
        if (e.fileType != fileType) continue;
        if (e.classID == classID) {
            *out = e;
            return true;
        }
        if (e.classID == kAnyClass && !anyClass) {
            *out = e;
            anyClass = true;
        }
    }
    return anyClass;
}

bool canProduce(const hk::ExporterInfo& e, int32_t kind) {
    return kind >= 0 && kind < 32 && ((e.kinds >> kind) & 1u) != 0;
}

bool videoCompressor(const hk::ExportCatalog& c, const hk::ExporterInfo& e, OSType code, bool first,
                     hk::VideoCompressorInfo* out) {
    hk::VideoCompressorInfo v{};
    for (int32_t i = 0; c.videoCompressorAt && c.videoCompressorAt(e, i, &v); ++i) {
        if (first || v.code == code) {
            *out = v;
            return true;
        }
    }
    return false;
}

bool audioCompressor(const hk::ExportCatalog& c, const hk::ExporterInfo& e, OSType code, bool first,
                     hk::AudioCompressorInfo* out) {
    hk::AudioCompressorInfo a{};
    for (int32_t i = 0; c.audioCompressorAt && c.audioCompressorAt(e, i, &a); ++i) {
        if (first || a.code == code) {
            *out = a;
            return true;
        }
    }
    return false;
}

// An audio format (rate, 16-bit flag, stereo flag) against a list of
// supported formats: it stands when an entry has its rate (or any rate) and
// shares its format bit; otherwise the first entry decides.
struct AudioChoice {
    int32_t rate;
    int32_t sixteen;
    uint8_t stereo;
};

AudioChoice chooseAudioFormat(const hk::AudioFormat* formats, int32_t count, AudioChoice a) {
    if (!formats || count <= 0) return a;
    const int32_t bit = (a.sixteen ? 4 : 1) << (a.stereo ? 1 : 0);
    for (int32_t i = 0; i < count; ++i)
        if ((formats[i].rate == a.rate || formats[i].rate == -1) && (formats[i].bits & bit))
            return a;
    const hk::AudioFormat& f = formats[0];
    int32_t chosen = 1;
    if (f.bits == 15 || (f.bits & 8))
        chosen = 8;
    else if (f.bits & 4)
        chosen = 4;
    else if (f.bits & 2)
        chosen = 2;
    return AudioChoice{f.rate == -1 ? 44100 : f.rate, chosen >= 4 ? 1 : 0,
                       uint8_t(chosen == 8 || chosen == 2 ? 1 : 0)};
}

void chooseExportAudio(PsetAudio& a, const hk::AudioFormat* formats, int32_t count) {
    AudioChoice c = chooseAudioFormat(formats, count, {a.audrate, a.audsamplesize, a.audstereo});
    a.audrate = c.rate;
    a.audsamplesize = c.sixteen;
    a.audstereo = c.stereo;
}

void chooseCaptureAudio(PsetCapture& a, const hk::AudioFormat* formats, int32_t count) {
    AudioChoice c = chooseAudioFormat(formats, count, {a.audrate, a.audsamplesize, a.audstereo});
    a.audrate = c.rate;
    a.audsamplesize = c.sixteen;
    a.audstereo = c.stereo;
}

void applyExporter(ProjectSettings& s, const hk::ExportCatalog& c, const hk::ExporterInfo& e) {
    hk::VideoCompressorInfo v{};
    bool haveVideo = videoCompressor(c, e, s.video.subtype, false, &v);
    if (!haveVideo) {
        s.video.subtypeprefs = freePtr(s.video.subtypeprefs);
        haveVideo = videoCompressor(c, e, 0, true, &v);
        if (haveVideo) s.video.subtype = v.code;
    }
    if (haveVideo) {
        if (v.maxWidth >= v.minWidth)
            s.video.width = std::clamp(int32_t(s.video.width), v.minWidth, v.maxWidth);
        if (v.maxHeight >= v.minHeight)
            s.video.height = std::clamp(int32_t(s.video.height), v.minHeight, v.maxHeight);
        if ((uint32_t(s.video.depth) & v.depthMask) == 0 || s.video.depth == 0) {
            s.video.depth = 0;
            for (int32_t bit : {32, 16, 8, 4, 2, 1}) {
                if (v.depthMask & uint32_t(bit)) {
                    s.video.depth = bit;
                    break;
                }
            }
        }
        if (v.fixedRate && v.rateScale > 0 && v.rateSampleSize > 0) {
            s.video.scale = s.general.scale = v.rateScale;
            s.video.samplesize = s.general.samplesize = v.rateSampleSize;
        }
    }
    hk::AudioCompressorInfo a{};
    bool haveAudio = audioCompressor(c, e, s.audio.subtype, false, &a);
    if (!haveAudio) {
        s.audio.subtypeprefs = freePtr(s.audio.subtypeprefs);
        haveAudio = audioCompressor(c, e, 0, true, &a);
        if (haveAudio) s.audio.subtype = a.code;
    }
    if (haveAudio) chooseExportAudio(s.audio, a.formats, a.formatCount);
}

}  // namespace

}  // namespace rc::settings

using namespace rc::settings;

extern "C" {

RC_API void psetValidateProjectSettings(Handle settings, int32_t exportKind) {
    ProjectSettings* s = resolve(settings);
    if (!s) return;
    const hk::ExportCatalog* catalog = hk::exportCatalog();
    hk::ExporterInfo exporter{};
    bool haveExporter = false;
    if (catalog) {
        haveExporter = exporterFor(*catalog, s->general.filetype, s->general.classid, &exporter) &&
                       canProduce(exporter, exportKind);
    }
    if (!haveExporter) {
        // Settings private to a module that is not used any more go with it.
        s->general.compilerprefs = freePtr(s->general.compilerprefs);
        s->general.playmodprefs = freePtr(s->general.playmodprefs);
        s->video.subtypeprefs = freePtr(s->video.subtypeprefs);
        s->audio.subtypeprefs = freePtr(s->audio.subtypeprefs);
        s->capture.capprefs = freePtr(s->capture.capprefs);
        psetInvalidateCaptureInfo(&s->captureInfo);
        hk::ExporterInfo e{};
        for (int32_t i = 0; catalog && catalog->exporterAt && catalog->exporterAt(i, &e); ++i) {
            if (canProduce(e, exportKind)) {
                exporter = e;
                haveExporter = true;
                s->general.filetype = e.fileType;
                s->general.classid = e.classID;
                break;
            }
        }
    }
    if (exportKind == kPsetKindMovie || exportKind == kPsetKindProject)
        s->general.doaudio = s->general.dovideo = 1;
    if (haveExporter) applyExporter(*s, *catalog, exporter);

    hk::CaptureModuleInfo capture{};
    if (hk::captureModule(s->capture.filetype, s->capture.classID, &capture))
        chooseCaptureAudio(s->capture, capture.formats, capture.formatCount);

    int32_t clip = 0;
    static_assert(kExportSourceSize >= sizeof clip, "the export source starts with its clip");
    std::copy_n(s->exportSource, sizeof clip, reinterpret_cast<uint8_t*>(&clip));
    if (clip) {
        int32_t media = hk::clipMedia(clip);
        if (media == 1) {
            s->general.doaudio = 0;
            s->general.dovideo = 1;
        } else if (media == 2) {
            s->general.doaudio = 1;
            s->general.dovideo = 0;
        }
    }
}

RC_API void psetRectifyCaptureSettings(Handle settings) {
    ProjectSettings* s = resolve(settings);
    if (!s || s->captureInfo.capinfovalid) return;
    hk::CaptureModuleInfo m{};
    if (!hk::captureModule(s->capture.filetype, s->capture.classID, &m)) return;
    PsetCaptureInfo& info = s->captureInfo;
    info.capvidsubtype = s->video.subtype;
    info.capdepth = s->video.depth;
    info.cappixelaspect = s->video.pixelAspect;
    info.capfieldtype = s->video.fieldtype;
    info.capquality = s->video.quality;
    PsetCapture& c = s->capture;
    if (!m.fixedTimeBase) {
        c.scale = s->video.scale;
        c.samplesize = s->video.samplesize;
    }
    if (m.minWidth == m.maxWidth && m.minHeight == m.maxHeight && m.maxWidth > 0) {
        c.width = m.maxWidth;
        c.height = m.maxHeight;
    } else {
        c.width = s->video.width;
        c.height = s->video.height;
    }
    c.subtype = s->audio.subtype;
    c.audrate = s->audio.audrate;
    c.audsamplesize = s->audio.audsamplesize;
    c.audstereo = s->audio.audstereo;
}

}  // extern "C"
