// 16.16 fixed-point multiply and divide.
#include <cstdint>
#include <cstdlib>

#include "reelcore/imagefilters.h"

RC_API Fixed FixedMul(Fixed a, Fixed b) {
    const int64_t p = int64_t{a} * b;
    int64_t r;
    if (p >= 0) {
        r = (p + 0x8000) >> 16;
        if (r > INT32_MAX) r = INT32_MAX;
    } else {
        r = (p + 0x7FFF) >> 16;
        if (r < INT32_MIN) r = INT32_MIN;  // below the range: saturate too
    }
    return static_cast<Fixed>(r);
}

RC_API Fixed FixedDiv(Fixed dividend, Fixed divisor) {
    if (dividend == 0 || divisor == 0) return 0;
    const uint64_t a = static_cast<uint64_t>(std::llabs(int64_t{dividend}));
    const uint64_t b = static_cast<uint64_t>(std::llabs(int64_t{divisor}));
    if (a / 65536 >= b) return dividend;
    uint64_t q = (a * 65536 + a / 65536) / b;
    // a quotient past the 32-bit range saturates rather than wrapping negative
    if (q > INT32_MAX) q = INT32_MAX;
    const bool negative = (dividend < 0) != (divisor < 0);
    return negative ? -static_cast<Fixed>(q) : static_cast<Fixed>(q);
}
