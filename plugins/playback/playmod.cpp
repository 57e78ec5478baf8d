// The playback library, libreelplay.so: it loads the playback modules that
// plug-in registration hands it and answers the library's seven calls by
// asking them (protocol in reelcore/sdk/playback.h). With no modules every
// answer is "no module", and callers take their software paths.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "reelcore/filetable.h"
#include "reelcore/playmod.h"

namespace {

struct Module {
    int16_t fileID = 0;
    void* code = nullptr;
    RcPlayEntryProc entry = nullptr;
    std::vector<RcPlayFileEntry> types;
};

struct State {
    std::vector<Module> modules;
    int16_t current = 0;  // the module of the last entry found
};

State& S() {
    static State s;
    return s;
}

Module* moduleOf(intptr_t fileID) {
    for (Module& m : S().modules)
        if (m.fileID == fileID) return &m;
    return nullptr;
}

void shutDownAll() {
    for (Module& m : S().modules) {
        m.entry(kRcPlayShutdown, 0, 0);
        dlclose(m.code);
    }
    S().modules.clear();
    S().current = 0;
}

// Loads one module and asks it what it plays; false when it cannot be
// reached or declines.
bool start(int16_t fileID, Module& out) {
    char path[260];
    GetFSSpecPath(fileID, path);
    if (path[0] == '\0') return false;
    void* code = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (code == nullptr) return false;
    auto entry = reinterpret_cast<RcPlayEntryProc>(dlsym(code, RC_PLAY_ENTRY_NAME));
    RcPlayModuleInfo info{};
    if (entry == nullptr || entry(kRcPlayStartup, reinterpret_cast<intptr_t>(&info), 0) != 0) {
        dlclose(code);
        return false;
    }
    out.fileID = fileID;
    out.code = code;
    out.entry = entry;
    const int32_t count = std::clamp<int32_t>(info.typeCount, 0, kRcPlayMaxTypes);
    for (int32_t i = 0; i < count; ++i) {
        RcPlayFileEntry e = info.types[i];
        e.moduleID = fileID;
        e.name[sizeof e.name - 1] = '\0';
        out.types.push_back(e);
    }
    return true;
}

}  // namespace

RC_API void playmodStartup(const int16_t* fileIDs, int32_t count) {
    shutDownAll();
    for (int32_t i = 0; fileIDs != nullptr && i < count; ++i) {
        if (moduleOf(fileIDs[i])) continue;
        Module m;
        if (start(fileIDs[i], m)) S().modules.push_back(std::move(m));
    }
}

RC_API int32_t FindPlayFileEntry(OSType type, OSType subtype, int32_t, RcPlayFileEntry* entry,
                                 int16_t* id) {
    for (const Module& m : S().modules) {
        for (const RcPlayFileEntry& e : m.types) {
            if (e.fileType != type || (e.subtype != 0 && e.subtype != subtype)) continue;
            if (entry) *entry = e;
            if (id) *id = m.fileID;
            S().current = m.fileID;
            return 1;
        }
    }
    return 0;
}

RC_API int32_t playmodGetFilePrefs(int16_t id, const RcPlayFileEntry* entry, Ptr* prefs) {
    Module* m = moduleOf(id);
    if (m == nullptr || prefs == nullptr) return 1;
    return m->entry(kRcPlayGetFilePrefs, reinterpret_cast<intptr_t>(entry),
                    reinterpret_cast<intptr_t>(prefs));
}

RC_API void playmodDeactivateCurrent(void) {
    if (Module* m = moduleOf(S().current)) m->entry(kRcPlayDeactivate, 0, 0);
}

RC_API void NotifyLoopedPlayIdleProcs(void) {
    for (Module& m : S().modules) m.entry(kRcPlayLoopedIdle, 0, 0);
}

RC_API int32_t playmodCanRenderFrames(intptr_t module) {
    Module* m = moduleOf(module);
    return m ? m->entry(kRcPlayCanRender, module, 0) : 0;
}

RC_API int32_t playmodRenderRTFrame(intptr_t module, int32_t time, intptr_t frame,
                                    int32_t fieldMode, void* destination, int32_t size) {
    Module* m = moduleOf(module);
    if (m == nullptr) return 0;
    RcPlayRenderRequest request{module, time, fieldMode, frame, destination, size, 0};
    return m->entry(kRcPlayRender, reinterpret_cast<intptr_t>(&request), 0);
}
