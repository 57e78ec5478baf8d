#include "plugins/registry_hooks.h"

namespace rc::plugins::hooks {

namespace {
StartModulesFn gRecord = nullptr;
StartModulesFn gCompiler = nullptr;
RegisterModuleFn gXE = nullptr;
}  // namespace

void setStartRecordModules(StartModulesFn fn) {
    gRecord = fn;
}
void setStartCompilerModules(StartModulesFn fn) {
    gCompiler = fn;
}
void setRegisterXEModule(RegisterModuleFn fn) {
    gXE = fn;
}

void startRecordModules(const int16_t* fileIDs, int32_t count) {
    if (gRecord) gRecord(fileIDs, count);
}
void startCompilerModules(const int16_t* fileIDs, int32_t count) {
    if (gCompiler) gCompiler(fileIDs, count);
}
bool registerXEModule(int16_t fileID) {
    return gXE ? gXE(fileID) : false;
}

}  // namespace rc::plugins::hooks
