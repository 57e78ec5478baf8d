// Free memory as the system reports it.
#pragma once

#include <cstdint>

namespace rc::platform {

// Memory that new allocations can still get without swapping out other
// programs plus the free swap space, in bytes (MemAvailable + SwapFree of
// /proc/meminfo). 0 when the figures cannot be read.
uint64_t availableMemory();

// Test hook: report this figure instead of reading the system (0 = off).
void overrideAvailableMemory(uint64_t bytes);

}  // namespace rc::platform
