#include "platform/alloc.h"

#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define REEL_LEAK_CHECKING 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define REEL_LEAK_CHECKING 1
#endif
#endif
#if REEL_LEAK_CHECKING
#include <sanitizer/lsan_interface.h>
#endif

namespace rc::platform {

namespace {
int gFailNext = 0;
size_t gFailAbove = 0;

bool shouldFail(size_t bytes) {
    if (gFailAbove != 0 && bytes > gFailAbove) return true;
    if (gFailNext > 0) {
        --gFailNext;
        return true;
    }
    return false;
}
}  // namespace

void* sysAlloc(size_t bytes) {
    if (shouldFail(bytes)) return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void* sysAllocZeroed(size_t bytes) {
    if (shouldFail(bytes)) return nullptr;
    return std::calloc(1, bytes ? bytes : 1);
}

void* sysRealloc(void* block, size_t bytes) {
    if (shouldFail(bytes)) return nullptr;
    return std::realloc(block, bytes ? bytes : 1);
}

void sysFree(void* block) {
    std::free(block);
}

void failNextAllocations(int n) {
    gFailNext = n;
}
void failAllocationsAbove(size_t bytes) {
    gFailAbove = bytes;
}
void resetAllocationFaults() {
    gFailNext = 0;
    gFailAbove = 0;
}

void* allocLow(size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return nullptr;
#if REEL_LEAK_CHECKING
    // Handle records live here and point at the blocks they own: the leak
    // checker must scan the area, or every handle's block reads as leaked.
    __lsan_register_root_region(p, bytes);
#endif
    return p;
}

bool isReadable(const void* p) {
    if (!p) return false;
    // Reading through the kernel reports an unmapped address as an error
    // instead of a fault.
    char byte;
    iovec local{&byte, 1};
    iovec remote{const_cast<void*>(p), 1};
    return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == 1;
}

}  // namespace rc::platform
