// Locale-independent number text: "." is always the decimal point.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>

namespace rc::project {

// Room for any value: "%f" of the largest double has 309 integer digits.
constexpr int kNumberTextMax = 400;
// The longest numeric token that is looked at when reading.
constexpr int32_t kTokenMax = 511;

inline int formatInt(int64_t v, char* out) {
    auto r = std::to_chars(out, out + 24, v);
    return int(r.ptr - out);
}

// As printf's "%f": six decimals.
inline int formatReal(double v, char* out) {
    auto r = std::to_chars(out, out + kNumberTextMax, v, std::chars_format::fixed, 6);
    if (r.ec != std::errc()) {
        std::memcpy(out, "0.000000", 8);
        return 8;
    }
    return int(r.ptr - out);
}

// As atoi: leading blanks, a sign, digits; anything else ends the number.
// Out-of-range values saturate before being cut to 32 bits.
inline int32_t parseInt(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    int64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        if (v < (int64_t(1) << 40)) v = v * 10 + (*p - '0');
        ++p;
    }
    if (v > INT32_MAX) v = negative ? int64_t(INT32_MAX) + 1 : INT32_MAX;
    return int32_t(negative ? -v : v);
}

// As atof, without the locale: 0 when no number starts here.
inline double parseReal(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (end - p > kTokenMax) end = p + kTokenMax;
    if (p < end && *p == '+') {
        ++p;
        if (p < end && *p == '-') return 0.0;
    }
    double v = 0.0;
    auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // from_chars leaves v alone; atof gives an infinity or zero.
        bool negative = *p == '-';
        bool tiny = true;
        const char* q = p + (negative ? 1 : 0);
        for (; q < end && *q >= '0' && *q <= '9'; ++q)
            if (*q != '0') tiny = false;
        for (; q < end; ++q)
            if (*q == 'e' || *q == 'E') {
                tiny = q + 1 < end && q[1] == '-';
                break;
            }
        v = tiny ? 0.0 : __builtin_inf();
        if (negative) v = -v;
    } else if (r.ec != std::errc()) {
        v = 0.0;
    }
    return v;
}

inline int hexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace rc::project
