#include "time/rational.h"

#include <cmath>

namespace rc::time {

uint64_t gcd(uint64_t a, uint64_t b) {
    if (a == 0) return b;
    if (b == 0) return a;
    const int shift = __builtin_ctzll(a | b);
    a >>= __builtin_ctzll(a);
    do {
        b >>= __builtin_ctzll(b);
        if (a > b) {
            const uint64_t t = a;
            a = b;
            b = t;
        }
        b -= a;
    } while (b != 0);
    return a << shift;
}

namespace {

constexpr int64_t kMaxDenominator = int64_t{1} << 30;
constexpr int64_t kMaxNumerator = INT32_MAX;

long double distance(int64_t p, int64_t q, long double x) {
    return std::fabs(static_cast<long double>(p) / static_cast<long double>(q) - x);
}

// Best approximation of n/d (n >= 0, d > 0) with both bounds, by continued
// fractions; the last convergent is weighed against the best semiconvergent
// that still fits.
bool bestRational(Int128 n, Int128 d, int64_t* p, int64_t* q) {
    const long double x = static_cast<long double>(n) / static_cast<long double>(d);
    int64_t p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    while (d != 0) {
        const Int128 a = n / d;
        const Int128 p2 = a * p1 + p0;
        const Int128 q2 = a * q1 + q0;
        if (p2 > kMaxNumerator || q2 > kMaxDenominator) {
            if (q1 == 0) return false;  // even the integer part is too large
            int64_t m = INT64_MAX;
            if (p1 > 0) m = (kMaxNumerator - p0) / p1;
            if (q1 > 0 && (kMaxDenominator - q0) / q1 < m) m = (kMaxDenominator - q0) / q1;
            if (m >= 1) {
                const int64_t ps = p0 + m * p1, qs = q0 + m * q1;
                // keep the semiconvergent when strictly nearer
                if (distance(ps, qs, x) < distance(p1, q1, x)) {
                    p1 = ps;
                    q1 = qs;
                }
            }
            break;
        }
        p0 = p1;
        q0 = q1;
        p1 = static_cast<int64_t>(p2);
        q1 = static_cast<int64_t>(q2);
        const Int128 r = n - a * d;
        n = d;
        d = r;
    }
    *p = p1;
    *q = q1;
    return q1 != 0;
}

}  // namespace

bool approximate(double x, Ratio* out) {
    // Taken at double precision: single precision would be off by up to a
    // minute for differences near 2^30 seconds, far more than the 32-bit
    // rational can resolve.
    if (!std::isfinite(x)) return false;
    if (x == 0.0) {
        *out = {0, 1};
        return true;
    }
    int exponent = 0;
    const double mant = std::frexp(std::fabs(x), &exponent);  // |x| = mant * 2^exponent
    const int binaryExponent = exponent - 1;                  // floor(log2 |x|)
    if (binaryExponent >= 31) return false;                   // no 32-bit value holds it
    if (binaryExponent < -31) {
        *out = {0, 1};
        return true;
    }
    // |x| = m / 2^k exactly, with a 53-bit m.
    const int64_t m = static_cast<int64_t>(std::ldexp(mant, 53));
    const int k = 53 - exponent;
    Int128 n = m, d = 1;
    if (k >= 0)
        d = Int128{1} << k;
    else
        n = Int128{m} << (-k);
    int64_t p = 0, q = 1;
    if (!bestRational(n, d, &p, &q)) return false;
    const uint64_t g = gcd(static_cast<uint64_t>(p), static_cast<uint64_t>(q));
    if (g > 1) {
        p /= static_cast<int64_t>(g);
        q /= static_cast<int64_t>(g);
    }
    out->value = static_cast<int32_t>(x < 0 ? -p : p);
    out->scale = static_cast<int32_t>(q);
    return true;
}

namespace {

bool storeIfFits(Int128 num, Int128 den, Ratio* out) {
    if (!fitsInt32(num) || !fitsInt32(den) || den == 0) return false;
    out->value = static_cast<int32_t>(num);
    out->scale = static_cast<int32_t>(den);
    return true;
}

uint64_t magnitude(Int128 v) {
    return static_cast<uint64_t>(v < 0 ? -v : v);
}

}  // namespace

int16_t rationalSum(int64_t av, int64_t as, int64_t bv, int64_t bs, bool allowApprox, Ratio* out) {
    if (av == 0 && storeIfFits(bv, bs, out)) return 0;
    if (bv == 0 && storeIfFits(av, as, out)) return 0;
    Int128 num, den;
    if (as == bs) {
        num = Int128{av} + bv;
        den = as;
    } else {
        const int64_t g =
            static_cast<int64_t>(gcd(magnitude(as), magnitude(bs)));  // non-zero scales
        den = Int128{as} * (bs / g);
        num = Int128{av} * (bs / g) + Int128{bv} * (as / g);
    }
    if (storeIfFits(num, den, out)) return 0;
    // Reduce the sum itself; num fits in 65 bits and den in 62, so the
    // magnitudes fit in 64 bits unless num is exactly -2^64 (it cannot be).
    const uint64_t nm = magnitude(num), dm = magnitude(den);
    const uint64_t g = gcd(nm, dm);
    if (g > 1 && storeIfFits(num / g, den / g, out)) return 0;
    if (allowApprox) {
        const long double x = static_cast<long double>(num) / static_cast<long double>(den);
        if (approximate(static_cast<double>(x), out)) return 0;
    }
    return -1;
}

bool convertScale(int64_t value, int64_t scale, int64_t newScale, int32_t* out) {
    // x = value × newScale ÷ scale; both products fit in 63 bits.
    int64_t num = value * newScale;
    int64_t den = scale;
    if (den < 0) {
        num = -num;
        den = -den;
    }
    int64_t rem = 0;
    const int64_t q = floorDiv(num, den, &rem);
    if (q > INT32_MAX || (q == INT32_MAX && rem > 0) || q < INT32_MIN) return false;
    const int64_t rounded = q + (2 * rem >= den ? 1 : 0);
    if (rounded > INT32_MAX) return false;
    *out = static_cast<int32_t>(rounded);
    return true;
}

}  // namespace rc::time
