// The preferences store: item data one block after another, then a directory
// of 14-byte entries, then a 16-bit count as the file's last two bytes (all
// little-endian). Same-length writes go in place; appends write a complete
// new file beside the old one and rename it over it, so the old store
// survives any failure.
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_status.h"
#include "platform/folders.h"
#include "platform/safe_save.h"
#include "reelcore/alerts.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "settings/prefs_internal.h"

namespace rc::prefs {

namespace {

struct Store {
    std::string pathOverride;
    FileRef fd = -1;
    bool createdThisRun = false;
    int batchDepth = 0;
    bool batchLoaded = false;
    bool batchDirty = false;
    std::vector<uint8_t> data;  // the data region while batching
};

// Never destroyed: exit handlers may still close the store.
Store& S() {
    static Store* s = new Store;
    return *s;
}

Handle directory() {
    return reinterpret_cast<Handle>(GetAGlobal(kSlotPrefsDirectory));
}

int32_t entryCount() {
    Handle d = directory();
    return d && *d ? int32_t(FmGetHandleSize(d) / sizeof(DirEntry)) : 0;
}

DirEntry entryAt(int32_t i) {
    DirEntry e;
    std::memcpy(&e, *directory() + size_t(i) * sizeof(DirEntry), sizeof e);
    return e;
}

void setEntry(int32_t i, const DirEntry& e) {
    std::memcpy(*directory() + size_t(i) * sizeof(DirEntry), &e, sizeof e);
}

bool dead(const DirEntry& e) {
    return e.type == 0 && e.id == 0;
}

int32_t findEntry(OSType type, int16_t id) {
    if (type == 0 && id == 0) return -1;
    for (int32_t i = entryCount() - 1; i >= 0; --i) {
        DirEntry e = entryAt(i);
        if (e.type == type && e.id == id) return i;
    }
    return -1;
}

void dropDirectory() {
    Handle d = directory();
    if (d) FmDisposeHandle(d);
    SetAGlobal(kSlotPrefsDirectory, 0);
}

std::string currentPath() {
    return S().pathOverride.empty() ? defaultPrefsPath() : S().pathOverride;
}

int64_t fileSize(FileRef fd) {
    int64_t size = 0;
    return GetFileSize64(fd, &size) == 0 ? size : -1;
}

// Bytes [0, length) of the open file.
bool readPrefix(FileRef fd, int64_t length, std::vector<uint8_t>& out) {
    out.assign(size_t(length), 0);
    if (length == 0) return true;
    const int64_t at = 0;
    return FmPRead(fd, out.data(), int32_t(length), &at) == 0;
}

// Writes data + directory + count as the whole new store, then points the
// open descriptor at it.
OSErr commit(const std::vector<uint8_t>& data) {
    Store& s = S();
    std::vector<uint8_t> image(data);
    const int32_t n = entryCount();
    if (n > 0) image.insert(image.end(), *directory(), *directory() + size_t(n) * sizeof(DirEntry));
    const uint16_t count = uint16_t(n);
    image.push_back(uint8_t(count & 0xFF));
    image.push_back(uint8_t(count >> 8));
    const std::string path = currentPath();
    rc::platform::SafeSaveFile file;
    int32_t sys = rc::platform::beginSafeSave(path.c_str(), file);
    if (sys) return FmTranslateError(sys, ioErr);
    int32_t written = int32_t(image.size());
    if (FmWrite(file.fd, image.data(), &written) != 0 || written != int32_t(image.size())) {
        rc::platform::abortSafeSave(file);
        return writErr;
    }
    sys = rc::platform::commitSafeSave(file);
    if (sys) return FmTranslateError(sys, writErr);
    sys = rc::platform::reopenDescriptor(s.fd, path.c_str());
    if (sys) {
        // The new store is in place but the old descriptor can't follow it.
        FSClose(s.fd);
        s.fd = -1;
        return FmTranslateError(sys, ioErr);
    }
    return noErr;
}

// Reads the directory of the open file; false when the store is malformed.
bool loadDirectory(FileRef fd) {
    int64_t size = fileSize(fd);
    if (size < 2 || size > INT32_MAX) return false;
    uint8_t tail[2];
    const int64_t at = size - 2;
    if (FmPRead(fd, tail, 2, &at) != 0) return false;
    const int32_t count = tail[0] | (tail[1] << 8);
    const int64_t dirBytes = int64_t(count) * int64_t(sizeof(DirEntry));
    const int64_t dataEnd = size - 2 - dirBytes;
    if (dataEnd < 0) return false;
    Handle d = FmNewHandleClear(uint32_t(dirBytes));
    if (!d) return false;
    const int64_t dirAt = dataEnd;
    if (dirBytes && FmPRead(fd, *d, int32_t(dirBytes), &dirAt) != 0) {
        FmDisposeHandle(d);
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        DirEntry e;
        std::memcpy(&e, *d + size_t(i) * sizeof e, sizeof e);
        if (dead(e)) continue;
        if (e.offset < 0 || e.length < 0 || int64_t(e.offset) + e.length > dataEnd) {
            FmDisposeHandle(d);
            return false;
        }
    }
    dropDirectory();
    SetAGlobal(kSlotPrefsDirectory, reinterpret_cast<intptr_t>(d));
    return true;
}

// A new store holds only its count of 0.
OSErr createEmpty(const std::string& path) {
    rc::platform::SafeSaveFile file;
    int32_t sys = rc::platform::beginSafeSave(path.c_str(), file);
    if (sys) return FmTranslateError(sys, ioErr);
    const uint8_t zero[2] = {0, 0};
    int32_t n = 2;
    if (FmWrite(file.fd, zero, &n) != 0 || n != 2) {
        rc::platform::abortSafeSave(file);
        return writErr;
    }
    sys = rc::platform::commitSafeSave(file);
    return sys ? FmTranslateError(sys, writErr) : OSErr(noErr);
}

int64_t dataEnd() {
    Store& s = S();
    if (s.batchLoaded) return int64_t(s.data.size());
    return fileSize(s.fd) - 2 - int64_t(entryCount()) * int64_t(sizeof(DirEntry));
}

// Keeps only the live items, in their order; used before the count would
// pass what 16 bits hold.
bool compact(std::vector<uint8_t>& data) {
    std::vector<uint8_t> packed;
    std::vector<DirEntry> live;
    for (int32_t i = 0; i < entryCount(); ++i) {
        DirEntry e = entryAt(i);
        if (dead(e)) continue;
        DirEntry moved = e;
        moved.offset = int32_t(packed.size());
        packed.insert(packed.end(), data.begin() + e.offset, data.begin() + e.offset + e.length);
        live.push_back(moved);
    }
    if (FmSetHandleSize(directory(), uint32_t(live.size() * sizeof(DirEntry))) != 0) return false;
    if (!live.empty()) std::memcpy(*directory(), live.data(), live.size() * sizeof(DirEntry));
    data.swap(packed);
    return true;
}

}  // namespace

std::string defaultPrefsPath() {
    std::string config = rc::platform::userConfigFolder();
    if (config.empty()) return std::string();
    return config + "/Orvik/Filmoryx/Filmoryx 6.5 Prefs";
}

void beginBatch() {
    Store& s = S();
    if (s.batchDepth++ > 0 || s.fd < 0) return;
    int64_t end = dataEnd();
    s.batchLoaded = end >= 0 && readPrefix(s.fd, end, s.data);
    s.batchDirty = false;
}

OSErr endBatch() {
    Store& s = S();
    if (s.batchDepth == 0 || --s.batchDepth > 0) return noErr;
    OSErr err = noErr;
    if (s.batchLoaded && s.batchDirty && s.fd >= 0) {
        err = commit(s.data);
        // A failed commit leaves the old file: its directory is the truth.
        if (err && s.fd >= 0 && !loadDirectory(s.fd)) dropDirectory();
    }
    s.batchLoaded = s.batchDirty = false;
    s.data.clear();
    s.data.shrink_to_fit();
    return err;
}

}  // namespace rc::prefs

using namespace rc::prefs;

extern "C" {

RC_API void FmSetPrefsPath(const char* path) {
    ClosePrefs();
    dropDirectory();
    S().pathOverride = path ? path : "";
    S().createdThisRun = false;
}

RC_API int16_t FmGetPrefsPath(char* out) {
    std::string p = currentPath();
    if (out) {
        std::strncpy(out, p.c_str(), kPrefsPathSize - 1);
        out[kPrefsPathSize - 1] = 0;
    }
    return p.empty() ? 0 : 1;
}

RC_API OSErr OpenPrefs(FileRef* file) {
    Store& s = S();
    if (file) *file = -1;
    if (s.fd < 0) {
        const std::string path = currentPath();
        if (path.empty()) return fnfErr;
        std::string folder = path.substr(0, path.find_last_of('/'));
        rc::platform::makeFolders(folder.c_str());
        FileRef fd = -1;
        OSErr err = HOpen(0, 0, path.c_str(), fsRdWrPerm, &fd);
        if (err) {
            // Only a missing file is made anew; one that exists but can't be
            // opened is left alone and the defaults are used.
            if (rc::platform::pathExists(path.c_str()) || s.createdThisRun) return err;
            s.createdThisRun = true;
            if ((err = createEmpty(path)) != noErr) return err;
            if ((err = HOpen(0, 0, path.c_str(), fsRdWrPerm, &fd)) != noErr) return err;
        }
        if (!loadDirectory(fd)) {
            FSClose(fd);
            const std::string aside = path + ".damaged";
            OSErr err =
                FmTranslateError(rc::platform::renamePath(path.c_str(), aside.c_str()), ioErr);
            if (!err) err = createEmpty(path);
            if (!err) err = HOpen(0, 0, path.c_str(), fsRdWrPerm, &fd);
            if (!err && !loadDirectory(fd)) {
                FSClose(fd);
                err = ioErr;
            }
            AlertSystem(0, 0, 1131, 1, 0, 0);
            if (err) return err;
        }
        s.fd = fd;
    }
    if (file) *file = s.fd;
    return noErr;
}

RC_API void ClosePrefs(void) {
    Store& s = S();
    while (s.batchDepth > 0) endBatch();
    if (s.fd >= 0) FSClose(s.fd);
    s.fd = -1;
}

RC_API OSErr SetPrefItem(FileRef file, const void* data, int32_t length, OSType type, int16_t id) {
    Store& s = S();
    if (file < 0 || file != s.fd) return kPrefsNotOpen;
    if (length < 0 || (length > 0 && !data) || (type == 0 && id == 0)) return kPrefsBadParam;
    if (!directory()) {
        Handle d = FmNewHandleClear(0);
        if (!d) return memFullErr;
        SetAGlobal(kSlotPrefsDirectory, reinterpret_cast<intptr_t>(d));
    }
    const int32_t found = findEntry(type, id);
    if (found >= 0 && entryAt(found).length == length) {
        const DirEntry e = entryAt(found);
        if (s.batchLoaded) {
            std::memcpy(s.data.data() + e.offset, data, size_t(length));
            s.batchDirty = true;
            return noErr;
        }
        const int64_t at = e.offset;
        return FmPWrite(s.fd, data, length, &at) == 0 ? OSErr(noErr) : OSErr(writErr);
    }

    std::vector<uint8_t> local;
    std::vector<uint8_t>& region = s.batchLoaded ? s.data : local;
    const int64_t end = dataEnd();
    if (end < 0 || int64_t(end) + length > INT32_MAX) return ioErr;
    if (!s.batchLoaded && !readPrefix(s.fd, end, local)) return readErr;
    // The directory as it was, to restore when the new store can't be written.
    const uint32_t oldBytes = FmGetHandleSize(directory());
    std::vector<uint8_t> oldDirectory(*directory(), *directory() + oldBytes);
    const size_t oldRegion = region.size();
    auto restore = [&] {
        FmSetHandleSize(directory(), oldBytes);
        if (oldBytes) std::memcpy(*directory(), oldDirectory.data(), oldBytes);
        region.resize(oldRegion);
    };

    if (found >= 0) setEntry(found, DirEntry{0, 0, 0, 0});
    if (entryCount() + 1 > kPrefsMaxEntries && !compact(region)) {
        restore();
        return memFullErr;
    }
    DirEntry added{type, id, int32_t(region.size()), length};
    region.insert(region.end(), static_cast<const uint8_t*>(data),
                  static_cast<const uint8_t*>(data) + length);
    if (FmPtrAndHand(&added, directory(), sizeof added) != noErr) {
        restore();
        return memFullErr;
    }
    if (s.batchLoaded) {
        s.batchDirty = true;
        return noErr;
    }
    OSErr err = commit(region);
    if (err) {
        if (s.fd >= 0)
            restore();
        else
            dropDirectory();
    }
    return err;
}

RC_API Handle GetPrefItemHandle(FileRef file, OSType type, int16_t id) {
    Store& s = S();
    if (file < 0 || file != s.fd || !directory()) return nullptr;
    const int32_t i = findEntry(type, id);
    if (i < 0) return nullptr;
    const DirEntry e = entryAt(i);
    Handle h = FmNewHandle(uint32_t(e.length));
    if (!h) return nullptr;
    if (e.length == 0) return h;
    if (s.batchLoaded) {
        std::memcpy(*h, s.data.data() + e.offset, size_t(e.length));
        return h;
    }
    const int64_t at = e.offset;
    if (FmPRead(s.fd, *h, e.length, &at) != 0) {
        FmDisposeHandle(h);
        return nullptr;
    }
    return h;
}

RC_API OSErr GetPrefItem(FileRef file, void* buffer, int32_t length, OSType type, int16_t id,
                         const void* defaultData) {
    Store& s = S();
    if (!buffer || length < 0) return kPrefsBadParam;
    if (file >= 0 && file == s.fd && directory()) {
        const int32_t i = findEntry(type, id);
        if (i >= 0 && entryAt(i).length == length) {
            const DirEntry e = entryAt(i);
            if (s.batchLoaded) {
                std::memcpy(buffer, s.data.data() + e.offset, size_t(length));
                return noErr;
            }
            const int64_t at = e.offset;
            if (length == 0 || FmPRead(s.fd, buffer, length, &at) == 0) return noErr;
        }
    }
    if (!defaultData) return kPrefsAbsent;
    std::memmove(buffer, defaultData, size_t(length));
    if (file >= 0 && file == s.fd) SetPrefItem(file, buffer, length, type, id);
    return noErr;
}

RC_API int32_t CountPrefItems(void) {
    int32_t live = 0;
    for (int32_t i = 0; directory() && i < entryCount(); ++i) live += dead(entryAt(i)) ? 0 : 1;
    return live;
}

}  // extern "C"
