// Saving and loading the clips of a project with their titles, aspect
// colours and extra markers, and the time-line markers.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "project/codec_internal.h"
#include "project/records.h"
#include "project/records_internal.h"
#include "reelcore/clips.h"
#include "reelcore/memory.h"
#include "reelcore/strings.h"
#include "reelcore/struct_codec.h"

namespace rc::project {

namespace {

using rc::media::findClipRec;

int32_t clipIDAt(Handle list, uint32_t i) {
    int32_t id;
    std::memcpy(&id, *list + size_t(i) * 4, 4);
    return id;
}

uint32_t clipCount(Handle list) {
    return list && *list ? FmGetHandleSize(list) / 4 : 0;
}

int16_t clamp16(int64_t v) {
    return int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

int32_t clamp32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

FmSaveClipRec storedClip(const FmClipRecord* r) {
    FmSaveClipRec c{};
    c.magicS = kClipMagicStart;
    c.parentID = r->parent;
    c.childID = r->firstChild;
    c.sibPrevID = r->prevSibling;
    c.sibNextID = r->nextSibling;
    c.clipID = r->clipID;
    c.fileID = r->fileID;
    c.users = clamp16(r->subscriptions);
    int32_t children = 0;
    for (int32_t k = r->firstChild; k && children < INT16_MAX;) {
        const FmClipRecord* child = findClipRec(k);
        if (!child) break;
        ++children;
        k = child->nextSibling;
    }
    c.pubChildren = int16_t(children);
    c.backwards = r->backwards;
    c.revision = clamp16(r->revision);
    c.revcount = clamp16(r->maxRevision);
    c.rate = r->rate;
    std::memcpy(c.markers, r->markers, sizeof c.markers);
    c.vidMarkIn = r->markIn;
    c.vidMarkOut = r->markOut;
    c.audMarkIn = r->markIn2;
    c.audMarkOut = r->markOut2;
    c.tdbValue = r->timeBase.value;
    c.tdbScale = r->timeBase.scale;
    c.tdbSamp = r->timeBase.samp;
    c.linkPrevID = r->linkPrev;
    c.linkNextID = r->linkNext;
    c.lockaspect = r->aspect;
    std::memcpy(c.data, r->settings, sizeof c.data);
    c.mediaType = r->flags;
    std::memcpy(c.title, r->title, sizeof c.title - 1);
    c.aspectcolor = r->aspectColor;
    c.markcount = clamp16(r->extraCount);
    c.fileH = HandleToWord(r->file);
    c.magicE = kClipMagicEnd;
    return c;
}

// Old files count marker times in units 20 times coarser: markers up to
// 0x100000 scale, later ones keep their distance from the first.
void convertRateZero(FmSaveClipRec& c) {
    c.rate = 100.0f;
    for (int k = 0; k < kClipFixedMarkers; ++k) {
        const int64_t m = c.markers[k];
        if (m == -1) continue;
        const int64_t first = c.markers[0];
        c.markers[k] = clamp32(m <= 0x100000 ? m * 20 : m * 20 - 19 * first);
    }
}

int32_t loadedUsers(const FmSaveClipRec& c) {
    const int32_t sides =
        ((c.sibPrevID || c.linkPrevID) ? 1 : 0) + ((c.sibNextID || c.linkNextID) ? 1 : 0);
    int32_t users = c.users;
    if (users <= sides) users += sides;
    if ((c.mediaType & 4) && !c.parentID && c.childID) ++users;
    return std::max(users, 1);
}

// Normalises the line ends of every string of a string list (NUL-separated
// strings), keeping all of them.
OSErr fixListLineEnds(uint32_t& word) {
    Handle h = WordToHandle(word);
    if (!h || !*h) return noErr;
    const uint32_t size = FmGetHandleSize(h);
    std::string in(*h, size), out;
    bool changed = false;
    size_t start = 0;
    while (start < in.size()) {
        size_t end = in.find('\0', start);
        const bool terminated = end != std::string::npos;
        if (!terminated) end = in.size();
        std::string piece = in.substr(start, end - start);
        int32_t length = 0;
        if (FmFixLineEnding(piece.c_str(), nullptr, 'm', &length)) {
            std::vector<char> fixed(size_t(std::max(length, 1)));
            FmFixLineEnding(piece.c_str(), fixed.data(), 'm', &length);
            piece.assign(fixed.data());
            changed = true;
        }
        out += piece;
        if (terminated) out += '\0';
        start = end + 1;
    }
    if (!changed) return noErr;
    Handle fixed = FmNewHandle(uint32_t(out.size()));
    if (!fixed) return memFullErr;
    std::memcpy(*fixed, out.data(), out.size());
    FmDisposeHandle(h);
    word = HandleToWord(fixed);
    return noErr;
}

// Jumps to the first section of a group unless the stream stands at one.
bool atGroup(ProjBufHand stream, OSType tag) {
    OSType here = 0;
    GetStructInfo(stream, &here);
    return here == tag || SearchType(stream, tag);
}

}  // namespace

}  // namespace rc::project

using namespace rc::project;
using rc::media::findClipRec;

RC_API OSErr SaveClips(ProjBufHand stream, Handle clipIDs, Handle fileIDs) {
    if (!stream || !clipIDs) return kProjParamErr;
    IdIndex files(fileIDs, 2);
    const uint32_t n = clipCount(clipIDs);
    for (uint32_t i = 0; i < n; ++i) {
        const FmClipRecord* r = findClipRec(clipIDAt(clipIDs, i));
        if (!r) continue;
        FmSaveClipRec c = storedClip(r);
        OSErr err = WriteSaveClipRec(stream, &c);
        if (!err && fileIDs) err = files.add(c.fileID);
        if (err) return err;
    }
    int32_t packing[4];
    FindClipAspectPacking(packing);
    for (uint32_t i = 0; i < n; ++i) {
        const FmClipRecord* r = findClipRec(clipIDAt(clipIDs, i));
        if (!r) continue;
        const rc::project::ClipAspect a{r->clipID, r->aspectColor};
        OSErr err = WriteStruct(stream, fourCC("CLPA"), "LL", "clipID, aspectcolor", packing, &a);
        if (err) return err;
    }
    return noErr;
}

RC_API OSErr LoadClips(ProjBufHand stream, Handle clipMap, Handle fileMap, const TDB* timeBase,
                       int32_t version) {
    (void)timeBase;  // lengths are kept in each clip's own stored time record
    if (!stream || !clipMap || !fileMap) return kProjParamErr;
    if (!SearchType(stream, fourCC("CLIP"))) return noErr;
    IdIndex files(fileMap, 8);
    IdIndex clips(clipMap, 8);
    std::vector<int32_t> made;
    OSErr err = noErr;
    OSType tag = 0;
    while (GetStructInfo(stream, &tag) == fourCC("CLIP")) {
        reportProgress(fourCC("CLIP"));
        FmSaveClipRec c;
        err = ReadSaveClipRec(stream, &c, version);
        if (err) break;
        const int16_t fileID = int16_t(files.lookup(c.fileID));
        const FmFileRecord* file = rc::media::findFileRec(fileID);
        if (!file || clips.has(c.clipID)) continue;
        if (c.rate == 0.0f) convertRateZero(c);
        const int32_t fileKinds = file->info.mediaFlags;
        const int32_t stored = c.mediaType;
        const int32_t kinds =
            c.parentID ? ((stored & fileKinds) ? stored : fileKinds) : (fileKinds | stored);
        const TDB tdb{c.tdbValue, c.tdbScale, c.tdbSamp};
        const int32_t id = AddClip(fileID, c.markers, tdb.scale > 0 ? &tdb : nullptr, kinds);
        if (id <= 0) continue;
        if ((err = clips.add(c.clipID, id)) != noErr) break;
        made.push_back(id);
        FmClipRecord* r = findClipRec(id);
        r->parent = c.parentID;
        r->firstChild = c.childID;
        r->prevSibling = c.sibPrevID;
        r->nextSibling = c.sibNextID;
        r->linkPrev = c.linkPrevID;
        r->linkNext = c.linkNextID;
        r->subscriptions = loadedUsers(c);
        r->backwards = c.backwards;
        r->revision = c.revision;
        r->maxRevision = c.revcount;
        r->rate = c.rate;
        if (tdb.scale > 0) r->timeBase = tdb;
        r->markIn = c.vidMarkIn;
        r->markOut = c.vidMarkOut;
        r->markIn2 = c.audMarkIn;
        r->markOut2 = c.audMarkOut;
        r->aspect = c.lockaspect;
        std::memcpy(r->title, c.title, sizeof r->title);
        r->title[sizeof r->title - 1] = 0;
        std::memcpy(r->settings, c.data, sizeof r->settings);
        r->aspectColor = 0;
    }
    // Stored IDs become the new ones; IDs of clips not loaded become 0.
    for (int32_t id : made) {
        FmClipRecord* r = findClipRec(id);
        for (int32_t* link : {&r->parent, &r->firstChild, &r->prevSibling, &r->nextSibling,
                              &r->linkPrev, &r->linkNext})
            *link = *link ? clips.lookup(*link) : 0;
        // Numbered markers beyond the clip's last frame move to it.
        const int64_t last = int64_t(r->markers[0] == -1 ? 0 : r->markers[0]) + r->timeBase.value -
                             std::max(r->timeBase.samp, 1);
        for (int k = 2; k < kClipFixedMarkers; ++k)
            if (r->markers[k] != -1 && r->markers[k] > last && last >= 0)
                r->markers[k] = clamp32(last);
    }
    if (err) return err;
    if (!atGroup(stream, fourCC("CLPA"))) return noErr;
    int32_t packing[4];
    FindClipAspectPacking(packing);
    while (GetStructInfo(stream, &tag) == fourCC("CLPA")) {
        rc::project::ClipAspect a{};
        err = ReadStruct(stream, fourCC("CLPA"), "LL", packing, &a);
        if (err) return err;
        if (FmClipRecord* r = findClipRec(clips.lookup(a.clipID))) r->aspectColor = a.aspectcolor;
    }
    return noErr;
}

RC_API OSErr SaveClipTitles(ProjBufHand stream, Handle clipIDs) {
    if (!stream || !clipIDs) return kProjParamErr;
    const int32_t packing[3] = {4, 32, 0};
    const uint32_t n = clipCount(clipIDs);
    for (uint32_t i = 0; i < n; ++i) {
        const FmClipRecord* r = findClipRec(clipIDAt(clipIDs, i));
        if (!r || !r->title[0]) continue;
#pragma pack(push, 1)
        struct {
            int32_t clipID;
            char title[32];
        } t{};
#pragma pack(pop)
        t.clipID = r->clipID;
        std::memcpy(t.title, r->title, 31);  // 31 characters at most
        OSErr err = WriteStruct(stream, fourCC("CLPT"), "LC[32]", "clipID,title", packing, &t);
        if (err) return err;
    }
    return noErr;
}

RC_API OSErr LoadClipTitles(ProjBufHand stream, Handle clipMap) {
    if (!stream || !clipMap) return kProjParamErr;
    if (!SearchType(stream, fourCC("CLPT"))) return noErr;
    IdIndex clips(clipMap, 8);
    const int32_t packing[3] = {4, 32, 0};
    OSType tag = 0;
    while (GetStructInfo(stream, &tag) == fourCC("CLPT")) {
        char t[36] = {};
        OSErr err = ReadStruct(stream, fourCC("CLPT"), "LC[32]", packing, t);
        if (err) return err;
        int32_t stored;
        std::memcpy(&stored, t, 4);
        t[4 + 31] = 0;
        if (int32_t id = clips.lookup(stored)) SetClipTitle(id, t + 4);
    }
    return noErr;
}

RC_API OSErr SaveClipMarkers(ProjBufHand stream, Handle clipIDs) {
    if (!stream || !clipIDs) return kProjParamErr;
    const uint32_t n = clipCount(clipIDs);
    for (uint32_t i = 0; i < n; ++i) {
        const FmClipRecord* r = findClipRec(clipIDAt(clipIDs, i));
        if (!r || r->extraCount <= 0 || !r->extraMarkers) continue;
        // A count is stored in 16 bits; never more times than the list holds.
        const int32_t held = int32_t(FmGetHandleSize(r->extraMarkers) / 4);
        const int16_t count = clamp16(std::min(r->extraCount, held));
        Handle markers = r->extraMarkers;
        OSErr err = WriteClipID(stream, r->clipID);
        if (!err) err = WriteMarkerCount(stream, count);
        if (!err) err = WriteMarkerHandle(stream, count, markers);
        if (err) return err;
    }
    return noErr;
}

RC_API OSErr LoadClipMarkers(ProjBufHand stream, Handle clipMap) {
    if (!stream || !clipMap) return kProjParamErr;
    if (!SearchType(stream, fourCC("CLPD"))) return noErr;
    IdIndex clips(clipMap, 8);
    OSType tag = 0;
    while (GetStructInfo(stream, &tag) == fourCC("CLPD")) {
        int32_t stored = 0;
        int16_t count = 0;
        Handle markers = nullptr;
        OSErr err = ReadClipID(stream, &stored);
        if (!err)
            err = GetStructInfo(stream, &tag) == fourCC("MRKC") ? ReadMarkerCount(stream, &count)
                                                                : OSErr(kStructNotFound);
        if (!err && count < 0) err = kStructBadValue;
        if (!err) err = ReadMarkerHandle(stream, count, &markers);
        if (err) return err;
        FmClipRecord* r = findClipRec(clips.lookup(stored));
        if (!r) {
            FmDisposeHandle(markers);
            continue;
        }
        if (r->extraMarkers) FmDisposeHandle(r->extraMarkers);
        r = findClipRec(clips.lookup(stored));
        r->extraMarkers = count ? markers : nullptr;
        r->extraCount = count;
        if (!count) FmDisposeHandle(markers);
    }
    return noErr;
}

RC_API OSErr SaveTimeLineMarkers(ProjBufHand stream, int32_t count, Handle markers) {
    if (!stream) return kProjParamErr;
    if (!markers) return noErr;
    if (count < 0 || count > INT16_MAX || FmGetHandleSize(markers) < uint32_t(count) * 24)
        return kProjParamErr;
    OSErr err = FmWriteSectionTag(stream, fourCC("MRKT"));
    if (!err) err = FmWriteShort(stream, "moremarkerscount", int16_t(count));
    if (err || count == 0) return err ? err : FmWriteSectionTag(stream, fourCC("TMLM"));
    std::string type;
    type.reserve(size_t(count) * 6);
    for (int32_t i = 0; i < count; ++i) type += "LLMMMM";
    std::vector<int32_t> packing(size_t(count) * 6 + 1, 4);
    packing.back() = 0;
    FmHLock(markers);
    err = WriteStruct(stream, fourCC("TMLM"), type.c_str(), nullptr, packing.data(), *markers);
    FmHUnlock(markers);
    return err;
}

RC_API OSErr LoadTimeLineMarkers(ProjBufHand stream, int32_t* count, Handle* markers,
                                 int32_t version) {
    if (!stream || !count || !markers) return kProjParamErr;
    *count = 0;
    *markers = nullptr;
    if (version < 6 || !SearchType(stream, fourCC("MRKT"))) return noErr;
    int16_t stored = 0;
    const int32_t one[2] = {2, 0};
    OSErr err = ReadStruct(stream, fourCC("MRKT"), "S", one, &stored);
    if (err) return err;
    if (stored < 0) return kStructBadValue;
    const int32_t n = stored;
    Handle list = FmNewHandleClear(uint32_t(n) * 24);
    if (!list) return memFullErr;
    if (n > 0) {
        if (GetStructInfo(stream, nullptr) != fourCC("TMLM")) {
            FmDisposeHandle(list);
            return kStructNotFound;
        }
        const bool timesOnly = version < 7;
        std::string type;
        for (int32_t i = 0; i < n; ++i) type += timesOnly ? "L" : "LLMMMM";
        std::vector<int32_t> packing(size_t(n) * (timesOnly ? 1 : 6) + 1, timesOnly ? 24 : 4);
        packing.back() = 0;
        FmHLock(list);
        err = ReadStruct(stream, fourCC("TMLM"), type.c_str(), packing.data(), *list);
        FmHUnlock(list);
        if (err) {
            if (!timesOnly) freeRecordHandles(type.c_str(), packing.data(), *list);
            FmDisposeHandle(list);
            return err;
        }
        auto* m = reinterpret_cast<FmTimeLineMarker*>(*list);
        for (int32_t i = 0; i < n; ++i) {
            if (timesOnly) {
                m[i].value = 1;  // a version 6 marker: its time only
                continue;
            }
            for (int k : {0, 3}) {
                uint32_t word = m[i].text[k];
                err = fixListLineEnds(word);
                m = reinterpret_cast<FmTimeLineMarker*>(*list);
                m[i].text[k] = word;
                if (err) break;
            }
            if (err) break;
        }
        if (err) {
            freeRecordHandles(type.c_str(), packing.data(), *list);
            FmDisposeHandle(list);
            return err;
        }
    }
    *count = n;
    *markers = list;
    return noErr;
}
