// Handle memory manager: handles and pointer blocks placed in sub-heap zones
// (small blocks) or the large-block zone, with purging and the memory error.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "core/memory_hooks.h"
#include "core/memory_internal.h"
#include "platform/alloc.h"
#include "reelcore/memory.h"

namespace {

using namespace rc::memory;
namespace plat = rc::platform;

enum : uint16_t {
    kPurgeable = 1u << 0,
    kLocked = 1u << 1,
    kResource = 1u << 2,
    kInUse = 1u << 15,  // record handed out (not part of the public state)
};

struct Zone;

struct HandleRec {
    Ptr address;
    Zone* zone;
    uint32_t size;
    HandleRec* prev;
    HandleRec* next;
    uint16_t flags;
};

// Lists are held by their most recently added element and walked backwards.
struct RecList {
    HandleRec* last = nullptr;

    void add(HandleRec* r) {
        r->prev = last;
        r->next = nullptr;
        if (last) last->next = r;
        last = r;
    }
    void remove(HandleRec* r) {
        if (r->next)
            r->next->prev = r->prev;
        else
            last = r->prev;
        if (r->prev) r->prev->next = r->next;
        r->prev = r->next = nullptr;
    }
};

struct Zone {
    bool large = false;
    int64_t free = 0;  // sub-heap: bytes available; large zone: bytes allocated
    int64_t largest = 0;
    RecList handles;
    Zone* nextZone = nullptr;
    Zone* prevZone = nullptr;
    uint32_t count = 0;
    size_t position = 0;  // index in the zone index
};

// Finds the first sub-heap zone, in list order, that takes a block without
// walking the list: a max-tree over each zone's capacity, min(free - 16,
// largest). Zones are stored in creation order, so the front of the list is
// the rightmost entry.
class ZoneIndex {
  public:
    void add(Zone* z) {
        z->position = zones_.size();
        zones_.push_back(z);
        if (zones_.size() > leaves_) {
            rebuild();
        } else {
            update(z);
        }
    }
    void remove(Zone* z) {
        zones_.erase(zones_.begin() + ptrdiff_t(z->position));
        for (size_t i = z->position; i < zones_.size(); ++i) zones_[i]->position = i;
        rebuild();
    }
    void update(Zone* z) {
        size_t i = leaves_ + z->position;
        tree_[i] = capacity(z);
        for (i /= 2; i >= 1; i /= 2) tree_[i] = std::max(tree_[2 * i], tree_[2 * i + 1]);
    }
    Zone* firstAccepting(int64_t n) const {
        if (zones_.empty() || tree_[1] < n) return nullptr;
        size_t i = 1;
        while (i < leaves_) i = tree_[2 * i + 1] >= n ? 2 * i + 1 : 2 * i;
        return zones_[i - leaves_];
    }

  private:
    static int64_t capacity(const Zone* z) {
        return std::min(z->free - int64_t(kBlockOverhead), z->largest);
    }
    void rebuild() {
        leaves_ = 1;
        while (leaves_ < zones_.size()) leaves_ *= 2;
        tree_.assign(2 * leaves_, INT64_MIN);
        for (size_t k = 0; k < zones_.size(); ++k) tree_[leaves_ + k] = capacity(zones_[k]);
        for (size_t i = leaves_ - 1; i >= 1; --i)
            tree_[i] = std::max(tree_[2 * i], tree_[2 * i + 1]);
    }
    std::vector<Zone*> zones_;
    std::vector<int64_t> tree_ = std::vector<int64_t>(2, INT64_MIN);
    size_t leaves_ = 1;
};

struct PtrHeader {
    Zone* zone;
    uint64_t size;
};
static_assert(sizeof(PtrHeader) == kPtrHeaderSize, "pointer blocks keep 16-byte alignment");

struct State {
    Zone largeZone;
    Zone* subZones = nullptr;  // front of the list
    ZoneIndex zoneIndex;
    uint32_t subZoneCount = 0;
    uint32_t heapLimit = kDefaultHeapLimit;
    OSErr memErr = 0;
    bool initialised = false;

    HandleRec* slabBase = nullptr;  // all slabs, reserved at once below 2 GB
    uint32_t slabsUsed = 0;
    RecList freeRecords;
    uint32_t recordsInUse = 0;

    rc::memhooks::PurgeAllFn purgeAll = nullptr;
    rc::memhooks::LowMemoryNoticeFn lowMemoryNotice = nullptr;
    rc::memhooks::ResourceGoneFn resourceGone = nullptr;

    State() { largeZone.large = true; }
};

State& S() {
    static State s;
    return s;
}

// ---- handle records ----

bool addSlab() {
    State& s = S();
    if (!s.slabBase) {
        size_t bytes = size_t(kMaxSlabs) * kRecordsPerSlab * sizeof(HandleRec);
        s.slabBase = static_cast<HandleRec*>(plat::allocLow(bytes));
        if (!s.slabBase) return false;
    }
    if (s.slabsUsed >= kMaxSlabs) return false;
    HandleRec* slab = s.slabBase + size_t(s.slabsUsed) * kRecordsPerSlab;
    ++s.slabsUsed;
    // Chain in reverse so records are handed out in address order.
    for (uint32_t i = kRecordsPerSlab; i-- > 0;) s.freeRecords.add(&slab[i]);
    return true;
}

HandleRec* takeRecord() {
    State& s = S();
    if (!s.freeRecords.last && !addSlab()) return nullptr;
    HandleRec* r = s.freeRecords.last;
    s.freeRecords.remove(r);
    r->address = nullptr;
    r->zone = nullptr;
    r->size = 0;
    r->flags = kInUse;
    ++s.recordsInUse;
    return r;
}

void returnRecord(HandleRec* r) {
    State& s = S();
    r->address = nullptr;
    r->zone = nullptr;
    r->size = 0;
    r->flags = 0;
    s.freeRecords.add(r);
    --s.recordsInUse;
}

// A Handle we handed out and have not taken back.
HandleRec* recordOf(Handle h) {
    State& s = S();
    auto* r = reinterpret_cast<HandleRec*>(h);
    if (!r || !s.slabBase) return nullptr;
    auto offset = reinterpret_cast<uintptr_t>(r) - reinterpret_cast<uintptr_t>(s.slabBase);
    if (reinterpret_cast<uintptr_t>(r) < reinterpret_cast<uintptr_t>(s.slabBase) ||
        offset >= uintptr_t(s.slabsUsed) * kRecordsPerSlab * sizeof(HandleRec) ||
        offset % sizeof(HandleRec) != 0)
        return nullptr;
    return (r->flags & kInUse) ? r : nullptr;
}

// ---- zones ----

void destroyZone(Zone* z) {
    State& s = S();
    if (z->prevZone)
        z->prevZone->nextZone = z->nextZone;
    else
        s.subZones = z->nextZone;
    if (z->nextZone) z->nextZone->prevZone = z->prevZone;
    s.zoneIndex.remove(z);
    --s.subZoneCount;
    z->~Zone();
    plat::sysFree(z);
}

Zone* createZone() {
    State& s = S();
    void* mem = plat::sysAlloc(sizeof(Zone));
    if (!mem) return nullptr;
    Zone* z = new (mem) Zone;
    z->free = kSubHeapInitialFree;
    z->largest = z->free;
    z->nextZone = s.subZones;
    if (s.subZones) s.subZones->prevZone = z;
    s.subZones = z;
    s.zoneIndex.add(z);
    ++s.subZoneCount;
    return z;
}

// Releases a block's bytes and its charge on the zone.
void freeBlock(Zone* z, void* bytes, uint64_t size, bool destroyEmptied) {
    plat::sysFree(bytes);
    --z->count;
    if (z->large) {
        z->free -= int64_t(size);
        return;
    }
    z->free += int64_t(size) + kBlockOverhead;
    z->largest = std::max<int64_t>(z->largest, int64_t(size));
    S().zoneIndex.update(z);
    if (destroyEmptied && z->count == 0) destroyZone(z);
}

// Every purgeable, unlocked handle in the zone loses its bytes; `keep` is
// spared (the handle being resized).
void purgeZone(Zone* z, HandleRec* keep) {
    State& s = S();
    for (HandleRec* r = z->handles.last; r;) {
        HandleRec* prev = r->prev;
        if (r != keep && r->address && (r->flags & kPurgeable) && !(r->flags & kLocked)) {
            if ((r->flags & kResource) && s.resourceGone)
                s.resourceGone(reinterpret_cast<Handle>(r));
            freeBlock(z, r->address, r->size, false);
            r->address = nullptr;
            r->size = 0;
            z->handles.remove(r);
            r->zone = &s.largeZone;
            s.largeZone.handles.add(r);
        }
        r = prev;
    }
}

void* allocInZone(Zone* z, uint64_t n, bool clear, HandleRec* keep) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        void* p = (clear || !z->large) ? plat::sysAllocZeroed(n) : plat::sysAlloc(n);
        if (p) {
            ++z->count;
            if (z->large) {
                z->free += int64_t(n);
            } else {
                z->free -= int64_t(n) + kBlockOverhead;
                z->largest = std::min(z->largest, z->free);
                S().zoneIndex.update(z);
            }
            return p;
        }
        if (attempt == 0) purgeZone(z, keep);
    }
    return nullptr;
}

struct Placement {
    void* bytes = nullptr;
    Zone* zone = nullptr;
};

bool fitsSubHeap(uint64_t n) {
    return n <= S().heapLimit && int64_t(n) + kBlockOverhead <= kSubHeapInitialFree;
}

// Places a block of n bytes in the first zone that takes it.
Placement place(uint64_t n, bool clear, HandleRec* keep) {
    State& s = S();
    Placement out;
    if (!fitsSubHeap(n)) {
        out.bytes = allocInZone(&s.largeZone, n, clear, keep);
        out.zone = &s.largeZone;
        return out;
    }
    if (Zone* z = s.zoneIndex.firstAccepting(int64_t(n))) {
        out.bytes = allocInZone(z, n, true, keep);
        if (out.bytes) {
            out.zone = z;
            return out;
        }
    }
    Zone* z = createZone();
    if (!z) return out;
    out.bytes = allocInZone(z, n, true, keep);
    if (!out.bytes) {
        destroyZone(z);
        return out;
    }
    out.zone = z;
    return out;
}

// New handles and pointers get one more chance: tell the main window, empty
// the frame cache, and place again.
Placement placeWithLastChance(uint64_t n, bool clear) {
    State& s = S();
    Placement p = place(n, clear, nullptr);
    if (p.bytes) return p;
    if (s.lowMemoryNotice) {
        s.lowMemoryNotice(105);
        s.lowMemoryNotice(95);
    }
    if (s.purgeAll) s.purgeAll();
    return place(n, clear, nullptr);
}

Handle newHandle(uint32_t size, bool clear) {
    State& s = S();
    s.memErr = noErr;
    Placement p;
    if (size != 0) {
        p = placeWithLastChance(size, clear);
        if (!p.bytes) {
            s.memErr = memFullErr;
            return nullptr;
        }
    }
    HandleRec* r = takeRecord();
    if (!r) {
        if (p.bytes) freeBlock(p.zone, p.bytes, size, true);
        s.memErr = memFullErr;
        return nullptr;
    }
    r->address = static_cast<Ptr>(p.bytes);
    r->size = size;
    r->zone = p.bytes ? p.zone : &s.largeZone;
    r->zone->handles.add(r);
    return reinterpret_cast<Handle>(r);
}

void makeEmpty(HandleRec* r) {
    State& s = S();
    if (r->address) {
        Zone* z = r->zone;
        z->handles.remove(r);
        freeBlock(z, r->address, r->size, true);
        r->address = nullptr;
        r->size = 0;
        r->zone = &s.largeZone;
        s.largeZone.handles.add(r);
    }
}

// Resizes the bytes of r to n; 0 done, 1 failed with the memory error set.
int16_t resize(HandleRec* r, uint32_t n) {
    State& s = S();
    if (n == 0) {
        makeEmpty(r);
        return 0;
    }
    if (!r->address) {
        Placement p = place(n, true, r);
        if (!p.bytes) {
            s.memErr = memFullErr;
            return 1;
        }
        s.largeZone.handles.remove(r);
        r->address = static_cast<Ptr>(p.bytes);
        r->size = n;
        r->zone = p.zone;
        p.zone->handles.add(r);
        return 0;
    }

    Zone* z = r->zone;
    const uint32_t old = r->size;
    bool inPlace = true;
    if (!z->large) {
        uint32_t growth = n - old;  // a shrink wraps to a huge growth: never in place
        inPlace = int64_t(growth) <= z->free && growth <= s.heapLimit;
    }
    if (inPlace) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            void* p = plat::sysRealloc(r->address, n);
            if (p) {
                if (z->large) {
                    z->free += int64_t(n) - int64_t(old);
                } else {
                    if (n > old) std::memset(static_cast<char*>(p) + old, 0, n - old);
                    z->free += int64_t(old) - int64_t(n);
                    z->largest = std::min(z->largest, z->free);
                    s.zoneIndex.update(z);
                }
                r->address = static_cast<Ptr>(p);
                r->size = n;
                return 0;
            }
            if (attempt == 0) purgeZone(z, r);
        }
    }

    Placement p = place(n, false, r);
    if (!p.bytes) {
        s.memErr = memFullErr;
        return 1;
    }
    std::memcpy(p.bytes, r->address, std::min(old, n));
    z->handles.remove(r);
    freeBlock(z, r->address, old, true);
    r->address = static_cast<Ptr>(p.bytes);
    r->size = n;
    r->zone = p.zone;
    p.zone->handles.add(r);
    return 0;
}

constexpr uint32_t kTrailer = rc::memhooks::kResourceTrailerSize;
constexpr uint32_t kTrailerLengthOffset = 6;  // after the ID and the type code

uint32_t loadLengthField(const char* trailer) {
    const auto* b = reinterpret_cast<const unsigned char*>(trailer + kTrailerLengthOffset);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

void storeLengthField(char* trailer, uint32_t length) {
    auto* b = reinterpret_cast<unsigned char*>(trailer + kTrailerLengthOffset);
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(length >> (8 * i));
}

// The data of a resource handle ends where its name begins, as recorded in
// the trailer; never past the trailer itself.
uint32_t resourceDataLength(const HandleRec* r) {
    if (r->size <= kTrailer) return 0;
    return std::min(r->size - kTrailer, loadLengthField(r->address + r->size - kTrailer));
}

PtrHeader* headerOf(Ptr p) {
    return reinterpret_cast<PtrHeader*>(p - kPtrHeaderSize);
}

Ptr newPtr(uint32_t size, bool clear) {
    State& s = S();
    Placement p = placeWithLastChance(uint64_t(size) + kPtrHeaderSize, clear);
    if (!p.bytes) {
        s.memErr = memFullErr;
        return nullptr;
    }
    auto* h = static_cast<PtrHeader*>(p.bytes);
    h->zone = p.zone;
    h->size = size;
    return reinterpret_cast<Ptr>(h + 1);
}

}  // namespace

namespace rc::memhooks {
void setPurgeAll(PurgeAllFn fn) {
    S().purgeAll = fn;
}
void setLowMemoryNotice(LowMemoryNoticeFn fn) {
    S().lowMemoryNotice = fn;
}
void setResourceGone(ResourceGoneFn fn) {
    S().resourceGone = fn;
}
}  // namespace rc::memhooks

namespace rc::memory {

Stats stats() {
    State& s = S();
    Stats st{};
    st.subHeapZones = s.subZoneCount;
    st.handlesInUse = s.recordsInUse;
    st.handleRecords = s.slabsUsed * kRecordsPerSlab;
    st.largeBlocks = s.largeZone.count;
    st.largeBytes = uint64_t(s.largeZone.free);
    for (Zone* z = s.subZones; z; z = z->nextZone)
        st.subHeapBytesUsed += uint64_t(kSubHeapInitialFree - z->free);
    return st;
}

ZoneKind zoneKind(Handle h) {
    HandleRec* r = recordOf(h);
    if (!r) return ZoneKind::None;
    return r->zone->large ? ZoneKind::Large : ZoneKind::SubHeap;
}

int64_t subHeapFree(Handle h) {
    HandleRec* r = recordOf(h);
    return (r && !r->zone->large) ? r->zone->free : -1;
}

bool isResourceHandle(Handle h) {
    HandleRec* r = recordOf(h);
    return r && (r->flags & kResource);
}

uint32_t storedSize(Handle h) {
    HandleRec* r = recordOf(h);
    return r ? r->size : 0;
}

bool sameZone(Handle a, Handle b) {
    HandleRec* ra = recordOf(a);
    HandleRec* rb = recordOf(b);
    return ra && rb && ra->zone == rb->zone;
}

}  // namespace rc::memory

// ---------------------------------------------------------------- exports

RC_API Handle FmNewHandle(uint32_t size) {
    return newHandle(size, false);
}
RC_API Handle NewHandle(uint32_t size) {
    return FmNewHandle(size);
}
RC_API Handle FmNewHandleClear(uint32_t size) {
    return newHandle(size, true);
}
RC_API Handle NewHandleClear(uint32_t size) {
    return FmNewHandleClear(size);
}

RC_API void FmDisposeHandle(Handle h) {
    State& s = S();
    if (!h) {
        s.memErr = nilHandleErr;
        return;
    }
    HandleRec* r = recordOf(h);
    if (!r) {
        s.memErr = memWZErr;
        return;
    }
    s.memErr = noErr;
    r->flags &= ~kLocked;
    if ((r->flags & kResource) && s.resourceGone) s.resourceGone(h);
    Zone* z = r->zone;
    z->handles.remove(r);
    if (r->address) freeBlock(z, r->address, r->size, true);
    returnRecord(r);
}
RC_API void DisposeHandle(Handle h) {
    FmDisposeHandle(h);
}
RC_API void DisposHandle(Handle h) {
    FmDisposeHandle(h);
}

RC_API uint32_t FmGetHandleSize(Handle h) {
    HandleRec* r = recordOf(h);
    if (!r) return 0;
    if ((r->flags & kResource) && r->address) return resourceDataLength(r);
    return r->size;
}
RC_API uint32_t GetHandleSize(Handle h) {
    return FmGetHandleSize(h);
}

RC_API int16_t FmSetHandleSize(Handle h, uint32_t newSize) {
    State& s = S();
    HandleRec* r = recordOf(h);
    if (!r) {
        s.memErr = memWZErr;
        return 1;
    }
    s.memErr = noErr;
    if ((r->flags & kResource) && r->address && r->size >= kTrailer) {
        // The name and trailer follow the data wherever it ends.
        const uint32_t length = resourceDataLength(r);
        const uint32_t tailSize = r->size - length;
        if (newSize > UINT32_MAX - tailSize) {
            s.memErr = memFullErr;
            return 1;
        }
        std::vector<char> tail(r->address + length, r->address + r->size);
        if (resize(r, newSize + tailSize) != 0) return 1;
        std::memcpy(r->address + newSize, tail.data(), tailSize);
        storeLengthField(r->address + r->size - kTrailer, newSize);
        return 0;
    }
    return resize(r, newSize);
}
RC_API int16_t SetHandleSize(Handle h, uint32_t newSize) {
    return FmSetHandleSize(h, newSize);
}

RC_API Handle FmHLock(Handle h) {
    HandleRec* r = recordOf(h);
    if (!r) {
        S().memErr = memWZErr;
        return nullptr;
    }
    S().memErr = noErr;
    r->flags |= kLocked;
    return h;
}
RC_API Handle HLock(Handle h) {
    return FmHLock(h);
}

RC_API Handle FmHUnlock(Handle h) {
    HandleRec* r = recordOf(h);
    if (!r) {
        S().memErr = memWZErr;
        return nullptr;
    }
    S().memErr = noErr;
    r->flags &= ~kLocked;
    return h;
}
RC_API Handle HUnlock(Handle h) {
    return FmHUnlock(h);
}

RC_API void FmHPurge(Handle h) {
    HandleRec* r = recordOf(h);
    if (!r) {
        S().memErr = memWZErr;
        return;
    }
    S().memErr = noErr;
    r->flags |= kPurgeable;
}
RC_API void HPurge(Handle h) {
    FmHPurge(h);
}

RC_API void FmHNoPurge(Handle h) {
    HandleRec* r = recordOf(h);
    if (!r) {
        S().memErr = memWZErr;
        return;
    }
    S().memErr = noErr;
    r->flags &= ~kPurgeable;
}
RC_API void HNoPurge(Handle h) {
    FmHNoPurge(h);
}

RC_API uint8_t FmHGetState(Handle h) {
    HandleRec* r = recordOf(h);
    return (r && (r->flags & kLocked)) ? 1 : 0;
}
RC_API uint8_t HGetState(Handle h) {
    return FmHGetState(h);
}

RC_API void FmHSetState(Handle h, uint8_t state) {
    if (state)
        FmHLock(h);
    else
        FmHUnlock(h);
}
RC_API void HSetState(Handle h, uint8_t state) {
    FmHSetState(h, state);
}

RC_API OSErr FmHandToHand(Handle* h) {
    State& s = S();
    if (!h || !recordOf(*h)) {
        s.memErr = nilHandleErr;
        return nilHandleErr;
    }
    Handle src = *h;
    uint32_t size = FmGetHandleSize(src);
    Handle copy = FmNewHandle(size);
    if (!copy) return memFullErr;
    if (size) std::memcpy(*copy, *src, size);
    *h = copy;
    return noErr;
}
RC_API OSErr HandToHand(Handle* h) {
    return FmHandToHand(h);
}

RC_API OSErr FmPtrToHand(const void* src, Handle* dst, uint32_t length) {
    if (!dst || (!src && length)) {
        S().memErr = nilHandleErr;
        return nilHandleErr;
    }
    Handle h = FmNewHandle(length);
    if (!h) {
        *dst = nullptr;
        return memFullErr;
    }
    if (length) std::memcpy(*h, src, length);
    *dst = h;
    return noErr;
}
RC_API OSErr PtrToHand(const void* src, Handle* dst, uint32_t length) {
    return FmPtrToHand(src, dst, length);
}

RC_API OSErr FmPtrAndHand(const void* src, Handle dst, uint32_t length) {
    if (!src || !recordOf(dst)) return nilHandleErr;
    uint32_t old = FmGetHandleSize(dst);
    if (length > UINT32_MAX - old) {
        S().memErr = memFullErr;
        return memFullErr;
    }
    if (FmSetHandleSize(dst, old + length) != 0) return memFullErr;
    if (length) std::memmove(*dst + old, src, length);
    return noErr;
}
RC_API OSErr PtrAndHand(const void* src, Handle dst, uint32_t length) {
    return FmPtrAndHand(src, dst, length);
}

RC_API OSErr FmHandAndHand(Handle src, Handle dst) {
    if (!recordOf(src) || !recordOf(dst) || !*src) return nilHandleErr;
    uint32_t length = FmGetHandleSize(src);
    uint32_t old = FmGetHandleSize(dst);
    if (length > UINT32_MAX - old) {
        S().memErr = memFullErr;
        return memFullErr;
    }
    if (FmSetHandleSize(dst, old + length) != 0) return memFullErr;
    // Read the source address only now: it may have moved if src == dst.
    if (length) std::memmove(*dst + old, *src, length);
    return noErr;
}
RC_API OSErr HandAndHand(Handle src, Handle dst) {
    return FmHandAndHand(src, dst);
}

RC_API Ptr FmNewPtr(uint32_t size) {
    return newPtr(size, false);
}
RC_API Ptr FmNewPtrClear(uint32_t size) {
    return newPtr(size, true);
}
RC_API Ptr NewPtr(uint32_t size) {
    return FmNewPtr(size);
}
RC_API Ptr NewPtrClear(uint32_t size) {
    return FmNewPtrClear(size);
}

RC_API void FmDisposePtr(Ptr p) {
    State& s = S();
    if (!p) {
        s.memErr = memWZErr;
        return;
    }
    s.memErr = noErr;
    PtrHeader* h = headerOf(p);
    freeBlock(h->zone, h, h->size + kPtrHeaderSize, true);
}
RC_API void DisposePtr(Ptr p) {
    FmDisposePtr(p);
}
RC_API void DisposPtr(Ptr p) {
    FmDisposePtr(p);
}

RC_API uint32_t FmGetPtrSize(Ptr p) {
    if (!p) {
        S().memErr = memWZErr;
        return 0;
    }
    return uint32_t(headerOf(p)->size);
}
RC_API uint32_t GetPtrSize(Ptr p) {
    return FmGetPtrSize(p);
}

RC_API OSErr FmSetPtrSize(Ptr* p, uint32_t newSize) {
    State& s = S();
    if (!p || !*p) {
        s.memErr = memWZErr;
        return memWZErr;
    }
    s.memErr = noErr;
    Ptr fresh = FmNewPtr(newSize);
    if (!fresh) return memFullErr;
    uint32_t old = FmGetPtrSize(*p);
    std::memcpy(fresh, *p, std::min(old, newSize));
    FmDisposePtr(*p);
    *p = fresh;
    return noErr;
}
RC_API OSErr SetPtrSize(Ptr* p, uint32_t newSize) {
    return FmSetPtrSize(p, newSize);
}

RC_API void FmBlockMove(const void* src, void* dst, uint32_t length) {
    if (length && src && dst) std::memmove(dst, src, length);
}
RC_API void BlockMove(const void* src, void* dst, uint32_t length) {
    FmBlockMove(src, dst, length);
}

RC_API Boolean FmIsValidHandle(Handle h) {
    HandleRec* r = recordOf(h);
    if (!r) return 0;
    return r->address == nullptr || plat::isReadable(r->address);
}

RC_API Boolean FmIsValidPtr(const void* p) {
    return plat::isReadable(p);
}

RC_API int32_t FmMaxMem(int32_t* grow) {
    return grow ? *grow : 0;
}

RC_API int16_t SetResHandle(Handle h, int16_t flag) {
    HandleRec* r = recordOf(h);
    if (!r) return 0;
    if (flag & 1)
        r->flags |= kResource;
    else
        r->flags &= ~kResource;
    return 1;
}

RC_API Boolean IsPurgeableHandle(Handle h) {
    HandleRec* r = recordOf(h);
    return r && (r->flags & kPurgeable) && !(r->flags & kLocked);
}

RC_API uint32_t GetMaxAllocInHeap(void) {
    return S().heapLimit;
}
RC_API uint32_t SetMaxAllocInHeap(uint32_t limit) {
    S().heapLimit = limit;
    return limit;
}

RC_API int16_t InitMemoryMgr(void) {
    S().initialised = true;
    return 0;
}

RC_API void MemoryTerminate(void) {
    State& s = S();
    purgeZone(&s.largeZone, nullptr);
    for (Zone* z = s.subZones; z; z = z->nextZone) purgeZone(z, nullptr);
}

RC_API OSErr MemError(void) {
    return S().memErr;
}

RC_API Handle NilHandle(Handle h) {
    if (h) FmDisposeHandle(h);
    return nullptr;
}
RC_API Ptr NilPtr(Ptr p) {
    if (p) FmDisposePtr(p);
    return nullptr;
}
