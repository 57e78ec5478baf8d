// Shared open files: the data file and the resource file of each record, the
// open-file budget (slot 239), closing idle files, missing files (locating
// them or taking them offline), relinking and refreshing.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

using namespace rc::media;

namespace {

constexpr OSErr kWriteRefused = -5000;
constexpr OSErr kDirNotFound = -120;
constexpr int32_t kQuietAge = 120;  // ticks a file must have been idle for
constexpr int32_t kNewFileLocCancelled = 51;
constexpr int32_t kFileSkipped = 26;
constexpr int32_t kFileChanged = 72;
constexpr int32_t kReasonRefreshed = 5;
constexpr int32_t kProgress = 56;
constexpr uint32_t kLocatableType = 0x2000;
constexpr uint32_t kTypeClassMask = 0x3FF;

FmLocateFileProc gLocateProc = nullptr;

void adjustBudget(int delta) {
    SetAGlobal(kSlotOpenFileBudget, GetAGlobal(kSlotOpenFileBudget) + delta);
}

bool missingFileError(OSErr err, const char* path) {
    if (err == fnfErr) return true;
    return (err == kDirNotFound || err == nsvErr || err == readErr) && !pathExists(path);
}

enum class Located { Chosen, Declined, Refused };

// Asks the user for the file; fills spec and *type when one is chosen.
Located locateFile(FSSpec* spec, OSType type, OSType* outType) {
    uint32_t flags = getTypeFlags(type);
    bool sequence = type == kFileTypeSequence;
    if ((!(flags & kLocatableType) && !sequence) || !hasActiveWindows()) {
        fileAlert(spec->name);
        return Located::Refused;
    }
    char title[sizeof spec->name + 16];
    std::snprintf(title, sizeof title, "%s %s", "Locate File", spec->name);
    FSSpec chosen{};
    OSType chosenType = 0;
    intptr_t saved = SetAGlobal(kSlotLocatingFile, 1);
    Boolean ok = gLocateProc && gLocateProc(title, sequence ? 0 : int32_t(flags & kTypeClassMask),
                                            sequence ? kFileTypeSequence : 0, &chosen, &chosenType);
    SetAGlobal(kSlotLocatingFile, saved);
    if (!ok) return Located::Declined;
    chosen.name[sizeof chosen.name - 1] = '\0';
    *spec = chosen;
    *outType = chosenType ? chosenType : FSSpecToFileType(&chosen);
    return Located::Chosen;
}

enum class AfterLocate { Retry, Offline, Fail };

// A file was missing while being opened: relink it to the file the user
// picks, or take it offline when the user declines.
AfterLocate relocateForOpen(Handle h, int16_t id, OSType startType) {
    FmFileRecord* r = fileRec(h);
    FSSpec spec = r->spec;
    OSType newType = 0;
    bool savedInUse = r->savedInUse != 0;
    switch (locateFile(&spec, r->type, &newType)) {
        case Located::Refused:
            return AfterLocate::Fail;
        case Located::Declined:
            makeOffline(h);
            return AfterLocate::Offline;
        case Located::Chosen:
            break;
    }
    r = fileRec(h);
    char oldPath[sizeof r->spec.name];
    std::memcpy(oldPath, r->spec.name, sizeof oldPath);
    r->spec = spec;
    r->type = newType;
    r->handler = getDrawType(newType);
    reindexFile(id, oldPath);
    RefreshFile(id, 0);
    r = fileRec(h);
    return (r->type == startType || savedInUse) ? AfterLocate::Retry : AfterLocate::Fail;
}

FileRef openDataFile(const FSSpec& spec, bool forWriting, OSErr* err) {
    FileRef ref = -1;
    *err = FSpOpenDF(&spec, forWriting ? fsRdWrPerm : fsRdPerm, &ref);
    // Writing refused: open for reading instead.
    if (forWriting && (*err == kWriteRefused || *err == permErr || *err == wPrErr))
        *err = FSpOpenDF(&spec, fsRdPerm, &ref);
    return *err == noErr ? ref : -1;
}

int32_t openResource(const FSSpec& spec, int32_t permission) {
    if (permission != -1) return openResFile(&spec, permission);
    int32_t ref = openResFile(&spec, fsRdWrPerm);
    return ref != -1 ? ref : openResFile(&spec, fsRdPerm);
}

void noteRelease(uint32_t* releaseTick) {
    uint32_t now = FmGetTick60();
    *releaseTick = now;
    if (FmFileTable* t = fileTable()) {
        t->allIdleClosed = 0;
        if (t->earliestRelease == -1 || t->earliestRelease > int64_t(now)) t->earliestRelease = now;
    }
}

// Stores freshly read media information in the record.
OSErr readInfo(Handle h, int16_t id, bool noPrefs) {
    FmMediaInfo info{};
    OSErr err = getInfo(id, &info, 1, noPrefs);
    if (err == noErr) fileRec(h)->info = info;
    return err;
}

// Closes or quiets the data file; a handler-owned file goes through its
// handler once, and only while it is really open.
void shutDataFork(Handle h, bool quiet) {
    FmFileRecord* r = fileRec(h);
    if (!r) return;
    if (r->handlerOwnsFile) {
        if (r->dataState <= 1) return;
        int16_t id = r->fileID;
        quiet ? fileQuiet(id) : fileClose(id);
        r = fileRec(h);
        r->dataState = 0;
        r->dataRef = -1;
        adjustBudget(+1);
        return;
    }
    if (r->dataState > 1 && r->dataRef >= 0) FSClose(r->dataRef);
    r = fileRec(h);
    r->dataRef = -1;
    r->dataState = 0;
}

}  // namespace

namespace rc::media {

void keepWithinBudget() {
    intptr_t budget = GetAGlobal(kSlotOpenFileBudget);
    if (budget == 0 || budget >= 2) return;
    if (CloseUp(kQuietAge) == 0) CloseUp(0);
    if (GetAGlobal(kSlotOpenFileBudget) < 2) SetAGlobal(kSlotOpenFileBudget, 0);
}

void makeOffline(Handle h) {
    FmFileRecord* r = fileRec(h);
    if (!r) return;
    if (!r->savedDescription) {
        Handle d = FmNewHandleClear(sizeof(FmOfflineInfo));
        r = fileRec(h);
        if (d) {
            FmOfflineInfo* off = reinterpret_cast<FmOfflineInfo*>(*d);
            off->info = r->info;
            off->fileType = r->type;
            char path[sizeof r->spec.name];
            std::memcpy(path, r->spec.name, sizeof path);
            path[sizeof path - 1] = '\0';
            if (char* cut = std::strrchr(path, '/')) *cut = '\0';
            if (char* cut = std::strrchr(path, '\\')) *cut = '\0';
            std::memcpy(off->folder, path, sizeof off->folder - 1);
            off->folder[sizeof off->folder - 1] = '\0';
            r->savedDescription = d;
        }
    }
    if (r->savedDescription) r->savedInUse = 1;
    if (r->handlerData) FmDisposeHandle(r->handlerData);
    r->handlerData = nullptr;
    r->offline = 1;
    r->type = kFileTypeOffline;
}

}  // namespace rc::media

RC_API FmLocateFileProc SetLocateFileProc(FmLocateFileProc proc) {
    FmLocateFileProc old = gLocateProc;
    gLocateProc = proc;
    return old;
}

RC_API OSErr NewFileLoc(FSSpec* spec, OSType type, int16_t id, OSType* outType) {
    if (!spec) return kFileBadParam;
    OSType chosenType = 0;
    switch (locateFile(spec, type, &chosenType)) {
        case Located::Chosen:
            if (outType) *outType = chosenType;
            return noErr;
        case Located::Refused:
            return fnfErr;
        case Located::Declined:
            break;
    }
    sendMessage(kWindProj, kNewFileLocCancelled, 0);
    sendMessage(kWindHide, kFileSkipped, id);
    return kFileUserCancelled;
}

RC_API FileRef OpenFmxFile(int16_t id, Boolean forWriting) {
    Handle h = FindFile(id);
    if (!h) return -1;
    const OSType startType = fileRec(h)->type;
    // Each pass either returns or follows a relink or a freed descriptor.
    for (int pass = 0; pass < 8; ++pass) {
        FmFileRecord* r = fileRec(h);
        if (r->dataState > 1) {
            ++r->dataUsers;
            return r->dataRef;
        }
        keepWithinBudget();
        r = fileRec(h);
        if (r->handlerOwnsFile) {
            if (fileOpen(id) != noErr) return -1;
            r = fileRec(h);
            r->dataState = 2;
            r->dataUsers = 1;
            adjustBudget(-1);
            return r->dataRef;
        }
        if (r->offline) {
            r->dataUsers = 1;
            return 1;
        }
        FSSpec spec = r->spec;
        OSErr err;
        FileRef ref = openDataFile(spec, forWriting, &err);
        r = fileRec(h);
        if (ref != -1) {
            r->dataRef = ref;
            r->dataState = 2;
            r->dataUsers = 1;
            return ref;
        }
        if (err == tmfoErr) {
            if (CloseUp(0) > 0) continue;
            return -1;
        }
        if (!missingFileError(err, spec.name)) return -1;
        switch (relocateForOpen(h, id, startType)) {
            case AfterLocate::Retry:
                continue;
            case AfterLocate::Offline:
                fileRec(h)->dataUsers = 1;
                return 1;
            case AfterLocate::Fail:
                return -1;
        }
    }
    return -1;
}

RC_API void ReleaseFile(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    if (!r || r->dataUsers <= 0) return;
    if (--r->dataUsers == 0) noteRelease(&r->dataReleaseTick);
}

RC_API int32_t OpenFmxRFile(int16_t id, int32_t permission) {
    Handle h = FindFile(id);
    if (!h) return -1;
    const OSType startType = fileRec(h)->type;
    for (int pass = 0; pass < 8; ++pass) {
        FmFileRecord* r = fileRec(h);
        if (r->resRef != -1) {
            ++r->resUsers;
            useResFile(r->resRef);
            return r->resRef;
        }
        if (r->offline) return -1;
        keepWithinBudget();
        FSSpec spec = fileRec(h)->spec;
        int32_t ref = openResource(spec, permission);
        r = fileRec(h);
        if (ref != -1) {
            r->resRef = ref;
            r->resUsers = 1;
            // The block is the handler's; importer preferences kept in it
            // (preferences state 1) are not thrown away.
            if (!r->handlerOwnsFile && r->prefsState != 1)
                std::memset(r->handlerBlock, 0, sizeof r->handlerBlock);
            return ref;
        }
        if (pathExists(spec.name)) return -1;
        if (relocateForOpen(h, id, startType) != AfterLocate::Retry) return -1;
    }
    return -1;
}

RC_API void ReleaseRFile(int16_t id) {
    FmFileRecord* r = findFileRec(id);
    if (!r || r->resUsers <= 0) return;
    if (--r->resUsers == 0) noteRelease(&r->resReleaseTick);
}

RC_API void CloseDataFork(Handle record) {
    shutDataFork(record, false);
}

RC_API void QuietDataFork(Handle record) {
    shutDataFork(record, true);
}

RC_API void CloseResourceFork(Handle record) {
    FmFileRecord* r = fileRec(record);
    if (!r || r->resRef == -1) return;
    int32_t ref = r->resRef;
    r->resRef = -1;
    closeResFile(ref);
}

RC_API void ForceFileQuiet(int16_t id) {
    Handle h = FindFile(id);
    FmFileRecord* r = fileRec(h);
    if (r && r->dataUsers == 0 && r->dataState > 1) QuietDataFork(h);
}

RC_API int32_t CloseUp(int32_t age) {
    FmFileTable* t = fileTable();
    if (!t || t->allIdleClosed) return 0;
    const int64_t now = FmGetTick60();
    int64_t cutoff = std::numeric_limits<int64_t>::max();
    if (age != 0) {
        if (age != -1 && now < age) return 0;
        cutoff = now - age;
        if (cutoff < t->earliestRelease) return 0;
    }
    int32_t closed = 0;
    int64_t kept = -1;
    auto keep = [&kept](uint32_t tick) {
        if (kept == -1 || int64_t(tick) < kept) kept = tick;
    };
    for (int32_t id = 1; id <= t->count && id < t->capacity; ++id) {
        Handle h = FindFile(int16_t(id));
        FmFileRecord* r = fileRec(h);
        if (!r) continue;
        if (r->dataUsers == 0 && r->dataState > 1) {
            if (int64_t(r->dataReleaseTick) <= cutoff) {
                QuietDataFork(h);
                ++closed;
            } else {
                keep(r->dataReleaseTick);
            }
        }
        r = fileRec(h);
        if (r->resUsers == 0 && r->resRef != -1) {
            if (int64_t(r->resReleaseTick) <= cutoff) {
                CloseResourceFork(h);
                ++closed;
            } else {
                keep(r->resReleaseTick);
            }
        }
        t = fileTable();
    }
    if (age == 0) t->allIdleClosed = 1;
    t->earliestRelease = kept;
    return closed;
}

RC_API OSErr ChangeFSSpec(int16_t id, const FSSpec* spec, OSType type) {
    Handle h = FindFile(id);
    if (!h || !spec) return kFileBadParam;
    FmFileRecord* r = fileRec(h);
    if (!r->handlerOwnsFile && importerExists(r->handler)) fileClose(id);
    r = fileRec(h);
    const bool dataWasOpen = r->dataState > 1;
    const bool resWasOpen = r->resRef != -1;
    CloseDataFork(h);
    CloseResourceFork(h);
    r = fileRec(h);
    char oldPath[sizeof r->spec.name];
    std::memcpy(oldPath, r->spec.name, sizeof oldPath);
    r->spec = *spec;
    r->spec.name[sizeof r->spec.name - 1] = '\0';
    reindexFile(id, oldPath);
    purgeFileFrames(id);
    r = fileRec(h);
    if (type != 0 && typeHasExtension(type, r->spec.name)) r->type = type;
    OSType handler = getDrawType(r->type);
    r = fileRec(h);
    r->handler = handler;
    r->info.mediaFlags = 0;
    r->offline = 0;
    r->savedInUse = 0;
    if (r->savedDescription) FmDisposeHandle(r->savedDescription);
    if (r->handlerData) FmDisposeHandle(r->handlerData);
    r->savedDescription = r->handlerData = nullptr;
    const FSSpec now = r->spec;
    if (dataWasOpen && !r->handlerOwnsFile) {
        OSErr err;
        FileRef ref = openDataFile(now, true, &err);
        r = fileRec(h);
        if (ref != -1) {
            r->dataRef = ref;
            r->dataState = 2;
        }
    }
    if (resWasOpen) {
        int32_t ref = openResource(now, -1);
        fileRec(h)->resRef = ref;
    }
    OSErr err = readInfo(h, id, false);
    // The relinked file is opened through its handler whatever its kind; a
    // handler-owned file then counts as open.
    const bool openBefore = fileRec(h)->dataState > 1;
    if (fileOpen(id) == noErr) {
        r = fileRec(h);
        if (r->handlerOwnsFile) {
            if (!openBefore) adjustBudget(-1);
            r->dataState = 2;
        }
    }
    return err;
}

RC_API OSErr RefreshFile(int16_t id, Boolean redraw) {
    Handle h = FindFile(id);
    if (!h) return fnfErr;
    if (FileIsBad(id)) return noErr;
    purgeFileFrames(id);
    FmFileRecord* r = fileRec(h);
    if (r->handlerOwnsFile) {
        CloseDataFork(h);
    } else if (importerExists(r->handler)) {
        fileClose(id);
    } else {
        std::memset(r->handlerBlock, 0, sizeof r->handlerBlock);
    }
    r = fileRec(h);
    if (r->handlerData) FmDisposeHandle(r->handlerData);
    r->handlerData = nullptr;
    OSErr err;
    if (r->savedInUse) {
        err = readInfo(h, id, true);
    } else {
        r->offline = 0;
        if (r->savedDescription) FmDisposeHandle(r->savedDescription);
        r->savedDescription = nullptr;
        err = readInfo(h, id, false);
    }
    if (redraw) {
        std::vector<ClipIdItem> clips = clipsOfFile(id);
        const intptr_t total = 100;
        for (size_t i = 0; i < clips.size(); ++i) {
            sendMessage(kWindPbar, kProgress, intptr_t(i * total / clips.size()), total);
            sendMessage(kWindHide, kFileChanged, clips[i].id, kReasonRefreshed);
        }
        if (!clips.empty()) sendMessage(kWindPbar, kProgress, total, total);
    }
    return err;
}
