// Value blending and the FltD and animation-description walks.
#include "timeline/keys/blend.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

namespace rc::keys {

ValueType animValueType(int32_t type) {
    // Indexed by 'aPAR' data type.
    static constexpr ValueType kAnim[] = {
        {ValueKind::Copy, 0},          {ValueKind::Signed, 1},
        {ValueKind::Signed, 2},        {ValueKind::Signed, 4},
        {ValueKind::Unsigned, 1},      {ValueKind::Unsigned, 2},
        {ValueKind::Unsigned, 4},      {ValueKind::Fixed, 4},
        {ValueKind::UnsignedFixed, 4}, {ValueKind::Copy, 0} /* 96-bit real */,
        {ValueKind::Real, 8},          {ValueKind::Float, 4},
        {ValueKind::Colour, 4}};
    if (type < 0 || type >= int32_t(std::size(kAnim))) return {ValueKind::Copy, 0};
    return kAnim[type];
}

ValueType fltdValueType(int32_t kind) {
    // Indexed by FltD kind; 7 and 8 are both 64-bit reals.
    static constexpr ValueType kFltD[] = {{ValueKind::Copy, 0},     {ValueKind::Signed, 1},
                                          {ValueKind::Signed, 2},   {ValueKind::Signed, 4},
                                          {ValueKind::Unsigned, 1}, {ValueKind::Unsigned, 2},
                                          {ValueKind::Unsigned, 4}, {ValueKind::Real, 8},
                                          {ValueKind::Real, 8},     {ValueKind::Float, 4}};
    if (kind < 0 || kind >= int32_t(std::size(kFltD))) return {ValueKind::Copy, 0};
    return kFltD[kind];
}

int64_t blendInteger(int64_t a, int64_t b, double fraction, int64_t lo, int64_t hi) {
    const double v = double(a) + (double(b) - double(a)) * fraction;
    if (std::isnan(v)) return a;
    const double t = std::trunc(v);
    if (t <= double(lo)) return lo;
    if (t >= double(hi)) return hi;
    return int64_t(t);
}

namespace {

int64_t loadInt(const uint8_t* p, int32_t width, bool isSigned) {
    switch (width) {
        case 1:
            return isSigned ? int64_t(int8_t(p[0])) : int64_t(p[0]);
        case 2: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return isSigned ? int64_t(int16_t(v)) : int64_t(v);
        }
        default: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return isSigned ? int64_t(int32_t(v)) : int64_t(v);
        }
    }
}

void storeInt(uint8_t* p, int32_t width, int64_t v) {
    switch (width) {
        case 1:
            p[0] = uint8_t(v);
            break;
        case 2: {
            const uint16_t w = uint16_t(v);
            std::memcpy(p, &w, 2);
            break;
        }
        default: {
            const uint32_t w = uint32_t(v);
            std::memcpy(p, &w, 4);
        }
    }
}

void integerRange(int32_t width, bool isSigned, int64_t* lo, int64_t* hi) {
    const int bits = width * 8;
    *lo = isSigned ? -(int64_t(1) << (bits - 1)) : 0;
    *hi = isSigned ? (int64_t(1) << (bits - 1)) - 1 : (int64_t(1) << bits) - 1;
}

}  // namespace

void blendValue(ValueType t, const uint8_t* a, const uint8_t* b, uint8_t* out, double fraction) {
    switch (t.kind) {
        case ValueKind::Copy:
            return;
        case ValueKind::Signed:
        case ValueKind::Unsigned: {
            const bool s = t.kind == ValueKind::Signed;
            int64_t lo, hi;
            integerRange(t.width, s, &lo, &hi);
            storeInt(
                out, t.width,
                blendInteger(loadInt(a, t.width, s), loadInt(b, t.width, s), fraction, lo, hi));
            return;
        }
        case ValueKind::Fixed:
        case ValueKind::UnsignedFixed: {
            const bool s = t.kind == ValueKind::Fixed;
            const double av = double(loadInt(a, 4, s)) / 65536.0;
            const double bv = double(loadInt(b, 4, s)) / 65536.0;
            const double v = (av + (bv - av) * fraction) * 65536.0;
            int64_t lo, hi;
            integerRange(4, s, &lo, &hi);
            int64_t r;
            if (std::isnan(v))
                r = loadInt(a, 4, s);
            else
                r = int64_t(std::clamp(std::trunc(v), double(lo), double(hi)));
            storeInt(out, 4, r);
            return;
        }
        case ValueKind::Real: {
            double av, bv;
            std::memcpy(&av, a, 8);
            std::memcpy(&bv, b, 8);
            const double v = av + (bv - av) * fraction;
            std::memcpy(out, &v, 8);
            return;
        }
        case ValueKind::Float: {
            float af, bf;
            std::memcpy(&af, a, 4);
            std::memcpy(&bf, b, 4);
            const float v = float(double(af) + (double(bf) - double(af)) * fraction);
            std::memcpy(out, &v, 4);
            return;
        }
        case ValueKind::Colour:
            for (int i = 0; i < 4; ++i)
                out[i] = uint8_t(blendInteger(a[i], b[i], fraction, 0, 255));
            return;
    }
}

namespace {

// Copies s0's bytes [pos, pos + n) clipped to `end`.
void copyFromA(const BlendBytes& x, size_t pos, size_t n, size_t end) {
    if (pos >= end) return;
    n = std::min(n, end - pos);
    if (n) std::memmove(x.out + pos, x.a + pos, n);
}

// Blends one value at pos when both keys hold it, copies s0's otherwise.
// False when the value runs past the end.
bool blendAt(const BlendBytes& x, size_t pos, ValueType t, size_t end, double fraction) {
    if (pos + size_t(t.width) > end) return false;
    if (pos + size_t(t.width) > x.bLen)
        copyFromA(x, pos, size_t(t.width), end);
    else
        blendValue(t, x.a + pos, x.b + pos, x.out + pos, fraction);
    return true;
}

}  // namespace

bool blendFltD(const FmFltDEntry* table, size_t entries, const BlendBytes& x, size_t skip,
               double fraction) {
    for (size_t i = 0; i < entries; ++i)
        if (uint16_t(table[i].kind) > kFltDFloat) return false;
    const size_t end = std::min(x.outLen, x.aLen);
    size_t pos = skip;
    for (size_t i = 0; i < entries && pos < end; ++i) {
        const int32_t kind = uint16_t(table[i].kind);
        if (kind == kFltDCopy) {
            const size_t n = uint16_t(table[i].count);
            copyFromA(x, pos, n, end);
            pos += n;
            continue;
        }
        const ValueType t = fltdValueType(kind);
        if (!blendAt(x, pos, t, end, fraction)) break;
        pos += size_t(t.width);
    }
    copyFromA(x, pos, end > pos ? end - pos : 0, end);
    return true;
}

void blendAnim(const AnimParam* params, size_t count, const BlendBytes& x, size_t skip,
               double fraction) {
    const size_t end = std::min(x.outLen, x.aLen);
    size_t pos = skip;
    for (size_t i = 0; i < count && pos < end; ++i) {
        const AnimParam& p = params[i];
        const ValueType t = animValueType(p.type);
        if ((p.flags & kRcAnimParamInterpolate) && t.kind != ValueKind::Copy) {
            if (!blendAt(x, pos, t, end, fraction)) break;
            pos += size_t(t.width);
        } else {
            const size_t n = size_t(std::max(p.size, 0));
            copyFromA(x, pos, n, end);
            pos += n;
        }
    }
    copyFromA(x, pos, end > pos ? end - pos : 0, end);
}

}  // namespace rc::keys
