// The clip table: clipIDs, records, master clips and subclips, links and the
// subscriptions that keep files, parents and partners alive.
//
// Besides the table of slot 208 the library keeps an index of its own: the
// clips of each file in clipID order, the free clipIDs below slot 17, and the
// last child of each parent. It belongs to one table handle and is rebuilt
// from the table when that changes.
#include <algorithm>
#include <cstring>
#include <set>
#include <unordered_map>
#include <vector>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace rc::media {
namespace {

struct IdOrder {
    bool operator()(int32_t a, int32_t b) const { return a < b; }
};
struct FileKeyHash {
    size_t operator()(int16_t id) const { return size_t(uint16_t(id)); }
};
struct ClipKeyHash {
    size_t operator()(int32_t id) const { return size_t(uint32_t(id)); }
};
using ClipSet = std::set<int32_t, IdOrder>;

struct ClipIndex {
    Handle table = nullptr;
    std::unordered_map<int16_t, ClipSet, FileKeyHash> byFile;
    ClipSet freeIDs;                                              // empty slots below slot 17
    std::unordered_map<int32_t, int32_t, ClipKeyHash> lastChild;  // a hint, checked on use
};

ClipIndex& rawIndex() {
    static ClipIndex index;
    return index;
}

Handle tableHandle() {
    return reinterpret_cast<Handle>(GetAGlobal(kSlotClipTable));
}

int32_t slotCount() {
    Handle h = tableHandle();
    if (!h || !*h) return 0;
    int32_t n = int32_t(GetAGlobal(kSlotClipCount));
    int32_t fits = int32_t(FmGetHandleSize(h) / 4);
    return std::min(n, fits);
}

uint32_t* slotWords() {
    return reinterpret_cast<uint32_t*>(*tableHandle());
}

ClipIndex& index() {
    ClipIndex& ix = rawIndex();
    Handle h = tableHandle();
    if (ix.table == h) return ix;
    ix = ClipIndex{};
    ix.table = h;
    int32_t n = slotCount();
    int32_t next = int32_t(GetAGlobal(kSlotNextClipID));
    for (int32_t id = 1; id < n; ++id) {
        Handle rh = WordToHandle(slotWords()[id]);
        if (rh)
            ix.byFile[clipRec(rh)->fileID].insert(id);
        else if (id < next)
            ix.freeIDs.insert(id);
    }
    return ix;
}

FmClipRecord* R(int32_t id) {
    return findClipRec(id);
}

// A clipID for a new record, or 0 when the table cannot grow.
int32_t allocateClipID() {
    ClipIndex& ix = index();
    int32_t count = slotCount();
    int32_t next = std::max<int32_t>(1, int32_t(GetAGlobal(kSlotNextClipID)));
    // Never hand out a slot that holds a clip, whatever slot 17 says.
    while (next < count && slotWords()[next]) ++next;
    if (next < count) {
        SetAGlobal(kSlotNextClipID, next + 1);
        return next;
    }
    while (!ix.freeIDs.empty()) {
        int32_t id = *ix.freeIDs.begin();
        ix.freeIDs.erase(ix.freeIDs.begin());
        if (id >= 1 && id < count && !slotWords()[id]) return id;
    }
    Handle h = tableHandle();
    if (!h) return 0;
    int32_t grown = count + kClipTableGrowth;
    if (FmSetHandleSize(h, uint32_t(grown) * 4) != 0) return 0;
    std::memset(slotWords() + count, 0, size_t(kClipTableGrowth) * 4);
    SetAGlobal(kSlotClipCount, grown);
    SetAGlobal(kSlotNextClipID, count + 1);
    return count;
}

// The master clip at the top of a clip's parent chain.
int32_t rootOf(int32_t id) {
    for (int guard = 0; guard < 64; ++guard) {
        FmClipRecord* r = R(id);
        if (!r || r->parent == 0 || !R(r->parent)) return id;
        id = r->parent;
    }
    return id;
}

bool isAncestorOrSelf(int32_t ancestor, int32_t id) {
    for (int guard = 0; guard < 64 && id; ++guard) {
        if (id == ancestor) return true;
        FmClipRecord* r = R(id);
        id = r ? r->parent : 0;
    }
    return false;
}

// Hangs a clip at the end of a parent's child list; the parent gets a
// subscription.
void attachLastChild(int32_t id, int32_t parent) {
    ClipIndex& ix = index();
    int32_t last = 0;
    auto hint = ix.lastChild.find(parent);
    if (hint != ix.lastChild.end()) {
        FmClipRecord* h = R(hint->second);
        if (h && h->parent == parent && h->nextSibling == 0) last = hint->second;
    }
    if (!last) {
        for (int32_t c = R(parent)->firstChild; c && R(c); c = R(c)->nextSibling) last = c;
    }
    FmClipRecord* r = R(id);
    r->parent = parent;
    r->prevSibling = last;
    r->nextSibling = 0;
    if (last)
        R(last)->nextSibling = id;
    else
        R(parent)->firstChild = id;
    ix.lastChild[parent] = id;
    ClipSubscribe(parent);
}

// Takes a clip out of its parent's child list and out of its sibling chain.
void detachFromParent(int32_t id) {
    FmClipRecord* r = R(id);
    int32_t parent = r->parent, prev = r->prevSibling, next = r->nextSibling;
    if (FmClipRecord* p = parent ? R(parent) : nullptr) {
        if (p->firstChild == id) p->firstChild = next;
        auto& hints = index().lastChild;
        auto hint = hints.find(parent);
        if (hint != hints.end() && hint->second == id) {
            if (prev)
                hint->second = prev;
            else
                hints.erase(hint);
        }
    }
    if (FmClipRecord* p = prev ? R(prev) : nullptr) p->nextSibling = next;
    if (FmClipRecord* n = next ? R(next) : nullptr) n->prevSibling = prev;
    r = R(id);
    r->prevSibling = r->nextSibling = 0;
}

// Re-expresses every time of a clip in another base.
void convertClipTimes(int32_t id, const TDB& to) {
    FmClipRecord* r = R(id);
    const TDB from = r->timeBase;
    if (from.scale == to.scale && from.samp == to.samp) return;
    for (int32_t& m : r->markers)
        if (m != -1) m = convertTime(m, from, to);
    for (int32_t* m : {&r->markIn, &r->markOut, &r->markIn2, &r->markOut2})
        if (*m != -1) *m = convertTime(*m, from, to);
    if (int32_t* extra = extraMarkers(r))
        for (int32_t i = 0; i < r->extraCount; ++i)
            if (extra[i] != -1) extra[i] = convertTime(extra[i], from, to);
    r->timeBase.scale = to.scale;
    r->timeBase.samp = to.samp;
    int64_t length = int64_t(r->markers[1]) - r->markers[0] + to.samp;
    r->timeBase.value = saturate32(length);
}

// Unhooks a clip from its link chain without touching subscriptions.
int32_t unhookLink(int32_t id) {
    FmClipRecord* r = R(id);
    int32_t prev = r->linkPrev, next = r->linkNext;
    if (FmClipRecord* p = prev ? R(prev) : nullptr) p->linkNext = next;
    if (FmClipRecord* n = next ? R(next) : nullptr) n->linkPrev = prev;
    r = R(id);
    r->linkPrev = r->linkNext = 0;
    return next ? next : prev;
}

void disposeClip(int32_t id) {
    ClipIndex& ix = index();
    Handle h = FindClip(id);
    FmClipRecord* r = clipRec(h);
    const int16_t fileID = r->fileID;
    const int32_t parent = r->parent;
    detachFromParent(id);
    unhookLink(id);
    // Children cannot outlive their parent's record: they become masters.
    r = clipRec(h);
    for (int32_t c = r->firstChild; c && R(c);) {
        FmClipRecord* child = R(c);
        int32_t next = child->nextSibling;
        child->parent = 0;
        child->prevSibling = child->nextSibling = 0;
        c = next;
    }
    ix.lastChild.erase(id);
    auto files = ix.byFile.find(fileID);
    if (files != ix.byFile.end()) {
        files->second.erase(id);
        if (files->second.empty()) ix.byFile.erase(files);
    }
    slotWords()[id] = 0;
    if (id < GetAGlobal(kSlotNextClipID)) ix.freeIDs.insert(id);
    r = clipRec(h);
    if (r->extraMarkers) FmDisposeHandle(r->extraMarkers);
    FmDisposeHandle(h);
    FileCancel(fileID);
    if (parent) ClipCancel(parent);
}

// The file's time record that a clip with these flags counts in.
TDB fileBase(const FmFileRecord* f, int32_t flags) {
    if (!f) return TDB{0, 30, 1};
    return (flags & (kClipVideo | kClipVideoBase)) ? f->info.video : f->info.audio;
}

// Copies what a derived clip takes over from its source.
void copyAppearance(int32_t to, int32_t from, bool withExtras) {
    Handle extras = nullptr;
    FmClipRecord* src = R(from);
    if (withExtras && src->extraMarkers && src->extraCount > 0) {
        extras = src->extraMarkers;
        if (FmHandToHand(&extras) != 0) extras = nullptr;
    }
    src = R(from);
    FmClipRecord* dst = R(to);
    if (!src || !dst) {
        if (extras) FmDisposeHandle(extras);
        return;
    }
    std::memcpy(dst->settings, src->settings, sizeof dst->settings);
    std::memcpy(dst->title, src->title, sizeof dst->title);
    dst->aspect = src->aspect;
    dst->rate = src->rate;
    dst->backwards = src->backwards;
    dst->aspectColor = src->aspectColor;
    if (extras) {
        dst->extraMarkers = extras;
        dst->extraCount = src->extraCount;
        // Times follow the new clip's base.
        const TDB fromBase = src->timeBase, toBase = dst->timeBase;
        int32_t* m = reinterpret_cast<int32_t*>(*extras);
        for (int32_t i = 0; i < dst->extraCount; ++i)
            if (m[i] != -1) m[i] = convertTime(m[i], fromBase, toBase);
    }
}

// A new clip of the file with in, out and markers 2 to 11 taken from a
// source clip, converted to the base.
int32_t deriveClip(int32_t src, int32_t in, int32_t out, const TDB* tb, int32_t flags,
                   int16_t fileID) {
    FmClipRecord* s = R(src);
    const TDB from = s->timeBase;
    const TDB to = (tb && tb->scale > 0) ? *tb : from;
    int32_t times[kClipFixedMarkers];
    times[0] = in == -1 ? -1 : convertTime(in, from, to);
    times[1] = out == -1 ? -1 : convertTime(out, from, to);
    for (int i = 2; i < kClipFixedMarkers; ++i)
        times[i] = s->markers[i] == -1 ? -1 : convertTime(s->markers[i], from, to);
    int32_t id = AddClip(fileID, times, &to, flags);
    if (id == -1) return -1;
    copyAppearance(id, src, true);
    return id;
}

}  // namespace

void disposeClipTable() {
    Handle h = tableHandle();
    if (h && *h) {
        int32_t n = slotCount();
        for (int32_t id = 1; id < n; ++id) {
            Handle rh = WordToHandle(slotWords()[id]);
            if (!rh) continue;
            if (clipRec(rh)->extraMarkers) FmDisposeHandle(clipRec(rh)->extraMarkers);
            FmDisposeHandle(rh);
            slotWords()[id] = 0;
        }
        FmDisposeHandle(h);
    }
    SetAGlobal(kSlotClipTable, 0);
    SetAGlobal(kSlotClipCount, 0);
    rawIndex() = ClipIndex{};
}

std::vector<ClipIdItem> clipsOfFile(int16_t fileID) {
    std::vector<ClipIdItem> out;
    if (!tableHandle()) return out;
    ClipIndex& ix = index();
    auto it = ix.byFile.find(fileID);
    if (it != ix.byFile.end())
        for (int32_t id : it->second) out.push_back(ClipIdItem{id});
    return out;
}

}  // namespace rc::media

using namespace rc::media;

RC_API void InitClipQueue(void) {
    Handle h = FmNewHandleClear(uint32_t(kClipTableGrowth) * 4);
    if (!h) return;
    rawIndex() = ClipIndex{};
    SetAGlobal(kSlotClipTable, reinterpret_cast<intptr_t>(h));
    SetAGlobal(kSlotClipCount, kClipTableGrowth);
    // 0 is not a clipID: the first clip is 1.
    SetAGlobal(kSlotNextClipID, 1);
}

RC_API Handle FindClip(int32_t id) {
    if (id < 1 || id >= slotCount()) return nullptr;
    return WordToHandle(slotWords()[id]);
}

RC_API Handle FmClipExists(int32_t id) {
    return FindClip(id);
}

RC_API Boolean IsValidClipID(int32_t id) {
    return FindClip(id) != nullptr;
}

RC_API Boolean GetNextUsedClipID(FmClipIterator* iterator, Handle* out) {
    if (!iterator) return 0;
    int32_t n = slotCount();
    for (int32_t id = std::max(iterator->index + 1, 1); id < n; ++id) {
        Handle h = WordToHandle(slotWords()[id]);
        if (!h) continue;
        iterator->index = id;
        if (out) *out = h;
        return 1;
    }
    iterator->index = std::max(iterator->index, n);
    if (out) *out = nullptr;
    return 0;
}

RC_API int32_t GetFileMasterClip(int16_t fileID) {
    if (!tableHandle()) return 0;
    ClipIndex& ix = index();
    auto it = ix.byFile.find(fileID);
    if (it == ix.byFile.end()) return 0;
    for (int32_t id : it->second)
        if (FmClipRecord* r = R(id); r && r->parent == 0) return id;
    return 0;
}

RC_API int32_t GetMaxRev(int16_t fileID) {
    if (!tableHandle()) return 0;
    ClipIndex& ix = index();
    auto it = ix.byFile.find(fileID);
    if (it == ix.byFile.end() || it->second.empty()) return 0;
    FmClipRecord* r = R(*it->second.begin());
    return r ? r->maxRevision : 0;
}

RC_API void SetMaxRev(int16_t fileID, int32_t rev) {
    if (!tableHandle()) return;
    ClipIndex& ix = index();
    auto it = ix.byFile.find(fileID);
    if (it == ix.byFile.end()) return;
    for (int32_t id : it->second)
        if (FmClipRecord* r = R(id)) r->maxRevision = rev;
}

RC_API int32_t AddClip(int16_t fileID, const int32_t* times, const TDB* timeBase, int32_t flags) {
    // A clip must name a registered file: a dangling FileID could later
    // belong to another file.
    if (!times || !tableHandle() || !findFileRec(fileID)) return -1;
    TDB tb = (timeBase && timeBase->scale > 0) ? *timeBase : fileBase(findFileRec(fileID), flags);
    if (tb.scale <= 0) tb = TDB{0, 30, 1};
    Handle h = FmNewHandleClear(sizeof(FmClipRecord));
    if (!h) return -1;
    int32_t id = allocateClipID();
    if (id == 0) {
        FmDisposeHandle(h);
        return -1;
    }
    FmFileRecord* f = findFileRec(fileID);
    FmClipRecord* r = clipRec(h);
    std::memcpy(r->markers, times, sizeof r->markers);
    r->clipID = id;
    r->fileID = fileID;
    r->subscriptions = 1;
    r->rate = 100.0f;
    r->flags = flags;
    r->file = FindFile(fileID);
    int64_t length = int64_t(times[1]) - times[0] + tb.samp;
    r->timeBase = TDB{saturate32(length), tb.scale, tb.samp};
    r->markIn = r->markOut = r->markIn2 = r->markOut2 = -1;
    if (f->still) r->aspect = uint8_t(GetAGlobal(kSlotStillAspectDefault));
    slotWords()[id] = HandleToWord(h);
    index().byFile[fileID].insert(id);
    int32_t rev = FileSubscribe(fileID);
    r = clipRec(h);
    r->revision = r->maxRevision = rev;
    return id;
}

RC_API int32_t StillDefaultIn(int16_t fileID, const TDB* timeBase) {
    FmFileRecord* f = findFileRec(fileID);
    if (!f) return 0;
    TDB base;
    if (timeBase) {
        base = *timeBase;
    } else {
        int16_t mf = f->info.mediaFlags;
        base = ((mf & (kClipVideo | kClipVideoBase)) || !(mf & kClipAudio)) ? f->info.video
                                                                            : f->info.audio;
    }
    TDB src{6990, 1, 1}, out{};
    if (TDB_ConvTime(&src, base.scale, &out, nullptr) != 0 || out.scale == 0) return 0;
    return out.value;
}

RC_API int32_t StillDefaultOut(int16_t fileID, const TDB* timeBase, int32_t length) {
    FmFileRecord* f = findFileRec(fileID);
    if (!f) return 0;
    int32_t samp = 1;
    if (timeBase) {
        samp = timeBase->samp;
    } else {
        int16_t mf = f->info.mediaFlags;
        if (mf & (kClipVideo | kClipVideoBase))
            samp = f->info.video.samp;
        else if (mf & kClipAudio)
            samp = f->info.audio.samp;
    }
    int64_t in = StillDefaultIn(fileID, timeBase);
    return saturate32(in + (int64_t(length) - 1) * samp);
}

RC_API int32_t NewClip(int16_t fileID, const TDB* timeBase, int32_t flags) {
    FmFileRecord* f = findFileRec(fileID);
    if (!f) return -1;
    const TDB tb = (timeBase && timeBase->scale > 0) ? *timeBase : fileBase(f, flags);
    int32_t times[kClipFixedMarkers];
    std::fill(std::begin(times), std::end(times), -1);
    int64_t in, out;
    if (f->info.noDuration == 1) {
        int32_t own = f->info.defaultStillLength;
        in = StillDefaultIn(fileID, &tb);
        out = StillDefaultOut(fileID, &tb, own);
    } else if (f->info.noDuration == 0 && !f->still) {
        const TDB media = (flags & kClipVideo) ? f->info.video : f->info.audio;
        in = 0;
        out = convertTime64(media.value, media, tb) - tb.samp;
    } else {
        in = StillDefaultIn(fileID, &tb);
        out = StillDefaultOut(fileID, &tb, int32_t(GetAGlobal(kSlotDefaultStillLen)));
    }
    times[0] = saturate32(floorToSample(in, tb.samp));
    times[1] = saturate32(floorToSample(out, tb.samp));
    return AddClip(fileID, times, &tb, flags);
}

RC_API int32_t MakeSubClip(int32_t id, const TDB* timeBase, int32_t flags) {
    FmClipRecord* s = R(id);
    if (!s) return -1;
    int32_t in = s->markers[0], out = s->markers[1];
    if ((flags & (kClipVideo | kClipVideoBase)) && s->markIn != -1 && s->markOut != -1) {
        in = s->markIn;
        out = s->markOut;
    } else if ((flags & kClipAudio) && s->markIn2 != -1 && s->markOut2 != -1) {
        in = s->markIn2;
        out = s->markOut2;
    }
    int32_t root = rootOf(id);
    int32_t sub = deriveClip(id, in, out, timeBase, flags, R(root)->fileID);
    if (sub != -1) attachLastChild(sub, root);
    return sub;
}

RC_API int32_t CopyNewClip(int32_t id, const TDB* timeBase, int32_t flags) {
    FmClipRecord* s = R(id);
    if (!s) return -1;
    int32_t sub = deriveClip(id, s->markers[0], s->markers[1], timeBase, flags, s->fileID);
    if (sub != -1) attachLastChild(sub, id);
    return sub;
}

RC_API int32_t CopyClip(int32_t id) {
    FmClipRecord* s = R(id);
    if (!s) return -1;
    int32_t times[kClipFixedMarkers];
    std::memcpy(times, s->markers, sizeof times);
    const TDB tb = s->timeBase;
    int32_t copy = AddClip(s->fileID, times, &tb, s->flags);
    if (copy == -1) return -1;
    copyAppearance(copy, id, true);
    s = R(id);
    FmClipRecord* c = R(copy);
    c->markIn = s->markIn;
    c->markOut = s->markOut;
    c->markIn2 = s->markIn2;
    c->markOut2 = s->markOut2;
    if (s->parent && R(s->parent)) {
        attachLastChild(copy, s->parent);
    } else {
        // Without a parent the copy follows its source.
        int32_t next = s->nextSibling;
        c->prevSibling = id;
        c->nextSibling = next;
        s->nextSibling = copy;
        if (FmClipRecord* n = next ? R(next) : nullptr) n->prevSibling = copy;
    }
    return copy;
}

RC_API void MakeMasterClip(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r) return;
    int32_t parent = r->parent;
    detachFromParent(id);
    if (FmClipRecord* p = parent ? R(parent) : nullptr) {
        // The clip counts in its former parent's base from now on; its times
        // are carried over so that they keep their meaning.
        const TDB base = p->timeBase;
        convertClipTimes(id, base);
    }
    R(id)->parent = 0;
    if (parent) ClipCancel(parent);
}

RC_API OSErr ChangeClipParent(int32_t id, int32_t newParent) {
    if (!R(id) || !R(newParent)) return kClipBadParam;
    int32_t root = rootOf(newParent);
    if (isAncestorOrSelf(id, newParent) || root == id) return kClipBadParam;
    // The link is set aside and restored with the subscriptions it holds.
    int32_t partner = unhookLink(id);
    int32_t oldParent = R(id)->parent;
    detachFromParent(id);
    if (FmClipRecord* p = oldParent ? R(oldParent) : nullptr) {
        const TDB base = p->timeBase;
        convertClipTimes(id, base);
    }
    R(id)->parent = 0;
    attachLastChild(id, root);
    int16_t oldFile = R(id)->fileID, newFile = R(root)->fileID;
    if (oldFile != newFile) {
        FileSubscribe(newFile);
        FmClipRecord* r = R(id);
        r->fileID = newFile;
        r->file = FindFile(newFile);
        ClipIndex& ix = index();
        ix.byFile[oldFile].erase(id);
        if (ix.byFile[oldFile].empty()) ix.byFile.erase(oldFile);
        ix.byFile[newFile].insert(id);
        FileCancel(oldFile);
    }
    if (partner && R(partner)) {
        FmClipRecord* r = R(id);
        FmClipRecord* p = R(partner);
        // Rejoin at the end of the partner's chain.
        int32_t last = partner;
        for (int guard = 0; guard < 64 && p->linkNext && R(p->linkNext); ++guard) {
            last = p->linkNext;
            p = R(last);
        }
        p->linkNext = id;
        r = R(id);
        r->linkPrev = last;
    }
    if (oldParent) ClipCancel(oldParent);
    return noErr;
}

RC_API int32_t ClipSubscribe(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r) return 0;
    if (r->subscriptions < INT32_MAX) ++r->subscriptions;
    return r->subscriptions;
}

RC_API void ClipCancel(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r || r->subscriptions <= 0) return;
    --r->subscriptions;
    if (r->subscriptions == 0) {
        disposeClip(id);
    } else if (r->subscriptions == 1 && (r->linkNext || r->linkPrev)) {
        // The partner's subscription was the last other holder.
        RemoveClipLink(id);
    }
}

RC_API void ClipCancelForSave(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r || r->subscriptions <= 0) return;
    if (--r->subscriptions == 0 && r->parent) ClipCancelForSave(r->parent);
}

RC_API void ClipSubscribeAfterSave(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r) return;
    bool wasZero = r->subscriptions == 0;
    ++r->subscriptions;
    if (wasZero && r->parent) ClipSubscribeAfterSave(r->parent);
}

RC_API void AddClipLink(int32_t a, int32_t b) {
    if (!R(a) || !R(b)) return;
    RemoveClipLink(a);
    if (R(b)) RemoveClipLink(b);
    if (a == b || !R(a) || !R(b)) return;
    int32_t last = a;
    for (int guard = 0; guard < 64; ++guard) {
        int32_t next = R(last)->linkNext;
        if (!next || !R(next)) break;
        last = next;
    }
    R(last)->linkNext = b;
    R(b)->linkPrev = last;
    ClipSubscribe(last);
    ClipSubscribe(b);
}

RC_API void RemoveClipLink(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r || (!r->linkNext && !r->linkPrev)) return;
    int32_t partner = unhookLink(id);
    if (partner) ClipCancel(partner);
    ClipCancel(id);
}

RC_API int32_t GetClipLink(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r) return 0;
    return r->linkNext ? r->linkNext : r->linkPrev;
}

RC_API int32_t GetClipParent(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r) return -1;
    if (r->parent == 0) return 0;
    return R(r->parent) ? r->parent : -1;
}

RC_API int32_t GetClipChild(int32_t id) {
    FmClipRecord* r = R(id);
    if (!r) return -1;
    if (r->firstChild == 0) return 0;
    return R(r->firstChild) ? r->firstChild : -1;
}
