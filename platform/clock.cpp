#include "platform/clock.h"

#include <time.h>

namespace rc::platform {

namespace {
uint32_t gDoubleClick = 500;
}

uint64_t monotonicMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

uint32_t doubleClickMilliseconds() {
    return gDoubleClick;
}
void setDoubleClickMilliseconds(uint32_t ms) {
    gDoubleClick = ms;
}

}  // namespace rc::platform
