// Exact rational helpers behind the time-record arithmetic. Every product of
// two 32-bit fields is formed in 64 bits (or 128 where two such products
// meet), so nothing here wraps.
#pragma once

#include <cstdint>

namespace rc::time {

__extension__ typedef __int128 Int128;

inline bool fitsInt32(int64_t v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}
inline bool fitsInt32(Int128 v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

inline int32_t saturateInt32(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}
inline int32_t saturateInt32(Int128 v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

// Greatest common divisor of two non-negative numbers (binary method).
uint64_t gcd(uint64_t a, uint64_t b);

// floor(num / den) and the remainder 0 <= r < den, for den > 0.
inline int64_t floorDiv(int64_t num, int64_t den, int64_t* rem) {
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) {
        --q;
        r += den;
    }
    *rem = r;
    return q;
}
inline Int128 floorDiv(Int128 num, Int128 den) {
    Int128 q = num / den;
    if (num % den != 0 && ((num < 0) != (den < 0))) --q;
    return q;
}

// A rational result in 32-bit fields.
struct Ratio {
    int32_t value;
    int32_t scale;
};

// Best approximation of a real by value/scale with scale <= 2^30 and a value
// that fits in 32 bits. Fails
// (returns false) when the magnitude cannot be held in 32 bits.
bool approximate(double x, Ratio* out);

// av/as + bv/bs, exact when a 32-bit pair can hold it (fully reduced if
// needed), otherwise approximated when allowed. Returns 0 or -1. Scales must
// be non-zero; values are 64-bit so that a negated INT32_MIN is no problem.
int16_t rationalSum(int64_t av, int64_t as, int64_t bv, int64_t bs, bool allowApprox, Ratio* out);

// value/scale re-expressed in newScale, rounded half up (floor(x + 0.5)).
// Both scales non-zero. False when the time does not fit in 32 bits.
bool convertScale(int64_t value, int64_t scale, int64_t newScale, int32_t* out);

}  // namespace rc::time
