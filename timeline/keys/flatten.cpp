// Flattening and unflattening XE parameter blocks, alone or as the keys of a
// CompSpec. The converted form is built aside and only then copied over the
// original, so a failure leaves the block as it was.
#include <algorithm>
#include <cstring>
#include <vector>

#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "timeline/keys/layout.h"
#include "timeline/keys/xe_hooks.h"

using namespace rc::keys;

namespace {

struct OwnedData {
    int16_t fileID;
    int32_t slot;
    Handle data;
};

void disposeAll(const std::vector<OwnedData>& list) {
    const auto& hooks = rc::keyhooks::xeHooks();
    for (const OwnedData& d : list) hooks.arbDispose(d.fileID, d.slot, d.data);
}

// Flat sizes of a live block's arbitrary data, appended in slot order.
bool collectFlatSizes(const uint8_t* block, const XeLayout& L, std::vector<int32_t>* sizes) {
    const auto& hooks = rc::keyhooks::xeHooks();
    for (int32_t i = 0; i < L.nParams; ++i) {
        if (!isArbSlot(L.slot[i])) continue;
        int32_t n = 0;
        if (Handle data = arbHandleAt(block, L.slot[i])) {
            if (hooks.arbFlatSize(L.fileID, i, data, &n) != noErr || n < 0 || n > (1 << 30))
                return false;
        }
        sizes->push_back(n);
    }
    return true;
}

// Length of a record in the target form.
int64_t targetLength(const XeSlot& s, bool toFlat, int32_t flatSize) {
    if (s.type != kXEParamArbitrary) return s.length;
    return toFlat ? int64_t(kXEArbRecordSize) + 4 + flatSize : int64_t(kXEArbRecordSize);
}

// Records' total in the target form, and the new offsets when asked; -1 when
// the block would not fit 32-bit sizes. flatSizes is read in slot order.
int64_t targetTotal(const XeLayout& L, bool toFlat, const int32_t* flatSizes, int32_t* newOffsets) {
    int64_t total = 0;
    for (int32_t i = 0; i < L.nParams; ++i) {
        const XeSlot& s = L.slot[i];
        if (s.start < 0) continue;
        const int32_t flatSize = isArbSlot(s) && toFlat ? *flatSizes++ : 0;
        if (newOffsets) newOffsets[i] = int32_t(total);
        total += targetLength(s, toFlat, flatSize);
        total = (total + 3) & ~int64_t(3);
        if (total > INT32_MAX / 2) return -1;
    }
    return total;
}

// Writes the converted block at dst (zero-filled, large enough). Live data
// made while unflattening is listed in `made`.
OSErr writeConverted(const uint8_t* src, const XeLayout& L, bool toFlat, const int32_t* flatSizes,
                     uint8_t* dst, std::vector<OwnedData>* made) {
    const auto& hooks = rc::keyhooks::xeHooks();
    int32_t newOffsets[kXEMaxParams];
    const int64_t total = targetTotal(L, toFlat, flatSizes, newOffsets);
    std::memcpy(dst, src, kXEBlockHeaderSize);
    store32(dst + 12, uint32_t(kXEBlockHeaderSize + total));
    dst[20] = toFlat ? 1 : 0;
    for (int32_t i = 0; i < L.nParams; ++i)
        store32(dst + 28 + 4 * i, L.slot[i].start < 0 ? uint32_t(-1) : uint32_t(newOffsets[i]));
    for (int32_t i = 0; i < L.nParams; ++i) {
        const XeSlot& s = L.slot[i];
        if (s.start < 0) continue;
        const uint8_t* rec = src + s.start;
        uint8_t* out = dst + kXEBlockHeaderSize + newOffsets[i];
        if (s.type != kXEParamArbitrary) {
            std::memcpy(out, rec, size_t(s.length));
        } else {
            std::memcpy(out, rec, kXEArbRecordSize);
            store32(out + kXEArbHandleOffset, 0);
            if (toFlat) {
                const int32_t n = *flatSizes++;
                store32(out + kXEArbRecordSize, uint32_t(n));
                Handle data = arbHandleAt(src, s);
                if (data && n > 0 &&
                    hooks.arbFlatten(L.fileID, i, data, out + kXEArbRecordSize + 4, n) != noErr)
                    return memFullErr;
            } else {
                // No flat data stands for no data, as null data flattens to none.
                const int32_t n = int32_t(load32(rec + kXEArbRecordSize));
                Handle data = nullptr;
                OSErr err =
                    n > 0 ? hooks.arbUnflatten(L.fileID, i, rec + kXEArbRecordSize + 4, n, &data)
                          : OSErr(noErr);
                if (data) made->push_back({L.fileID, i, data});
                if (err != noErr) return err;
                store32(out + kXEArbHandleOffset, HandleToWord(data));
            }
        }
        // Flattened records carry the registered parameter's identifier.
        store32(out, toFlat ? hooks.paramIdentifier(L.fileID, i) : 0);
    }
    return noErr;
}

// True when converting moves no record: no arbitrary data, records laid out
// from the header on and already of whole 4-byte lengths. Such a block is
// converted where it is, with nothing allocated.
bool convertsInPlace(const XeLayout& L) {
    if (L.firstStart < 0) return L.recordsEnd == 0;
    if (L.firstStart != kXEBlockHeaderSize) return false;
    for (int32_t i = 0; i < L.nParams; ++i) {
        const XeSlot& s = L.slot[i];
        if (s.start >= 0 && (s.type == kXEParamArbitrary || (s.length & 3) != 0)) return false;
    }
    return true;
}

void convertInPlace(uint8_t* block, const XeLayout& L, bool toFlat) {
    const auto& hooks = rc::keyhooks::xeHooks();
    store32(block + 12, uint32_t(kXEBlockHeaderSize + L.recordsEnd));
    block[20] = toFlat ? 1 : 0;
    for (int32_t i = 0; i < L.nParams; ++i)
        if (L.slot[i].start >= 0)
            store32(block + L.slot[i].start, toFlat ? hooks.paramIdentifier(L.fileID, i) : 0);
}

// The live data a block owns, for freeing once its flattened form replaced it.
void collectOwned(const uint8_t* block, const XeLayout& L, std::vector<OwnedData>* out) {
    for (int32_t i = 0; i < L.nParams; ++i)
        if (isArbSlot(L.slot[i]))
            if (Handle data = arbHandleAt(block, L.slot[i])) out->push_back({L.fileID, i, data});
}

// Replaces h's bytes with tmp's; false (h untouched) when h cannot be resized.
bool commit(Handle h, Handle tmp, uint32_t size) {
    if (SetHandleSize(h, size) != 0) return false;
    if (size) std::memcpy(*h, *tmp, size);
    return true;
}

int16_t convertSingle(Handle spec, bool toFlat) {
    XeLayout L;
    const XeCheck c = inspectXe(spec, &L);
    if (c == XeCheck::NotXe) return 0;
    if (c == XeCheck::Malformed) return -1;
    if (L.flat == toFlat) return 0;
    if (convertsInPlace(L)) {
        convertInPlace(bytesOf(spec), L, toFlat);
        return 0;
    }
    std::vector<int32_t> flatSizes;
    if (toFlat && !collectFlatSizes(bytesOf(spec), L, &flatSizes)) return -1;
    const int64_t total = targetTotal(L, toFlat, flatSizes.data(), nullptr);
    if (total < 0) return -1;
    const uint32_t size = uint32_t(kXEBlockHeaderSize + total);
    Handle tmp = NewHandleClear(size);
    if (!tmp) return -1;
    std::vector<OwnedData> made, old;
    OSErr err = writeConverted(bytesOf(spec), L, toFlat, flatSizes.data(), bytesOf(tmp), &made);
    if (toFlat) collectOwned(bytesOf(spec), L, &old);
    if (err != noErr || !commit(spec, tmp, size)) {
        disposeAll(made);
        DisposeHandle(tmp);
        return -1;
    }
    DisposeHandle(tmp);
    disposeAll(old);
    return 0;
}

int16_t convertComp(Handle comp, bool toFlat) {
    if (!hasCompMagic(comp)) return 0;
    CompView v;
    if (!readComp(comp, &v)) return -1;
    if (v.count == 0 || v.specSize == 0) return 0;
    const size_t keyLen = size_t(v.specSize);
    XeLayout L;
    const XeCheck first = inspectXe(bytesOf(comp) + v.dataOffset(0), keyLen, &L);
    if (first == XeCheck::NotXe) return 0;
    if (first == XeCheck::Malformed) return -1;
    if (L.flat == toFlat) return 0;

    // Sizes first: the new key size is the largest converted block.
    std::vector<int32_t> flatSizes;
    int64_t newSpecSize = 0;
    bool inPlace = true;
    for (int32_t k = 0; k < v.count; ++k) {
        const uint8_t* key = bytesOf(comp) + v.dataOffset(k);
        const XeCheck c = inspectXe(key, keyLen, &L);
        if (c == XeCheck::Malformed) return -1;
        int64_t size = v.specSize;
        if (c == XeCheck::Ok && L.flat != toFlat) {
            inPlace = inPlace && convertsInPlace(L);
            const size_t mark = flatSizes.size();
            if (toFlat && !collectFlatSizes(key, L, &flatSizes)) return -1;
            const int64_t total = targetTotal(L, toFlat, flatSizes.data() + mark, nullptr);
            if (total < 0) return -1;
            size = kXEBlockHeaderSize + total;
        }
        newSpecSize = std::max(newSpecSize, size);
    }
    if (inPlace && newSpecSize == v.specSize) {
        for (int32_t k = 0; k < v.count; ++k) {
            uint8_t* key = bytesOf(comp) + v.dataOffset(k);
            if (inspectXe(key, keyLen, &L) == XeCheck::Ok && L.flat != toFlat)
                convertInPlace(key, L, toFlat);
        }
        return 0;
    }
    const uint64_t newBytes =
        kCompSpecHeaderSize + uint64_t(v.count) * (uint64_t(newSpecSize) + kCompSpecTimeSize);
    if (newBytes > uint64_t(INT32_MAX)) return -1;
    Handle tmp = NewHandleClear(uint32_t(newBytes));
    if (!tmp) return -1;

    CompView to{v.count, int32_t(newSpecSize)};
    writeCompHeader(bytesOf(tmp), v.count, to.specSize);
    std::vector<OwnedData> made, old;
    const int32_t* sizes = flatSizes.data();
    OSErr err = noErr;
    for (int32_t k = 0; k < v.count && err == noErr; ++k) {
        const uint8_t* key = bytesOf(comp) + v.dataOffset(k);
        uint8_t* out = bytesOf(tmp) + to.dataOffset(k);
        store32(out - kCompSpecTimeSize, load32(key - kCompSpecTimeSize));
        if (inspectXe(key, keyLen, &L) == XeCheck::Ok && L.flat != toFlat) {
            err = writeConverted(key, L, toFlat, sizes, out, &made);
            if (toFlat) {
                for (int32_t i = 0; i < L.nParams; ++i) sizes += isArbSlot(L.slot[i]) ? 1 : 0;
                collectOwned(key, L, &old);
            }
        } else {
            std::memcpy(out, key, keyLen);
        }
    }
    if (err != noErr || !commit(comp, tmp, uint32_t(newBytes))) {
        disposeAll(made);
        DisposeHandle(tmp);
        return -1;
    }
    DisposeHandle(tmp);
    disposeAll(old);
    return 0;
}

Boolean flatByte(const uint8_t* block, size_t len) {
    XeLayout L;
    return inspectXe(block, len, &L) == XeCheck::Ok && L.flat;
}

}  // namespace

RC_API int16_t FlattenSingleSpec(Handle spec) {
    return convertSingle(spec, true);
}

RC_API int16_t UnflattenSingleSpec(Handle spec) {
    return convertSingle(spec, false);
}

RC_API int16_t FlattenCompSpec(Handle comp) {
    return convertComp(comp, true);
}

RC_API int16_t UnflattenCompSpec(Handle comp) {
    return convertComp(comp, false);
}

RC_API Boolean IsSingleSpecFlattened(Handle spec) {
    if (!spec || !*spec) return false;
    return flatByte(bytesOf(spec), GetHandleSize(spec));
}

RC_API Boolean IsCompSpecFlattened(Handle comp) {
    CompView v;
    if (!readComp(comp, &v) || v.count == 0) return false;
    return flatByte(bytesOf(comp) + v.dataOffset(0), size_t(v.specSize));
}
