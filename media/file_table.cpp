// The file table: registration, FileIDs, lookup and leaving the table.
//
// Besides the table in slot 206 the library keeps an index of its own: the
// FileIDs under each normalised path (so registration does not scan every
// record) and the free FileIDs below the next new one (so reuse does not scan
// either). The index belongs to one table, recognised by its handle and
// serial number, and is rebuilt from the table when that changes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/files_hooks.h"
#include "media/file_table_internal.h"
#include "media/media_access_internal.h"
#include "media/media_hooks.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace rc::media {
namespace {

// Container arguments are the library's own types so that the containers'
// code stays inside the library.
struct PathHash {
    size_t operator()(const std::string& s) const { return std::hash<std::string>{}(s); }
};
struct IdOrder {
    bool operator()(int32_t a, int32_t b) const { return a < b; }
};
struct FileSlot {
    int16_t id;
    bool operator==(const FileSlot& o) const { return id == o.id; }
};

struct FileIndex {
    Handle table = nullptr;
    uint32_t serial = 0;
    std::unordered_map<std::string, std::vector<FileSlot>, PathHash> byPath;
    std::set<int32_t, IdOrder> freeIDs;  // empty slots below the next new FileID
};

FileIndex& rawIndex() {
    static FileIndex index;
    return index;
}

Handle tableHandle() {
    return reinterpret_cast<Handle>(GetAGlobal(kSlotFileTable));
}

uint32_t* slotWords(FmFileTable* t) {
    return reinterpret_cast<uint32_t*>(*t->slots);
}

Handle slotHandle(FmFileTable* t, int32_t id) {
    return WordToHandle(slotWords(t)[id]);
}

void addToIndex(FileIndex& ix, const char* path, int16_t id) {
    ix.byPath[rc::platform::normalisePath(path)].push_back(FileSlot{id});
}

void removeFromIndex(FileIndex& ix, const char* path, int16_t id) {
    auto it = ix.byPath.find(rc::platform::normalisePath(path));
    if (it == ix.byPath.end()) return;
    auto& ids = it->second;
    ids.erase(std::remove(ids.begin(), ids.end(), FileSlot{id}), ids.end());
    if (ids.empty()) ix.byPath.erase(it);
}

// The index of the current table, rebuilt when the table changed under it.
FileIndex& index() {
    FileIndex& ix = rawIndex();
    Handle h = tableHandle();
    FmFileTable* t = fileTable();
    if (ix.table == h && t && ix.serial == t->serial) return ix;
    ix.byPath.clear();
    ix.freeIDs.clear();
    ix.table = h;
    ix.serial = t ? t->serial : 0;
    if (!t) return ix;
    int32_t limit = std::min(t->nextFileID, t->capacity);
    for (int32_t id = 1; id < t->capacity; ++id) {
        Handle rh = slotHandle(t, id);
        if (rh)
            addToIndex(ix, fileRec(rh)->spec.name, int16_t(id));
        else if (id < limit)
            ix.freeIDs.insert(id);
    }
    return ix;
}

bool sameSpec(const FSSpec& a, const FSSpec& b) {
    return a.vRefNum == b.vRefNum && a.parID == b.parID && rc::platform::pathsEqual(a.name, b.name);
}

// The lowest registered, not offline record for the FSSpec.
int16_t findRegistered(const FSSpec& spec) {
    FileIndex& ix = index();
    auto it = ix.byPath.find(rc::platform::normalisePath(spec.name));
    if (it == ix.byPath.end()) return 0;
    int16_t best = 0;
    for (FileSlot slot : it->second) {
        int16_t id = slot.id;
        FmFileRecord* r = findFileRec(id);
        if (r && !r->offline && sameSpec(r->spec, spec) && (best == 0 || id < best)) best = id;
    }
    return best;
}

bool specLookup(int16_t id, FSSpec* out) {
    FmFileRecord* r = findFileRec(id);
    if (!r || !out) return false;
    *out = r->spec;
    return true;
}

// A FileID for a new record (steps of the allocation rule), 0 on failure.
int32_t allocateFileID(FmFileTable*& t) {
    FileIndex& ix = index();
    if (t->nextFileID < t->capacity) {
        int32_t id = t->nextFileID++;
        t->count = std::max(t->count, id);
        return id;
    }
    while (!ix.freeIDs.empty()) {
        int32_t id = *ix.freeIDs.begin();
        ix.freeIDs.erase(ix.freeIDs.begin());
        if (id >= 1 && id < t->capacity && !slotHandle(t, id)) return id;
    }
    if (t->capacity >= kFileTableMaxSlots) {
        debugLine(kFileIDLimitText);
        return 0;
    }
    int32_t oldCapacity = t->capacity;
    int32_t newCapacity = std::min(oldCapacity + kFileTableGrowth, int32_t(kFileTableMaxSlots));
    Handle slots = t->slots;
    if (FmSetHandleSize(slots, uint32_t(newCapacity) * 4) != 0) {
        debugLine(kCannotExpandText);
        return 0;
    }
    t = fileTable();  // only the slots moved, but re-read for clarity
    std::memset(slotWords(t) + oldCapacity, 0, size_t(newCapacity - oldCapacity) * 4);
    t->capacity = newCapacity;
    t->nextFileID = oldCapacity + 1;
    t->count = std::max(t->count, oldCapacity);
    return oldCapacity;
}

void removeFromBadList(int16_t id) {
    Handle bad = reinterpret_cast<Handle>(GetAGlobal(kSlotBadFiles));
    if (!bad || !*bad) return;
    uint32_t n = FmGetHandleSize(bad) / 2;
    int16_t* ids = reinterpret_cast<int16_t*>(*bad);
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (ids[i] != id) ids[kept++] = ids[i];
    if (kept != n) FmSetHandleSize(bad, kept * 2);
}

// The file leaves the table: its frames, handler, open files, private data
// and (when asked) the file itself go.
void leaveTable(int16_t id) {
    FmFileTable* t = fileTable();
    Handle h = FindFile(id);
    if (!t || !h) return;
    purgeFileFrames(id);
    FmFileRecord* r = fileRec(h);
    // A handler-owned file is closed once, by its handler, and only when it
    // is open; other files let an importer drop its state, then close here.
    if (r->handlerOwnsFile) {
        CloseDataFork(h);
    } else {
        if (r->handler) fileClose(id);
        r = fileRec(h);
        CloseDataFork(h);
    }
    CloseResourceFork(h);
    r = fileRec(h);
    if (r->handlerData) FmDisposeHandle(r->handlerData);
    if (r->savedDescription) FmDisposeHandle(r->savedDescription);
    if (r->prefsHandle) FmDisposeHandle(r->prefsHandle);
    r->handlerData = r->savedDescription = r->prefsHandle = nullptr;
    if (r->deleteOnClose && !deleteThroughHandler(id)) {
        r = fileRec(h);
        FSpDelete(&r->spec);
    }
    r = fileRec(h);
    FileIndex& ix = index();
    removeFromIndex(ix, r->spec.name, id);
    t = fileTable();
    slotWords(t)[id] = 0;
    if (id < t->nextFileID) ix.freeIDs.insert(id);
    FmDisposeHandle(h);
    removeFromBadList(id);
}

}  // namespace

FmFileTable* fileTable() {
    Handle h = tableHandle();
    return h && *h ? reinterpret_cast<FmFileTable*>(*h) : nullptr;
}

FmFileRecord* findFileRec(int16_t id) {
    return fileRec(FindFile(id));
}

void disposeFileTable() {
    FmFileTable* t = fileTable();
    if (t) {
        for (int32_t id = 1; id < t->capacity; ++id) {
            Handle h = slotHandle(t, id);
            if (!h) continue;
            CloseDataFork(h);
            CloseResourceFork(h);
            FmFileRecord* r = fileRec(h);
            if (r->handlerData) FmDisposeHandle(r->handlerData);
            if (r->savedDescription) FmDisposeHandle(r->savedDescription);
            if (r->prefsHandle) FmDisposeHandle(r->prefsHandle);
            FmDisposeHandle(h);
            t = fileTable();
            slotWords(t)[id] = 0;
        }
        FmDisposeHandle(t->slots);
        FmDisposeHandle(tableHandle());
    }
    SetAGlobal(kSlotFileTable, 0);
    FileIndex& ix = rawIndex();
    ix = FileIndex{};
}

void reindexFile(int16_t id, const char* oldPath) {
    FileIndex& ix = index();
    removeFromIndex(ix, oldPath, id);
    if (FmFileRecord* r = findFileRec(id)) addToIndex(ix, r->spec.name, id);
}

bool pathExists(const char* path) {
    return rc::platform::pathExists(path);
}

namespace {
// Splits "dir/name0042.ext" into the digits' position and length in the
// name; false when the name has no trailing digits.
bool numberedPart(const std::string& path, size_t* start, size_t* len) {
    size_t name = path.find_last_of("/\\");
    name = name == std::string::npos ? 0 : name + 1;
    size_t dot = path.find_last_of('.');
    size_t end = (dot == std::string::npos || dot <= name) ? path.size() : dot;
    size_t b = end;
    while (b > name && path[b - 1] >= '0' && path[b - 1] <= '9') --b;
    if (b == end) return false;
    *start = b;
    *len = end - b;
    return true;
}
}  // namespace

bool isIncremental(const char* path) {
    size_t s, n;
    return path && numberedPart(path, &s, &n);
}

bool nextInSequence(const char* path, std::string* next) {
    if (!path) return false;
    std::string p = path;
    size_t s, n;
    if (!numberedPart(p, &s, &n)) return false;
    std::string digits = p.substr(s, n);
    int i = int(n) - 1;
    for (; i >= 0; --i) {
        if (digits[size_t(i)] == '9') {
            digits[size_t(i)] = '0';
        } else {
            ++digits[size_t(i)];
            break;
        }
    }
    if (i < 0) digits.insert(digits.begin(), '1');
    *next = p.substr(0, s) + digits + p.substr(s + n);
    return true;
}

}  // namespace rc::media

using namespace rc::media;

RC_API void InitFileQueue(void) {
    static uint32_t serial = 0;
    Handle old = reinterpret_cast<Handle>(GetAGlobal(kSlotFileTable));
    (void)old;  // a previous table belongs to the caller's past; it is not reused
    Handle h = FmNewHandleClear(sizeof(FmFileTable));
    if (!h) return;
    Handle slots = FmNewHandleClear(uint32_t(kFileTableGrowth) * 4);
    if (!slots) {
        FmDisposeHandle(h);
        return;
    }
    FmFileTable* t = reinterpret_cast<FmFileTable*>(*h);
    t->capacity = kFileTableGrowth;
    t->count = 0;
    t->nextFileID = 1;
    t->allIdleClosed = 0;
    t->earliestRelease = -1;
    t->slots = slots;
    t->serial = ++serial;
    SetAGlobal(kSlotFileTable, reinterpret_cast<intptr_t>(h));
    rc::fileshooks::setFileSpecLookup(specLookup);
    rc::media::installMediaAccessHooks();
}

RC_API int16_t AddFSSpec(const FSSpec* spec, OSType type) {
    FmFileTable* t = fileTable();
    if (!t || !spec) return 0;
    FSSpec s = *spec;
    s.name[sizeof s.name - 1] = '\0';
    if (int16_t existing = findRegistered(s)) {
        FmFileRecord* r = findFileRec(existing);
        bool separate = importerHasSetup(r->handler) ||
                        ((r->still || r->info.isFramestore) && isIncremental(s.name));
        if (!separate) return existing;
    }
    Handle h = FmNewHandleClear(sizeof(FmFileRecord));
    if (!h) return 0;
    t = fileTable();
    int32_t id = allocateFileID(t);
    if (id == 0) {
        FmDisposeHandle(h);
        return 0;
    }
    FmFileRecord* r = fileRec(h);
    r->fileID = int16_t(id);
    r->spec = s;
    r->dataRef = -1;
    r->resRef = -1;
    r->type = type ? type : FSSpecToFileType(&s);
    r->handler = getDrawType(r->type);
    t = fileTable();
    slotWords(t)[id] = HandleToWord(h);
    addToIndex(index(), s.name, int16_t(id));
    return int16_t(id);
}

RC_API int16_t AddFile(const char* path, int32_t parID, int16_t vRefNum, OSType type) {
    FSSpec spec{};
    spec.vRefNum = vRefNum;
    spec.parID = parID;
    if (path) std::strncpy(spec.name, path, sizeof spec.name - 1);
    return AddFSSpec(&spec, type);
}

RC_API int32_t FileSubscribe(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    if (!r) return 0;
    if (r->subscriptions < INT32_MAX) ++r->subscriptions;
    return r->subscriptions;
}

RC_API void FileCancel(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    if (!r || r->subscriptions <= 0) return;
    if (--r->subscriptions == 0) leaveTable(id);
}

RC_API Handle FindFile(int16_t id) {
    FmFileTable* t = fileTable();
    if (!t || id < 1 || id > t->count || id >= t->capacity) return nullptr;
    return slotHandle(t, id);
}

RC_API Handle FindName(const char* path, int32_t parID, int16_t vRefNum) {
    if (!path || !fileTable()) return nullptr;
    FSSpec spec{};
    spec.vRefNum = vRefNum;
    spec.parID = parID;
    std::strncpy(spec.name, path, sizeof spec.name - 1);
    int16_t id = findRegistered(spec);
    return id ? FindFile(id) : nullptr;
}

RC_API int16_t TranslateFMXFileToFileID(FileRef reference) {
    FmFileTable* t = fileTable();
    if (!t || reference == -1) return 0;
    for (int32_t id = 1; id <= t->count && id < t->capacity; ++id) {
        Handle h = slotHandle(t, id);
        if (h && fileRec(h)->dataRef == reference) return int16_t(id);
    }
    return 0;
}

RC_API void GetFSSpec(int16_t id, FSSpec* out) {
    if (!out) return;
    FmFileRecord* r = findFileRec(id);
    if (r)
        *out = r->spec;
    else
        std::memset(out, 0, sizeof *out);
}

RC_API void GetFSSpecPath(int16_t id, char* out) {
    if (!out) return;
    FmFileRecord* r = findFileRec(id);
    if (!r) {
        out[0] = '\0';
        return;
    }
    std::memcpy(out, r->spec.name, sizeof r->spec.name);
    out[sizeof r->spec.name - 1] = '\0';
}

RC_API Boolean FileIsBad(int16_t id) {
    Handle bad = reinterpret_cast<Handle>(GetAGlobal(kSlotBadFiles));
    if (!bad || !*bad || id == 0) return 0;
    uint32_t n = FmGetHandleSize(bad) / 2;
    const int16_t* ids = reinterpret_cast<const int16_t*>(*bad);
    for (uint32_t i = 0; i < n; ++i)
        if (ids[i] == id) return 1;
    return 0;
}
