#include "platform/code_modules.h"

#include <dlfcn.h>

namespace rc::platform {

void* loadCodeModule(const char* path) {
    if (path == nullptr || *path == '\0') return nullptr;
    return ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* codeModuleSymbol(void* module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return ::dlsym(module, name);
}

void unloadCodeModule(void* module) {
    if (module != nullptr) ::dlclose(module);
}

}  // namespace rc::platform
