// Start-up hooks into the hosts that take over modules after the scan:
// capture modules, compiler (export) modules and XE effects. Until a host
// installs its hook, its modules are found and listed but nobody starts
// them, and XE effects are refused (there is nothing to run them).
#pragma once

#include <cstdint>

namespace rc::plugins::hooks {

using StartModulesFn = void (*)(const int16_t* fileIDs, int32_t count);
// Record (capture) modules, after the scan.
void setStartRecordModules(StartModulesFn fn);
// Compiler (export) modules, after the playback modules.
void setStartCompilerModules(StartModulesFn fn);
// An XE effect found by the scan; true when the host accepted it.
using RegisterModuleFn = bool (*)(int16_t fileID);
void setRegisterXEModule(RegisterModuleFn fn);

void startRecordModules(const int16_t* fileIDs, int32_t count);
void startCompilerModules(const int16_t* fileIDs, int32_t count);
bool registerXEModule(int16_t fileID);

}  // namespace rc::plugins::hooks
