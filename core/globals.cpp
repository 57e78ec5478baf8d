// The table of global slots shared with the executable and plug-ins, and the
// library's clocks.
#include <cstring>

#include "platform/clock.h"
#include "reelcore/globals.h"

namespace {

// A computed slot answers through a callback kept beside the table, so the
// value word keeps its full width.
using SlotCallback = intptr_t (*)(int32_t slot, intptr_t value, int direction);

struct Slots {
    intptr_t value[kGlobalSlotCount];
    SlotCallback computed[kGlobalSlotCount];
};

Slots gSlots;

bool inRange(int32_t slot) {
    return slot >= 0 && slot < kGlobalSlotCount;
}

intptr_t clockSlots(int32_t slot, intptr_t, int direction) {
    if (direction != 0) return 0;  // writes are ignored
    if (slot == kSlotTick60) return intptr_t(FmGetTick60());
    if (slot == kSlotDoubleClick)
        return intptr_t(uint64_t(rc::platform::doubleClickMilliseconds()) * 3 / 50);
    return 0;
}

uint64_t gClockBase = 0;  // 0 until the first FmGetMilliseconds call

}  // namespace

RC_API void SetupGlobals(void) {
    std::memset(&gSlots, 0, sizeof gSlots);
    gSlots.computed[kSlotTick60] = clockSlots;
    gSlots.computed[kSlotDoubleClick] = clockSlots;
}

RC_API intptr_t GetAGlobal(int32_t slot) {
    if (!inRange(slot)) return 0;
    if (gSlots.computed[slot]) return gSlots.computed[slot](slot, gSlots.value[slot], 0);
    return gSlots.value[slot];
}

RC_API intptr_t SetAGlobal(int32_t slot, intptr_t value) {
    if (!inRange(slot)) return 0;
    if (gSlots.computed[slot]) return gSlots.computed[slot](slot, value, 1);
    intptr_t previous = gSlots.value[slot];
    gSlots.value[slot] = value;
    return previous;
}

RC_API uint32_t FmGetMilliseconds(void) {
    uint64_t now = rc::platform::monotonicMilliseconds();
    if (gClockBase == 0) {
        // A reading of 0 is kept as -1 so the base counts as set.
        gClockBase = now ? now : uint64_t(-1);
        return 0;
    }
    uint64_t base = gClockBase == uint64_t(-1) ? 0 : gClockBase;
    return uint32_t(now - base);
}

RC_API uint32_t FmGetTick60(void) {
    return uint32_t(uint64_t(FmGetMilliseconds()) * 3 / 50);
}

RC_API intptr_t GetMainWnd(void) {
    return GetAGlobal(kSlotMainWnd);
}
RC_API intptr_t GetAppInst(void) {
    return GetAGlobal(kSlotAppInst);
}
RC_API intptr_t GetResInst(void) {
    return GetAGlobal(kSlotResInst);
}
