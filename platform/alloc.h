// System allocation for the library's own heaps, behind one interface so
// tests can make it fail on purpose.
#pragma once

#include <cstddef>

namespace rc::platform {

void* sysAlloc(size_t bytes);
void* sysAllocZeroed(size_t bytes);
void* sysRealloc(void* block, size_t bytes);  // null on failure, block kept
void sysFree(void* block);

// Fault injection (tests only): the next n allocations fail, and/or every
// allocation above `bytes` fails (0 switches that off).
void failNextAllocations(int n);
void failAllocationsAbove(size_t bytes);
void resetAllocationFaults();

// Memory below 2 GB for records whose address must fit in 32 bits. Returns a
// zeroed region of `bytes` or null; never released.
void* allocLow(size_t bytes);

// True when one byte at p can be read.
bool isReadable(const void* p);

}  // namespace rc::platform
