// Start-up of the runtime: global slots, memory manager, frame memory pool
// and the open-file budget; and the runtime's part of `reelhost info`.
#include <sys/resource.h>

#include <unistd.h>

#include <algorithm>
#include <cinttypes>

#include "host.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace {

// The frame pool takes a quarter of physical memory, between 64 MB and the
// pool's own ceiling.
uint32_t framePoolSize() {
    uint64_t pages = uint64_t(sysconf(_SC_PHYS_PAGES));
    uint64_t pageSize = uint64_t(sysconf(_SC_PAGESIZE));
    uint64_t quarter = pages * pageSize / 4;
    uint64_t size = std::max<uint64_t>(64u << 20, std::min<uint64_t>(quarter, 0x17000000));
    return uint32_t(size);
}

// Files the library may keep open: the process limit less a reserve for the
// executable, its standard streams and plug-ins.
intptr_t openFileBudget() {
    constexpr intptr_t kReserve = 64;
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) return 1024;
    intptr_t budget = intptr_t(lim.rlim_cur) - kReserve;
    return budget > 16 ? budget : 16;
}

host::Registrar globals(host::Step{100, "global slots",
                                   [](const host::Options&) {
                                       SetupGlobals();
                                       return true;
                                   },
                                   nullptr});

host::Registrar memory(host::Step{110, "memory manager",
                                  [](const host::Options&) {
                                      InitMemoryMgr();
                                      SetAGlobal(kSlotOpenFileBudget, openFileBudget());
                                      return true;
                                  },
                                  [] { MemoryTerminate(); }});

host::Registrar framePool(host::Step{
    120, "frame memory pool", [](const host::Options&) { return InitFMem(framePoolSize()) == 0; },
    [] { KillFMem(); }});

void printRuntime(FILE* out) {
    int set = 0;
    for (int32_t slot = 0; slot < kGlobalSlotCount; ++slot)
        if (slot != kSlotTick60 && slot != kSlotDoubleClick && GetAGlobal(slot) != 0) ++set;
    std::fprintf(out, "global slots: %d of %d set\n", set, int(kGlobalSlotCount));
    std::fprintf(out, "open-file budget (slot 239): %" PRIdPTR " files\n",
                 GetAGlobal(kSlotOpenFileBudget));
    FmMemoryStats m{};
    FmGetMemoryStats(&m);
    std::fprintf(out, "memory: blocks up to %s go to the sub-heap (its heap limit)\n",
                 host::bytesText(m.heapLimit).c_str());
    std::fprintf(out, "  sub-heap: %s, %s charged\n",
                 host::countText(m.subHeapZones, "zone").c_str(),
                 host::bytesText(m.subHeapBytesUsed).c_str());
    std::fprintf(out, "  large-block zone: %s, %s\n",
                 host::countText(m.largeBlocks, "block").c_str(),
                 host::bytesText(m.largeBytes).c_str());
    std::fprintf(out, "handle records: %u in use of %u carved (at most %u)\n", m.handlesInUse,
                 m.handleRecords, m.handleRecordLimit);
    std::fprintf(out, "frame pool: %s, %s free (%s at the end), %s, %s\n",
                 host::bytesText(m.framePoolSize).c_str(), host::bytesText(m.framePoolFree).c_str(),
                 host::bytesText(m.framePoolEndFree).c_str(),
                 host::countText(m.framePoolBlocks, "block").c_str(),
                 host::countText(m.framePoolTables, "descriptor table").c_str());
}

host::Registrar info(host::InfoSection{100, printRuntime});

}  // namespace
