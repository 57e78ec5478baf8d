// The settings dialogs (replaceable procedures, headless: accept as they
// are) and the export settings of each kind that the export dialogs edit.
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "settings/settings_internal.h"

namespace rc::settings {

namespace {

int16_t acceptAsTheyAre(int32_t, Handle) {
    return kPsetDialogOK;
}

PsetDialogProc gDialog = acceptAsTheyAre;

constexpr int32_t kExportKinds = 4;  // movie, still, audio, custom
Handle gExportSettings[kExportKinds + 1] = {};

bool validExportKind(int32_t kind) {
    return kind >= kPsetKindMovie && kind <= kPsetKindCustom;
}

// Edits a duplicate of `target`; on acceptance validates it for `kind` (0:
// capture, which only derives the capture format) and copies it back.
int16_t runDialog(int32_t which, Handle target, int32_t kind) {
    if (!blockOf(target)) return 0;
    Handle dup = newBlock();
    if (!dup) return 0;
    if (psetCopyProjectSettings(target, dup) != noErr) {
        FmDisposeHandle(dup);
        return 0;
    }
    int16_t answer = gDialog(which, dup);
    int16_t accepted = 0;
    if (answer == kPsetDialogOK && blockOf(dup)) {
        if (kind)
            psetValidateProjectSettings(dup, kind);
        else
            psetRectifyCaptureSettings(dup);
        accepted = psetCopyProjectSettings(dup, target) == noErr ? 1 : 0;
    }
    psetDisposeSettings(dup);
    return accepted;
}

Handle globalOrNew() {
    return InitProjectSettings();
}

}  // namespace

Handle exportSettingsIfAny(int32_t kind) {
    return validExportKind(kind) && blockOf(gExportSettings[kind]) ? gExportSettings[kind]
                                                                   : nullptr;
}

void resetExportSettings() {
    for (Handle& h : gExportSettings) {
        psetDisposeSettings(h);
        h = nullptr;
    }
}

}  // namespace rc::settings

using namespace rc::settings;

extern "C" {

RC_API Handle psetGetExportSettings(int32_t kind) {
    if (!validExportKind(kind)) return nullptr;
    Handle& h = gExportSettings[kind];
    if (!blockOf(h)) {
        Handle project = psetDupGlobalSettings(kSlotProjectSettings);
        h = project ? project : psetNewDefaultSettings();
    }
    return h;
}

RC_API OSErr psetSetExportSettings(int32_t kind, Handle settings) {
    if (!validExportKind(kind)) return kProjParamErr;
    Handle& h = gExportSettings[kind];
    if (!settings) {
        psetDisposeSettings(h);
        h = nullptr;
        return noErr;
    }
    if (!blockOf(settings)) return nilHandleErr;
    if (settings == h) return noErr;
    Handle copy = newBlock();
    if (!copy) return memFullErr;
    if (psetCopyProjectSettings(settings, copy) != noErr) {
        FmDisposeHandle(copy);
        return memFullErr;
    }
    psetDisposeSettings(h);
    h = copy;
    return noErr;
}

RC_API PsetDialogProc psetSetDialogProc(PsetDialogProc proc) {
    PsetDialogProc old = gDialog;
    gDialog = proc ? proc : acceptAsTheyAre;
    return old;
}

RC_API int16_t ProjectSettingsDialog(Handle settings) {
    return runDialog(kPsetDialogProject, settings ? settings : globalOrNew(), kPsetKindProject);
}

RC_API int16_t ExportMovieSettingsDialog(Handle settings) {
    return runDialog(kPsetDialogMovie, settings ? settings : psetGetExportSettings(kPsetKindMovie),
                     kPsetKindMovie);
}

RC_API int16_t ExportStillSettingsDialog(Handle settings) {
    return runDialog(kPsetDialogStill, settings ? settings : psetGetExportSettings(kPsetKindStill),
                     kPsetKindStill);
}

RC_API int16_t ExportAudioSettingsDialog(Handle settings) {
    return runDialog(kPsetDialogAudio, settings ? settings : psetGetExportSettings(kPsetKindAudio),
                     kPsetKindAudio);
}

RC_API int16_t psetCaptureSetupDialog(Handle settings) {
    return runDialog(kPsetDialogCapture, settings ? settings : globalOrNew(), 0);
}

}  // extern "C"
