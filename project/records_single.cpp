// Single project records: the header, the stored file record with its name,
// trim and offline sections, the stored clip record, marker counts and
// lists, and track records.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "project/records_internal.h"
#include "reelcore/memory.h"
#include "reelcore/struct_codec.h"

namespace rc::project {

std::vector<int32_t> stridesOf(std::initializer_list<size_t> offsets, size_t size) {
    std::vector<int32_t> out;
    const size_t* o = offsets.begin();
    for (size_t i = 0; i < offsets.size(); ++i) {
        size_t next = i + 1 < offsets.size() ? o[i + 1] : size;
        out.push_back(int32_t(next - o[i]));
    }
    out.push_back(0);
    return out;
}

#define OFF(T, f) offsetof(T, f)

const int32_t* fileRecPacking(int32_t version) {
    using T = FmSaveFileRec;
    static const std::vector<int32_t> current =
        stridesOf({OFF(T, fileID), OFF(T, param), OFF(T, filetype), OFF(T, vname), OFF(T, fname),
                   OFF(T, isFramestore), OFF(T, prefLength), OFF(T, mediaType), OFF(T, prefHandle),
                   OFF(T, title), OFF(T, pixelAspect)},
                  sizeof(T));
    static const std::vector<int32_t> older =
        stridesOf({OFF(T, fileID), OFF(T, param), OFF(T, filetype), OFF(T, vname), OFF(T, fname),
                   OFF(T, isFramestore), OFF(T, prefLength), OFF(T, mediaType), OFF(T, prefHandle),
                   OFF(T, title)},
                  sizeof(T));
    return version >= kProjCurrentVersion ? current.data() : older.data();
}

const int32_t* clipRecPacking(int32_t version) {
    using T = FmSaveClipRec;
    static const std::vector<int32_t> current = stridesOf(
        {OFF(T, magicS),      OFF(T, parentID),    OFF(T, childID),    OFF(T, sibPrevID),
         OFF(T, sibNextID),   OFF(T, clipID),      OFF(T, fileID),     OFF(T, users),
         OFF(T, pubChildren), OFF(T, backwards),   OFF(T, revision),   OFF(T, revcount),
         OFF(T, rate),        OFF(T, markers),     OFF(T, vidMarkIn),  OFF(T, vidMarkOut),
         OFF(T, audMarkIn),   OFF(T, audMarkOut),  OFF(T, tdbValue),   OFF(T, tdbScale),
         OFF(T, tdbSamp),     OFF(T, linkPrevID),  OFF(T, linkNextID), OFF(T, lockaspect),
         OFF(T, data),        OFF(T, mediaType),   OFF(T, title),      OFF(T, aspectcolor),
         OFF(T, markcount),   OFF(T, moremarkers), OFF(T, fileH),      OFF(T, magicE)},
        sizeof(T));
    // Older files: one mark pair where the video marks are, the time record
    // and links right after it, the flags where the media type is; the same
    // record is read and converted afterwards (readOldClip).
    static const std::vector<int32_t> older =
        stridesOf({OFF(T, magicS),      OFF(T, parentID),    OFF(T, childID),   OFF(T, sibPrevID),
                   OFF(T, sibNextID),   OFF(T, clipID),      OFF(T, fileID),    OFF(T, users),
                   OFF(T, pubChildren), OFF(T, backwards),   OFF(T, revision),  OFF(T, revcount),
                   OFF(T, rate),        OFF(T, markers),     OFF(T, vidMarkIn), OFF(T, vidMarkOut),
                   OFF(T, tdbValue),    OFF(T, tdbScale),    OFF(T, tdbSamp),   OFF(T, linkPrevID),
                   OFF(T, linkNextID),  OFF(T, lockaspect),  OFF(T, data),      OFF(T, mediaType),
                   OFF(T, title),       OFF(T, aspectcolor), OFF(T, markcount), OFF(T, moremarkers),
                   OFF(T, fileH),       OFF(T, magicE)},
                  sizeof(T));
    return version >= kProjCurrentVersion ? current.data() : older.data();
}

const int32_t* offlineInfoPacking() {
    static std::vector<int32_t> packing = [] {
        std::vector<int32_t> p(32, 0);
        FindOfflineInfoPacking(p.data());
        return p;
    }();
    return packing.data();
}

namespace {

constexpr const char* kFileRecNames =
    "fileID,param,filetype,vname,fname,isFramestore,prefLength,mediaType,prefHandle,title,"
    "pixelAspect";
constexpr const char* kOfflineNames =
    "frame,audvalue,audscale,audsamp,vidvalue,vidscale,vidsamp,depth,flags,audflags,pixelAspect,"
    "fieldType,fieldsStacked,hasPulldown,pulldownPhase,alphaType,matteColor,alphaInverted,"
    "isVectors,drawsExternal,dontObscure,noDuration,isFramestore,fType,timecode,reelname,vname";
constexpr const char* kTrackNames =
    "theTrack,active,locked,output,shy,name,linked,hilitesection,type,mapping,disabled,selected";

// "C[n]" with n the text's length and its NUL.
std::string textType(const char* text) {
    return "C[" + std::to_string(std::strlen(text) + 1) + "]";
}

const int32_t* onePacking(int32_t size) {
    static thread_local int32_t packing[2];
    packing[0] = size;
    packing[1] = 0;
    return packing;
}

}  // namespace

}  // namespace rc::project

using namespace rc::project;

RC_API OSErr WriteProjHeader(ProjBufHand stream, const FmProjHeader* header) {
    if (!header) return kProjParamErr;
    int32_t packing[8];
    FindHeaderPacking(packing);
    return WriteStruct(stream, fourCC("HEAD"), "TLLT", "signature,version,dirOffset,platform",
                       packing, header);
}

RC_API OSErr ReadProjHeader(ProjBufHand stream, FmProjHeader* header) {
    if (!header) return kProjParamErr;
    *header = FmProjHeader{};
    int32_t packing[8];
    FindHeaderPacking(packing);
    if (!SearchType(stream, fourCC("HEAD"))) return kStructNotFound;
    return ReadStruct(stream, fourCC("HEAD"), "TLLT", packing, header);
}

RC_API OSErr WriteSaveFileRec(ProjBufHand stream, const FmSaveFileRec* record) {
    if (!record) return kProjParamErr;
    return WriteStruct(stream, fourCC("FILE"), kFileRecType, kFileRecNames,
                       fileRecPacking(kProjCurrentVersion), record);
}

RC_API OSErr ReadSaveFileRec(ProjBufHand stream, FmSaveFileRec* record, int32_t version) {
    if (!record) return kProjParamErr;
    *record = FmSaveFileRec{};
    const bool current = version >= kProjCurrentVersion;
    OSErr err = ReadStruct(stream, fourCC("FILE"), current ? kFileRecType : kFileRecTypeOld,
                           fileRecPacking(version), record);
    // A title is a C string whatever the file held.
    record->title[sizeof record->title - 1] = 0;
    Handle prefs = WordToHandle(record->prefHandle);
    if (err && prefs) {
        FmDisposeHandle(prefs);
        record->prefHandle = 0;
    }
    return err;
}

RC_API OSErr WriteFileName(ProjBufHand stream, const char* path) {
    if (!path) return kProjParamErr;
    return WriteStruct(stream, fourCC("FNAM"), textType(path).c_str(), "fname",
                       onePacking(int32_t(std::strlen(path) + 1)), path);
}

RC_API OSErr ReadFileName(ProjBufHand stream, char* path) {
    if (!path) return kProjParamErr;
    // Stored as up to 300 characters; the path field holds 260 with its NUL.
    char text[301] = {};
    OSErr err = ReadStruct(stream, fourCC("FNAM"), "C[300]", onePacking(300), text);
    path[0] = 0;
    if (err) return err;
    size_t n = strnlen(text, 300);
    if (n >= sizeof(FSSpec{}.name)) return kProjPathTooLong;
    std::memcpy(path, text, n + 1);
    return noErr;
}

RC_API OSErr WriteMatchName(ProjBufHand stream, const char* name) {
    if (!name) return kProjParamErr;
    return WriteStruct(stream, fourCC("MNAM"), textType(name).c_str(), "matchName",
                       onePacking(int32_t(std::strlen(name) + 1)), name);
}

RC_API OSErr ReadMatchName(ProjBufHand stream, char* name) {
    if (!name) return kProjParamErr;
    char text[33] = {};
    OSErr err = ReadStruct(stream, fourCC("MNAM"), "C[32]", onePacking(32), text);
    name[0] = 0;
    if (err) return err;
    if (std::strcmp(text, "0") == 0) return 1;  // the empty name
    std::memcpy(name, text, 31);
    name[31] = 0;
    return noErr;
}

RC_API OSErr WriteSaveTrimFileRec(ProjBufHand stream, const FmSaveTrimFileRec* record) {
    if (!record) return kProjParamErr;
    int32_t packing[4];
    FindRangeRecPacking(packing);
    return WriteStruct(stream, fourCC("FTRM"), "SL", "fileID,trimIn", packing, record);
}

RC_API OSErr ReadSaveTrimFileRec(ProjBufHand stream, FmSaveTrimFileRec* record) {
    if (!record) return kProjParamErr;
    *record = FmSaveTrimFileRec{};
    int32_t packing[4];
    FindRangeRecPacking(packing);
    return ReadStruct(stream, fourCC("FTRM"), "SL", packing, record);
}

RC_API OSErr WriteTrackItem(ProjBufHand stream, const TrackRec* track) {
    if (!track) return kProjParamErr;
    int32_t packing[16];
    FindTrackRecPacking(packing);
    return WriteStruct(stream, fourCC("TRKI"), "OB4HS6", kTrackNames, packing, track);
}

RC_API OSErr ReadTrackItem(ProjBufHand stream, TrackRec* track) {
    if (!track) return kProjParamErr;
    // The item list is the caller's; only the stored fields are read.
    const uint32_t items = track->theTrack;
    *track = TrackRec{};
    int32_t packing[16];
    FindTrackRecPacking(packing);
    OSErr err = ReadStruct(stream, fourCC("TRKI"), "OB4HS6", packing, track);
    track->theTrack = items;
    return err;
}

RC_API OSErr WriteClipID(ProjBufHand stream, int32_t clipID) {
    OSErr err = FmWriteSectionTag(stream, fourCC("CLPD"));
    return err ? err : FmWriteLong(stream, "clipID", clipID);
}

RC_API OSErr ReadClipID(ProjBufHand stream, int32_t* clipID) {
    if (!clipID) return kProjParamErr;
    *clipID = 0;
    return ReadStruct(stream, fourCC("CLPD"), "L", onePacking(4), clipID);
}

RC_API OSErr WriteMarkerCount(ProjBufHand stream, int16_t count) {
    OSErr err = FmWriteSectionTag(stream, fourCC("MRKC"));
    return err ? err : FmWriteShort(stream, "moremarkerscount", count);
}

RC_API OSErr ReadMarkerCount(ProjBufHand stream, int16_t* count) {
    if (!count) return kProjParamErr;
    *count = 0;
    return ReadStruct(stream, fourCC("MRKC"), "S", onePacking(2), count);
}

RC_API OSErr WriteMarkerHandle(ProjBufHand stream, int32_t count, Handle markers) {
    if (count < 0 || (count > 0 && (!markers || FmGetHandleSize(markers) < uint32_t(count) * 4)))
        return kProjParamErr;
    std::string type(size_t(count), 'L');
    std::vector<int32_t> packing(size_t(count) + 1, 4);
    packing.back() = 0;
    if (count == 0) return FmWriteSectionTag(stream, fourCC("CLPM"));
    return WriteStruct(stream, fourCC("CLPM"), type.c_str(), nullptr, packing.data(), *markers);
}

RC_API OSErr ReadMarkerHandle(ProjBufHand stream, int32_t count, Handle* markers) {
    if (!markers) return kProjParamErr;
    *markers = nullptr;
    if (count < 0 || count > 0x7FFF) return kProjParamErr;
    Handle h = FmNewHandleClear(uint32_t(count) * 4);
    if (!h) return memFullErr;
    if (count > 0) {
        std::string type(size_t(count), 'L');
        std::vector<int32_t> packing(size_t(count) + 1, 4);
        packing.back() = 0;
        FmHLock(h);
        OSErr err = ReadStruct(stream, fourCC("CLPM"), type.c_str(), packing.data(), *h);
        FmHUnlock(h);
        // Fewer times than the count claims is a damaged section.
        if (err) {
            FmDisposeHandle(h);
            return err;
        }
    }
    *markers = h;
    return noErr;
}

RC_API OSErr WriteSaveClipRec(ProjBufHand stream, const FmSaveClipRec* c) {
    if (!c) return kProjParamErr;
    OSErr err = FmWriteSectionTag(stream, fourCC("CLIP"));
    auto L = [&](const char* key, int32_t v) {
        if (!err) err = FmWriteLong(stream, key, v);
    };
    auto S = [&](const char* key, int16_t v) {
        if (!err) err = FmWriteShort(stream, key, v);
    };
    L("magicS", c->magicS);
    L("parentID", c->parentID);
    L("childID", c->childID);
    L("sib.prevID", c->sibPrevID);
    L("sib.nextID", c->sibNextID);
    L("clipID", c->clipID);
    S("fileID", c->fileID);
    S("users", c->users);
    S("pubChildren", c->pubChildren);
    S("backwards", c->backwards);
    S("revision", c->revision);
    S("revcount", c->revcount);
    if (!err) err = FmWriteFloat(stream, "rate", c->rate);
    if (!err) err = FmWriteKey(stream, "markers", "L", 12, c->markers);
    L("vidMarkIn", c->vidMarkIn);
    L("vidMarkOut", c->vidMarkOut);
    L("audMarkIn", c->audMarkIn);
    L("audMarkOut", c->audMarkOut);
    L("tdb.value", c->tdbValue);
    L("tdb.scale", c->tdbScale);
    L("tdb.samp", c->tdbSamp);
    L("links.prevID", c->linkPrevID);
    L("links.nextID", c->linkNextID);
    if (!err) err = FmWriteKey(stream, "lockaspect", "C", 1, &c->lockaspect);
    if (!err) err = FmWriteKey(stream, "data", "C", 14, c->data);
    L("mediaType", c->mediaType);
    if (!err) err = FmWriteKey(stream, "title", "C", 32, c->title);
    L("aspectcolor", c->aspectcolor);
    S("markcount", c->markcount);
    L("moremarkers", 0);  // a run-time reference: never stored
    if (!err) err = FmWriteHandleSize(stream, "fileH", WordToHandle(c->fileH));
    L("magicE", c->magicE);
    return err;
}

RC_API OSErr ReadSaveClipRec(ProjBufHand stream, FmSaveClipRec* record, int32_t version) {
    if (!record) return kProjParamErr;
    FmSaveClipRec c{};
    const bool current = version >= kProjCurrentVersion;
    OSErr err = ReadStruct(stream, fourCC("CLIP"), current ? kClipRecType : kClipRecTypeOld,
                           clipRecPacking(version), &c);
    // fileH was the size of an in-memory Handle; the one made for it is
    // of no use here.
    if (Handle h = WordToHandle(c.fileH)) FmDisposeHandle(h);
    c.fileH = 0;
    c.moremarkers = 0;
    c.title[sizeof c.title - 1] = 0;
    if (!current) {
        // One mark pair, for video (flag bit 0) and/or audio (bit 1).
        const int32_t in = c.vidMarkIn, out = c.vidMarkOut, flags = c.mediaType;
        c.vidMarkIn = (flags & 1) ? in : -1;
        c.vidMarkOut = (flags & 1) ? out : -1;
        c.audMarkIn = (flags & 2) ? in : -1;
        c.audMarkOut = (flags & 2) ? out : -1;
    }
    *record = c;
    return err;
}

RC_API OSErr WriteOfflineID(ProjBufHand stream, int16_t fileID) {
    return WriteStruct(stream, fourCC("PRID"), "S", "fileID", onePacking(2), &fileID);
}

RC_API OSErr WriteOfflineInfo(ProjBufHand stream, const FmOfflineInfo* info) {
    if (!info) return kProjParamErr;
    return WriteStruct(stream, fourCC("FDAT"), kOfflineInfoType, kOfflineNames,
                       offlineInfoPacking(), info);
}
