// The blitter suites as seen from inside the library.
#pragma once

#include "reelcore/depthcon.h"

namespace rc::pix {

// The suite in slot 403, or the base suite when the slot is empty.
const BNSuite& activeSuite();
// The plain suite (for tests: the reference the upper suites must match).
const BNSuite& baseSuite();
// Builds the suites without touching slot 403: the base, the processor suite
// over it when `processorSuite`, and the MP suite on top when `mpSuite`.
const BNSuite& buildSuites(bool processorSuite, bool mpSuite);

// Calls entry `index` of the active suite (its base entry when it is empty).
void callSuiteEntry(int index, const void* src, void* dst, int32_t width, int32_t rows,
                    int32_t srcStride, int32_t dstStride, intptr_t extra1 = 0, intptr_t extra2 = 0);

}  // namespace rc::pix
