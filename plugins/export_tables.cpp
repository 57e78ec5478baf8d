// The export host's tables: what each export module offers, asked once when
// the plug-ins are loaded, corrected and kept in slots 339, 340 and 348; the
// getters and finders; and the catalog through which the settings validate
// against them.
#include <algorithm>
#include <cstring>

#include "plugins/export_host.h"
#include "plugins/module_call.h"
#include "plugins/registry_hooks.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "settings/settings_hooks.h"

namespace rc::exporthost {

namespace {

namespace shk = rc::settingshooks;

template <class T>
Handle table(int32_t slot) {
    return reinterpret_cast<Handle>(GetAGlobal(slot));
}

template <class T>
int32_t countOf(int32_t slot) {
    Handle h = table<T>(slot);
    return h && *h ? int32_t(FmGetHandleSize(h) / sizeof(T)) : 0;
}

template <class T>
bool entryAt(int32_t slot, int32_t index, T* out) {
    if (index < 0 || index >= countOf<T>(slot)) return false;
    if (out) std::memcpy(out, *table<T>(slot) + size_t(index) * sizeof(T), sizeof(T));
    return true;
}

template <class T>
bool append(int32_t slot, const T& entry) {
    Handle h = table<T>(slot);
    if (!h) {
        h = FmNewHandle(0);
        if (!h) return false;
        SetAGlobal(slot, reinterpret_cast<intptr_t>(h));
    }
    const uint32_t size = FmGetHandleSize(h);
    if (FmSetHandleSize(h, size + sizeof(T)) != 0) return false;
    std::memcpy(*h + size, &entry, sizeof(T));
    return true;
}

void namedUncompressed(char* name, size_t size) {
    char text[256] = "";
    GetIndString(text, kExportStrings, kMsgUncompressed);
    copyBounded(name, size, text[0] ? text : "Uncompressed", sizeof text);
}

void correctCompressor(RcCompressorInfo& c) {
    if (c.minValue <= 0) c.minValue = 1;
    if (c.minWidth <= 0) c.minWidth = 1;
    if (c.minHeight <= 0) c.minHeight = 1;
    if (c.maxWidth < 1 || c.maxWidth > 4000) c.maxWidth = 4000;
    if (c.maxHeight < 1 || c.maxHeight > 4000) c.maxHeight = 4000;
    if (c.fixedRate && (c.rateValue <= 0 || c.rateScale <= 0)) c.fixedRate = 0;
    if (c.qualityLimit != -1 && (c.qualityLimit < 0 || c.qualityLimit > 100)) c.qualityLimit = 100;
    c.name[sizeof c.name - 1] = 0;
    if (c.code == kRawCode && c.name[0] == 0) namedUncompressed(c.name, sizeof c.name);
}

// The module's format list, copied while its code is still loaded: up to the
// entry whose bits are 0, at most 64 entries.
const RcAudioFormat* copyFormats(const RcAudioFormat* formats, int16_t fileID) {
    if (!formats) return nullptr;
    int32_t n = 0;
    while (n < kMaxAudioFormats && formats[n].bits != 0) ++n;
    if (n == kMaxAudioFormats)
        FmDebug(0, "Compiler %d: audio format list cut short at %d entries", int(fileID), n);
    auto* copy = reinterpret_cast<RcAudioFormat*>(FmNewPtrClear(uint32_t(n + 1) * 8));
    if (copy) std::memcpy(copy, formats, size_t(n) * sizeof(RcAudioFormat));
    return copy;
}

// One module described while its code stays loaded.
void describeModule(int16_t fileID) {
    plugins::ModuleCall call(fileID, RC_COMPILE_ENTRY_NAME);
    auto entry = reinterpret_cast<RcCompileEntryProc>(call.entry());
    if (!entry) {
        FmDebug(0, "Compiler %d: no entry point", int(fileID));
        return;
    }
    auto ask = [&](int32_t selector, void* record, int32_t index) {
        return call.run([&](void*) {
            MyFPReset();
            const int32_t result = entry(selector, services(), record, index);
            MyFPReset();
            return result;
        });
    };
    char fileText[260] = "";
    GetFileText(fileID, fileText);

    RcCompilerInfo first{};
    int32_t described = 0;
    for (int32_t index = 0; index < kMaxExporters; ++index) {
        RcCompilerInfo info{};
        info.fileID = fileID;
        info.repeatIndex = index;
        const int32_t result = ask(kRcCompileStartup, &info, index);
        if (result != kRcCompileOK && result != kRcCompileMoreExporters) break;
        info.fileID = fileID;
        info.repeatIndex = index;
        info.name[sizeof info.name - 1] = 0;
        info.extension[sizeof info.extension - 1] = 0;
        if (!info.name[0]) copyBounded(info.name, sizeof info.name, fileText, sizeof fileText);
        if (!append<RcCompilerInfo>(kSlotCompilerTable, info)) break;
        if (described++ == 0) first = info;
        if (result != kRcCompileMoreExporters) break;
    }
    if (described == 0) return;

    for (int32_t index = 0; index <= kMaxCompressorIndex; ++index) {
        RcCompressorInfo c{};
        c.fileID = fileID;
        c.code = OSType(-1);
        c.depthMask = 60;
        c.info = 4;
        c.minValue = c.minWidth = c.minHeight = 1;
        c.maxWidth = c.maxHeight = 4000;
        c.qualityLimit = c.reserved1 = -1;
        c.fileType = first.fileType;
        c.classID = first.classID;
        if (ask(kRcCompileGetVideoCompressor, &c, index) != 0 || c.code == OSType(-1)) break;
        c.fileID = fileID;
        correctCompressor(c);
        if (!append<RcCompressorInfo>(kSlotCompressorTable, c)) break;
    }
    for (int32_t index = 0; index <= kMaxCompressorIndex; ++index) {
        RcAudioCompressorInfo a{};
        a.fileID = fileID;
        a.code = OSType(-1);
        a.fileType = first.fileType;
        a.classID = first.classID;
        if (ask(kRcCompileGetAudioCompressor, &a, index) != 0 || a.code == OSType(-1)) break;
        a.fileID = fileID;
        a.name[sizeof a.name - 1] = 0;
        if (a.code == kRawCode && a.name[0] == 0) namedUncompressed(a.name, sizeof a.name);
        a.formats = copyFormats(a.formats, fileID);
        if (!append<RcAudioCompressorInfo>(kSlotAudioCompressorTable, a)) {
            FmDisposePtr(reinterpret_cast<Ptr>(const_cast<RcAudioFormat*>(a.formats)));
            break;
        }
    }
}

bool classMatches(OSType a, OSType b) {
    return a == b || a == kAnyClass || b == kAnyClass;
}

// ---- The catalog the settings validate against ----

bool exporterAt(int32_t index, shk::ExporterInfo* out) {
    RcCompilerInfo info{};
    if (!entryAt(kSlotCompilerTable, index, &info)) return false;
    *out = shk::ExporterInfo{info.fileID, info.fileType, info.classID, exportKindsOf(info)};
    return true;
}

bool compressorOf(const shk::ExporterInfo& e, const RcCompressorInfo& c) {
    return c.fileID == e.moduleFileID && c.fileType == e.fileType &&
           classMatches(c.classID, e.classID);
}

bool videoCompressorAt(const shk::ExporterInfo& e, int32_t index, shk::VideoCompressorInfo* out) {
    RcCompressorInfo c{};
    for (int32_t i = 0, seen = 0; entryAt(kSlotCompressorTable, i, &c); ++i) {
        if (!compressorOf(e, c)) continue;
        if (seen++ != index) continue;
        *out = shk::VideoCompressorInfo{c.code,           c.depthMask, c.minWidth,
                                        c.minHeight,      c.maxWidth,  c.maxHeight,
                                        c.fixedRate != 0, c.rateScale, c.rateValue};
        return true;
    }
    return false;
}

bool audioCompressorAt(const shk::ExporterInfo& e, int32_t index, shk::AudioCompressorInfo* out) {
    RcAudioCompressorInfo a{};
    for (int32_t i = 0, seen = 0; entryAt(kSlotAudioCompressorTable, i, &a); ++i) {
        if (a.fileID != e.moduleFileID || a.fileType != e.fileType ||
            !classMatches(a.classID, e.classID))
            continue;
        if (seen++ != index) continue;
        int32_t n = 0;
        while (a.formats && a.formats[n].bits != 0) ++n;
        static_assert(sizeof(shk::AudioFormat) == sizeof(RcAudioFormat), "same format entries");
        *out = shk::AudioCompressorInfo{a.code,
                                        reinterpret_cast<const shk::AudioFormat*>(a.formats), n};
        return true;
    }
    return false;
}

const shk::ExportCatalog kCatalog{exporterAt, videoCompressorAt, audioCompressorAt};

void startHook(const int16_t* fileIDs, int32_t count) {
    startModules(fileIDs, count);
}

// The registry hands the export modules over after its scan, and the
// settings validate against the tables, from the moment the library loads.
[[maybe_unused]] const bool kInstalled =
    (plugins::hooks::setStartCompilerModules(startHook), shk::setExportCatalog(&kCatalog), true);

}  // namespace

void copyBounded(char* dst, size_t size, const char* src, size_t srcSize) {
    if (!dst || size == 0) return;
    const size_t n = src ? strnlen(src, std::min(srcSize, size - 1)) : 0;
    if (n) std::memmove(dst, src, n);
    dst[n] = 0;
}

int32_t exporterCount() {
    return countOf<RcCompilerInfo>(kSlotCompilerTable);
}
int32_t compressorCount() {
    return countOf<RcCompressorInfo>(kSlotCompressorTable);
}
int32_t audioCompressorCount() {
    return countOf<RcAudioCompressorInfo>(kSlotAudioCompressorTable);
}

void startModules(const int16_t* fileIDs, int32_t count) {
    for (int32_t i = 0; fileIDs && i < count; ++i) describeModule(fileIDs[i]);
}

uint32_t exportKindsOf(const RcCompilerInfo& info) {
    constexpr uint32_t kMovie = 1u << 1, kStill = 1u << 2, kAudio = 1u << 3, kCustom = 1u << 4,
                       kProject = 1u << 5;
    uint32_t kinds = 0;
    const uint32_t f = info.flags;
    if (f & kRcCompileMakesMovies) kinds |= kMovie | kProject;
    if (f & kRcCompileMakesStills) kinds |= kStill;
    if (f & kRcCompileMakesAudio) kinds |= kAudio;
    if (!(f & (kRcCompileMakesMovies | kRcCompileMakesStills | kRcCompileMakesAudio)))
        kinds |= kMovie | kProject | kAudio;
    if (info.customExport) kinds |= kCustom;
    return kinds;
}

int32_t callModule(int16_t fileID, int32_t selector, void* record, int32_t index) {
    plugins::ModuleCall call(fileID, RC_COMPILE_ENTRY_NAME);
    auto entry = reinterpret_cast<RcCompileEntryProc>(call.entry());
    if (!entry) return 1;
    return call.run([&](void*) {
        MyFPReset();
        const int32_t result = entry(selector, services(), record, index);
        MyFPReset();
        return result;
    });
}

}  // namespace rc::exporthost

using namespace rc::exporthost;

extern "C" {

RC_API void CompilerShutdown(void) {
    RcCompilerInfo info{};
    for (int32_t i = 0; entryAt(kSlotCompilerTable, i, &info); ++i)
        callModule(info.fileID, kRcCompileShutdown, nullptr, 0);
    RcAudioCompressorInfo a{};
    for (int32_t i = 0; entryAt(kSlotAudioCompressorTable, i, &a); ++i)
        FmDisposePtr(reinterpret_cast<Ptr>(const_cast<RcAudioFormat*>(a.formats)));
    for (int32_t slot : {int32_t(kSlotCompilerTable), int32_t(kSlotCompressorTable),
                         int32_t(kSlotAudioCompressorTable)}) {
        if (Handle h = reinterpret_cast<Handle>(GetAGlobal(slot))) FmDisposeHandle(h);
        SetAGlobal(slot, 0);
    }
}

RC_API Boolean GetIndexedCompilerEntry(int32_t index, RcCompilerInfo* record) {
    return entryAt(kSlotCompilerTable, index, record);
}

RC_API Boolean GetIndexedCompilerSubTypeEntry(int32_t index, RcCompressorInfo* record) {
    return entryAt(kSlotCompressorTable, index, record);
}

RC_API Boolean GetIndexedCompilerAudioEntry(int32_t index, RcAudioCompressorInfo* record) {
    return entryAt(kSlotAudioCompressorTable, index, record);
}

RC_API Boolean GetIndexedCustomCompilerEntry(int32_t n, RcCompilerInfo* record) {
    RcCompilerInfo info{};
    for (int32_t i = 0, seen = 0; entryAt(kSlotCompilerTable, i, &info); ++i) {
        if (!info.customExport || seen++ != n) continue;
        if (record) *record = info;
        return true;
    }
    return false;
}

RC_API int32_t GetCustomCompilerCount(void) {
    RcCompilerInfo info{};
    int32_t n = 0;
    for (int32_t i = 0; entryAt(kSlotCompilerTable, i, &info); ++i) n += info.customExport != 0;
    return n;
}

RC_API Boolean FindCompiler(OSType fileType, OSType classID, RcCompilerInfo* record) {
    RcCompilerInfo info{};
    int32_t anyClass = -1;
    for (int32_t i = 0; entryAt(kSlotCompilerTable, i, &info); ++i) {
        if (info.fileType != fileType) continue;
        if (info.classID == classID) {
            if (record) *record = info;
            return true;
        }
        if (info.classID == kAnyClass && anyClass < 0) anyClass = i;
    }
    return anyClass >= 0 && entryAt(kSlotCompilerTable, anyClass, record);
}

RC_API Boolean FindCompilerSubtype(int16_t moduleFileID, OSType fileType, OSType classID,
                                   OSType compressor, RcCompressorInfo* record) {
    RcCompressorInfo c{};
    for (int32_t i = 0; entryAt(kSlotCompressorTable, i, &c); ++i) {
        if (c.fileID == moduleFileID && c.fileType == fileType && c.code == compressor &&
            classMatches(c.classID, classID)) {
            if (record) *record = c;
            return true;
        }
    }
    return false;
}

RC_API Boolean FindCompilerAudioCompressor(int16_t moduleFileID, OSType fileType, OSType classID,
                                           OSType compressor, RcAudioCompressorInfo* record) {
    RcAudioCompressorInfo a{};
    for (int32_t i = 0; entryAt(kSlotAudioCompressorTable, i, &a); ++i) {
        if (a.fileID == moduleFileID && a.fileType == fileType && a.code == compressor &&
            classMatches(a.classID, classID)) {
            if (record) *record = a;
            return true;
        }
    }
    return false;
}

}  // extern "C"
