// Calls into transition, filter, export-effect and device modules: the entry
// by name, the version dispatch with the older records of version-2
// modules, and the global state set around each call.
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/code_modules.h"
#include "plugins/effects/effect_host.h"
#include "plugins/module_call.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/importers.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"

namespace rc::effects {
namespace {

RcHandle newHostHandle(uint32_t size) {
    return reinterpret_cast<RcHandle>(NewHandleClear(size));
}
void disposeHostHandle(RcHandle h) {
    DisposeHandle(reinterpret_cast<Handle>(h));
}
uint32_t hostHandleSize(RcHandle h) {
    return GetHandleSize(reinterpret_cast<Handle>(h));
}
int16_t setHostHandleSize(RcHandle h, uint32_t size) {
    return SetHandleSize(reinterpret_cast<Handle>(h), size);
}

const RcHostServices kServices{newHostHandle,     disposeHostHandle, hostHandleSize,
                               setHostHandleSize, FmLockMP,          FmExecuteMP};

const char* entryNameOf(OSType kind) {
    return kind == kKindEffect ? "xEffect" : "xFilter";
}

// Builds the older record, calls, and copies the settings and private-data
// words back into the current record.
template <class Old, class Current, class Fill>
int16_t callOlder(int16_t fileID, const char* entry, int16_t selector, Handle record, Fill fill) {
    Handle old = NewHandleClear(sizeof(Old));
    if (!old) return memFullErr;
    fill(*reinterpret_cast<const Current*>(*record), *reinterpret_cast<Old*>(*old));
    const int16_t result = callEntry(fileID, entry, selector, old);
    const auto& back = *reinterpret_cast<const Old*>(*old);
    auto& current = *reinterpret_cast<Current*>(*record);
    current.specsHandle = back.specsHandle;
    current.privateData = back.privateData;
    DisposeHandle(old);
    return result;
}

int16_t callVersion2(int16_t fileID, OSType kind, int16_t selector, Handle record) {
    const char* entry = entryNameOf(kind);
    if (kind == kKindEffect) {
        return callOlder<RcEffectRecordV2, RcEffectRecord>(
            fileID, entry, selector, record, [](const RcEffectRecord& c, RcEffectRecordV2& o) {
                o.specsHandle = c.specsHandle;
                o.source1 = c.source1;
                o.source2 = c.source2;
                o.destination = c.destination;
                o.part = c.part;
                o.total = c.total;
                o.previewing = c.previewing;
                o.arrowFlags = c.arrowFlags;
                o.reverse = c.reverse;
                o.source = c.source;
                o.startPoint = c.startPoint;
                o.endPoint = c.endPoint;
                o.privateData = c.privateData;
                o.callBack = c.callBack;
                o.utilities = c.utilities;
                o.version = 2;
                o.flags = c.flags;
            });
    }
    if (kind == kKindAudio) {
        return callOlder<RcAudioFilterRecordV2, RcAudioFilterRecord>(
            fileID, entry, selector, record,
            [](const RcAudioFilterRecord& c, RcAudioFilterRecordV2& o) {
                o.specsHandle = c.specsHandle;
                o.source = c.source;
                o.destination = c.destination;
                o.count = c.count;
                o.format = c.format;
                o.rate = c.rate;
                o.privateData = c.privateData;
                o.utilities = c.utilities;
                o.version = 2;
            });
    }
    return callOlder<RcVideoFilterRecordV2, RcVideoFilterRecord>(
        fileID, entry, selector, record,
        [](const RcVideoFilterRecord& c, RcVideoFilterRecordV2& o) {
            o.specsHandle = c.specsHandle;
            o.source = c.source;
            o.destination = c.destination;
            o.part = c.part;
            o.total = c.total;
            o.previewing = c.previewing;
            o.privateData = c.privateData;
            o.callBack = c.callBack;
            o.utilities = c.utilities;
            o.version = 2;
            o.fieldFlags = c.fieldFlags;
            o.word = c.word;
        });
}

// Filters and transitions run once per frame: loading and unloading their
// code around every call would cost more than a small picture's work. One
// extra load keeps each module's code mapped (the per-call load and unload
// then only move the reference count) until the filters shut down. Keyed by
// path, as FileIDs are reused.
struct KeptModule {
    std::string path;
    void* code;
};
struct KeptModules {
    std::mutex lock;
    std::vector<KeptModule> modules;
};
KeptModules& keptModules() {
    static KeptModules kept;
    return kept;
}
constexpr size_t kMostKeptModules = 256;

void keepLoaded(int16_t fileID) {
    char path[260] = {};
    GetFSSpecPath(fileID, path);
    path[sizeof path - 1] = '\0';
    if (!path[0]) return;
    KeptModules& kept = keptModules();
    std::lock_guard<std::mutex> hold(kept.lock);
    if (kept.modules.size() >= kMostKeptModules) return;
    for (const KeptModule& m : kept.modules)
        if (m.path == path) return;
    if (void* code = platform::loadCodeModule(path)) kept.modules.push_back(KeptModule{path, code});
}

}  // namespace

void releaseKeptModules() {
    KeptModules& kept = keptModules();
    std::lock_guard<std::mutex> hold(kept.lock);
    for (const KeptModule& m : kept.modules) platform::unloadCodeModule(m.code);
    kept.modules.clear();
}

const RcHostServices& hostServices() {
    return kServices;
}

int16_t callEntry(int16_t fileID, const char* entryName, int16_t selector, void* arg) {
    plugins::ModuleCall call(fileID, entryName);
    if (!call.entry()) return kNoModule;
    keepLoaded(fileID);
    return call.run([&](void* entry) {
        return reinterpret_cast<int16_t (*)(int16_t, void*)>(entry)(selector, arg);
    });
}

int16_t callVersioned(int16_t fileID, OSType kind, int16_t selector, Handle record) {
    switch (GetFileVersion(fileID)) {
        case 3:
            return callEntry(fileID, entryNameOf(kind), selector, record);
        case 2:
            return callVersion2(fileID, kind, selector, record);
        default:
            return kNoModule;
    }
}

}  // namespace rc::effects

using namespace rc::effects;

RC_API int16_t Effect(int16_t fileID, int16_t selector, Handle record) {
    if (!record || !*record || GetHandleSize(record) < sizeof(RcEffectRecord)) return kNoModule;
    auto* r = reinterpret_cast<RcEffectRecord*>(*record);
    r->utilities = reinterpret_cast<const void*>(GetAGlobal(kSlotUtilityTable));
    r->hostData = GetAGlobal(kSlotHostUtilities);
    r->host = &hostServices();
    r->title[sizeof r->title - 1] = '\0';
    if (selector == kRcEffectSetup) CloseUp(0);
    const int16_t result = callVersioned(fileID, kKindEffect, selector, record);
    // The title is read back as a C string.
    r = reinterpret_cast<RcEffectRecord*>(*record);
    r->title[sizeof r->title - 1] = '\0';
    return result;
}

RC_API int16_t Export(int16_t fileID, int16_t selector, void* callback) {
    const int16_t result = callEntry(fileID, "xExport", selector, callback);
    MyFPReset();
    return result;
}

RC_API int16_t Device(int16_t fileID, int16_t selector, Handle* record) {
    if (GetAGlobal(kSlotDeviceBusy) != 0) return kNoModule;
    SetAGlobal(kSlotDeviceBusy, 1);
    Handle h = record ? *record : nullptr;
    if (h && *h && GetHandleSize(h) >= sizeof(RcDeviceRecord)) {
        auto* d = reinterpret_cast<RcDeviceRecord*>(*h);
        d->host = &hostServices();
        d->name[sizeof d->name - 1] = '\0';
    }
    const int16_t result = callEntry(fileID, "xDevice", selector, h);
    if (h && *h && GetHandleSize(h) >= sizeof(RcDeviceRecord))
        reinterpret_cast<RcDeviceRecord*>(*h)->name[sizeof(RcDeviceRecord::name) - 1] = '\0';
    MyFPReset();
    SetAGlobal(kSlotDeviceBusy, 0);
    return result;
}
