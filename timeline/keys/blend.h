// Blending parameter bytes between two keys. Every value is computed as
// v = a + (b - a) * fraction in double precision: integers are truncated
// toward zero into their own width, 16.16 fixed values are divided by 65536
// before and multiplied by 65536 after, reals are stored at their own
// precision. Animation data types and FltD kinds number the same kinds of
// value differently, so each has its own table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "reelcore/sdk/keyframes.h"

namespace rc::keys {

enum class ValueKind { Copy, Signed, Unsigned, Fixed, UnsignedFixed, Real, Float, Colour };

struct ValueType {
    ValueKind kind;
    int32_t width;  // bytes of one value; 0 for Copy
};

// The 'aPAR' data types 0 to 12; any other type is copied.
ValueType animValueType(int32_t type);
// The FltD kinds 1 to 9; kind 0 and anything above 9 give Copy.
ValueType fltdValueType(int32_t kind);

// Blends one value: a and b are read, out written (each `t.width` bytes).
void blendValue(ValueType t, const uint8_t* a, const uint8_t* b, uint8_t* out, double fraction);
// The integer result of a blend, truncated toward zero and kept inside
// [lo, hi] (a fraction outside 0...1 may leave the range); NaN keeps a.
int64_t blendInteger(int64_t a, int64_t b, double fraction, int64_t lo, int64_t hi);

// The bytes being blended: s0 and s1 with their lengths, and the result.
struct BlendBytes {
    const uint8_t* a;
    size_t aLen;
    const uint8_t* b;
    size_t bLen;
    uint8_t* out;
    size_t outLen;
};

// Applies a FltD table from byte `skip` on, then copies what follows the
// last entry from s0. Nothing is read or written past the shortest block.
// False (nothing written) when the table holds a kind above 9.
bool blendFltD(const FmFltDEntry* table, size_t entries, const BlendBytes& bytes, size_t skip,
               double fraction);

// One parameter of an animation description.
struct AnimParam {
    int32_t type;
    uint32_t flags;
    int32_t size;  // declared size in bytes
};

// Walks the parameters from byte `skip` on: a parameter without the
// interpolate flag, or of type 0, 9 or unknown, is copied from s0 at its
// declared size; the others are blended at their type's width. What follows
// the last parameter is copied from s0.
void blendAnim(const AnimParam* params, size_t count, const BlendBytes& bytes, size_t skip,
               double fraction);

}  // namespace rc::keys
