// The key list of a CompSpec: creation, access, insertion, replacement,
// removal, copies and disposal.
#include <algorithm>
#include <cstring>

#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "timeline/keys/arbdata.h"
#include "timeline/keys/keys_internal.h"

using namespace rc::keys;

namespace rc::keys {

int32_t keyIndex(const CompView& view, int32_t index) {
    if (index < 0) index = 0;
    return index < view.count ? index : -1;
}

Handle copyKey(Handle comp, const CompView& view, int32_t index) {
    if (view.specSize == 0) return nullptr;
    Handle h = NewHandle(uint32_t(view.specSize));
    if (!h) return nullptr;
    const uint8_t* key = bytesOf(comp) + view.dataOffset(index);
    if (copySpecBytes(key, size_t(view.specSize), bytesOf(h), size_t(view.specSize)) != noErr) {
        DisposeHandle(h);
        return nullptr;
    }
    return h;
}

}  // namespace rc::keys

namespace {

size_t handleBytes(Handle h) {
    return (h && *h) ? GetHandleSize(h) : 0;
}
const uint8_t* bytesOrNull(Handle h) {
    return (h && *h) ? bytesOf(h) : nullptr;
}
bool malformedSpec(Handle spec) {
    XeLayout L;
    return spec && inspectXe(spec, &L) == XeCheck::Malformed;
}

}  // namespace

RC_API Handle NewCompSpec(Handle spec, int16_t fileID, int32_t time) {
    if (spec && !FmIsValidHandle(spec)) return nullptr;
    if (malformedSpec(spec)) return nullptr;
    if (spec && !resizeToDeclaredSize(spec, fileID)) return nullptr;
    const size_t n = handleBytes(spec);
    if (n > size_t(INT32_MAX) - kCompSpecHeaderSize - kCompSpecTimeSize) return nullptr;
    Handle comp = NewHandle(uint32_t(kCompSpecHeaderSize + kCompSpecTimeSize + n));
    if (!comp) return nullptr;
    uint8_t* p = bytesOf(comp);
    writeCompHeader(p, 1, int32_t(n));
    store32(p + kCompSpecHeaderSize, uint32_t(time));
    if (n && copySpecBytes(bytesOrNull(spec), n, p + kCompSpecHeaderSize + kCompSpecTimeSize, n) !=
                 noErr) {
        DisposeHandle(comp);
        return nullptr;
    }
    return comp;
}

RC_API int32_t CountSingleSpecs(Handle comp) {
    CompView v;
    return readComp(comp, &v) ? v.count : 0;
}

RC_API int32_t SingleSpecSize(Handle comp) {
    CompView v;
    return readComp(comp, &v) ? v.specSize : 0;
}

RC_API int32_t GetSingleSpecTime(Handle comp, int32_t index) {
    CompView v;
    if (!readComp(comp, &v)) return 0;
    const int32_t i = keyIndex(v, index);
    return i < 0 ? 0 : int32_t(load32(bytesOf(comp) + v.keyOffset(i)));
}

RC_API void SetSingleSpecTime(Handle comp, int32_t index, int32_t time) {
    CompView v;
    if (!readComp(comp, &v)) return;
    const int32_t i = keyIndex(v, index);
    if (i >= 0) store32(bytesOf(comp) + v.keyOffset(i), uint32_t(time));
}

RC_API Handle GetSingleSpec(Handle comp, int32_t index, int32_t* time) {
    if (time) *time = 0;
    if (!comp || UnflattenCompSpec(comp) != 0) return nullptr;
    CompView v;
    if (!readComp(comp, &v)) return nullptr;
    const int32_t i = keyIndex(v, index);
    if (i < 0) return nullptr;
    if (time) *time = int32_t(load32(bytesOf(comp) + v.keyOffset(i)));
    return copyKey(comp, v, i);
}

RC_API OSErr InsertSingleSpec(Handle comp, Handle spec, int32_t index, int32_t time) {
    CompView v;
    if (!readComp(comp, &v) || malformedSpec(spec)) return kBadSpec;
    const size_t specBytes = handleBytes(spec);
    if (v.count == 0) {
        if (specBytes > size_t(INT32_MAX) - kCompSpecHeaderSize - kCompSpecTimeSize)
            return kBadSpec;
        v.specSize = int32_t(specBytes);
    }
    const uint64_t newBytes = uint64_t(v.bytes()) + v.stride();
    if (v.count == INT32_MAX || newBytes > uint64_t(INT32_MAX)) return memFullErr;
    if (SetHandleSize(comp, uint32_t(newBytes)) != 0) return memFullErr;
    const int32_t at = std::clamp(index, 0, v.count);
    uint8_t* p = bytesOf(comp);
    uint8_t* key = p + v.keyOffset(at);
    std::memmove(key + v.stride(), key, v.bytes() - v.keyOffset(at));
    store32(key, uint32_t(time));
    const OSErr err =
        copySpecBytes(bytesOrNull(spec), specBytes, key + kCompSpecTimeSize, size_t(v.specSize));
    if (err != noErr) {
        std::memmove(key, key + v.stride(), v.bytes() - v.keyOffset(at));
        SetHandleSize(comp, uint32_t(v.bytes()));
        return err;
    }
    writeCompHeader(p, v.count + 1, v.specSize);
    return noErr;
}

RC_API OSErr ReplaceSingleSpec(Handle comp, Handle spec, int32_t index, int32_t time) {
    CompView v;
    if (!readComp(comp, &v) || malformedSpec(spec)) return kBadSpec;
    const int32_t i = keyIndex(v, index);
    if (i < 0) return kBadSpec;
    // The new bytes are made aside first, so a failure leaves the key as it was.
    Handle fresh = NewHandle(uint32_t(v.specSize));
    if (!fresh && v.specSize) return memFullErr;
    const OSErr err = v.specSize ? copySpecBytes(bytesOrNull(spec), handleBytes(spec),
                                                 bytesOf(fresh), size_t(v.specSize))
                                 : OSErr(noErr);
    if (err != noErr) {
        DisposeHandle(fresh);
        return err;
    }
    uint8_t* key = bytesOf(comp) + v.keyOffset(i);
    disposeArbitraryData(key + kCompSpecTimeSize, size_t(v.specSize));
    if (v.specSize) std::memcpy(key + kCompSpecTimeSize, *fresh, size_t(v.specSize));
    store32(key, uint32_t(time));
    if (fresh) DisposeHandle(fresh);
    return noErr;
}

RC_API int32_t RemoveSingleSpec(Handle comp, int32_t index) {
    CompView v;
    if (!readComp(comp, &v)) return 0;
    const int32_t i = keyIndex(v, index);
    if (i < 0) return v.count;
    uint8_t* p = bytesOf(comp);
    uint8_t* key = p + v.keyOffset(i);
    disposeArbitraryData(key + kCompSpecTimeSize, size_t(v.specSize));
    std::memmove(key, key + v.stride(), v.bytes() - v.keyOffset(i + 1));
    writeCompHeader(p, v.count - 1, v.specSize);
    SetHandleSize(comp, uint32_t(v.keyOffset(v.count - 1)));
    return v.count - 1;
}

RC_API Handle DupSingleSpec(Handle spec) {
    if (!spec || !FmIsValidHandle(spec)) return nullptr;
    const size_t n = handleBytes(spec);
    Handle copy = NewHandle(uint32_t(n));
    if (!copy) return nullptr;
    if (n && copySpecBytes(bytesOf(spec), n, bytesOf(copy), n) != noErr) {
        DisposeHandle(copy);
        return nullptr;
    }
    return copy;
}

RC_API Handle DupCompSpec(Handle comp) {
    CompView v;
    if (!readComp(comp, &v)) return nullptr;
    const size_t n = v.bytes();
    Handle copy = NewHandle(uint32_t(n));
    if (!copy) return nullptr;
    std::memcpy(*copy, *comp, n);
    for (int32_t i = 0; i < v.count; ++i) {
        const size_t at = v.dataOffset(i);
        XeLayout L;
        const uint8_t* src = bytesOf(comp) + at;
        OSErr err = inspectXe(src, size_t(v.specSize), &L) == XeCheck::Malformed
                        ? kBadSpec
                        : adoptArbitraryData(src, size_t(v.specSize), bytesOf(copy) + at,
                                             size_t(v.specSize), size_t(v.specSize));
        if (err != noErr) {
            for (int32_t k = 0; k < i; ++k)
                disposeArbitraryData(bytesOf(copy) + v.dataOffset(k), size_t(v.specSize));
            DisposeHandle(copy);
            return nullptr;
        }
    }
    return copy;
}

RC_API void DisposeSingleSpec(Handle spec) {
    if (!spec || !FmIsValidHandle(spec)) return;
    if (*spec) disposeArbitraryData(bytesOf(spec), GetHandleSize(spec));
    DisposeHandle(spec);
}

RC_API void DisposeCompSpec(Handle comp) {
    if (!comp || !FmIsValidHandle(comp)) return;
    CompView v;
    if (readComp(comp, &v))
        for (int32_t i = 0; i < v.count; ++i)
            disposeArbitraryData(bytesOf(comp) + v.dataOffset(i), size_t(v.specSize));
    DisposeHandle(comp);
}

RC_API Boolean IsVariable(Handle h) {
    return hasCompMagic(h) && GetHandleSize(h) > kCompSpecHeaderSize;
}
