// The folder of ".prs" settings files and the named-file operations the
// settings dialogs use: listing, saving with a replace question, deleting,
// loading with warnings about missing modules.
#include <cstring>
#include <string>

#include "platform/folders.h"
#include "platform/file_status.h"
#include "platform/profile.h"
#include "reelcore/alerts.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "settings/settings_hooks.h"
#include "settings/settings_internal.h"
#include "settings/settings_files.h"

namespace hk = rc::settingshooks;

namespace rc::settings {

namespace {

std::string gFolder;       // empty: beside the application
std::string gDefaultName;  // empty: the configuration key

enum {
    kListSettingsFiles = 1130,
    kMsgReplace = 1,
    kMsgDelete = 2,
    kMsgCantDelete = 3,
    kMsgNoCompiler = 4,
    kMsgNoQuickTime = 5,
    kMsgSaveFailed = 7,
    kMsgNoFolder = 8
};

std::string folder() {
    if (!gFolder.empty()) return gFolder;
    const auto* app = reinterpret_cast<const FSSpec*>(GetAGlobal(kSlotAppFolder));
    if (!app || !app->name[0]) return std::string();
    std::string f(app->name, strnlen(app->name, sizeof app->name));
    if (f.back() != '/' && f.back() != '\\') f += '/';
    return f + "Settings";
}

bool anyExporterFor(OSType fileType, OSType classID) {
    const hk::ExportCatalog* c = hk::exportCatalog();
    hk::ExporterInfo e{};
    for (int32_t i = 0; c && c->exporterAt && c->exporterAt(i, &e); ++i)
        if (e.fileType == fileType && (e.classID == classID || e.classID == kAnyClass)) return true;
    return false;
}

}  // namespace

std::string settingsFilePath(const char* name) {
    std::string f = folder();
    if (f.empty() || !name || !*name) return std::string();
    std::string n = name;
    size_t dot = n.find_last_of('.');
    if (dot == std::string::npos || n.substr(dot) != ".prs") n += ".prs";
    return f + "/" + n;
}

std::vector<std::string> settingsFileNames() {
    std::vector<std::string> names = rc::platform::listFolder(folder().c_str(), ".prs");
    for (std::string& n : names) n.resize(n.size() - 4);
    return names;
}

OSErr saveNamedSettings(const char* name, Handle settings, const char* description, int32_t kind) {
    std::string f = folder();
    if (f.empty() || !rc::platform::makeFolders(f.c_str())) {
        AlertSystem(0, 0, kListSettingsFiles, kMsgNoFolder, 0, 0);
        return permErr;
    }
    std::string path = settingsFilePath(name);
    if (path.empty()) return kProjParamErr;
    if (rc::platform::pathExists(path.c_str()) &&
        AlertSystem(0, 1, kListSettingsFiles, kMsgReplace, 0, 0) == kAlertCancel)
        return 1;
    OSErr err = psetWriteSettingsFile(path.c_str(), settings, description, kind);
    if (err) AlertSystem(0, 0, kListSettingsFiles, kMsgSaveFailed, 0, 0);
    return err;
}

OSErr deleteNamedSettings(const char* name) {
    std::string path = settingsFilePath(name);
    if (path.empty()) return kProjParamErr;
    if (AlertSystem(0, 1, kListSettingsFiles, kMsgDelete, 0, 0) == kAlertCancel) return 1;
    if (HDelete(0, 0, path.c_str()) != 1) {
        AlertSystem(0, 0, kListSettingsFiles, kMsgCantDelete, 0, 0);
        return fnfErr;
    }
    return noErr;
}

Handle loadNamedSettings(const char* name, OSErr* error) {
    std::string path = settingsFilePath(name);
    Handle h = psetReadSettingsFile(path.empty() ? nullptr : path.c_str(), error);
    ProjectSettings* s = blockOf(h);
    if (!s) return nullptr;
    if (s->general.filetype == fourCC("MooV"))
        AlertSystem(0, 0, kListSettingsFiles, kMsgNoQuickTime, 0, 0);
    else if (!anyExporterFor(s->general.filetype, s->general.classid))
        AlertSystem(0, 0, kListSettingsFiles, kMsgNoCompiler, 0, 0);
    return h;
}

}  // namespace rc::settings

using namespace rc::settings;

extern "C" {

RC_API void psetSetSettingsFolder(const char* path) {
    gFolder = path ? path : "";
}

RC_API int16_t psetGetSettingsFolder(char* out) {
    std::string f = folder();
    if (out) {
        std::strncpy(out, f.c_str(), 259);
        out[259] = 0;
    }
    return f.empty() ? 0 : 1;
}

RC_API void psetSetDefaultSettingsName(const char* name) {
    gDefaultName = name ? name : "";
}

RC_API void psetGetDefaultSettingsName(char* out, int32_t size) {
    if (!out || size <= 0) return;
    out[0] = 0;
    if (!gDefaultName.empty()) {
        std::strncpy(out, gDefaultName.c_str(), size_t(size) - 1);
        out[size - 1] = 0;
        return;
    }
    const char* ini = reinterpret_cast<const char*>(GetAGlobal(kSlotSettingsFilePath));
    rc::platform::getPrivateProfileString("Default", "Settings", "", out, uint32_t(size), ini);
}

RC_API void psetShutdown(void) {
    resetExportSettings();
    Handle global = reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings));
    if (blockOf(global)) psetDisposeSettings(global);
    SetAGlobal(kSlotProjectSettings, 0);
}

}  // extern "C"
