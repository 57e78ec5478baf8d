// Introspection of the memory manager for reelhost and tests.
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::memory {

struct Stats {
    uint32_t subHeapZones;      // live sub-heap zones
    uint32_t handlesInUse;      // handle records handed out
    uint32_t handleRecords;     // records carved from slabs so far
    uint32_t largeBlocks;       // blocks in the large-block zone
    uint64_t largeBytes;        // bytes allocated in the large-block zone
    uint64_t subHeapBytesUsed;  // bytes charged to sub-heap zones (blocks + overhead)
};
Stats stats();

enum class ZoneKind { None, Large, SubHeap };
// Where a handle's bytes live (Large for an empty handle).
ZoneKind zoneKind(Handle h);
// Free bytes of the sub-heap zone holding h, or -1.
int64_t subHeapFree(Handle h);
// A handle carrying the resource bit, and the bytes it really holds (data,
// name and trailer included).
bool isResourceHandle(Handle h);
uint32_t storedSize(Handle h);
// True when two handles' bytes live in the same zone.
bool sameZone(Handle a, Handle b);

constexpr uint32_t kRecordsPerSlab = 744;
constexpr uint32_t kMaxSlabs = 400;
constexpr uint32_t kSubHeapCapacity = 261120;
constexpr int64_t kSubHeapInitialFree = 261082;  // capacity less the heap's own bookkeeping
constexpr uint32_t kBlockOverhead = 16;
constexpr uint32_t kDefaultHeapLimit = 8192;
constexpr uint32_t kPtrHeaderSize = 16;

}  // namespace rc::memory
