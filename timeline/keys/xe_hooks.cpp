// Default answers of the XE host calls: a module without filter info.
#include "timeline/keys/xe_hooks.h"

namespace rc::keyhooks {
namespace {

uint32_t noIdentifier(int16_t, int32_t) {
    return 0;
}
OSErr noCopy(int16_t, int32_t, Handle, Handle* out) {
    *out = nullptr;
    return noErr;
}
OSErr noDispose(int16_t, int32_t, Handle) {
    return noErr;
}
OSErr noFlatSize(int16_t, int32_t, Handle, int32_t* size) {
    *size = 0;
    return noErr;
}
OSErr noFlatten(int16_t, int32_t, Handle, void*, int32_t) {
    return noErr;
}
OSErr noUnflatten(int16_t, int32_t, const void*, int32_t, Handle* out) {
    *out = nullptr;
    return noErr;
}
OSErr noInterpolate(int16_t, int32_t, Handle, Handle, double, Handle* out) {
    *out = nullptr;
    return noErr;
}

constexpr XeHooks kDefaults{noIdentifier, noCopy,      noDispose,    noFlatSize,
                            noFlatten,    noUnflatten, noInterpolate};
XeHooks g_hooks = kDefaults;

}  // namespace

void setXeHooks(const XeHooks* hooks) {
    g_hooks = kDefaults;
    if (!hooks) return;
    // A partial table keeps the defaults for what it leaves out.
    if (hooks->paramIdentifier) g_hooks.paramIdentifier = hooks->paramIdentifier;
    if (hooks->arbCopy) g_hooks.arbCopy = hooks->arbCopy;
    if (hooks->arbDispose) g_hooks.arbDispose = hooks->arbDispose;
    if (hooks->arbFlatSize) g_hooks.arbFlatSize = hooks->arbFlatSize;
    if (hooks->arbFlatten) g_hooks.arbFlatten = hooks->arbFlatten;
    if (hooks->arbUnflatten) g_hooks.arbUnflatten = hooks->arbUnflatten;
    if (hooks->arbInterpolate) g_hooks.arbInterpolate = hooks->arbInterpolate;
}

const XeHooks& xeHooks() {
    return g_hooks;
}

}  // namespace rc::keyhooks
