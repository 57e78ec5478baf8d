// Arithmetic on time records.
#include "reelcore/timerecord.h"
#include "time/rational.h"

using rc::time::Int128;
using rc::time::Ratio;

RC_API void TDB_SetTimeRecord(int32_t value, int32_t scale, int32_t samp, TDB* out) {
    if (!out) return;
    out->value = value;
    out->scale = scale;
    out->samp = samp;
}

RC_API int32_t TDB_FindScale(const TDB* t) {
    return t ? t->scale : 0;
}

RC_API int32_t TDB_TotalNumFrames(const TDB* t) {
    if (!t || t->samp == 0) return 1;
    // INT32_MIN ÷ -1 is the one quotient that does not fit.
    return rc::time::saturateInt32(int64_t{t->value} / t->samp);
}

RC_API uint32_t TDB_DivTimeBase(const TDB* a, const TDB* b) {
    if (!a || !b) return 0;
    const uint64_t aSamp = a->samp == 0 ? 1u : static_cast<uint32_t>(a->samp);
    const uint64_t bScale = b->scale == 0 ? 1u : static_cast<uint32_t>(b->scale);
    const uint64_t num = uint64_t{static_cast<uint32_t>(a->scale)} * static_cast<uint32_t>(b->samp);
    const uint64_t q = num / (aSamp * bScale);  // the divisor cannot be 0 in 64 bits
    return q > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(q);
}

RC_API int32_t TDB_TimePosConvert(int32_t pos, const TDB* from, const TDB* to) {
    if (!from || !to || from->scale == 0) return 0;
    const int64_t product = int64_t{pos} * to->scale;
    // from.scale is taken as an unsigned 32-bit number.
    const int64_t divisor = static_cast<uint32_t>(from->scale);
    return rc::time::saturateInt32(product / divisor);
}

RC_API int16_t TDB_ConvTime(const TDB* src, int32_t newScale, TDB* out, Boolean* exact) {
    if (!src || !out) return kTDBZeroScale;
    const int32_t srcValue = src->value, srcScale = src->scale;
    if (exact) *exact = 1;
    if (srcScale == 0 || newScale == 0) {
        out->value = 0;
        out->scale = 0;
        out->samp = 1;
        if (exact) *exact = 0;
        return kTDBZeroScale;
    }
    int32_t value = srcValue;
    int32_t scale = newScale;
    if (newScale != srcScale && !rc::time::convertScale(srcValue, srcScale, newScale, &value)) {
        // Reducing the source would not change the exact value, so the
        // conversion simply has no 32-bit answer: callers see scale 0.
        value = 0;
        scale = 0;
    }
    if (exact && int64_t{value} * srcScale != int64_t{srcValue} * newScale) *exact = 0;
    out->value = value;
    out->scale = scale;
    out->samp = 1;
    return kTDBNoErr;
}

namespace {

void setFailure(TDB* out) {
    out->value = kTDBFailureValue;
    out->scale = 0;
}

}  // namespace

RC_API int16_t TDB_SubTime(const TDB* a, const TDB* b, int32_t newScale, TDB* out) {
    if (!a || !b || !out) return kTDBZeroScale;
    if (a->scale == 0 || b->scale == 0) {
        setFailure(out);
        return kTDBZeroScale;
    }
    Ratio diff{};
    const int16_t err =
        rc::time::rationalSum(a->value, a->scale, -int64_t{b->value}, b->scale, true, &diff);
    if (err != 0) {
        setFailure(out);
        return err;
    }
    if (newScale == 0) {
        out->value = diff.value;
        out->scale = diff.scale;
        out->samp = 1;
        return kTDBNoErr;
    }
    int32_t converted = diff.value;
    if (newScale != diff.scale &&
        !rc::time::convertScale(diff.value, diff.scale, newScale, &converted)) {
        // The difference exists but not in newScale: report it rather than
        // passing off a zero difference as success.
        setFailure(out);
        return kTDBTooLarge;
    }
    out->value = converted;
    out->scale = newScale;
    return kTDBNoErr;
}

RC_API int16_t TDB_CompareTime(const TDB* a, const TDB* b, int32_t* result) {
    if (!a || !b || !result) return kTDBZeroScale;
    if (a->scale == 0 || b->scale == 0) {
        *result = 0;
        return kTDBZeroScale;
    }
    if (a->scale == b->scale && a->scale > 0) {
        // Same time base: the difference of the values is the answer.
        const int64_t d = int64_t{a->value} - b->value;
        *result = rc::time::fitsInt32(d) ? static_cast<int32_t>(d) : (d < 0 ? -1 : 1);
        return kTDBNoErr;
    }
    // Only the sign counts: compare the exact cross products (each fits in
    // 63 bits), swapping sides when exactly one scale is negative.
    int64_t lhs = int64_t{a->value} * b->scale;
    int64_t rhs = int64_t{b->value} * a->scale;
    if ((a->scale < 0) != (b->scale < 0)) {
        const int64_t t = lhs;
        lhs = rhs;
        rhs = t;
    }
    *result = lhs < rhs ? -1 : lhs > rhs ? 1 : 0;
    return kTDBNoErr;
}

RC_API int16_t TDB_CountFrames(const TDB* time, const TDB* frameDuration, Boolean roundUp,
                               int32_t* count) {
    if (!time || !frameDuration || !count) return kTDBZeroScale;
    // time × (duration.scale ÷ duration.value), counted exactly.
    Int128 num = Int128{time->value} * frameDuration->scale;
    Int128 den = Int128{time->scale} * frameDuration->value;
    if (time->scale == 0 || frameDuration->value == 0) return kTDBZeroScale;
    if (num == 0) {
        *count = 0;
        return kTDBNoErr;
    }
    if (den < 0) {
        num = -num;
        den = -den;
    }
    Int128 q = rc::time::floorDiv(num, den);
    if (roundUp && q * den != num) ++q;
    if (!rc::time::fitsInt32(q)) return kTDBTooLarge;
    *count = static_cast<int32_t>(q);
    return kTDBNoErr;
}
