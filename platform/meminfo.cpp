#include "platform/meminfo.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace rc::platform {

namespace {
std::atomic<uint64_t> overridden{0};
}

uint64_t availableMemory() {
    uint64_t forced = overridden.load();
    if (forced != 0) return forced;
    FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return 0;
    char line[256];
    uint64_t total = 0;
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long kb = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1 ||
            std::sscanf(line, "SwapFree: %llu kB", &kb) == 1)
            total += static_cast<uint64_t>(kb) * 1024;
    }
    std::fclose(f);
    return total;
}

void overrideAvailableMemory(uint64_t bytes) {
    overridden.store(bytes);
}

}  // namespace rc::platform
