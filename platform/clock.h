// Clocks and the double-click interval.
#pragma once

#include <cstdint>

namespace rc::platform {

// Milliseconds from a monotonic clock (arbitrary origin).
uint64_t monotonicMilliseconds();
// The double-click interval in milliseconds (500 unless changed).
uint32_t doubleClickMilliseconds();
void setDoubleClickMilliseconds(uint32_t ms);

}  // namespace rc::platform
