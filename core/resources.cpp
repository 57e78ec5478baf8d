// Resource files: the default and current files, the 200-entry resource map,
// string lists and resource handles with their trailer.
#include <cstring>
#include <map>
#include <memory>

#include "core/memory_hooks.h"
#include "core/memory_internal.h"
#include "core/resource_format.h"
#include "core/resources_internal.h"
#include "platform/module_resources.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

// The library's own resource container; its address also tells which module
// file holds the library.
extern "C" const unsigned char reel_library_resources[];

namespace rc::res {

namespace {

namespace fmt = rc::resfmt;

constexpr OSType kStrListType = 0x53545223;  // 'STR#'
constexpr int kMaxCount1 = 9999;

struct ResFile {
    std::string path;
    Container container;
};

// A string-list index: pairs of (list ID, base) copied into a pointer block.
struct StringIndex {
    Ptr pairs = nullptr;  // count * 2 int16 values
    int32_t count = 0;
};

struct MapEntry {
    Handle handle = nullptr;
    OSType type = 0;
    int16_t id = 0;
    ResFileRef file = 0;
};

struct State {
    std::map<ResFileRef, std::unique_ptr<ResFile>> files;
    ResFileRef nextRef = 1;
    ResFileRef defaultFile = -1;
    ResFileRef currentFile = -1;
    StringIndex defaultIndex;
    StringIndex currentIndex;  // only when the current file is not the default
    bool currentIndexLoaded = false;
    MapEntry map[kMapEntries];
    int used = 0;
    OSErr error = noErr;
};

State& S() {
    static State s;
    return s;
}

ResFile* fileOf(ResFileRef ref) {
    auto it = S().files.find(ref);
    return it == S().files.end() ? nullptr : it->second.get();
}

void adjustBudget(intptr_t delta) {
    SetAGlobal(kSlotOpenFileBudget, GetAGlobal(kSlotOpenFileBudget) + delta);
}

// ---- The resource map ----

Handle mapFind(OSType type, int16_t id, ResFileRef file) {
    for (const MapEntry& e : S().map)
        if (e.handle && e.type == type && e.id == id && e.file == file) return e.handle;
    return nullptr;
}

bool mapRemove(Handle h) {
    State& s = S();
    for (MapEntry& e : s.map) {
        if (e.handle == h) {
            e = MapEntry{};
            --s.used;
            return true;
        }
    }
    return false;
}

// Moves entries from the end into free entries so the used ones come first.
void mapPack() {
    State& s = S();
    int end = kMapEntries;
    for (int i = 0; i < end; ++i) {
        if (s.map[i].handle) continue;
        while (end > i + 1 && !s.map[end - 1].handle) --end;
        if (end <= i + 1) break;
        s.map[i] = s.map[end - 1];
        s.map[--end] = MapEntry{};
    }
}

// Drops the bytes of every purgeable, unlocked cached resource. The handle
// records stay (callers may still hold them) as empty resource handles.
void mapPurge() {
    State& s = S();
    for (MapEntry& e : s.map) {
        if (!e.handle || !IsPurgeableHandle(e.handle)) continue;
        Handle h = e.handle;
        e = MapEntry{};
        --s.used;
        SetResHandle(h, 0);
        FmSetHandleSize(h, 0);
        SetResHandle(h, 1);
    }
}

// Registers a loaded resource; when the map stays full the resource is
// handed out uncached.
void mapAdd(Handle h, OSType type, int16_t id, ResFileRef file) {
    State& s = S();
    if (s.used >= kMapEntries) {
        mapPack();
        mapPurge();
        mapPack();
        if (s.used >= kMapEntries) return;
    }
    for (MapEntry& e : s.map) {
        if (!e.handle) {
            e = MapEntry{h, type, id, file};
            ++s.used;
            return;
        }
    }
}

void resourceGone(Handle h) {
    mapRemove(h);
}

// ---- Resource handles ----

// The stored size (data, name and trailer) of a resource handle.
bool resourceStoredSize(Handle h, uint32_t& stored) {
    if (h == nullptr || *h == nullptr || !rc::memory::isResourceHandle(h)) return false;
    stored = rc::memory::storedSize(h);
    return stored >= sizeof(ResourceTrailer);
}

bool readTrailer(Handle h, ResourceTrailer& t, uint32_t& stored) {
    if (!resourceStoredSize(h, stored)) return false;
    std::memcpy(&t, *h + stored - sizeof t, sizeof t);
    return t.nameOffset <= stored - sizeof t;
}

Handle makeResourceHandle(OSType type, int16_t id, const ResourceParts& parts) {
    const uint32_t nameBytes =
        parts.attributes & fmt::kAttrNamed ? static_cast<uint32_t>(parts.name.size()) + 1 : 0;
    const uint64_t total = uint64_t{parts.dataLength} + nameBytes + sizeof(ResourceTrailer);
    if (total > UINT32_MAX) return nullptr;
    Handle h = FmNewHandle(static_cast<uint32_t>(total));
    if (h == nullptr) return nullptr;
    char* p = *h;
    std::memcpy(p, parts.data, parts.dataLength);
    if (nameBytes) {
        std::memcpy(p + parts.dataLength, parts.name.data(), nameBytes - 1);
        p[parts.dataLength + nameBytes - 1] = '\0';
    }
    const ResourceTrailer t{id, type, parts.dataLength};
    std::memcpy(p + parts.dataLength + nameBytes, &t, sizeof t);
    SetResHandle(h, 1);
    if (parts.attributes & fmt::kAttrPurgeable) FmHPurge(h);
    return h;
}

// Loads (type, id) from the current file, then, when allowed, the default.
Handle loadResource(OSType type, int16_t id, bool searchDefault) {
    State& s = S();
    s.error = noErr;
    ResFileRef file = s.currentFile;
    for (;;) {
        if (Handle cached = mapFind(type, id, file)) return cached;
        const ResFile* f = fileOf(file);
        StoredResource stored;
        if (f && f->container.find(type, id, stored)) {
            const ResourceParts parts = splitStored(stored);
            if (!parts.ok) {
                s.error = badExtResource;
                return nullptr;
            }
            Handle h = makeResourceHandle(type, id, parts);
            if (h == nullptr) {
                s.error = memFullErr;
                return nullptr;
            }
            mapAdd(h, type, id, file);
            return h;
        }
        if (searchDefault && file == s.currentFile && s.defaultFile != s.currentFile) {
            file = s.defaultFile;
            continue;
        }
        s.error = resNotFound;
        return nullptr;
    }
}

// ---- String lists ----

void dropIndex(StringIndex& index) {
    if (index.pairs) FmDisposePtr(index.pairs);
    index = StringIndex{};
}

// Reads `STR#` 1000 of a file; the count is bounded by the data's size.
StringIndex loadIndex(const ResFile* f) {
    StringIndex index;
    StoredResource stored;
    if (f == nullptr || !f->container.find(kStrListType, fmt::kStringIndexID, stored)) return index;
    const ResourceParts parts = splitStored(stored);
    if (!parts.ok || parts.dataLength < 2) return index;
    int16_t declared;
    std::memcpy(&declared, parts.data, 2);
    const int32_t fits = static_cast<int32_t>((parts.dataLength - 2) / 4);
    const int32_t count = declared < 0 ? 0 : (declared < fits ? declared : fits);
    if (count == 0) return index;
    index.pairs = FmNewPtr(static_cast<uint32_t>(count) * 4);
    if (index.pairs == nullptr) return index;
    std::memcpy(index.pairs, parts.data + 2, static_cast<size_t>(count) * 4);
    index.count = count;
    return index;
}

bool findBase(const StringIndex& index, int16_t list, int32_t& base) {
    for (int32_t i = 0; i < index.count; ++i) {
        int16_t pair[2];
        std::memcpy(pair, index.pairs + i * 4, 4);
        if (pair[0] == list) {
            base = pair[1];
            return true;
        }
    }
    return false;
}

const StringIndex& currentIndex() {
    State& s = S();
    if (s.currentFile == s.defaultFile) return s.defaultIndex;
    if (!s.currentIndexLoaded) {
        dropIndex(s.currentIndex);
        s.currentIndex = loadIndex(fileOf(s.currentFile));
        s.currentIndexLoaded = true;
    }
    return s.currentIndex;
}

// The current index is forgotten when the current file changes (the
// default index stays).
void currentFileChanged() {
    State& s = S();
    dropIndex(s.currentIndex);
    s.currentIndexLoaded = false;
}

void copyString(const ResFile* f, int32_t base, int16_t index, char* dst) {
    std::string_view text;
    if (f == nullptr || base < 0 ||
        !f->container.findString(static_cast<uint32_t>(base) * 100 + static_cast<uint32_t>(index),
                                 text))
        text = {};
    const size_t n = text.size() < 255 ? text.size() : 255;
    if (n > 0) std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

void closeFile(ResFileRef ref) {
    State& s = S();
    for (MapEntry& e : s.map) {
        if (!e.handle || e.file != ref) continue;
        Handle h = e.handle;
        e = MapEntry{};
        --s.used;
        FmDisposeHandle(h);
    }
    s.files.erase(ref);
    adjustBudget(+1);
    if (s.currentFile == ref) {
        s.currentFile = s.defaultFile;
        currentFileChanged();
    }
}

}  // namespace

uint32_t resourceDataLength(Handle h) {
    ResourceTrailer t;
    uint32_t stored;
    if (readTrailer(h, t, stored)) return t.nameOffset;
    return FmGetHandleSize(h);
}

std::vector<OpenFileInfo> openFiles() {
    const State& s = S();
    std::vector<OpenFileInfo> out;
    for (const auto& [ref, f] : s.files)
        out.push_back({ref, f->path, f->container.resourceCount(), f->container.stringCount(),
                       ref == s.defaultFile, ref == s.currentFile});
    return out;
}

int mapEntriesInUse() {
    return S().used;
}

bool lowestResourceID(ResType type, int16_t* id) {
    const ResFile* f = fileOf(S().currentFile);
    int16_t lowest = 0;
    if (f == nullptr || !f->container.lowestID(type, lowest)) return false;
    if (id) *id = lowest;
    return true;
}

int16_t readModuleResources(const char* path, Container& out) {
    std::vector<uint8_t> section;
    const auto r = rc::platform::readModuleSection(path, fmt::kSectionName, section);
    if (r != rc::platform::SectionRead::Ok && r != rc::platform::SectionRead::NoSection)
        return memFullErr;
    return out.load(std::move(section)) ? noErr : memFullErr;
}

}  // namespace rc::res

using namespace rc::res;

RC_API ResFileRef InitResMgr(const char* moduleName) {
    State& s = S();
    // Start over: close what an earlier start-up opened.
    for (MapEntry& e : s.map) {
        if (!e.handle) continue;
        Handle h = e.handle;
        e = MapEntry{};
        FmDisposeHandle(h);
    }
    s.used = 0;
    dropIndex(s.currentIndex);
    dropIndex(s.defaultIndex);
    s.files.clear();
    s.defaultFile = s.currentFile = -1;
    s.currentIndexLoaded = false;
    rc::memhooks::setResourceGone(resourceGone);

    std::string path = moduleName && moduleName[0]
                           ? std::string(moduleName)
                           : rc::platform::modulePathOf(reel_library_resources);
    auto f = std::make_unique<ResFile>();
    f->path = path;
    if (path.empty() || readModuleResources(path.c_str(), f->container) != noErr) {
        s.error = memFullErr;
        return -1;
    }
    const ResFileRef ref = s.nextRef++;
    s.files.emplace(ref, std::move(f));
    s.defaultFile = s.currentFile = ref;
    s.defaultIndex = loadIndex(fileOf(ref));
    s.error = noErr;
    return ref;
}

RC_API Handle GetResource(ResType type, int16_t id) {
    return loadResource(type, id, true);
}

RC_API Handle Get1Resource(ResType type, int16_t id) {
    return loadResource(type, id, false);
}

RC_API int16_t Count1Resources(ResType type) {
    State& s = S();
    s.error = noErr;
    const ResFile* f = fileOf(s.currentFile);
    if (f == nullptr) return 0;
    int16_t n = 0;
    StoredResource stored;
    while (n < kMaxCount1 && f->container.find(type, static_cast<int16_t>(n + 1), stored)) ++n;
    return n;
}

RC_API Handle GetNamedResource(ResType type, const char* name) {
    State& s = S();
    if (name == nullptr) {
        s.error = resNotFound;
        return nullptr;
    }
    // Names are compared on the stored forms, so nothing is loaded for the
    // comparison alone.
    const ResFileRef saved = s.currentFile;
    const ResFileRef order[2] = {s.currentFile, s.defaultFile};
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1 && order[1] == order[0]) break;
        s.currentFile = order[pass];
        const int16_t count = Count1Resources(type);
        const ResFile* f = fileOf(s.currentFile);
        for (int16_t id = 1; f && id <= count; ++id) {
            StoredResource stored;
            if (!f->container.find(type, id, stored)) continue;
            const ResourceParts parts = splitStored(stored);
            if (!parts.ok || !(parts.attributes & rc::resfmt::kAttrNamed) || parts.name != name)
                continue;
            Handle h = loadResource(type, id, false);
            s.currentFile = saved;
            return h;
        }
    }
    s.currentFile = saved;
    s.error = resNotFound;
    return nullptr;
}

RC_API OSErr GetResInfo(Handle h, int16_t* id, ResType* type, char* name) {
    State& s = S();
    ResourceTrailer t;
    uint32_t stored;
    if (!readTrailer(h, t, stored)) {
        s.error = resNotFound;
        return resNotFound;
    }
    if (id) *id = t.id;
    if (type) *type = t.type;
    if (name) {
        // The name runs from its offset to a NUL before the trailer.
        const char* begin = *h + t.nameOffset;
        const size_t room = stored - sizeof t - t.nameOffset;
        const size_t n = strnlen(begin, room);
        const size_t copy = (n < room && n <= 255) ? n : 0;
        std::memcpy(name, begin, copy);
        name[copy] = '\0';
    }
    s.error = noErr;
    return noErr;
}

RC_API void ReleaseResource(Handle h) {
    if (h == nullptr) {
        S().error = resNotFound;
        return;
    }
    S().error = noErr;
    FmDisposeHandle(h);
}

RC_API void DetachResource(Handle h) {
    State& s = S();
    if (h == nullptr) {
        s.error = resNotFound;
        return;
    }
    s.error = noErr;
    mapRemove(h);
    ResourceTrailer t;
    uint32_t stored;
    const bool hasTrailer = readTrailer(h, t, stored);
    SetResHandle(h, 0);
    // Keep only the data: the name and trailer are not the caller's.
    if (hasTrailer) FmSetHandleSize(h, t.nameOffset);
}

RC_API void GetIndString(char* dst, int16_t list, int16_t index) {
    State& s = S();
    if (dst == nullptr || index < 1 || index > rc::resfmt::kMaxListItems) {
        s.error = resNotFound;
        return;
    }
    int32_t base;
    if (findBase(currentIndex(), list, base)) {
        copyString(fileOf(s.currentFile), base, index, dst);
        s.error = noErr;
    } else if (s.currentFile != s.defaultFile && findBase(s.defaultIndex, list, base)) {
        copyString(fileOf(s.defaultFile), base, index, dst);
        s.error = noErr;
    } else {
        s.error = resNotFound;
    }
}

RC_API ResFileRef OpenResFile(const char* path) {
    State& s = S();
    auto f = std::make_unique<ResFile>();
    if (path == nullptr || path[0] == '\0' || readModuleResources(path, f->container) != noErr) {
        s.error = memFullErr;
        return -1;
    }
    f->path = path;
    const ResFileRef ref = s.nextRef++;
    s.files.emplace(ref, std::move(f));
    s.currentFile = ref;
    currentFileChanged();
    adjustBudget(-1);
    s.error = noErr;
    return ref;
}

RC_API ResFileRef HOpenResFile(int16_t, int32_t, const char* path, int8_t) {
    return OpenResFile(path);
}

RC_API void FmUseResFile(ResFileRef file) {
    State& s = S();
    s.error = noErr;
    if (file == 0 || file == s.currentFile) return;
    if (fileOf(file) == nullptr) {
        s.error = resFNotFound;
        return;
    }
    s.currentFile = file;
    currentFileChanged();
}

RC_API void UseResFile(ResFileRef file) {
    FmUseResFile(file);
}

RC_API ResFileRef FmGetCurResFile(void) {
    return S().currentFile;
}

RC_API ResFileRef CurResFile(void) {
    return FmGetCurResFile();
}

RC_API void CloseResFile(ResFileRef file) {
    State& s = S();
    s.error = noErr;
    if (file == s.defaultFile || fileOf(file) == nullptr) return;
    closeFile(file);
}

RC_API OSErr ResError(void) {
    return S().error;
}

RC_API int32_t FmGetResFileInfo(int32_t index, FmResFileInfo* info) {
    const auto files = openFiles();
    if (info != nullptr && index >= 0 && static_cast<size_t>(index) < files.size()) {
        const OpenFileInfo& f = files[static_cast<size_t>(index)];
        info->ref = f.ref;
        info->isDefault = f.isDefault;
        info->isCurrent = f.isCurrent;
        info->resources = f.resources;
        info->strings = f.strings;
        const size_t n =
            f.path.size() < sizeof info->path - 1 ? f.path.size() : sizeof info->path - 1;
        std::memcpy(info->path, f.path.data(), n);
        info->path[n] = '\0';
    }
    return static_cast<int32_t>(files.size());
}

RC_API int32_t FmResMapEntriesInUse(void) {
    return mapEntriesInUse();
}

RC_API OSErr GetIndPattern(uint8_t* dst, int16_t list, int16_t index) {
    constexpr OSType kPatternList = 0x50415423;  // 'PAT#'
    Handle h = GetResource(kPatternList, list);
    if (h == nullptr || *h == nullptr || dst == nullptr) return resNotFound;
    const uint32_t count = resourceDataLength(h) / 8;
    if (index < 1 || static_cast<uint32_t>(index) > count) return resNotFound;
    std::memcpy(dst, *h + (index - 1) * 8, 8);
    return noErr;
}
