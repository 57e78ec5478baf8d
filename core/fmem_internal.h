// Introspection of the frame memory pool for reelhost and tests.
#pragma once

#include <cstdint>

namespace rc::fmem {

constexpr uint32_t kMaxRegion = 0x17000000;
constexpr uint32_t kDescriptorsPerTable = 3640;
constexpr uint32_t kMaxTables = 16;

struct Stats {
    uint32_t regionSize;
    uint32_t totalFree;
    uint32_t endFree;
    uint32_t blocks;
    uint32_t tables;
};
Stats stats();

}  // namespace rc::fmem
