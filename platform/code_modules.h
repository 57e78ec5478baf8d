// Loading a module's code and resolving its entry points by name.
#pragma once

namespace rc::platform {

// Loads the shared object at path; null when it cannot be loaded.
void* loadCodeModule(const char* path);
// The exported symbol of that name, or null.
void* codeModuleSymbol(void* module, const char* name);
void unloadCodeModule(void* module);

}  // namespace rc::platform
