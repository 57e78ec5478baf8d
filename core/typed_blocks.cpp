// Typed blocks: a 16-byte header and data; a container's total length also
// covers the sub-blocks that follow its data.
#include <cstring>

#include "reelcore/alerts.h"
#include "reelcore/memory.h"

namespace {

constexpr uint32_t kHeader = sizeof(TypedBlockHeader);

TypedBlockHeader headerAt(const void* p) {
    TypedBlockHeader h;
    std::memcpy(&h, p, sizeof h);
    return h;
}

// Calls visit(block, header) for each sub-block until it returns true.
// `limit` bounds the walk (the container's length, or less when the bytes
// that hold it are shorter). A block shorter than a header or running past
// the limit ends the walk.
template <typename Visit>
const char* walk(const void* container, uint64_t limit, Visit visit) {
    if (container == nullptr || limit < kHeader) return nullptr;
    const auto* base = static_cast<const char*>(container);
    const TypedBlockHeader outer = headerAt(base);
    if (outer.totalLength < limit) limit = outer.totalLength;
    uint64_t at = uint64_t{kHeader} + outer.dataLength;
    while (at + kHeader <= limit) {
        const TypedBlockHeader h = headerAt(base + at);
        if (h.totalLength < kHeader || h.totalLength > limit - at) break;
        if (visit(base + at, h)) return base + at;
        at += h.totalLength;
    }
    return nullptr;
}

bool typeMatches(OSType wanted, OSType type) {
    return wanted == static_cast<OSType>(kAnyBlockType) || wanted == type;
}

const char* find(OSType type, int32_t id, int32_t n, const void* container, uint64_t limit) {
    int32_t seen = 0;
    return walk(container, limit, [&](const char*, const TypedBlockHeader& h) {
        if (typeMatches(type, h.type)) {
            if (seen == n) return true;
            ++seen;
        }
        return h.type == type && h.id == id;
    });
}

uint64_t ownLength(const void* container) {
    return container ? headerAt(container).totalLength : 0;
}

}  // namespace

RC_API Handle BuildBlock(OSType type, int32_t id, uint32_t dataLength, const void* data) {
    if (dataLength > UINT32_MAX - kHeader || (dataLength > 0 && data == nullptr)) return nullptr;
    Handle h = FmNewHandle(kHeader + dataLength);
    if (h == nullptr) return nullptr;
    const TypedBlockHeader header{kHeader + dataLength, dataLength, type, id};
    std::memcpy(*h, &header, sizeof header);
    if (dataLength > 0) std::memcpy(*h + kHeader, data, dataLength);
    return h;
}

RC_API OSErr ExtendBlock(Handle container, Handle blockHandle) {
    if (container == nullptr || blockHandle == nullptr || *container == nullptr)
        return nilHandleErr;
    const uint32_t size = FmGetHandleSize(container);
    const uint32_t added = FmGetHandleSize(blockHandle);
    if (size < kHeader) return nilHandleErr;
    TypedBlockHeader outer = headerAt(*container);
    if (uint64_t{size} + added > UINT32_MAX || uint64_t{outer.totalLength} + added > UINT32_MAX)
        return memFullErr;
    if (FmSetHandleSize(container, size + added) != 0) return memFullErr;
    if (added > 0) std::memcpy(*container + size, *blockHandle, added);
    outer.totalLength += added;
    std::memcpy(*container, &outer, sizeof outer);
    FmDisposeHandle(blockHandle);
    return noErr;
}

RC_API int32_t CountTypeBlocks(OSType type, const void* container) {
    int32_t count = 0;
    walk(container, ownLength(container), [&](const char*, const TypedBlockHeader& h) {
        if (typeMatches(type, h.type)) ++count;
        return false;
    });
    return count;
}

RC_API void* FindBlock(OSType type, int32_t id, int32_t n, const void* container) {
    return const_cast<char*>(find(type, id, n, container, ownLength(container)));
}

RC_API Handle GetBlock(OSType type, int32_t id, int32_t n, Handle* h) {
    if (h == nullptr || *h == nullptr || **h == nullptr) return nullptr;
    const char* block = find(type, id, n, **h, FmGetHandleSize(*h));
    if (block == nullptr) return nullptr;
    const uint32_t length = headerAt(block).totalLength;
    Handle copy = FmNewHandle(length);
    if (copy == nullptr) return nullptr;
    std::memcpy(*copy, block, length);
    *h = copy;
    return copy;
}

RC_API void ExtractBlockData(const void* block, void* dst, int32_t* length) {
    if (length == nullptr) return;
    if (block == nullptr || dst == nullptr || *length <= 0) {
        *length = 0;
        return;
    }
    const TypedBlockHeader h = headerAt(block);
    // The data cannot be longer than the block itself.
    uint32_t available = h.totalLength >= kHeader ? h.totalLength - kHeader : 0;
    if (h.dataLength < available) available = h.dataLength;
    const uint32_t n =
        static_cast<uint32_t>(*length) < available ? static_cast<uint32_t>(*length) : available;
    std::memcpy(dst, static_cast<const char*>(block) + kHeader, n);
    *length = static_cast<int32_t>(n);
}
