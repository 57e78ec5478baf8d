// Byte counts and decimal numbers as text, with the user's decimal separator.
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "reelcore/globals.h"
#include "reelcore/timecode.h"
#include "time/rational.h"
#include "time/time_hooks.h"

using rc::time::Int128;

namespace {

char decimalSeparator() {
    const char c = static_cast<char>(GetAGlobal(kSlotDecimalSeparator) & 0xFF);
    return c ? c : '.';
}

int32_t finish(int reported) {
    if (reported < 0) return 0;
    return reported < kNumberTextSize ? reported : kNumberTextSize - 1;
}

int64_t powerOfTen(int n) {
    int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// A double as a 64-bit count, truncated toward zero and clamped; NaN is 0.
int64_t truncateToInt64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775807.0) return INT64_MAX;
    if (v <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(v);
}

int32_t bytesToText(int64_t count, char* out, int32_t decimals) {
    if (count < 0)
        return finish(std::snprintf(out, kNumberTextSize, "%d",
                                    static_cast<int32_t>(static_cast<uint32_t>(count))));
    if (count < 1024) return finish(std::snprintf(out, kNumberTextSize, "%" PRId64, count));
    int64_t divisor;
    int16_t unitItem;
    int maxDecimals;
    if (count < (int64_t{1} << 20)) {
        divisor = 1024, unitItem = 10, maxDecimals = 3;
    } else if (count < (int64_t{1} << 30)) {
        divisor = int64_t{1} << 20, unitItem = 11, maxDecimals = 6;
    } else if (count < (int64_t{1} << 40)) {
        divisor = int64_t{1} << 30, unitItem = 12, maxDecimals = 9;
    } else {
        divisor = int64_t{1} << 40, unitItem = 13, maxDecimals = 12;
    }
    char unit[16];
    rc::time::indString(unit, sizeof unit, 1066, unitItem);
    const int64_t whole = count / divisor;
    if (decimals <= 0)
        return finish(std::snprintf(out, kNumberTextSize, "%" PRId64 "%s", whole, unit));
    if (decimals > maxDecimals) decimals = maxDecimals;
    // The remainder is below 2^40 and 10^12 is below 2^40: 128 bits hold it.
    const Int128 fraction = Int128{count - whole * divisor} * powerOfTen(decimals) / divisor;
    return finish(std::snprintf(out, kNumberTextSize, "%" PRId64 "%c%0*" PRId64 "%s", whole,
                                decimalSeparator(), static_cast<int>(decimals),
                                static_cast<int64_t>(fraction), unit));
}

}  // namespace

RC_API int32_t FmBytes64ToStr(uint32_t low, int32_t high, char* out, int32_t decimals) {
    if (!out) return 0;
    const uint64_t bits = (uint64_t{static_cast<uint32_t>(high)} << 32) | low;
    return bytesToText(static_cast<int64_t>(bits), out, decimals);
}

RC_API int32_t FmBytesFToStr(double count, char* out, int32_t decimals) {
    if (!out) return 0;
    return bytesToText(truncateToInt64(count), out, decimals);
}

RC_API int32_t FmFloatToStr(double value, char* out, int32_t decimals) {
    if (!out) return 0;
    // Sign and magnitude, so negative values read naturally ("-1.50").
    const bool negative = value < 0;
    const double magnitude = std::fabs(value);
    int64_t whole = truncateToInt64(magnitude);
    if (decimals <= 0 || std::isnan(value))
        return finish(std::snprintf(out, kNumberTextSize, "%s%" PRId64,
                                    negative && whole != 0 ? "-" : "", whole));
    if (decimals > 9) decimals = 9;
    const int64_t scale = powerOfTen(decimals);
    int64_t fraction = 0;
    if (whole < INT64_MAX) {
        fraction = truncateToInt64((magnitude - static_cast<double>(whole)) * scale + 0.5);
        if (fraction >= scale) {  // 1.9999 to two decimals is 2.00
            fraction -= scale;
            ++whole;
        }
        if (fraction < 0) fraction = 0;
    }
    return finish(std::snprintf(out, kNumberTextSize, "%s%" PRId64 "%c%0*" PRId64,
                                negative && (whole != 0 || fraction != 0) ? "-" : "", whole,
                                decimalSeparator(), static_cast<int>(decimals), fraction));
}
