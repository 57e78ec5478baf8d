// Saving and loading the media files of a project: the FILE group of each
// file (FILE, MNAM or FNAM, IFTG, PRID, FDAT) and the renumbering map.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "media/file_table_internal.h"
#include "media/media_hooks.h"
#include "project/records_internal.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/importers.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/prefs.h"
#include "reelcore/strings.h"
#include "reelcore/struct_codec.h"

namespace rc::project {

namespace {

using rc::media::findFileRec;

constexpr OSType kTypeLayer = fourCC("LAYR");
constexpr OSType kTypeSynthFx = fourCC("SPFX");
constexpr int kMaxLocateTries = 16;  // a dialog that keeps choosing a wrong file
constexpr int32_t kMinFreeFiles = 6;

struct InterpretedBase {
    int32_t interpValue, interpScale, interpSampleSize;
    int32_t origValue, origScale, origSampleSize;
};

// The stored description of a file: its saved one while offline, else one
// made from its information, type and folder.
FmOfflineInfo describe(const FmFileRecord* r) {
    FmOfflineInfo d{};
    if (r->offline && r->savedDescription &&
        FmGetHandleSize(r->savedDescription) >= sizeof(FmOfflineInfo)) {
        std::memcpy(&d, *r->savedDescription, sizeof d);
        return d;
    }
    d.info = r->info;
    d.fileType = r->type;
    // Time data (timecode and reel name) come from the file's importer;
    // plug-in-made files have none.
    std::string folder = folderOf(r->spec.name);
    std::strncpy(d.folder, folder.c_str(), sizeof d.folder - 1);
    return d;
}

OSErr writeOffline(ProjBufHand stream, int16_t fileID, const FmFileRecord* r) {
    FmOfflineInfo d = describe(r);
    OSErr err = WriteOfflineID(stream, fileID);
    return err ? err : WriteOfflineInfo(stream, &d);
}

OSErr saveOneFile(ProjBufHand stream, int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return noErr;  // nothing to describe
    FmSaveFileRec rec{};
    rec.fileID = fileID;
    rec.filetype = r->type;
    rec.isFramestore = r->info.isFramestore;
    rec.mediaType = r->info.mediaFlags;
    std::memcpy(rec.title, r->text, sizeof rec.title - 1);
    rec.pixelAspect = r->pixelAspect.interpreted;
    Handle prefHandle = nullptr;
    if (ImporterExists(r->handler)) {
        int32_t size = 0;
        void* prefs = LockImporterPrefs(fileID, &size);
        if (prefs && size > 0) {
            rec.prefLength = size;
            if (size <= int32_t(sizeof rec.param)) {
                std::memcpy(rec.param, prefs, size_t(size));
            } else if ((prefHandle = FmNewHandle(uint32_t(size)))) {
                std::memcpy(*prefHandle, prefs, size_t(size));
            } else {
                UnlockImporterPrefs(fileID);
                return memFullErr;
            }
        }
        UnlockImporterPrefs(fileID);
    } else {
        GetFilePref(fileID, rec.param);
    }
    rec.prefHandle = HandleToWord(prefHandle);
    OSErr err = WriteSaveFileRec(stream, &rec);
    if (prefHandle) FmDisposeHandle(prefHandle);
    if (err) return err;
    r = findFileRec(fileID);
    const bool plugin = IsPlugin(rec.filetype) ||
                        (r->offline && r->savedDescription && IsPlugin(describe(r).fileType));
    if (plugin) {
        char name[32] = {};
        MatchFileID(fileID, name);
        err = WriteMatchName(stream, name);
    } else {
        err = WriteFileName(stream, r->spec.name);
        // The file table keeps no reinterpreted time base of its own, so
        // IFTG is only ever read, never written, by this build.
    }
    if (err) return err;
    return writeOffline(stream, fileID, findFileRec(fileID));
}

int16_t fileIDAt(Handle list, uint32_t i) {
    int16_t id;
    std::memcpy(&id, *list + i * 2, 2);
    return id;
}

OSType nextTag(ProjBufHand stream) {
    OSType tag = 0;
    GetStructInfo(stream, &tag);
    return tag;
}

bool isGroupTag(OSType tag) {
    return tag == fourCC("MNAM") || tag == fourCC("FNAM") || tag == fourCC("IFTG") ||
           tag == fourCC("PRID") || tag == fourCC("FDAT") || tag == fourCC("FTRM");
}

// What one FILE group holds besides the record.
struct StoredFile {
    FmSaveFileRec rec{};
    char path[260] = {};
    char matchName[32] = {};
    bool nameOk = false;
    bool haveInterp = false;
    InterpretedBase interp{};
    bool haveDescription = false;
    FmOfflineInfo description{};
};

// Reads the sections after FILE up to the next FILE (or another group).
OSErr readGroup(ProjBufHand stream, StoredFile& f) {
    const bool plugin = IsPlugin(f.rec.filetype);
    OSType tag = nextTag(stream);
    if (plugin && tag == fourCC("MNAM")) {
        f.nameOk = ReadMatchName(stream, f.matchName) == noErr;
    } else if (!plugin && tag == fourCC("FNAM")) {
        OSErr err = ReadFileName(stream, f.path);
        if (err == kProjPathTooLong) {
            FmDebug(0, "LoadFiles: stored path of file %d is too long", f.rec.fileID);
            f.path[0] = 0;
        } else if (err) {
            return err;
        }
        f.nameOk = true;
        if (nextTag(stream) == fourCC("IFTG")) {
            int32_t packing[7] = {4, 4, 4, 4, 4, 4, 0};
            f.haveInterp =
                ReadStruct(stream, fourCC("IFTG"), "LLLLLL", packing, &f.interp) == noErr;
        }
    }
    // The offline descriptions that follow: the first of this file is kept.
    for (tag = nextTag(stream); isGroupTag(tag); tag = nextTag(stream)) {
        if (tag != fourCC("PRID")) {
            OSType dummy;
            SeekNextStruct(stream, &dummy);
            continue;
        }
        int16_t id = 0;
        int32_t packing[2] = {2, 0};
        OSErr err = ReadStruct(stream, fourCC("PRID"), "S", packing, &id);
        if (err) return err;
        if (nextTag(stream) != fourCC("FDAT")) continue;
        FmOfflineInfo d{};
        err = ReadStruct(stream, fourCC("FDAT"), kOfflineInfoType, offlineInfoPacking(), &d);
        if (err) return err;
        d.timecode[sizeof d.timecode - 1] = d.reelName[sizeof d.reelName - 1] = 0;
        d.folder[sizeof d.folder - 1] = 0;
        if (id == f.rec.fileID && !f.haveDescription) {
            f.description = d;
            f.haveDescription = true;
        }
    }
    return noErr;
}

// The stored description, else one made from the stored record.
FmOfflineInfo descriptionOf(const StoredFile& f) {
    if (f.haveDescription) return f.description;
    FmOfflineInfo d{};
    d.info.mediaFlags = int16_t(f.rec.mediaType);
    d.info.audio = TDB{0, 44100, 1};
    d.info.video = TDB{0, 30, 1};
    d.info.pixelAspect = int32_t(f.rec.pixelAspect);
    d.fileType = f.rec.filetype;
    std::string folder = folderOf(f.path);
    std::strncpy(d.folder, folder.c_str(), sizeof d.folder - 1);
    return d;
}

// Registers a file offline with its stored description.
int16_t addOffline(const StoredFile& f) {
    FmOfflineInfo d = descriptionOf(f);
    const bool plugin = IsPlugin(f.rec.filetype);
    int16_t id = AddFile(f.path, 0, 0, plugin ? f.rec.filetype : kFileTypeOffline);
    Handle h = FindFile(id);
    if (!h) return 0;
    Handle saved = FmNewHandle(sizeof d);
    if (!saved) return id;
    std::memcpy(*saved, &d, sizeof d);
    FmFileRecord* r = rc::media::fileRec(h);
    if (r->savedDescription) FmDisposeHandle(r->savedDescription);
    r->savedDescription = saved;
    r->savedInUse = 1;
    r->info = d.info;
    r->offline = 1;
    if (!plugin) r->type = kFileTypeOffline;
    return id;
}

// The media kinds of a found file agree with the stored ones.
bool kindsMatch(int32_t stored, int32_t found) {
    stored &= 3;
    found &= 3;
    if (stored == 1 || stored == 2) return (found & stored) != 0;
    return stored == found;
}

// A plug-in module chosen for a missing one: same kind, loaded at start-up,
// same internal name. 0 and a message when it cannot be used.
int16_t acceptModule(const StoredFile& f, const char* path, bool& retry) {
    Handle h = FindName(path, 0, 0);
    retry = false;
    LoadText why;
    int16_t id = h ? rc::media::fileRec(h)->fileID : 0;
    char name[32] = {};
    if (!id) {
        why = LoadText::PluginNotLoaded;
    } else if (GetFileTypeID(id) != f.rec.filetype) {
        why = LoadText::PluginTypeDiffers;
    } else if (MatchFileID(id, name) == 0 || strcasecmp(name, f.matchName) != 0) {
        why = LoadText::PluginNameDiffers;
    } else {
        if (Handle table = reinterpret_cast<Handle>(GetAGlobal(kSlotMatchTable)))
            AddToMatchTable(id, table);
        return id;
    }
    retry = askUser(why, true);
    return 0;
}

enum class Outcome { Loaded, Skipped };

// Steps 4 to 8 of loading one file: find it (or its module), ask for it
// when missing, register it and restore what the project stored.
Outcome loadOne(StoredFile& f, Handle folders, FmWindow window, IdIndex& map) {
    const FmSaveFileRec& rec = f.rec;
    const bool plugin = IsPlugin(rec.filetype);
    if (!f.nameOk) return Outcome::Skipped;  // no name, or the empty match name
    int16_t id = 0;
    bool missing = false, offline = false;
    if (plugin) {
        id = MatchName(f.matchName);
        missing = id == 0;
    } else {
        const OSType handler = rc::media::getDrawType(rec.filetype);
        const bool onDisk = rec.filetype == kFileTypeOffline ||
                            (rec.filetype != kTypeLayer &&
                             !(importerIsSynthetic(handler) && !importerCreatesFiles(handler)));
        if (onDisk && (folderOf(f.path).empty() || rec.filetype == kFileTypeOffline)) {
            missing = true;
        } else if (onDisk) {
            const uint32_t flags = rc::media::getTypeFlags(rec.filetype);
            const bool present = exists(f.path);
            if ((flags & 0x4000) && rec.filetype != kFileTypeSequence) {
                if (present && (id = AddFile(f.path, 0, 0, rec.filetype))) {
                    SetFileIsFramestore(id, rec.isFramestore);
                    FmMediaInfo info;
                    if (rc::media::getInfo(id, &info, 0, true) != noErr) missing = true;
                } else {
                    missing = true;
                }
            } else if (!present && (rec.mediaType & 3)) {
                missing = true;
            } else {
                id = AddFile(f.path, 0, 0, rec.filetype);
                missing = id == 0;
                FmMediaInfo info;
                if (id && rc::media::getInfo(id, &info, 0, true) == noErr)
                    if (FmFileRecord* r = findFileRec(id)) r->info = info;
            }
            if (!missing && id) {
                // A file of another kind now stands at the path.
                const OSType now = GetFileTypeID(id);
                const uint32_t a = rc::media::getTypeFlags(now) & 0x3FF;
                const uint32_t b = flags & 0x3FF;
                if (a && b && !(a & b)) missing = true;
            }
            if (missing && id) {
                // Lets go of the record just made unless others use it.
                FileSubscribe(id);
                FileCancel(id);
                id = 0;
            }
        } else {
            id = AddFile(f.path, 0, 0, rec.filetype);
            missing = id == 0;
        }
    }

    for (int tries = 0; missing && tries < kMaxLocateTries; ++tries) {
        OSType type = rec.filetype;
        char path[260];
        std::memcpy(path, f.path, sizeof path);
        // After a refused choice the search folders would offer it again.
        int16_t answer = LocateFile(path, folders, &type, window, true, tries > 0, true);
        if (answer == kLocateOffline) {
            offline = true;
            break;
        }
        if (answer != kLocateFound) return Outcome::Skipped;  // skip, or no dialog at all
        if (plugin) {
            bool retry = false;
            id = acceptModule(f, path, retry);
            if (id) {
                missing = false;
                break;
            }
            if (!retry) return Outcome::Skipped;
            continue;
        }
        int16_t found = AddFile(path, 0, 0, type);
        FmMediaInfo info{};
        OSErr infoErr = found ? rc::media::getInfo(found, &info, 0, true) : OSErr(fnfErr);
        if (found && infoErr == noErr && kindsMatch(rec.mediaType, info.mediaFlags)) {
            id = found;
            if (FmFileRecord* fr = findFileRec(found)) fr->info = info;
            std::memcpy(f.path, path, sizeof f.path);
            missing = false;
            break;
        }
        // A file nobody can describe is of a type this build does not read.
        const bool known = found && infoErr == noErr;
        if (found) {
            FileSubscribe(found);
            FileCancel(found);
        }
        if (!askUser(known ? LoadText::MediaTypeDiffers : LoadText::UnsupportedType, true))
            return Outcome::Skipped;
    }
    if (missing && !offline) return Outcome::Skipped;
    if (offline) id = addOffline(f);
    if (!id) return Outcome::Skipped;

    map.add(rec.fileID, id);
    FmFileRecord* r = findFileRec(id);
    if (!r) return Outcome::Skipped;
    // Importer preferences, bounded by what the file really holds.
    if (rec.prefLength > 0) {
        Handle prefs = WordToHandle(rec.prefHandle);
        const void* data = prefs ? static_cast<const void*>(*prefs) : rec.param;
        const int32_t room = prefs ? int32_t(FmGetHandleSize(prefs)) : int32_t(sizeof rec.param);
        if (prefs) FmHLock(prefs);
        FillImporterPrefs(id, data, std::min(int32_t{rec.prefLength}, room));
        if (prefs) FmHUnlock(prefs);
    } else if (!offline) {
        static const uint8_t zero[16] = {};
        if (std::memcmp(rec.param, zero, sizeof zero) != 0) SetFilePref(id, rec.param);
    }
    r = findFileRec(id);
    if (!plugin) r->info.isFramestore = rec.isFramestore;
    if (rec.title[0]) SetFileText(id, rec.title);
    r = findFileRec(id);
    if (rec.pixelAspect) r->pixelAspect.interpreted = rec.pixelAspect;
    if (f.haveInterp && r->info.video.value == f.interp.origValue &&
        r->info.video.scale == f.interp.origScale && r->info.video.samp == f.interp.origSampleSize)
        r->info.video = TDB{f.interp.interpValue, f.interp.interpScale, f.interp.interpSampleSize};
    if (rec.filetype == kTypeSynthFx) {
        r->info.video = TDB{13981, 1, 1};
        r->info.mediaFlags = 4;
    }
    return Outcome::Loaded;
}

}  // namespace

}  // namespace rc::project

using namespace rc::project;

RC_API OSErr SaveFiles(ProjBufHand stream, Handle fileIDs) {
    if (!stream || !fileIDs) return kProjParamErr;
    uint32_t n = FmGetHandleSize(fileIDs) / 2;
    for (uint32_t i = 0; i < n; ++i) {
        OSErr err = saveOneFile(stream, fileIDAt(fileIDs, i));
        if (err) return err;
    }
    return noErr;
}

RC_API OSErr SaveFileData(ProjBufHand stream, Handle fileIDs) {
    if (!stream || !fileIDs) return kProjParamErr;
    uint32_t n = FmGetHandleSize(fileIDs) / 2;
    for (uint32_t i = 0; i < n; ++i) {
        int16_t id = fileIDAt(fileIDs, i);
        const FmFileRecord* r = rc::media::findFileRec(id);
        if (!r) continue;
        OSErr err = writeOffline(stream, id, r);
        if (err) return err;
    }
    return noErr;
}

RC_API OSErr LoadFiles(ProjBufHand stream, Handle fileMap, FmWindow window, int16_t folderNumber,
                       int32_t version) {
    if (!stream || !fileMap) return kProjParamErr;
    if (!SearchType(stream, fourCC("FILE"))) return noErr;
    skipFlags() = 0;
    Handle folders = newSearchFolders(folderNumber);
    if (!folders) return memFullErr;
    IdIndex map(fileMap, 8);
    OSErr err = noErr;
    OSType tag = 0;
    while (GetStructInfo(stream, &tag) == fourCC("FILE")) {
        reportProgress(fourCC("FILE"));
        const intptr_t budget = GetAGlobal(kSlotOpenFileBudget);
        if (budget != 0 && budget < kMinFreeFiles) {
            err = kProjTooFewFiles;
            askUser(LoadText::TooFewFileHandles, false);
            if (window) SendWindowMessage(window, kMsgFileSkipped, 0, 0, 0, 0);
            break;
        }
        StoredFile f;
        err = ReadSaveFileRec(stream, &f.rec, version);
        if (!err) err = readGroup(stream, f);
        if (!err) loadOne(f, folders, window, map);
        if (Handle prefs = WordToHandle(f.rec.prefHandle)) FmDisposeHandle(prefs);
        if (err) break;
        PMSendMessage(rc::media::kWindHide, kMsgFileLoaded, 0, 0, nullptr, 0);
    }
    FmDisposeHandle(folders);
    return err;
}
