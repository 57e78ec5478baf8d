// ID maps, ID lists and chunk directories of the project loaders and savers.
//
// The exported functions search their Handle plainly, so they are right
// whatever the caller did to it. The loaders and savers, which look up tens
// of thousands of IDs in one call, keep a hash index of their own beside the
// Handle for the length of that call (IdIndex, records_internal.h).
#include <algorithm>
#include <cstring>

#include "project/records_internal.h"
#include "reelcore/clips.h"
#include "reelcore/memory.h"

namespace rc::project {

namespace {

int32_t keyAt(Handle h, uint32_t entrySize, uint32_t i) {
    const char* p = *h + size_t(i) * entrySize;
    if (entrySize == 2) {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Entry number of the first entry whose key (the first 16- or 32-bit field)
// matches, or -1.
int64_t find(Handle h, uint32_t entrySize, int32_t key) {
    if (!h || !*h) return -1;
    uint32_t n = FmGetHandleSize(h) / entrySize;
    for (uint32_t i = 0; i < n; ++i)
        if (keyAt(h, entrySize, i) == key) return i;
    return -1;
}

OSErr append(Handle h, const void* entry, uint32_t entrySize) {
    uint32_t size = FmGetHandleSize(h);
    if (FmSetHandleSize(h, size + entrySize) != noErr) return memFullErr;
    std::memcpy(*h + size, entry, entrySize);
    return noErr;
}

}  // namespace

IdIndex::IdIndex(Handle h, uint32_t entrySize, uint32_t valueOffset)
    : handle_(h), entrySize_(entrySize), valueOffset_(valueOffset) {
    if (!h || !*h) return;
    uint32_t n = FmGetHandleSize(h) / entrySize;
    ids_.reserve(n);
    for (uint32_t i = 0; i < n; ++i) ids_.emplace(keyAt(h, entrySize, i), valueAt(i));
}

int32_t IdIndex::valueAt(uint32_t i) const {
    if (entrySize_ == 2) return keyAt(handle_, 2, i);
    int32_t v;
    std::memcpy(&v, *handle_ + size_t(i) * entrySize_ + valueOffset_, 4);
    return v;
}

int32_t IdIndex::lookup(int32_t key) const {
    auto it = ids_.find(key);
    return it == ids_.end() ? 0 : it->second;
}

OSErr IdIndex::add(int32_t key, int32_t value) {
    if (!handle_) return kProjParamErr;
    if (ids_.count(key)) return noErr;
    OSErr err = noErr;
    if (entrySize_ == 2) {
        int16_t id = int16_t(key);
        err = append(handle_, &id, 2);
    } else if (entrySize_ == 4) {
        err = append(handle_, &key, 4);
    } else {
        const int32_t entry[2] = {key, value};
        err = append(handle_, entry, 8);
    }
    if (!err) ids_.emplace(key, value);
    return err;
}

}  // namespace rc::project

using namespace rc::project;

RC_API int32_t LookupClip(int32_t storedID, Handle map) {
    int64_t i = find(map, 8, storedID);
    if (i < 0) return 0;
    int32_t id;
    std::memcpy(&id, *map + i * 8 + 4, 4);
    return id;
}

RC_API OSErr AddToClipList(Handle list, int32_t clipID) {
    if (!list) return kProjParamErr;
    if (find(list, 4, clipID) >= 0) return noErr;
    return append(list, &clipID, 4);
}

RC_API OSErr AddToFileList(Handle list, int16_t fileID) {
    if (!list) return kProjParamErr;
    if (find(list, 2, fileID) >= 0) return noErr;
    return append(list, &fileID, 2);
}

RC_API OSErr AddFilterFiles(Handle list, Handle filters) {
    if (!list) return kProjParamErr;
    if (!filters || !*filters) return noErr;
    uint32_t n = FmGetHandleSize(filters) / kFilterEntrySize;
    for (uint32_t i = 0; i < n; ++i) {
        int16_t fileID;
        std::memcpy(&fileID, *filters + size_t(i) * kFilterEntrySize, 2);
        if (fileID == 0) continue;
        OSErr err = AddToFileList(list, fileID);
        if (err) return err;
    }
    return noErr;
}

RC_API void ReleaseAllClips(Handle clipMap) {
    if (!clipMap || !*clipMap) return;
    uint32_t n = FmGetHandleSize(clipMap) / 8;
    for (uint32_t i = 0; i < n; ++i) {
        int32_t id;
        std::memcpy(&id, *clipMap + size_t(i) * 8 + 4, 4);
        if (id > 0) ClipCancel(id);
    }
}

RC_API OSErr AddToDir(Handle directory, int32_t key1, int32_t key2, int32_t position,
                      int32_t length) {
    if (!directory) return kProjParamErr;
    uint32_t size = FmGetHandleSize(directory);
    if (size < 4) {
        if (FmSetHandleSize(directory, 4) != noErr) return memFullErr;
        std::memset(*directory, 0, 4);
        size = 4;
    }
    int32_t count;
    std::memcpy(&count, *directory, 4);
    uint32_t used = 4 + uint32_t(std::max(count, 0)) * sizeof(FmChunkDirEntry);
    if (used > size) return kProjParamErr;  // the count claims more than the block holds
    FmChunkDirEntry entry{key1, key2, position, length};
    if (FmSetHandleSize(directory, used + sizeof entry) != noErr) return memFullErr;
    std::memcpy(*directory + used, &entry, sizeof entry);
    ++count;
    std::memcpy(*directory, &count, 4);
    return noErr;
}

RC_API int32_t GetChunkPos(Handle directory, int32_t key1, int32_t key2) {
    if (!directory || !*directory) return 0;
    uint32_t size = FmGetHandleSize(directory);
    if (size < 4) return 0;
    int32_t count;
    std::memcpy(&count, *directory, 4);
    uint32_t fits = (size - 4) / sizeof(FmChunkDirEntry);
    uint32_t n = count < 0 ? 0 : std::min(uint32_t(count), fits);
    for (uint32_t i = 0; i < n; ++i) {
        FmChunkDirEntry e;
        std::memcpy(&e, *directory + 4 + size_t(i) * sizeof e, sizeof e);
        if (e.key1 == key1 && e.key2 == key2) return e.position;
    }
    return 0;
}

RC_API Boolean IsPlugin(OSType type) {
    switch (type) {
        case 0x53504658:  // 'SPFX'
        case 0x56466C74:  // 'VFlt'
        case 0x41466C74:  // 'AFlt'
        case 0x65464B54:  // 'eFKT'
        case 0x44657643:  // 'DevC'
        case 0x45787044:  // 'ExpD'
        case 0x4578704D:  // 'ExpM'
        case 0x5137464D:  // 'Q7FM'
            return 1;
        default:
            return 0;
    }
}
