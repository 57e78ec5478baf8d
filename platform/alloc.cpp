#include "platform/alloc.h"

#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdlib>

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
    return p == MAP_FAILED ? nullptr : p;
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
