#include "ui/handler_links.h"

#include "reelcore/filetable.h"
#include "reelcore/resources.h"

namespace rc::ui::links {
namespace {

Hooks gHooks;

}  // namespace

int32_t currentResFile() {
    return gHooks.currentResFile ? gHooks.currentResFile() : CurResFile();
}

void useResFile(int32_t file) {
    if (gHooks.useResFile) {
        gHooks.useResFile(file);
        return;
    }
    // Only a real change: UseResFile of no file would set the resource error.
    if (file != -1 && file != CurResFile()) UseResFile(file);
}

int32_t openModuleFile(int16_t fileID, std::string& path) {
    path.clear();
    if (gHooks.openModuleFile) return gHooks.openModuleFile(fileID, path);
    // Module files are opened read-only, as resource files of the file table.
    int32_t file = OpenFmxRFile(fileID, 255);
    if (file == -1) return -1;
    char modulePath[sizeof(FSSpec{}.name)] = "";
    GetFSSpecPath(fileID, modulePath);
    modulePath[sizeof modulePath - 1] = 0;
    path = modulePath;
    return file;
}

void releaseModuleFile(int16_t fileID) {
    if (gHooks.releaseModuleFile) {
        gHooks.releaseModuleFile(fileID);
        return;
    }
    ReleaseRFile(fileID);
}

void setHooks(const Hooks& hooks) {
    gHooks = hooks;
}

}  // namespace rc::ui::links
