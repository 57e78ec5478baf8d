// Settings blocks: defaults by TV standard, the global block, copies and
// cleanup.
#include <cstring>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "settings/settings_internal.h"

namespace rc::settings {

ProjectSettings* blockOf(Handle settings) {
    if (!settings || !FmIsValidHandle(settings) || !*settings) return nullptr;
    if (FmGetHandleSize(settings) < sizeof(ProjectSettings)) return nullptr;
    return reinterpret_cast<ProjectSettings*>(*settings);
}

ProjectSettings* resolve(Handle settings) {
    return blockOf(settings ? settings
                            : reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings)));
}

Handle newBlock() {
    return FmNewHandleClear(sizeof(ProjectSettings));
}

bool palStandard() {
    char text[256] = {0};
    GetIndString(text, 1009, 13);
    return std::strcmp(text, "PAL") == 0 || std::strcmp(text, "SECAM") == 0;
}

void setDefaults(ProjectSettings& s, bool pal) {
    std::memset(&s, 0, sizeof s);
    PsetGeneral& g = s.general;
    g.filetype = fourCC("AVIV");
    g.classid = kAnyClass;
    g.samplesize = pal ? 1 : 100;
    g.scale = pal ? 25 : 2997;
    g.timeformat = pal ? 0x20019 : 0x4001E;
    g.projectlength = pal ? 90000 : 10800000;
    g.doaudio = g.dovideo = g.range = 1;
    g.openwhendone = 1;

    PsetVideo& v = s.video;
    v.subtype = fourCC("rpza");
    v.width = pal ? 768 : 640;
    v.height = pal ? 576 : 480;
    v.samplesize = g.samplesize;
    v.scale = g.scale;
    v.quality = 100;
    v.depth = 16;
    v.aspect43 = 1;
    v.pixelAspect = 0x00010001;

    PsetAudio& a = s.audio;
    a.subtype = fourCC("RAW ");
    a.audrate = 44100;
    a.audsamplesize = 1;
    a.audstereo = 1;
    a.interleave = 3;
    a.previewmintracks = 3;
    a.previewminfilters = 1;

    s.dataRate.datarate = 1000;
    s.dataRate.comppct = 5;
    s.dataRate.forcerecomp = 1;
    s.keyFrames.keyframeevery = 15;

    PsetCapture& c = s.capture;
    c.filetype = fourCC("AVIV");
    c.classID = kAnyClass;
    c.scale = g.scale;
    c.samplesize = g.samplesize;
    c.width = v.width;
    c.height = v.height;
    c.constrain = 1;
    c.useframesize = 1;
    c.reportdrops = 1;
    c.capvid = 1;
    c.capaud = 1;
    c.preroll = 5;
    c.caplim = 600;
    c.subtype = fourCC("RAW ");
    c.audrate = 44100;
    c.audsamplesize = 1;
    c.audstereo = 1;

    psetInvalidateCaptureInfo(&s.captureInfo);
}

Ptr freePtr(Ptr p) {
    if (p) FmDisposePtr(p);
    return nullptr;
}

void freeOwned(ProjectSettings& s) {
    s.general.compilerprefs = freePtr(s.general.compilerprefs);
    s.general.playmodprefs = freePtr(s.general.playmodprefs);
    s.video.subtypeprefs = freePtr(s.video.subtypeprefs);
    s.audio.subtypeprefs = freePtr(s.audio.subtypeprefs);
    s.capture.capprefs = freePtr(s.capture.capprefs);
    Handle dev = WordToHandle(s.device.devdata);
    if (dev && FmIsValidHandle(dev)) FmDisposeHandle(dev);
    s.device.devdata = 0;
}

namespace {

// A copy of an owned block; null for none, or when memory ran out (ok
// cleared).
Ptr copyPtr(Ptr from, bool& ok) {
    if (!from || !ok) return nullptr;
    uint32_t size = FmGetPtrSize(from);
    Ptr to = FmNewPtr(size);
    if (!to) {
        ok = false;
        return nullptr;
    }
    std::memcpy(to, from, size);
    return to;
}

}  // namespace

bool duplicateOwned(const ProjectSettings& from, ProjectSettings& to) {
    bool ok = true;
    to.general.compilerprefs = copyPtr(from.general.compilerprefs, ok);
    to.general.playmodprefs = copyPtr(from.general.playmodprefs, ok);
    to.video.subtypeprefs = copyPtr(from.video.subtypeprefs, ok);
    to.audio.subtypeprefs = copyPtr(from.audio.subtypeprefs, ok);
    to.capture.capprefs = copyPtr(from.capture.capprefs, ok);
    to.device.devdata = 0;
    Handle dev = WordToHandle(from.device.devdata);
    if (ok && dev && FmIsValidHandle(dev)) {
        Handle copy = dev;
        if (FmHandToHand(&copy) != noErr || copy == dev)
            ok = false;
        else
            to.device.devdata = HandleToWord(copy);
    }
    if (!ok) freeOwned(to);
    return ok;
}

}  // namespace rc::settings

using namespace rc::settings;

extern "C" {

RC_API Handle psetNewDefaultSettings(void) {
    Handle h = newBlock();
    if (h) setDefaults(*blockOf(h), palStandard());
    return h;
}

RC_API Handle psetNewStandardSettings(int32_t pal) {
    Handle h = newBlock();
    if (h) setDefaults(*blockOf(h), pal != 0);
    return h;
}

RC_API Handle InitProjectSettings(void) {
    Handle current = reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings));
    if (blockOf(current)) return current;
    Handle h = psetNewDefaultSettings();
    if (h) SetAGlobal(kSlotProjectSettings, reinterpret_cast<intptr_t>(h));
    return h;
}

RC_API OSErr psetCopyProjectSettings(Handle from, Handle to) {
    ProjectSettings* src = blockOf(from);
    ProjectSettings* dst = blockOf(to);
    if (!src || !dst) return nilHandleErr;
    if (src == dst) return noErr;
    ProjectSettings copy;
    std::memcpy(&copy, src, sizeof copy);
    if (!duplicateOwned(*src, copy)) return memFullErr;
    dst = blockOf(to);
    freeOwned(*dst);
    std::memcpy(dst, &copy, sizeof copy);
    return noErr;
}

RC_API void psetCleanupProjectSettings(Handle settings) {
    if (ProjectSettings* s = blockOf(settings)) freeOwned(*s);
}

RC_API void psetDisposeSettings(Handle settings) {
    if (!settings || !FmIsValidHandle(settings)) return;
    psetCleanupProjectSettings(settings);
    FmDisposeHandle(settings);
}

RC_API Handle psetDupGlobalSettings(int32_t slot) {
    Handle from = reinterpret_cast<Handle>(GetAGlobal(slot));
    if (!blockOf(from)) return nullptr;
    Handle h = newBlock();
    if (!h) return nullptr;
    if (psetCopyProjectSettings(from, h) != noErr) {
        FmDisposeHandle(h);
        return nullptr;
    }
    return h;
}

RC_API OSErr ReplaceGlobalSettings(int32_t slot, Handle settings) {
    ProjectSettings* src = blockOf(settings);
    if (!src) return nilHandleErr;
    Handle current = reinterpret_cast<Handle>(GetAGlobal(slot));
    if (current == settings) return noErr;
    Handle h = newBlock();
    if (!h) return memFullErr;
    if (psetCopyProjectSettings(settings, h) != noErr) {
        FmDisposeHandle(h);
        return memFullErr;
    }
    if (ProjectSettings* old = blockOf(current)) {
        std::memcpy(blockOf(h)->exportSource, old->exportSource, kExportSourceSize);
        psetDisposeSettings(current);
    }
    SetAGlobal(slot, reinterpret_cast<intptr_t>(h));
    return noErr;
}

RC_API void psetInvalidateCaptureInfo(PsetCaptureInfo* info) {
    if (!info) return;
    info->capinfovalid = 0;
    info->capvidsubtype = kPsetCapInfoInvalidSubtype;
    info->capdepth = 0;
    info->cappixelaspect = 0x7FFF0001;
    info->capfieldtype = 4;
    info->capquality = -1;
}

RC_API PsetBlock* psetGetBlock(Handle settings) {
    return resolve(settings);
}

}  // extern "C"
