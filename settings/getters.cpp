// Getters and setters of single settings, and the selector-driven read of the
// global block.
#include <cstring>

#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "settings/settings_hooks.h"
#include "settings/settings_internal.h"

using namespace rc::settings;

extern "C" {

RC_API int32_t psetGetOutWidth(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->video.width : 640;
}

RC_API int32_t psetGetOutHeight(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->video.height : 480;
}

RC_API uint32_t psetGetPixelAspectRatio(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->video.pixelAspect : 0;
}

RC_API int32_t psetGetFieldType(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->video.fieldtype : 0;
}

RC_API Boolean psetGetCapAudio(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->capture.capaud != 0 : 0;
}

RC_API void psetSetCapAudio(Handle settings, Boolean on) {
    if (ProjectSettings* s = resolve(settings)) s->capture.capaud = on ? 1 : 0;
}

RC_API Boolean psetGetCapVideo(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->capture.capvid != 0 : 0;
}

RC_API void psetSetCapVideo(Handle settings, Boolean on) {
    if (ProjectSettings* s = resolve(settings)) s->capture.capvid = on ? 1 : 0;
}

RC_API OSType psetGetCapFileType(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->capture.filetype : 0;
}

RC_API Boolean psetIsStereo(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->audio.audstereo != 0 : 0;
}

RC_API Boolean psetIs16BitAudio(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->audio.audsamplesize != 0 : 0;
}

RC_API int32_t psetGetAudRate(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->audio.audrate : 0;
}

RC_API Boolean psetDoVideo(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->general.dovideo != 0 : 0;
}

RC_API Boolean psetDoAudio(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->general.doaudio != 0 : 0;
}

RC_API OSType psetGetVideoFileType(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->general.filetype : 0;
}

RC_API OSType psetGetClassID(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->general.classid : 0;
}

RC_API int32_t psetGetTimeFormat(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->general.timeformat : 0;
}

RC_API void psetSetTimeFormat(Handle settings, int32_t format) {
    if (ProjectSettings* s = resolve(settings)) s->general.timeformat = format;
}

RC_API int32_t psetGetProjectScale(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->general.scale : 0;
}

RC_API int32_t psetGetProjectSampleSize(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->general.samplesize : 0;
}

RC_API Boolean psetRecompressAlways(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? (s->dataRate.forcerecomp != 0 && s->dataRate.usecomppct == 0) : 0;
}

RC_API int32_t psetGetResampleQuality(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->audio.resampleQ : 0;
}

RC_API Boolean psetGetDither(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->audio.dither != 0 : 0;
}

RC_API Boolean psetGetLogFade(Handle settings) {
    const ProjectSettings* s = resolve(settings);
    return s ? s->audio.logfade != 0 : 0;
}

RC_API intptr_t psetGetGlobalSetting(int32_t selector) {
    const ProjectSettings* s = resolve(nullptr);
    if (!s) return -1;
    auto firstChar = [](int32_t slot) -> intptr_t {
        const char* text = reinterpret_cast<const char*>(GetAGlobal(slot));
        return text ? intptr_t(uint8_t(text[0])) : -1;
    };
    switch (selector) {
        case 1:
            return s->video.width;
        case 2:
            return s->video.height;
        case 3:
            return firstChar(401);
        case 4:
            return firstChar(115);
        case 5:
            return firstChar(114);
        case 6:
            return s->video.fieldtype;
        case 7:
            return intptr_t(s->general.filetype);
        case 8:
            return s->audio.audstereo;
        case 9:
            return s->audio.audsamplesize;
        case 10:
            return s->audio.audrate;
        case 11:
            return s->general.samplesize;
        case 12:
            return s->general.scale;
        case 13:
            return s->general.timeformat;
        case 14:
            return reinterpret_cast<intptr_t>(s->general.compilerprefs);
        case 15:
            return reinterpret_cast<intptr_t>(s->video.subtypeprefs);
        case 16:
            return reinterpret_cast<intptr_t>(s->audio.subtypeprefs);
        case 17:
            return -1;  // drive numbers do not exist on this platform
        case 18:
            return reinterpret_cast<intptr_t>(s->general.playmodprefs);
        case 19:
        case 24:
            return intptr_t(s->video.subtype);
        case 20:
            return s->rendering.useRamPrvw;
        case 21:
            return intptr_t(s->video.pixelAspect >> 16);
        case 22:
            return intptr_t(s->video.pixelAspect);
        case 23:
            return psetRecompressAlways(nullptr);
        case 25:
            return s->video.scale;
        case 26:
            return s->video.samplesize;
        case 27:
            return s->rendering.ignorevidfilters;
        default:
            return -1;
    }
}

RC_API Boolean FileMatchesVideoSettings(int16_t fileID, Handle settings) {
    const ProjectSettings* s = resolve(settings);
    Handle file = FindFile(fileID);
    if (!s || !file || !*file) return 0;
    const FmFileRecord* r = reinterpret_cast<const FmFileRecord*>(*file);
    if (r->type != s->general.filetype) return 0;
    if (rc::settingshooks::fileCompressor(fileID) != s->video.subtype) return 0;
    const FmRect& f = r->info.frame;
    return f.right - f.left == s->video.width && f.bottom - f.top == s->video.height;
}

}  // extern "C"
