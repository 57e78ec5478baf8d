// File access with toolbox result codes, and the open-file budget kept in
// global slot 239.
#include <algorithm>
#include <cstring>
#include <limits>

#include "core/files_hooks.h"
#include "platform/files.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"

namespace {

namespace plat = rc::platform;

rc::fileshooks::ExtensionToTypeFn gExtensionToType = nullptr;
rc::fileshooks::FileSpecFn gFileSpec = nullptr;

void adjustBudget(int delta) {
    SetAGlobal(kSlotOpenFileBudget, GetAGlobal(kSlotOpenFileBudget) + delta);
}

bool validRef(FileRef ref) {
    return ref >= 0;
}

}  // namespace

namespace rc::fileshooks {
void setExtensionToType(ExtensionToTypeFn fn) {
    gExtensionToType = fn;
}
void setFileSpecLookup(FileSpecFn fn) {
    gFileSpec = fn;
}
}  // namespace rc::fileshooks

RC_API OSErr FmTranslateError(int32_t systemError, OSErr fallback) {
    switch (systemError) {
        case 0:
            return noErr;
        case 2:
        case 3:
            return fnfErr;
        case 4:
            return tmfoErr;
        case 5:
        case 32:
        case 33:
        case 65:
            return permErr;
        case 15:
            return nsvErr;
        case 19:
            return wPrErr;
        default:
            return fallback;
    }
}

RC_API int32_t HCreate(int16_t, int32_t, const char* path) {
    if (!path) return kSysPathNotFound;
    int32_t err = 0;
    int32_t fd = plat::openFile(path, plat::OpenMode::CreateTruncate, &err);
    if (fd < 0) return err;
    plat::closeFile(fd);
    return 0;
}

RC_API int32_t FSpCreate(const FSSpec* spec, OSType, OSType) {
    return spec ? HCreate(spec->vRefNum, spec->parID, spec->name) : kSysPathNotFound;
}

RC_API int32_t fmCreate(const FSSpec* spec, OSType creator, OSType fileType) {
    return FSpCreate(spec, creator, fileType);
}

RC_API OSErr HOpen(int16_t, int32_t, const char* path, int8_t permission, FileRef* refNum) {
    if (refNum) *refNum = -1;
    if (!path || !refNum) return openErr;
    // 0, -1 and 1 (read only) open for reading; anything else read/write.
    bool readOnly = permission == 0 || permission == -1 || permission == fsRdPerm;
    int32_t err = 0;
    int32_t fd =
        plat::openFile(path, readOnly ? plat::OpenMode::Read : plat::OpenMode::ReadWrite, &err);
    if (fd < 0) return FmTranslateError(err, openErr);
    *refNum = fd;
    adjustBudget(-1);
    return noErr;
}

RC_API OSErr FSpOpenDF(const FSSpec* spec, int8_t permission, FileRef* refNum) {
    if (!spec) {
        if (refNum) *refNum = -1;
        return openErr;
    }
    return HOpen(spec->vRefNum, spec->parID, spec->name,
                 permission == fsRdWrPerm ? fsRdWrPerm : fsRdPerm, refNum);
}

RC_API OSErr HDelete(int16_t, int32_t, const char* path) {
    return path && plat::removeFile(path, nullptr) ? 1 : -1;
}

RC_API OSErr FSpDelete(const FSSpec* spec) {
    return spec ? HDelete(spec->vRefNum, spec->parID, spec->name) : -1;
}

RC_API OSErr FSClose(FileRef refNum) {
    if (!validRef(refNum) || !plat::closeFile(refNum)) return ioErr;
    adjustBudget(+1);
    return noErr;
}

RC_API OSErr FSRead(FileRef refNum, int32_t* count, void* buffer) {
    if (!count) return readErr;
    if (*count == 0) return noErr;
    if (*count < 0 || !buffer || !validRef(refNum)) {
        *count = 0;
        return readErr;
    }
    int64_t n = plat::readFile(refNum, buffer, size_t(*count));
    if (n < 0) {
        *count = 0;
        return readErr;
    }
    *count = int32_t(n);
    return n == 0 ? eofErr : noErr;
}

RC_API OSErr FSWrite(FileRef refNum, int32_t* count, const void* buffer) {
    if (!count) return writErr;
    if (*count <= 0) {
        bool bad = *count < 0;
        *count = 0;
        return bad ? writErr : noErr;
    }
    if (!buffer || !validRef(refNum)) {
        *count = 0;
        return writErr;
    }
    int64_t n = plat::writeFile(refNum, buffer, size_t(*count));
    if (n < 0) {
        *count = 0;
        return writErr;
    }
    bool complete = n == *count;
    *count = int32_t(n);
    return complete ? noErr : writErr;
}

RC_API OSErr SetFPos(FileRef refNum, int16_t mode, int32_t offset) {
    int64_t off = offset;
    int whence;
    switch (mode) {
        case fsFromStart:
            whence = 0;
            break;
        case fsFromLEOF:
            whence = 2;
            if (off > 0) off = -off;  // counts backwards from the end
            break;
        case fsFromMark:
            whence = 1;
            break;
        default:
            whence = mode;
            break;  // the system's own move methods
    }
    if (!validRef(refNum) || plat::seekFile(refNum, off, whence) < 0) return posErr;
    return noErr;
}

RC_API OSErr GetFPos(FileRef refNum, int32_t* position) {
    if (!position || !validRef(refNum)) return ioErr;
    int64_t pos = plat::seekFile(refNum, 0, 1);
    if (pos < 0) return ioErr;
    if (pos > std::numeric_limits<int32_t>::max()) return fileTooLargeErr;
    *position = int32_t(pos);
    return noErr;
}

RC_API OSErr GetEOF(FileRef refNum, int32_t* size) {
    if (!size || !validRef(refNum)) return ioErr;
    int64_t s = plat::fileSize(refNum);
    if (s < 0) return ioErr;
    if (s > int64_t(std::numeric_limits<uint32_t>::max())) return fileTooLargeErr;
    *size = int32_t(uint32_t(s));
    return noErr;
}

RC_API int32_t GetFileSize64(FileRef refNum, int64_t* size) {
    if (!size || !validRef(refNum)) return -1;
    int64_t s = plat::fileSize(refNum);
    if (s < 0) return -1;
    *size = s;
    return 0;
}

RC_API int32_t SetFilePointer64(FileRef refNum, const int64_t* offset, int64_t* newPosition,
                                int32_t moveMethod) {
    if (!validRef(refNum)) return -1;
    int64_t pos = plat::seekFile(refNum, offset ? *offset : 0, moveMethod);
    if (pos < 0) return -1;
    if (newPosition) *newPosition = pos;
    return 0;
}

RC_API int32_t FmRead(FileRef refNum, void* buffer, int32_t* count) {
    if (!count) return 1;
    if (*count < 0 || (!buffer && *count) || !validRef(refNum)) return 1;
    int64_t n = plat::readFile(refNum, buffer, size_t(*count));
    if (n < 0) {
        *count = 0;
        return 1;
    }
    bool complete = n == *count;
    *count = int32_t(n);
    return complete ? 0 : 1;
}

RC_API int32_t FmWrite(FileRef refNum, const void* buffer, int32_t* count) {
    if (!count) return 1;
    if (*count < 0 || (!buffer && *count) || !validRef(refNum)) return 1;
    int64_t n = plat::writeFile(refNum, buffer, size_t(*count));
    if (n < 0) {
        *count = 0;
        return 1;
    }
    bool complete = n == *count;
    *count = int32_t(n);
    return complete ? 0 : 1;
}

RC_API int32_t FmPRead(FileRef refNum, void* buffer, int32_t count, const int64_t* position) {
    if (!position || plat::seekFile(refNum, *position, 0) < 0) return 1;
    return FmRead(refNum, buffer, &count);
}

RC_API int32_t FmPWrite(FileRef refNum, const void* buffer, int32_t count,
                        const int64_t* position) {
    if (!position || plat::seekFile(refNum, *position, 0) < 0) return 1;
    return FmWrite(refNum, buffer, &count);
}

RC_API void FmMakePathStr(const FSSpec* spec, char* dest) {
    if (!dest) return;
    if (!spec) {
        dest[0] = 0;
        return;
    }
    size_t n = strnlen(spec->name, sizeof spec->name - 1);
    std::memcpy(dest, spec->name, n);
    dest[n] = 0;
}

RC_API OSType FindFType(const FSSpec* spec) {
    if (!spec || !gExtensionToType) return 0;
    char path[sizeof spec->name];
    FmMakePathStr(spec, path);
    return gExtensionToType(path);
}

RC_API OSType FSSpecToFileType(const FSSpec* spec) {
    return FindFType(spec);
}

RC_API uint32_t FileModificationDate(int16_t fileID) {
    FSSpec spec;
    if (!gFileSpec || !gFileSpec(fileID, &spec)) return 0;
    char path[sizeof spec.name];
    FmMakePathStr(&spec, path);
    return rc::platform::modificationTime(path);
}
