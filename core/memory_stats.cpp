// The memory manager's state report.
#include "core/fmem_internal.h"
#include "core/memory_internal.h"
#include "reelcore/memory.h"

RC_API void FmGetMemoryStats(FmMemoryStats* out) {
    if (!out) return;
    auto m = rc::memory::stats();
    auto f = rc::fmem::stats();
    *out = FmMemoryStats{};
    out->heapLimit = GetMaxAllocInHeap();
    out->subHeapZones = m.subHeapZones;
    out->handlesInUse = m.handlesInUse;
    out->handleRecords = m.handleRecords;
    out->handleRecordLimit = rc::memory::kRecordsPerSlab * rc::memory::kMaxSlabs;
    out->largeBlocks = m.largeBlocks;
    out->largeBytes = m.largeBytes;
    out->subHeapBytesUsed = m.subHeapBytesUsed;
    out->framePoolSize = f.regionSize;
    out->framePoolFree = f.totalFree;
    out->framePoolEndFree = f.endFree;
    out->framePoolBlocks = f.blocks;
    out->framePoolTables = f.tables;
}
