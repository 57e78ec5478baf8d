#include "ui/handler_links.h"

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
    return gHooks.openModuleFile ? gHooks.openModuleFile(fileID, path) : -1;
}

void releaseModuleFile(int16_t fileID) {
    if (gHooks.releaseModuleFile) gHooks.releaseModuleFile(fileID);
}

void setHooks(const Hooks& hooks) {
    gHooks = hooks;
}

}  // namespace rc::ui::links
