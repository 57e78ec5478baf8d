// Blending two XE parameter blocks slot by slot.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "timeline/keys/arbdata.h"
#include "timeline/keys/blend.h"
#include "timeline/keys/keys_internal.h"
#include "timeline/keys/xe_hooks.h"

namespace rc::keys {

namespace {

constexpr ValueType kLong{ValueKind::Signed, 4};
constexpr ValueType kColour{ValueKind::Colour, 4};
constexpr ValueType kReal{ValueKind::Real, 8};

// Blends the value of one record body in place of s0's copy.
void blendBody(int32_t type, const uint8_t* a, const uint8_t* b, uint8_t* out, double f) {
    switch (type) {
        case kXEParamSlider:
        case kXEParamFixedSlider:  // 16.16, blended as an integer
        case kXEParamAngle:
            blendValue(kLong, a, b, out, f);
            break;
        case kXEParamColor:
            blendValue(kColour, a, b, out, f);
            break;
        case kXEParamPoint:
            blendValue(kLong, a, b, out, f);
            blendValue(kLong, a + 4, b + 4, out + 4, f);
            break;
        case kXEParamFloatSlider:
            blendValue(kReal, a, b, out, f);
            break;
        default:
            break;  // carried, never blended
    }
}

}  // namespace

Handle blendXe(Handle s0, Handle s1, double fraction) {
    const double f = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
    if (UnflattenSingleSpec(s0) != 0 || UnflattenSingleSpec(s1) != 0) return nullptr;
    XeLayout a, b;
    if (inspectXe(s0, &a) != XeCheck::Ok || inspectXe(s1, &b) != XeCheck::Ok) return nullptr;
    const uint32_t size = GetHandleSize(s0);
    Handle result = NewHandle(size);
    if (!result) return nullptr;
    std::memcpy(*result, *s0, size);
    // The result owns no data until it is given its own below.
    for (int32_t i = 0; i < a.nParams; ++i)
        if (isArbSlot(a.slot[i]))
            store32(bytesOf(result) + a.slot[i].start + kXEArbHandleOffset, 0);

    const auto& hooks = keyhooks::xeHooks();
    for (int32_t i = 0; i < a.nParams; ++i) {
        const XeSlot& sa = a.slot[i];
        if (sa.start < 0) continue;
        const bool inBoth = i < b.nParams && b.slot[i].start >= 0 && b.slot[i].type == sa.type;
        const bool blend = inBoth && !(sa.flags & kXEParamCannotInterp);
        const uint8_t* ra = bytesOf(s0) + sa.start;
        const uint8_t* rb = inBoth ? bytesOf(s1) + b.slot[i].start : nullptr;
        if (sa.type == kXEParamArbitrary) {
            Handle data = arbHandleAt(bytesOf(s0), sa);
            Handle made = nullptr;
            OSErr err = noErr;
            if (blend)
                err = hooks.arbInterpolate(a.fileID, i, data, arbHandleAt(bytesOf(s1), b.slot[i]),
                                           f, &made);
            else if (data)
                err = hooks.arbCopy(a.fileID, i, data, &made);
            if (err != noErr) {
                if (made) hooks.arbDispose(a.fileID, i, made);
                DisposeSingleSpec(result);
                return nullptr;
            }
            store32(bytesOf(result) + sa.start + kXEArbHandleOffset, HandleToWord(made));
            continue;
        }
        if (blend)
            blendBody(sa.type, ra + kXERecordHeadSize, rb + kXERecordHeadSize,
                      bytesOf(result) + sa.start + kXERecordHeadSize, f);
    }
    return result;
}

}  // namespace rc::keys
