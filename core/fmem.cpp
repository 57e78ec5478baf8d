// The frame memory pool: one region carved into 64-byte-rounded blocks that
// are reached through descriptors and slid together when space runs short.
#include <algorithm>
#include <cstring>

#include "core/fmem_internal.h"
#include "platform/alloc.h"
#include "reelcore/memory.h"

namespace {

using namespace rc::fmem;
namespace plat = rc::platform;

struct Pool {
    char* base = nullptr;
    uint32_t size = 0;
    uint32_t totalFree = 0;
    uint32_t endFree = 0;
    uint32_t purgeThreshold = 0;
    uint32_t freeDescriptors = 0;
    uint32_t blocks = 0;
    FMemDesc* first = nullptr;
    FMemDesc* last = nullptr;
    FMemDesc* hint = nullptr;  // no gaps before this block
    FPurgeProc purge = nullptr;
    FMemDesc* tables[kMaxTables] = {};
    uint32_t tableCount = 0;
    uint32_t scanFrom = 0;  // every descriptor before this index is in use
};

Pool& P() {
    static Pool p;
    return p;
}

bool addTable() {
    Pool& p = P();
    if (p.tableCount >= kMaxTables) return false;
    auto* t = static_cast<FMemDesc*>(
        plat::sysAllocZeroed(sizeof(FMemDesc) * size_t(kDescriptorsPerTable)));
    if (!t) return false;
    p.tables[p.tableCount++] = t;
    p.freeDescriptors += kDescriptorsPerTable;
    return true;
}

FMemDesc* freeDescriptor() {
    Pool& p = P();
    if (p.freeDescriptors == 0 && !addTable()) return nullptr;
    // The lowest free descriptor, as a scan from the first table would find.
    for (uint32_t n = p.scanFrom; n < p.tableCount * kDescriptorsPerTable; ++n) {
        FMemDesc* d = &p.tables[n / kDescriptorsPerTable][n % kDescriptorsPerTable];
        if (!d->address) {
            p.scanFrom = n + 1;
            return d;
        }
    }
    return nullptr;
}

char* endOf(const FMemDesc* d) {
    return d->address + d->length;
}

void linkAfter(FMemDesc* prev, FMemDesc* d) {
    Pool& p = P();
    d->prev = prev;
    d->next = prev ? prev->next : p.first;
    if (d->next)
        d->next->prev = d;
    else
        p.last = d;
    if (prev)
        prev->next = d;
    else
        p.first = d;
}

// Asks the purge callback for room until the pool has `need` free bytes or
// the callback stops releasing anything.
bool purgeFor(uint32_t need) {
    Pool& p = P();
    if (!p.purge) return p.totalFree >= need;
    do {
        uint32_t before = p.totalFree;
        int32_t released = p.purge(std::max(p.purgeThreshold, need));
        if (p.totalFree >= need) return true;
        if (released == 0 || p.totalFree <= before) return false;
    } while (true);
}

FBlock allocate(uint32_t requested) {
    Pool& p = P();
    if (!p.base) return nullptr;
    uint64_t rounded = (uint64_t(requested) + 63) & ~uint64_t(63);
    if (rounded > p.size) return nullptr;
    const uint32_t need = uint32_t(rounded);

    if (p.endFree < need && p.totalFree - p.endFree < need && !purgeFor(need)) return nullptr;
    if (p.totalFree < need) return nullptr;

    FMemDesc* d = freeDescriptor();
    if (!d) return nullptr;
    d->length = need;
    d->slack = uint16_t(need - requested);

    if (p.endFree < need) {
        // Slide blocks down from the hint until a gap takes the request.
        FMemDesc* cur = p.hint;
        char* curEnd = cur ? endOf(cur) : p.base;
        FMemDesc* next = cur ? cur->next : p.first;
        while (next) {
            size_t gap = size_t(next->address - curEnd);
            if (gap >= need) {
                d->address = curEnd;
                linkAfter(cur, d);
                p.hint = d;
                p.totalFree -= need;
                --p.freeDescriptors;
                ++p.blocks;
                return d;
            }
            if (gap > 0) {
                std::memmove(curEnd, next->address, next->length);
                next->address = curEnd;
            }
            cur = next;
            curEnd = endOf(cur);
            next = cur->next;
        }
        p.endFree = p.totalFree;
    }

    d->address = p.last ? endOf(p.last) : p.base;
    linkAfter(p.last, d);
    p.totalFree -= need;
    p.endFree -= need;
    --p.freeDescriptors;
    ++p.blocks;
    return d;
}

}  // namespace

namespace rc::fmem {
Stats stats() {
    Pool& p = P();
    return Stats{p.size, p.totalFree, p.endFree, p.blocks, p.tableCount};
}
}  // namespace rc::fmem

RC_API int16_t InitFMem(uint32_t size) {
    Pool& p = P();
    if (p.base) KillFMem();
    size = std::min(size, kMaxRegion);
    FPurgeProc keep = p.purge;
    p = Pool{};
    p.purge = keep;
    p.base = static_cast<char*>(plat::sysAlloc(size));
    if (!p.base) return 255;
    p.size = size;
    p.totalFree = p.endFree = size;
    p.purgeThreshold = size / 16;
    if (!addTable()) {
        plat::sysFree(p.base);
        p = Pool{};
        p.purge = keep;
        return 255;
    }
    return 0;
}

RC_API void KillFMem(void) {
    Pool& p = P();
    plat::sysFree(p.base);
    for (uint32_t t = 0; t < p.tableCount; ++t) plat::sysFree(p.tables[t]);
    FPurgeProc keep = p.purge;
    p = Pool{};
    p.purge = keep;
}

RC_API uint32_t PurgeFSpace(void) {
    return P().totalFree;
}
RC_API uint32_t GetFHeapSize(void) {
    return P().size;
}

RC_API FBlock NewFBlock(uint32_t size) {
    return allocate(size);
}

RC_API FBlock NewFBlockClear(uint32_t size) {
    FBlock b = allocate(size);
    if (b) std::memset(b->address, 0, size);
    return b;
}

RC_API void DisposeFBlock(FBlock d) {
    Pool& p = P();
    if (!d || !d->address) return;
    if (p.hint && d->address <= p.hint->address) p.hint = d->prev;
    if (d == p.first) p.first = d->next;
    if (d == p.last) {
        p.last = d->prev;
        if (p.last)
            p.endFree += uint32_t(endOf(d) - endOf(p.last));
        else
            p.endFree = p.size;
    }
    if (d->prev) d->prev->next = d->next;
    if (d->next) d->next->prev = d->prev;
    p.totalFree += d->length;
    for (uint32_t t = 0; t < p.tableCount; ++t) {
        if (d >= p.tables[t] && d < p.tables[t] + kDescriptorsPerTable) {
            p.scanFrom = std::min(p.scanFrom, t * kDescriptorsPerTable + uint32_t(d - p.tables[t]));
            break;
        }
    }
    std::memset(d, 0, sizeof *d);
    ++p.freeDescriptors;
    --p.blocks;
}

RC_API uint32_t GetFBlockSize(FBlock d) {
    return d && d->address ? d->length - d->slack : 0;
}

RC_API Boolean FBlockFits(uint32_t size) {
    return size < P().totalFree;
}

RC_API void SetFPurgeProc(FPurgeProc proc) {
    P().purge = proc;
}
