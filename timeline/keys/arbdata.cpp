// Deep copy and disposal of arbitrary data in live XE blocks.
#include "timeline/keys/arbdata.h"

#include <algorithm>
#include <cstring>

#include "timeline/keys/xe_hooks.h"

namespace rc::keys {

OSErr adoptArbitraryData(const uint8_t* src, size_t srcLen, uint8_t* dst, size_t dstLen,
                         size_t copied) {
    XeLayout from;
    if (inspectXe(src, srcLen, &from) != XeCheck::Ok || from.flat) return noErr;
    for (int32_t i = 0; i < from.nParams; ++i) {
        const XeSlot& s = from.slot[i];
        if (isArbSlot(s) && size_t(s.start) + kXEArbHandleOffset + 4 <= copied)
            store32(dst + s.start + kXEArbHandleOffset, 0);
    }
    XeLayout to;
    if (inspectXe(dst, dstLen, &to) != XeCheck::Ok || to.flat) return noErr;
    const auto& hooks = keyhooks::xeHooks();
    for (int32_t i = 0; i < to.nParams; ++i) {
        const XeSlot& s = to.slot[i];
        if (!isArbSlot(s)) continue;
        // A record the copy cut short, or laid out differently, owns nothing.
        if (i >= from.nParams || from.slot[i].start != s.start || !isArbSlot(from.slot[i]))
            continue;
        Handle data = arbHandleAt(src, s);
        if (!data) continue;
        Handle copy = nullptr;
        OSErr err = hooks.arbCopy(to.fileID, i, data, &copy);
        if (err != noErr) {
            if (copy) hooks.arbDispose(to.fileID, i, copy);
            disposeArbitraryData(dst, dstLen);
            return err;
        }
        store32(dst + s.start + kXEArbHandleOffset, HandleToWord(copy));
    }
    return noErr;
}

void disposeArbitraryData(uint8_t* block, size_t len) {
    XeLayout L;
    if (inspectXe(block, len, &L) != XeCheck::Ok || L.flat) return;
    const auto& hooks = keyhooks::xeHooks();
    for (int32_t i = 0; i < L.nParams; ++i) {
        const XeSlot& s = L.slot[i];
        if (!isArbSlot(s)) continue;
        if (Handle data = arbHandleAt(block, s)) hooks.arbDispose(L.fileID, i, data);
        store32(block + s.start + kXEArbHandleOffset, 0);
    }
}

OSErr copySpecBytes(const uint8_t* src, size_t srcLen, uint8_t* dst, size_t dstLen) {
    XeLayout L;
    if (inspectXe(src, srcLen, &L) == XeCheck::Malformed) return kBadSpec;
    const size_t n = std::min(srcLen, dstLen);
    if (n) std::memcpy(dst, src, n);
    if (dstLen > n) std::memset(dst + n, 0, dstLen - n);
    return adoptArbitraryData(src, srcLen, dst, dstLen, n);
}

}  // namespace rc::keys
