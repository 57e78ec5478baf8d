// Pixel aspect ratio codes: conversion from a ratio, resolution and
// equality, texts, the record kept with a file, and display rectangles.
#include <cmath>
#include <cstring>

#include "pixels/aspect_internal.h"
#include "reelcore/globals.h"
#include "reelcore/timecode.h"

namespace {

constexpr double kTwoTo32 = 4294967296.0;

bool isWhole(double v) {
    return v == std::trunc(v);
}

// Halves of a code as 1/1 for square codes.
void ratioOf(FmPARCode code, uint32_t* num, uint32_t* den) {
    if (FmPARIsSquare(code)) {
        *num = *den = 1;
    } else {
        *num = FmPARNumerator(code);
        *den = FmPARDenominator(code);
    }
}

}  // namespace

RC_API FmPARCode FmPARRatioToCode(double a, double b) {
    // NaN, infinities and negative terms have no code.
    if (!std::isfinite(a) || !std::isfinite(b) || !(a > 0) || b < 0) return kPARSquare;
    if (b == 0) b = 1;
    const double d = a / b;
    if (d > 10 || d < 0.1) return kPARSquare;
    if (isWhole(a) && isWhole(b) && a < kTwoTo32 && b < kTwoTo32) {
        auto num = static_cast<uint32_t>(a);
        auto den = static_cast<uint32_t>(b);
        while (num > 0xFFFF || den > 0xFFFF) {
            num >>= 1;
            den >>= 1;
        }
        return num << 16 | den;
    }
    if (d == 1) return kPARSquare;
    uint32_t num, den;
    if (d > 1) {
        den = static_cast<uint32_t>(65535 / d);
        num = static_cast<uint32_t>(den * d);
    } else {
        num = static_cast<uint32_t>(d * 65535);
        den = static_cast<uint32_t>(num / d);
    }
    if (num > 0xFFFF) num = 0xFFFF;  // rounding can only touch the bound
    if (den > 0xFFFF) den = 0xFFFF;
    return num << 16 | den;
}

RC_API Boolean FmPARCodesEqual(FmPARCode a, FmPARCode b) {
    if (FmPARIsUnset(a) || FmPARIsUnset(b)) return 1;
    return uint64_t{FmPARNumerator(a)} * FmPARDenominator(b) ==
           uint64_t{FmPARDenominator(a)} * FmPARNumerator(b);
}

RC_API int32_t FmGetPixelAspectRatio(FmPARCode code, FmPARCode fallback, int32_t* numerator,
                                     int32_t* denominator) {
    uint32_t num, den;
    ratioOf(FmPARResolve(code, fallback), &num, &den);
    if (numerator) *numerator = static_cast<int32_t>(num);
    if (denominator) *denominator = static_cast<int32_t>(den);
    return num != den;
}

RC_API double FmGetPixelAspectRatioF(FmPARCode code, FmPARCode fallback) {
    uint32_t num, den;
    ratioOf(FmPARResolve(code, fallback), &num, &den);
    return static_cast<double>(num) / den;
}

RC_API int32_t FmGetPixelAspectRatioStr(FmPARCode code, FmPARCode fallback, char* text) {
    char buffer[kPARTextSize];
    const int32_t differs = FmGetPixelAspectRatio(code, fallback, nullptr, nullptr);
    if (differs)
        FmFloatToStr(FmGetPixelAspectRatioF(code, fallback), buffer, 3);
    else
        std::strcpy(buffer, "1.0");
    if (text) std::strcpy(text, buffer);
    return differs;
}

RC_API int32_t FmGetPixelAspectRatioDesc(FmPARCode code, FmPARCode fallback, char* text,
                                         int32_t length) {
    code = FmPARResolve(code, fallback);
    char ratio[kPARTextSize];
    const int32_t result = FmGetPixelAspectRatioStr(code, fallback, ratio);
    if (!text || length <= 0) return result;
    const char* desc = ratio;
    for (int32_t i = 0; i < rc::aspect::presetCount(); ++i) {
        const FmPARPreset* p = rc::aspect::presetAt(i);
        if (FmPARCodesEqual(p->code, code)) {
            desc = p->name;
            break;
        }
    }
    const size_t n = strnlen(desc, static_cast<size_t>(length - 1));
    std::memcpy(text, desc, n);
    text[n] = '\0';
    return result;
}

RC_API int32_t FmPixelRectScale(FmPARCode code, FmRect* rect) {
    if (!rect) return 0;
    const int64_t width = int64_t{rect->right} - rect->left;
    const int32_t before = width > INT32_MAX ? INT32_MAX : static_cast<int32_t>(width);
    const int64_t after = FmPixelWidthScale(code, before);
    if (after == before) return 0;
    int64_t right = rect->left + after;
    if (right > INT32_MAX) right = INT32_MAX;
    if (right < INT32_MIN) right = INT32_MIN;
    rect->right = static_cast<int32_t>(right);
    return 1;
}

RC_API void FmInitPixelAspectRec(FmPixelAspectRec* record, const FmRect* frame, int32_t numerator,
                                 int32_t denominator) {
    if (!record) return;
    *record = FmPixelAspectRec{0, 0};
    if ((numerator == 0 || denominator == 0) && frame) {
        const int64_t w = int64_t{frame->right} - frame->left;
        const int64_t h = int64_t{frame->bottom} - frame->top;
        if (w >= INT32_MIN && w <= INT32_MAX && h >= INT32_MIN && h <= INT32_MAX) {
            if (const FmPARFrameDefault* e =
                    rc::aspect::findDefault(static_cast<int32_t>(w), static_cast<int32_t>(h))) {
                numerator = e->numerator;
                denominator = e->denominator;
            }
        }
    }
    FmPARCode code = kPARSquare;
    if (numerator != 0 && denominator != 0) code = FmPARRatioToCode(numerator, denominator);
    record->interpreted = record->original = code;
}

RC_API FmPARCode FmGetPixelAspectRatioForFile(const FmPixelAspectRec* record) {
    if (!record || record->interpreted == record->original) return 0;
    return record->interpreted;
}

RC_API void FmCalcMovieRect(const FmRect* frame, int32_t width, int32_t height, FmPARCode code,
                            Boolean centre, Boolean wholeSteps, FmRect* out) {
    if (!out) return;
    *out = FmRect{0, 0, 0, 0};
    int64_t fw = 0, fh = 0;
    if (frame) {
        fw = int64_t{frame->right} - frame->left;
        fh = int64_t{frame->bottom} - frame->top;
        if (fw <= 0 || fh <= 0) return;
    }
    if (width <= 0 || height <= 0) return;
    int64_t w = width, h = height;
    if (GetAGlobal(kSlotPARDisplay)) w = FmPixelWidthScale(code, width);
    if (frame) {
        if (wholeSteps) {
            w *= 4;
            h *= 4;
            while (w > fw || h > fh) {
                w /= 2;
                h /= 2;
            }
        } else if (w > fw || h > fh) {
            const double g = static_cast<double>(w) / static_cast<double>(h);
            if (g >= static_cast<double>(fw) / static_cast<double>(fh)) {
                w = fw;
                h = static_cast<int64_t>(static_cast<double>(fw) / g);
            } else {
                w = static_cast<int64_t>(g * static_cast<double>(fh));
                h = fh;
            }
        }
    }
    // Within a frame both fit in 32 bits; without one they came from 32 bits.
    out->right = static_cast<int32_t>(w);
    out->bottom = static_cast<int32_t>(h);
    if (frame && centre) {
        const int64_t left = frame->left + (fw - w) / 2;
        const int64_t top = frame->top + (fh - h) / 2;
        out->left = static_cast<int32_t>(left);
        out->top = static_cast<int32_t>(top);
        out->right = static_cast<int32_t>(left + w);
        out->bottom = static_cast<int32_t>(top + h);
    }
}
