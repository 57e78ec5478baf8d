// The importer host's operations on one file: preferences, information,
// image and audio import, close, and the selectors passed straight through.
#include <algorithm>
#include <cstring>
#include <vector>

#include "media/file_table_internal.h"
#include "plugins/importer_host.h"
#include "reelcore/aspect.h"
#include "reelcore/clips.h"
#include "reelcore/files.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"
#include "reelcore/settings.h"
#include "reelcore/strings.h"
#include "reelcore/timerecord.h"

using namespace rc::plugins;
using rc::media::findFileRec;

namespace {

constexpr int32_t kPrefsBlockSize = 16;
constexpr int32_t kMaxFramestoreFrames = 1 << 20;
constexpr OSType kRawFormat = 0x20574152;      // ' WAR'
constexpr OSType kBinWindow = 0x4C494252;      // 'LIBR'
constexpr OSType kFolderWindow = 0x464F4C44;   // 'FOLD'
constexpr OSType kProjectWindow = 0x50524F4A;  // 'PROJ'

OSType handlerOf(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    return r ? r->handler : 0;
}

}  // namespace

// Runs the importer's setup: first to learn the preferences' size, then with
// them. Results 0 and 17 keep them, 300 keeps them only when they existed.
void rc::plugins::runImporterSetup(int16_t fileID, bool showDialog) {
    const OSType handler = handlerOf(fileID);
    RcImportFileAccess access;
    fillAccess(fileID, access);
    RcImportPrefsRequest ask{};
    ask.showDialog = showDialog;
    if (callImporter(handler, kRcImportPrefs, intptr_t(&access), intptr_t(&ask)) != 0 ||
        ask.prefsSize <= 0)
        return;
    const bool existed = findFileRec(fileID)->prefsState != 0;
    int32_t oldSize = 0;
    const void* old = LockImporterPrefs(fileID, &oldSize);
    std::vector<uint8_t> prefs(size_t(ask.prefsSize), 0);
    if (old) std::memcpy(prefs.data(), old, size_t(std::min(oldSize, ask.prefsSize)));
    UnlockImporterPrefs(fileID);
    RcImportPrefsRequest give{};
    give.prefs = prefs.data();
    give.prefsSize = ask.prefsSize;
    give.showDialog = showDialog;
    fillAccess(fileID, access);
    const int16_t result =
        callImporter(handler, kRcImportPrefs, intptr_t(&access), intptr_t(&give));
    if (FmFileRecord* r = findFileRec(fileID))
        r->handlerData = reinterpret_cast<Handle>(access.privateData);
    if (result == 0 || result == kRcImportPrefsKept ||
        (result == kRcImportPrefsUnchanged && existed))
        FillImporterPrefs(fileID, prefs.data(), ask.prefsSize);
    else
        FillImporterPrefs(fileID, nullptr, 0);
}

namespace {

TDB projectBase(int32_t which, int32_t scale) {
    const TDB* t = GetCurrentTimeBase(which);
    if (t && t->scale > 0 && t->samp > 0) return *t;
    return TDB{0, scale, 1};
}

// The library's information record from the importer's answer.
void convertInfo(const RcImporterInfo& in, FmMediaInfo* out) {
    out->frame = FmRect{0, 0, in.width, in.height};
    const int32_t vsamp = in.videoSampleSize > 0 ? in.videoSampleSize : 1;
    out->video = TDB{int32_t(int64_t(in.videoFrames) * vsamp),
                     in.videoScale > 0 ? in.videoScale : 30, vsamp};
    out->audio = TDB{in.audioFrames, in.audioRate > 0 ? in.audioRate : 44100, 1};
    out->depth = int16_t(in.depth);
    out->mediaFlags = int16_t((in.hasVideo ? 1 : 0) | (in.hasAudio ? 2 : 0));
    out->audioFormat = int16_t(in.audioFormat & 0x300);
    out->pixelAspect = int32_t(in.pixelAspect);
    out->alphaType = uint8_t(in.alphaCode);
    out->fieldType = uint8_t(in.fieldType);
    out->noDuration = uint8_t(in.noDuration);
    out->isFramestore = uint8_t(in.isFramestore != 0);
    out->defaultStillLength = in.defaultStillLength;
    out->timeFormat = in.timeFormat;
    // The importer's text may fill its field: ours always ends in a NUL.
    std::memcpy(out->timecode, in.timecode, sizeof out->timecode - 1);
    out->timecode[sizeof out->timecode - 1] = '\0';
}

}  // namespace

// ---- Preferences ----

RC_API void* LockImporterPrefs(int16_t fileID, int32_t* outSize) {
    FmFileRecord* r = findFileRec(fileID);
    if (outSize) *outSize = 0;
    if (!r) return nullptr;
    if (r->prefsState == 1) {
        if (outSize) *outSize = kPrefsBlockSize;
        return r->handlerBlock;
    }
    if (r->prefsState == 2 && r->prefsHandle) {
        FmHLock(r->prefsHandle);
        if (outSize) *outSize = int32_t(FmGetHandleSize(r->prefsHandle));
        return *r->prefsHandle;
    }
    return nullptr;
}

RC_API void UnlockImporterPrefs(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    if (r && r->prefsState == 2 && r->prefsHandle) FmHUnlock(r->prefsHandle);
}

RC_API OSErr FillImporterPrefs(int16_t fileID, const void* data, int32_t size) {
    Handle h = FindFile(fileID);
    if (!h) return kFileBadParam;
    FmFileRecord* r = rc::media::fileRec(h);
    if (r->prefsHandle) FmDisposeHandle(r->prefsHandle);
    r->prefsHandle = nullptr;
    r->prefsState = 0;
    if (!data || size <= 0) return 0;
    if (size <= kPrefsBlockSize) {
        std::memset(r->handlerBlock, 0, sizeof r->handlerBlock);
        std::memcpy(r->handlerBlock, data, size_t(size));
        r->prefsState = 1;
        return 0;
    }
    Handle prefs = FmNewHandle(uint32_t(size));
    if (!prefs) return memFullErr;
    std::memcpy(*prefs, data, size_t(size));
    r = rc::media::fileRec(h);
    r->prefsHandle = prefs;
    r->prefsState = 2;
    return 0;
}

// ---- Information ----

RC_API OSErr importGetInfo(int16_t fileID, FmMediaInfo* info, intptr_t, int32_t noSetup) {
    Handle h = FindFile(fileID);
    if (!h || !info) return kImportCannotOpen;
    std::memset(info, 0, sizeof *info);
    const OSType handler = rc::media::fileRec(h)->handler;
    const RcImporterCapabilities* caps = importerCaps(handler);
    if (!caps) return kImportNoImporter;
    FmFileRecord* r = rc::media::fileRec(h);
    r->handlerOwnsFile = caps->ownsFile != 0;
    if (caps->isSynthetic) r->offline = 1;

    RcImporterInfo answer{};
    const TDB audio = projectBase(0, 44100);
    const TDB video = projectBase(1, 30);
    answer.videoScale = video.scale;
    answer.videoSampleSize = video.samp;
    answer.audioRate = audio.scale;
    answer.depth = 24;
    answer.defaultStillLength = int32_t(GetAGlobal(kSlotDefaultStillLen));
    Handle settings = reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings));
    answer.width = settings ? psetGetOutWidth(settings) : 320;
    answer.height = settings ? psetGetOutHeight(settings) : 240;
    answer.formatCode = kRawFormat;
    answer.formatVersion = 3;

    const bool createsFiles = caps->createsFiles != 0;
    const bool hasSetup = caps->hasSetup != 0;
    const FileRef ref = OpenFmxFile(fileID, false);
    if (ref == -1 && !createsFiles) return kImportCannotOpen;
    if (!noSetup && hasSetup && findFileRec(fileID)->prefsState == 0)
        runImporterSetup(fileID, true);

    RcImportFileAccess access;
    fillAccess(fileID, access);
    access.fileRef = ref;
    answer.privateData = access.privateData;
    int32_t prefsSize = 0;
    void* prefs = LockImporterPrefs(fileID, &prefsSize);
    (void)prefs;
    const int16_t result =
        callImporter(handler, kRcImportGetInfo, intptr_t(&access), intptr_t(&answer));
    UnlockImporterPrefs(fileID);
    if (ref != -1) ReleaseFile(fileID);
    r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    r->handlerData = reinterpret_cast<Handle>(answer.privateData);
    if (result != 0) return result;

    convertInfo(answer, info);
    r->still = answer.isStill != 0;
    if (info->isFramestore) {
        // The first of a numbered sequence: every file that follows it is a
        // frame; a sequence of one is a plain still.
        const int32_t count = gatherSequence(r->spec.name, kMaxFramestoreFrames);
        r = findFileRec(fileID);
        if (count > 1) {
            info->video.value = count * info->video.samp;
            info->noDuration = 0;
            r->still = 0;
        } else {
            info->isFramestore = 0;
        }
    }
    r->watchForChanges = answer.watchForChanges != 0;
    if (r->watchForChanges) r->modificationTime = FileModificationDate(fileID);
    const uint32_t code = answer.pixelAspect ? answer.pixelAspect : 0x10001;
    FmInitPixelAspectRec(&r->pixelAspect, &info->frame, FmPARNumerator(code),
                         FmPARDenominator(code));
    return 0;
}

// ---- Audio ----

RC_API OSErr ImportAudioSec(int16_t fileID, int64_t offset, int32_t size, void* dest) {
    Handle h = FindFile(fileID);
    if (!h || !dest || size < 0 || offset < 0) return kImportCannotOpen;
    FmFileRecord* r = rc::media::fileRec(h);
    const OSType handler = r->handler;
    const int32_t format = r->info.audioFormat & 0x300;
    const int32_t frameBytes = FmAudioFrameBytes(format);
    const int32_t rate = r->info.audio.scale > 0 ? r->info.audio.scale : 44100;
    const FileRef ref = OpenFmxFile(fileID, false);
    if (ref == -1) return kImportCannotOpen;
    RcImportAudioRequest req{};
    req.fileRef = ref;
    req.privateData = reinterpret_cast<intptr_t>(findFileRec(fileID)->handlerData);
    req.prefs = LockImporterPrefs(fileID, &req.prefsSize);
    req.sample = offset / frameBytes;
    req.in = int32_t(req.sample / rate);
    req.out = int32_t((req.sample + size / frameBytes) / rate);
    req.size = size;
    req.format = format;
    req.buffer = dest;
    FmDebug(0, "imImportAudio: filename:%s, in=%d, out=%d, sample=%d, size=%d",
            findFileRec(fileID)->spec.name, req.in, req.out, int32_t(req.sample), req.size);
    const int16_t result = callImporter(handler, kRcImportAudio, intptr_t(ref), intptr_t(&req));
    UnlockImporterPrefs(fileID);
    ReleaseFile(fileID);
    return result;
}

// ---- Close and pass-through selectors ----

RC_API OSErr importCloseFile(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    RcImportFileAccess access;
    fillAccess(fileID, access);
    FmDebug(0, "imCloseFile: filename=%s", access.path);
    const OSErr result = callImporter(r->handler, kRcImportCloseFile, intptr_t(&access), 0);
    if ((r = findFileRec(fileID))) r->handlerData = reinterpret_cast<Handle>(access.privateData);
    return result;
}

namespace {

OSErr passThrough(int16_t fileID, int32_t selector, void* record) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    RcImportFileAccess access;
    fillAccess(fileID, access);
    if (selector == kRcImportDeleteFile) FmDebug(0, "imDeleteFile: filename=%s", access.path);
    const OSErr result = callImporter(r->handler, selector, intptr_t(&access), intptr_t(record));
    if ((r = findFileRec(fileID))) r->handlerData = reinterpret_cast<Handle>(access.privateData);
    return result;
}

}  // namespace

RC_API OSErr importAnalysis(int16_t id, void* rec) {
    return passThrough(id, kRcImportAnalysis, rec);
}
RC_API OSErr importDataRateAnalysis(int16_t id, void* rec) {
    return passThrough(id, kRcImportDataRateAnalysis, rec);
}
RC_API OSErr importGetFrameInfo(int16_t id, void* rec) {
    return passThrough(id, kRcImportGetFrameInfo, rec);
}
RC_API OSErr importDisposeFrameInfo(int16_t id, void* rec) {
    return passThrough(id, kRcImportDisposeFrameInfo, rec);
}
RC_API OSErr importGetCompressedFrame(int16_t id, void* rec) {
    return passThrough(id, kRcImportGetCompressedFrame, rec);
}
RC_API OSErr importDisposeCompressedFrame(int16_t id, void* rec) {
    return passThrough(id, kRcImportDisposeCompressedFrame, rec);
}
RC_API OSErr importSaveFile(int16_t id) {
    return passThrough(id, kRcImportSaveFile, nullptr);
}
RC_API OSErr importGetCreatorInfo(int16_t id, void* rec) {
    return passThrough(id, kRcImportGetCreatorInfo, rec);
}
RC_API OSErr importSetCreatorInfo(int16_t id, void* rec) {
    return passThrough(id, kRcImportSetCreatorInfo, rec);
}
RC_API OSErr importGetMetaData(int16_t id, void* rec) {
    return passThrough(id, kRcImportGetMetaData, rec);
}
RC_API OSErr importSetMetaData(int16_t id, void* rec) {
    return passThrough(id, kRcImportSetMetaData, rec);
}

// ---- New synthetic media ----

RC_API void StripMenu(unsigned char* text) {
    if (!text) return;
    const int length = text[0];
    int out = 0;
    for (int i = 1; i <= length; ++i) {
        if (text[i] == '&') continue;
        text[++out] = text[i];
    }
    while (out >= 3 && std::memcmp(text + out - 2, "...", 3) == 0) out -= 3;
    text[0] = uint8_t(out);
}

RC_API int32_t NewImporterFile(int32_t index) {
    Handle list = reinterpret_cast<Handle>(GetAGlobal(kSlotImporterCaps));
    if (!list || index < 0 ||
        size_t(index) >= FmGetHandleSize(list) / sizeof(RcImporterCapabilities))
        return 0;
    const RcImporterCapabilities caps = reinterpret_cast<RcImporterCapabilities*>(*list)[index];
    unsigned char name[256];
    char path[260];
    const size_t nameLength = strnlen(caps.displayName, sizeof caps.displayName);
    std::memcpy(path, caps.displayName, nameLength);
    path[nameLength] = '\0';
    CopyCStringToPascal(path, name);
    StripMenu(name);
    CopyPascalStringToC(name, path);
    FSSpec spec{};
    std::memcpy(spec.name, path, std::min(std::strlen(path), sizeof spec.name - 1));
    const int16_t fileID = AddFSSpec(&spec, OSType(caps.handlerType));
    if (fileID == 0) return 0;
    if (FmFileRecord* r = findFileRec(fileID)) r->handler = OSType(caps.handlerType);
    FmMediaInfo info{};
    if (GetInfo(fileID, &info, 1) != 0) {
        FileCancel(fileID);
        return 0;
    }
    TDB base = (info.mediaFlags & 1) ? info.video : info.audio;
    const int32_t clip = NewClip(fileID, &base, info.mediaFlags);
    if (clip <= 0) {
        FileCancel(fileID);
        return 0;
    }
    const OSType targets[] = {kBinWindow, kFolderWindow, kProjectWindow};
    for (OSType target : targets) {
        if (GetFirstWind(target) == 0) continue;
        PMSendMessage(target, 11, clip, 0, nullptr, 0);
        ClipCancel(clip);
        return clip;
    }
    ClipCancel(clip);
    FileCancel(fileID);
    return 0;
}
