// Lookup lists (`List` resources), arrays of fixed-size items in a handle,
// and two small memory helpers.
#include <cstring>

#include "core/resources_internal.h"
#include "reelcore/alerts.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"

namespace {

constexpr OSType kListType = 0x4C697374;  // 'List'

// Runs fn(values, count) on the list's 16-bit values, then lets the list be
// purged. Returns fallback when the list is missing.
template <typename Fn, typename R>
R withList(int16_t list, R fallback, Fn fn) {
    Handle h = GetResource(kListType, list);
    if (h == nullptr || *h == nullptr) return fallback;
    const int32_t count = static_cast<int32_t>(rc::res::resourceDataLength(h) / 2);
    const R result = fn(*h, count);
    FmHPurge(h);
    return result;
}

int16_t valueAt(const char* values, int32_t i) {
    int16_t v;
    std::memcpy(&v, values + 2 * i, 2);
    return v;
}

}  // namespace

RC_API int16_t DataLookup(int16_t list, int32_t index) {
    return withList(list, int16_t{0}, [&](const char* values, int32_t count) -> int16_t {
        return index >= 0 && index < count ? valueAt(values, index) : 0;
    });
}

RC_API int32_t ReverseLookup(int16_t list, int32_t value) {
    return withList(list, int32_t{-1}, [&](const char* values, int32_t count) -> int32_t {
        for (int32_t i = 0; i < count; ++i)
            if (valueAt(values, i) == value) return i;
        return -1;
    });
}

RC_API OSErr InsertHandItem(int32_t index, Handle h, int32_t itemSize, const void* item) {
    if (h == nullptr || itemSize <= 0 || item == nullptr) return nilHandleErr;
    const uint32_t size = FmGetHandleSize(h);
    const uint32_t count = size / static_cast<uint32_t>(itemSize);
    const uint32_t at =
        (index < 0 || static_cast<uint32_t>(index) > count) ? count : static_cast<uint32_t>(index);
    const uint64_t grown = uint64_t{count + 1} * static_cast<uint32_t>(itemSize);
    if (grown > UINT32_MAX || FmSetHandleSize(h, static_cast<uint32_t>(grown)) != 0)
        return memFullErr;
    char* base = *h;
    const size_t offset = size_t{at} * static_cast<size_t>(itemSize);
    std::memmove(base + offset + itemSize, base + offset,
                 size_t{count - at} * static_cast<size_t>(itemSize));
    std::memcpy(base + offset, item, static_cast<size_t>(itemSize));
    return noErr;
}

RC_API OSErr DeleteHandItem(int32_t index, Handle h, int32_t itemSize) {
    if (h == nullptr || itemSize <= 0) return nilHandleErr;
    const uint32_t count = FmGetHandleSize(h) / static_cast<uint32_t>(itemSize);
    if (index < 0 || static_cast<uint32_t>(index) >= count) return -1;
    char* base = *h;
    const size_t offset = static_cast<size_t>(index) * static_cast<size_t>(itemSize);
    std::memmove(base + offset, base + offset + itemSize,
                 size_t{count - 1 - static_cast<uint32_t>(index)} * static_cast<size_t>(itemSize));
    FmSetHandleSize(h, (count - 1) * static_cast<uint32_t>(itemSize));
    return noErr;
}

RC_API int32_t ForEachElement(Handle h, int32_t itemSize, ForEachProc proc, intptr_t argument,
                              intptr_t userData) {
    if (h == nullptr || itemSize <= 0 || proc == nullptr) return 0;
    const uint8_t state = FmHGetState(h);
    FmHLock(h);
    int32_t result = 0;
    const uint32_t count = FmGetHandleSize(h) / static_cast<uint32_t>(itemSize);
    for (uint32_t i = 0; i < count && *h != nullptr; ++i) {
        result = proc(*h + size_t{i} * static_cast<size_t>(itemSize), argument, userData);
        if (result != 0) break;
    }
    FmHSetState(h, state);
    return result;
}

RC_API void FillMem(void* address, int32_t count, uint8_t value) {
    if (address == nullptr || count <= 0) return;
    std::memset(address, value, static_cast<size_t>(count));
}

RC_API int32_t LimitLong(int32_t value) {
    return value < -16384 ? -16384 : value > 16383 ? 16383 : value;
}
