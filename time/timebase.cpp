// The process-wide time bases, rate helpers and the rate dialogs.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/timerecord.h"
#include "time/rational.h"

namespace {

TDB* slotRecord(int32_t slot) {
    return reinterpret_cast<TDB*>(GetAGlobal(slot));
}

void storeInSlot(int32_t slot, const TDB* t) {
    if (!t) return;
    TDB* block = slotRecord(slot);
    if (!block) {
        block = reinterpret_cast<TDB*>(FmNewPtrClear(sizeof(TDB)));
        if (!block) return;  // out of memory: the slot stays unset
        SetAGlobal(slot, reinterpret_cast<intptr_t>(block));
    }
    *block = *t;
}

int16_t headlessSpeedDialog(float*) {
    return kTimeDialogCancel;
}
int16_t headlessRateDialog(TDB*) {
    return kTimeDialogCancel;
}

SpeedDialogProc gSpeedDialog = headlessSpeedDialog;
AlternateRateDialogProc gRateDialog = headlessRateDialog;

}  // namespace

RC_API void* InitTDB(void* mediaInfo) {
    if (!mediaInfo) return mediaInfo;
    const TDB unit{0, 1, 1};
    auto* bytes = static_cast<unsigned char*>(mediaInfo);
    std::memcpy(bytes + kMediaInfoAudioTDB, &unit, sizeof unit);
    std::memcpy(bytes + kMediaInfoVideoTDB, &unit, sizeof unit);
    return mediaInfo;
}

RC_API int32_t MaxLen(const TDB* t) {
    if (!t) return 0;
    return rc::time::saturateInt32(int64_t{t->scale} * 10800);
}

RC_API TDB* GetCurrentTimeBase(int32_t second) {
    return slotRecord(second ? kSlotCurrentTimeBase2 : kSlotCurrentTimeBase);
}

RC_API void SetCurrentTimeBase(int32_t second, const TDB* t) {
    storeInSlot(second ? kSlotCurrentTimeBase2 : kSlotCurrentTimeBase, t);
}

RC_API TDB* GetPreferredTimeBase(int32_t second) {
    return slotRecord(second ? kSlotPreferredTimeBase2 : kSlotPreferredTimeBase);
}

RC_API void SetPreferredTimeBase(int32_t second, const TDB* t) {
    storeInSlot(second ? kSlotPreferredTimeBase2 : kSlotPreferredTimeBase, t);
}

RC_API int32_t GetRate(int32_t code) {
    switch (code & 0xFF) {
        case 1:
            return 5000;
        case 2:
            return 11025;
        case 8:
            return 44100;
        case 16:
            return 48000;
        case 32:
            return 8000;
        case 64:
            return 32000;
        case 128:
            return 3600;
        default:
            return 22050;
    }
}

RC_API void TDB_FRate2Duration(double rate, TDB* out) {
    if (!out) return;
    out->value = 0;
    out->scale = 0;
    out->samp = 1;
    // The rate as "%f" prints it: whole digits, a point and six decimals.
    // Anything of 2^63 or more (or not a number) has no 32-bit form anyway.
    if (!std::isfinite(rate) || std::fabs(rate) >= 9.0e12) return;
    char text[64];
    std::snprintf(text, sizeof text, "%f", rate);
    const char* p = text;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    int64_t n = 0, d = 1;
    bool afterPoint = false;
    for (; *p; ++p) {
        if (*p >= '0' && *p <= '9') {
            n = n * 10 + (*p - '0');
            if (afterPoint) d *= 10;
        } else {
            afterPoint = true;  // the locale's decimal separator
        }
    }
    if (n % d == 0) {
        n /= d;
        d = 1;
    } else {
        while (n % 10 == 0 && d > 1) {
            n /= 10;
            d /= 10;
        }
    }
    // Too many digits for 32 bits: give up decimals, rounding, while any are left.
    while (n > INT32_MAX && d > 1) {
        n = (n + 5) / 10;
        d /= 10;
    }
    if (n > INT32_MAX) return;
    out->scale = static_cast<int32_t>(negative ? -n : n);
    out->samp = static_cast<int32_t>(d);
}

RC_API SpeedDialogProc SetSpeedDialogProc(SpeedDialogProc proc) {
    SpeedDialogProc previous = gSpeedDialog;
    gSpeedDialog = proc ? proc : headlessSpeedDialog;
    return previous;
}

RC_API AlternateRateDialogProc SetAlternateRateDialogProc(AlternateRateDialogProc proc) {
    AlternateRateDialogProc previous = gRateDialog;
    gRateDialog = proc ? proc : headlessRateDialog;
    return previous;
}

RC_API int16_t GetSpeed(float* speedPercent) {
    if (!speedPercent) return kTimeDialogCancel;
    return gSpeedDialog(speedPercent) == kTimeDialogOK ? kTimeDialogOK : kTimeDialogCancel;
}

RC_API int16_t GetAlternateRate(TDB* rate) {
    if (!rate) return kTimeDialogCancel;
    return gRateDialog(rate) == kTimeDialogOK ? kTimeDialogOK : kTimeDialogCancel;
}
