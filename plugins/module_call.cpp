#include "plugins/module_call.h"

#include "platform/code_modules.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/resources.h"

namespace rc::plugins {

namespace {
int32_t gLoads = 0;
}

ModuleCall::ModuleCall(int16_t fileID, const char* entryName)
    : fileID_(fileID), savedResFile_(CurResFile()) {
    if (OpenFmxRFile(fileID, 255) == -1) return;
    fileOpen_ = true;
    char path[260];
    GetFSSpecPath(fileID, path);
    code_ = platform::loadCodeModule(path);
    if (code_ == nullptr) return;
    ++gLoads;
    entry_ = platform::codeModuleSymbol(code_, entryName);
}

ModuleCall::~ModuleCall() {
    platform::unloadCodeModule(code_);
    if (fileOpen_) ReleaseRFile(fileID_);
    UseResFile(savedResFile_);
}

intptr_t ModuleCall::swapCurrent(intptr_t value) {
    return SetAGlobal(kSlotCurrentHandlerFile, value);
}

int32_t moduleLoads() {
    return gLoads;
}

void resetModuleLoads() {
    gLoads = 0;
}

}  // namespace rc::plugins
