#include "plugins/playback_link.h"

#include "platform/code_modules.h"
#include "platform/module_resources.h"

namespace rc::playback {

namespace {

constexpr char kLibraryName[] = "libreelplay.so";

struct Library {
    bool tried = false;
    std::string path;  // set by tests
    void* module = nullptr;
    decltype(&playmodStartup) startup = nullptr;
    decltype(&FindPlayFileEntry) find = nullptr;
    decltype(&playmodGetFilePrefs) prefs = nullptr;
    decltype(&playmodDeactivateCurrent) deactivate = nullptr;
    decltype(&NotifyLoopedPlayIdleProcs) looped = nullptr;
    decltype(&playmodCanRenderFrames) canRender = nullptr;
    decltype(&playmodRenderRTFrame) render = nullptr;
};

Library& L() {
    static Library l;
    return l;
}

template <class Fn>
void resolve(void* module, const char* name, Fn& out) {
    out = reinterpret_cast<Fn>(platform::codeModuleSymbol(module, name));
}

// The folder of the module holding this code, with its slash.
std::string ownFolder() {
    const std::string self = platform::modulePathOf(reinterpret_cast<const void*>(&ownFolder));
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
}

Library& lib() {
    Library& l = L();
    if (l.tried) return l;
    l.tried = true;
    const std::string path = l.path.empty() ? ownFolder() + kLibraryName : l.path;
    l.module = platform::loadCodeModule(path.c_str());
    if (l.module == nullptr) return l;
    resolve(l.module, "playmodStartup", l.startup);
    resolve(l.module, "FindPlayFileEntry", l.find);
    resolve(l.module, "playmodGetFilePrefs", l.prefs);
    resolve(l.module, "playmodDeactivateCurrent", l.deactivate);
    resolve(l.module, "NotifyLoopedPlayIdleProcs", l.looped);
    resolve(l.module, "playmodCanRenderFrames", l.canRender);
    resolve(l.module, "playmodRenderRTFrame", l.render);
    return l;
}

}  // namespace

void setLibraryPath(const std::string& path) {
    Library& l = L();
    // The library stays loaded: modules it started may still be in use.
    l = Library{};
    l.path = path;
}

bool available() {
    return lib().module != nullptr;
}

void startup(const int16_t* fileIDs, int32_t count) {
    if (auto fn = lib().startup) fn(fileIDs, count);
}

int32_t findPlayFileEntry(OSType type, OSType subtype, int32_t kind, RcPlayFileEntry* entry,
                          int16_t* id) {
    auto fn = lib().find;
    return fn ? fn(type, subtype, kind, entry, id) : 0;
}

int32_t getFilePrefs(int16_t id, const RcPlayFileEntry* entry, Ptr* prefs) {
    auto fn = lib().prefs;
    return fn ? fn(id, entry, prefs) : 1;
}

void deactivateCurrent() {
    if (auto fn = lib().deactivate) fn();
}

void notifyLoopedPlayIdle() {
    if (auto fn = lib().looped) fn();
}

int32_t canRenderFrames(intptr_t module) {
    auto fn = lib().canRender;
    return fn ? fn(module) : 0;
}

int32_t renderRTFrame(intptr_t module, int32_t time, intptr_t frame, int32_t fieldMode,
                      void* destination, int32_t size) {
    auto fn = lib().render;
    return fn ? fn(module, time, frame, fieldMode, destination, size) : 0;
}

}  // namespace rc::playback
