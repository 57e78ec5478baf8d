// The frame cache list: sentinels, linking, audio seconds, entry allocation
// with reuse of equal-sized data blocks, eviction and the purges.
#include <cstring>

#include "core/memory_hooks.h"
#include "media/media_hooks.h"
#include "pixels/frame_cache_index.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"

namespace rc::framecache {

namespace {

// Free pool space a new entry needs beyond its data: the entry's 64-byte
// unit and some slack.
constexpr uint64_t kNewEntryMargin = 72;
// Eviction frees this much more than was asked for.
constexpr uint32_t kEvictionExtra = 50000;
// Thumbnails: width at most 100 or height below 76.
constexpr int32_t kThumbWidth = 100;
constexpr int32_t kThumbHeight = 76;
// Waveform audio is read at this rate.
constexpr int32_t kWaveformRate = 3600;

bool isSentinel(FBlock b) {
    return b == head() || b == tail();
}

bool isSpared(const FrameCacheEntry* e) {
    if (e->kind == kCacheKindVideo)
        return e->widthOrFormat <= kThumbWidth || e->heightOrRate < kThumbHeight;
    return e->kind == kCacheKindAudio && e->heightOrRate == kWaveformRate;
}

// Unlinks `b` from the list (the index is the caller's business).
void unlink(FBlock b) {
    FrameCacheEntry* e = entryOf(b);
    entryOf(e->prev)->next = e->next;
    entryOf(e->next)->prev = e->prev;
    e->next = nullptr;
    e->prev = nullptr;
}

// Purges every entry for which purge(entry) is true.
template <typename Pred>
void purgeWhere(Pred purge) {
    FBlock h = head();
    if (!h) return;
    FBlock t = tail();
    for (FBlock b = entryOf(h)->next; b && b != t;) {
        FBlock next = entryOf(b)->next;
        if (purge(entryOf(b))) PurgeFrame(b);
        b = next;
    }
}

// Looks among the older half of the entries of `kind` for one whose data
// block holds exactly n bytes; unlinks and clears it, keeping the block.
FBlock recycle(int16_t kind, int32_t n) {
    size_t toSearch = index().count(kind) / 2;
    FBlock h = head();
    for (FBlock b = entryOf(tail())->prev; b && b != h && toSearch > 0;) {
        FrameCacheEntry* e = entryOf(b);
        FBlock prev = e->prev;
        if (e->kind == kind) {
            --toSearch;
            if (e->dataLength == n && e->data && GetFBlockSize(e->data) == uint32_t(n)) {
                DeleteFrame(b);
                FBlock data = entryOf(b)->data;
                std::memset(b->address, 0, sizeof(FrameCacheEntry));
                entryOf(b)->data = data;
                entryOf(b)->dataLength = n;
                return b;
            }
        }
        b = prev;
    }
    return nullptr;
}

// A lookup hit goes to the front of the list and of its chain; `before` is
// its predecessor along the chain that starts at *chain.
void promote(FBlock h, FBlock entry, FBlock before, FBlock* chain) {
    FrameCacheEntry* e = entryOf(entry);
    if (before) {
        entryOf(before)->indexLink = e->indexLink;
        e->indexLink = *chain;
        *chain = entry;
    }
    if (entryOf(h)->next == entry) return;
    unlink(entry);
    e->next = entryOf(h)->next;
    e->prev = h;
    entryOf(e->next)->prev = entry;
    entryOf(h)->next = entry;
}

// Whether the media file's record asks for its frames and sound to stay
// out of the cache.
bool fileNotCached(int16_t id) {
    Handle h = FindFile(id);
    return h && *h && reinterpret_cast<const FmFileRecord*>(*h)->noCaching != 0;
}

// A file leaving the file table takes its cached frames with it.
void purgeLeavingFile(int16_t id) {
    PurgeFileFrames(id);
}

FBlock allocateEntry(int32_t n) {
    FBlock entry = NewFBlockClear(sizeof(FrameCacheEntry));
    if (!entry) return nullptr;
    // This may compact the pool and move the entry: reach it through the
    // descriptor afterwards.
    FBlock data = NewFBlock(uint32_t(n));
    if (!data) {
        DisposeFBlock(entry);
        return nullptr;
    }
    entryOf(entry)->data = data;
    entryOf(entry)->dataLength = n;
    return entry;
}

}  // namespace

FBlock head() {
    return reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheHead));
}
FBlock tail() {
    return reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheTail));
}

uint32_t costOf(const FrameCacheEntry* e) {
    return GetFBlockSize(e->data) + kCacheEntryCharge;
}

FBlock getEntry(int16_t kind, int32_t n) {
    if (!head() || n <= 0 || !index().reserveOne(kind)) return nullptr;
    const intptr_t limit = GetAGlobal(kSlotFrameCacheKindLimit);
    const bool full = limit > 0 && index().count(kind) > size_t(limit);
    if (!full && uint64_t(PurgeFSpace()) > uint64_t(n) + kNewEntryMargin) return allocateEntry(n);
    if (FBlock b = recycle(kind, n)) return b;
    return allocateEntry(n);
}

std::string checkConsistency() {
    FBlock h = head(), t = tail();
    EntryIndex& idx = index();
    if (!h || !t) return idx.size() == 0 ? "" : "index holds entries without a list";
    if (entryOf(h)->prev) return "head sentinel has a predecessor";
    if (entryOf(t)->next) return "tail sentinel has a successor";
    // Position of each listed entry, counted from the front.
    std::vector<FBlock> listed;
    FBlock prev = h;
    for (FBlock b = entryOf(h)->next; b != t; prev = b, b = entryOf(b)->next) {
        if (!b) return "list ends before the tail sentinel";
        if (entryOf(b)->prev != prev) return "a back link does not match its forward link";
        if (listed.size() > idx.size()) return "list is longer than the index";
        listed.push_back(b);
    }
    if (entryOf(t)->prev != prev) return "tail sentinel's back link is wrong";
    if (listed.size() != idx.size()) return "index and list differ in length";
    size_t video = 0, audio = 0;
    for (size_t pos = 0; pos < listed.size(); ++pos) {
        FBlock b = listed[pos];
        const FrameCacheEntry* e = entryOf(b);
        if (e->kind == kCacheKindVideo) ++video;
        if (e->kind == kCacheKindAudio) ++audio;
        if (!idx.contains(b)) return "listed entry missing from its index chain";
    }
    if (idx.count(kCacheKindVideo) != video || idx.count(kCacheKindAudio) != audio)
        return "index kind counts are wrong";
    // Within each chain, entries must appear in list order.
    for (size_t pos = 0; pos < listed.size(); ++pos) {
        const FrameCacheEntry* e = entryOf(listed[pos]);
        if (idx.first(e->file, e->position, e->kind) != listed[pos]) continue;
        size_t last = pos;
        for (FBlock c = e->indexLink; c; c = entryOf(c)->indexLink) {
            size_t at = last + 1;
            while (at < listed.size() && listed[at] != c) ++at;
            if (at == listed.size()) return "index chain out of list order";
            last = at;
        }
    }
    return "";
}

Stats stats() {
    Stats s{0, 0, 0, 0};
    FBlock h = head();
    if (!h) return s;
    FBlock t = tail();
    for (FBlock b = entryOf(h)->next; b && b != t; b = entryOf(b)->next) {
        const FrameCacheEntry* e = entryOf(b);
        if (e->kind == kCacheKindVideo)
            ++s.video;
        else if (e->kind == kCacheKindAudio)
            ++s.audio;
        else
            ++s.other;
        s.bytes += costOf(e);
    }
    return s;
}

}  // namespace rc::framecache

using namespace rc::framecache;

RC_API int16_t InitFrameQueue(void) {
    index().reset();
    SetAGlobal(kSlotFrameCacheHead, 0);
    SetAGlobal(kSlotFrameCacheTail, 0);
    FBlock h = NewFBlockClear(sizeof(FrameCacheEntry));
    FBlock t = h ? NewFBlockClear(sizeof(FrameCacheEntry)) : nullptr;
    if (!t) {
        DisposeFBlock(h);
        return memFullErr;
    }
    entryOf(h)->next = t;
    entryOf(t)->prev = h;
    SetAGlobal(kSlotFrameCacheHead, reinterpret_cast<intptr_t>(h));
    SetAGlobal(kSlotFrameCacheTail, reinterpret_cast<intptr_t>(t));
    SetFPurgeProc(RemoveLRUFrame);
    rc::memhooks::setPurgeAll(PurgeAll);
    rc::mediahooks::setPurgeFileFrames(purgeLeavingFile);
    return noErr;
}

RC_API void KillFrameQueue(void) {
    CloseUp(0);
    FBlock h = head();
    if (!h) return;
    PurgeAll();
    SetFPurgeProc(nullptr);
    rc::memhooks::setPurgeAll(nullptr);
    rc::mediahooks::setPurgeFileFrames(nullptr);
    DisposeFBlock(tail());
    DisposeFBlock(h);
    SetAGlobal(kSlotFrameCacheHead, 0);
    SetAGlobal(kSlotFrameCacheTail, 0);
    index().reset();
}

RC_API void InsertFrame(FBlock entry) {
    FBlock h = head();
    if (!h || !entry || !entry->address || isSentinel(entry)) return;
    EntryIndex& idx = index();
    // An entry already on the list moves to the front. One with links but
    // absent from its chain may have had its key changed while listed: look
    // for it everywhere before taking it for a fresh one.
    if (idx.contains(entry)) {
        idx.remove(entry, false);
        unlink(entry);
    } else if (entryOf(entry)->next && idx.remove(entry, true)) {
        unlink(entry);
    }
    if (!idx.reserveOne(entryOf(entry)->kind)) return;
    FrameCacheEntry* e = entryOf(entry);
    FBlock first = entryOf(h)->next;
    e->next = first;
    e->prev = h;
    entryOf(first)->prev = entry;
    entryOf(h)->next = entry;
    idx.add(entry);
}

RC_API void DeleteFrame(FBlock entry) {
    if (!head() || !entry || !entry->address || isSentinel(entry)) return;
    if (!index().remove(entry, true)) return;
    unlink(entry);
}

RC_API FBlock FindFrame(int32_t file, int32_t frame, const FmRect* rect, int32_t depth) {
    if (!rect) return nullptr;
    // A miss costs one probe of the index; the list is only touched on a hit.
    FBlock* chain = index().videoChainOf(file, frame);
    if (!chain) return nullptr;
    FBlock h = head();
    if (!h) return nullptr;
    const int32_t width = rect->right - rect->left;
    const int32_t height = rect->bottom - rect->top;
    for (FBlock b = *chain, before = nullptr; b; before = b, b = entryOf(b)->indexLink) {
        const FrameCacheEntry* e = entryOf(b);
        if (e->widthOrFormat != width || e->heightOrRate != height) continue;
        if (e->depth == depth || (depth == 24 && e->depth == 32)) {
            promote(h, b, before, chain);
            return b;
        }
    }
    return nullptr;
}

RC_API FBlock FindAudioSec(int32_t file, int32_t second, int32_t flags, int32_t rate) {
    FBlock* chain = index().chainOf(file, second, kCacheKindAudio);
    if (!chain) return nullptr;
    FBlock h = head();
    if (!h) return nullptr;
    const int32_t format = flags & kCacheAudioFormatMask;
    for (FBlock b = *chain, before = nullptr; b; before = b, b = entryOf(b)->indexLink) {
        const FrameCacheEntry* e = entryOf(b);
        if (e->heightOrRate == rate && uint16_t(e->widthOrFormat) == format) {
            promote(h, b, before, chain);
            return b;
        }
    }
    return nullptr;
}

RC_API Boolean AddAudioSec(int32_t file, int32_t second, int32_t flags, int32_t rate,
                           const void* data, int32_t length) {
    if (!data || length <= 0) return 0;
    FBlock b = getEntry(kCacheKindAudio, length);
    if (!b) return 0;
    FrameCacheEntry* e = entryOf(b);
    e->kind = kCacheKindAudio;
    e->file = file;
    e->position = second;
    e->heightOrRate = rate;
    e->widthOrFormat = flags & kCacheAudioFormatMask;
    std::memcpy(e->data->address, data, size_t(length));
    InsertFrame(b);
    return 1;
}

RC_API void PurgeFrame(FBlock entry) {
    if (!entry || !entry->address || isSentinel(entry)) return;
    DeleteFrame(entry);
    FBlock data = entryOf(entry)->data;
    if (data) DisposeFBlock(data);
    DisposeFBlock(entry);
}

RC_API void PurgeFileFrames(int32_t file) {
    purgeWhere([file](const FrameCacheEntry* e) { return uint16_t(e->file) == uint16_t(file); });
}

RC_API void UnCacheFrames(void) {
    purgeWhere([](const FrameCacheEntry* e) { return fileNotCached(int16_t(e->file)); });
}

RC_API void PurgeBigFrames(void) {
    purgeWhere([](const FrameCacheEntry* e) {
        return e->kind == kCacheKindVideo && e->widthOrFormat > 100 && e->heightOrRate > 75;
    });
}

RC_API void PurgeBigAudio(void) {
    purgeWhere([](const FrameCacheEntry* e) {
        return e->kind == kCacheKindAudio && e->heightOrRate != kWaveformRate;
    });
}

RC_API void PurgeTypeFrames(int32_t kindMask) {
    purgeWhere([kindMask](const FrameCacheEntry* e) { return (e->kind & kindMask) != 0; });
}

RC_API void PurgeAll(void) {
    purgeWhere([](const FrameCacheEntry*) { return true; });
}

RC_API uint32_t CacheTotal(void) {
    return stats().bytes;
}

RC_API int32_t RemoveLRUFrame(uint32_t bytes) {
    FBlock h = head();
    if (!h) return 0;
    const uint64_t goal = uint64_t(bytes) + kEvictionExtra;
    const uint64_t quarter = GetFHeapSize() / 4;
    uint64_t freed = 0, spared = 0;
    bool sparing = true;
    FBlock b = entryOf(tail())->prev;
    while (b != h && freed < goal) {
        FrameCacheEntry* e = entryOf(b);
        FBlock prev = e->prev;
        if (sparing && spared <= quarter && isSpared(e)) {
            spared += costOf(e);
            if (spared > quarter) {
                // Thumbnails and waveforms have had their share: start again
                // from the oldest and spare nothing.
                sparing = false;
                prev = entryOf(tail())->prev;
            }
        } else {
            freed += costOf(e);
            PurgeFrame(b);
        }
        b = prev;
    }
    return int32_t(freed > uint64_t(INT32_MAX) ? INT32_MAX : freed);
}
