// Imagist parameter memory and the SingleSpecs stored for it. The memory is
// always a host block (a Handle, or for tag 5 a pointer block), so its size
// is known; a block the host did not make is refused.
//
//   tag   memory                                        SingleSpec
//   0, 2  Handle of the bytes (0 locked)                tag, bytes
//   1, 3  Handle: a pointer to byte 8, then the bytes   tag, self-pointing marker, bytes
//   4     a Handle of another kind of module            tag, bytes
//   5     {pointer to the data, 'FOTO'}, then the data  tag, data bytes
//
// The tag-5 data lives in the same locked block, just after the pointer and
// the mark, so the host knows its size; a pointer elsewhere is refused.
#include <cstring>

#include "plugins/effects/effect_host.h"
#include "reelcore/filetable.h"
#include "reelcore/memory.h"
#include "timeline/keys/keys_internal.h"

namespace rc::effects {
namespace {

constexpr size_t kTagSize = 4;
constexpr size_t kSelfWord = sizeof(void*);

Handle specOf(uint32_t tag, uint32_t marker, bool withMarker, const void* bytes, size_t length) {
    const size_t head = kTagSize + (withMarker ? 4 : 0);
    Handle spec = NewHandleClear(uint32_t(head + length));
    if (!spec) return nullptr;
    std::memcpy(*spec, &tag, 4);
    if (withMarker) std::memcpy(*spec + 4, &marker, 4);
    if (length) std::memcpy(*spec + head, bytes, length);
    return spec;
}

bool selfPointing(uint32_t tag) {
    return tag == kSpecTagLockedSelf || tag == kSpecTagSharedSelf;
}

// The SingleSpec sized to what the filter declares: its parameters after the
// tag, and the marker word of tags 1 and 3.
bool resizeDeclared(Handle spec, int16_t fileID, uint32_t tag) {
    const int32_t declared = keys::declaredSpecSize(fileID);
    if (declared <= 0) return true;
    const uint32_t want = uint32_t(declared) + (selfPointing(tag) ? 4 : 0);
    const uint32_t old = GetHandleSize(spec);
    if (want == old) return true;
    if (SetHandleSize(spec, want) != noErr) return false;
    if (want > old) std::memset(*spec + old, 0, want - old);
    return true;
}

Handle imagistSpec(int16_t fileID, Handle memory, uint32_t tag) {
    Handle spec = nullptr;
    const size_t size = GetHandleSize(memory);
    switch (tag) {
        case kSpecTagLocked:
        case kSpecTagShared:
            spec = specOf(tag, 0, false, *memory, size);
            break;
        case kSpecTagLockedSelf:
        case kSpecTagSharedSelf: {
            if (size < kSelfWord) return nullptr;
            uintptr_t first;
            std::memcpy(&first, *memory, sizeof first);
            const uint32_t marker = first == uintptr_t(*memory + kSelfWord) ? 1 : 0;
            spec = specOf(tag, marker, true, *memory + kSelfWord, size - kSelfWord);
            break;
        }
        case kSpecTagPointer: {
            constexpr size_t head = kSelfWord + 4;
            if (size < head) return nullptr;
            uintptr_t data;
            uint32_t mark;
            std::memcpy(&data, *memory, sizeof data);
            std::memcpy(&mark, *memory + kSelfWord, 4);
            if (mark != kSpecFotoMark || data != uintptr_t(*memory + head)) return nullptr;
            spec = specOf(tag, 0, false, *memory + head, size - head);
            break;
        }
        default:
            spec = specOf(tag, 0, false, *memory, size);
            break;
    }
    if (spec && !resizeDeclared(spec, fileID, tag)) {
        DisposeHandle(spec);
        return nullptr;
    }
    return spec;
}

Handle handleOfBytes(const uint8_t* bytes, size_t length, size_t head) {
    Handle h = NewHandleClear(uint32_t(head + length));
    if (h && length) std::memcpy(*h + head, bytes, length);
    return h;
}

}  // namespace
}  // namespace rc::effects

using namespace rc::effects;

RC_API Handle SpecToHand(int16_t fileID, Handle memory, int32_t tag) {
    if (!memory || !FmIsValidHandle(memory) || !*memory) return nullptr;
    Handle spec;
    if (GetFileTypeID(fileID) == kKindImagist)
        spec = imagistSpec(fileID, memory, uint32_t(tag));
    else
        spec = specOf(kSpecTagHandle, 0, false, *memory, GetHandleSize(memory));
    if (spec) DisposeHandle(memory);
    return spec;
}

RC_API Handle CreateSpec(const void* bytes, int32_t length) {
    if (!bytes || length < 0) return nullptr;
    const auto* p = static_cast<const uint8_t*>(bytes);
    const size_t n = size_t(length);
    uint32_t tag = 0xFFFFFFFF;
    if (n >= kTagSize) std::memcpy(&tag, p, 4);
    switch (tag) {
        case kSpecTagLocked:
        case kSpecTagShared:
        case kSpecTagHandle: {
            Handle h = handleOfBytes(p + 4, n - 4, 0);
            if (h && tag == kSpecTagLocked) HLock(h);
            return h;
        }
        case kSpecTagLockedSelf:
        case kSpecTagSharedSelf: {
            const size_t body = n >= 8 ? n - 8 : 0;
            uint32_t marker = 0;
            if (n >= 8) std::memcpy(&marker, p + 4, 4);
            Handle h = handleOfBytes(p + 8, body, kSelfWord);
            if (!h) return nullptr;
            if (tag == kSpecTagLockedSelf) HLock(h);
            const uintptr_t first = marker ? uintptr_t(*h + kSelfWord) : 0;
            std::memcpy(*h, &first, sizeof first);
            return h;
        }
        case kSpecTagPointer: {
            constexpr size_t head = kSelfWord + 4;
            Handle h = handleOfBytes(p + 4, n - 4, head);
            if (!h) return nullptr;
            HLock(h);
            const uintptr_t data = uintptr_t(*h + head);
            const uint32_t mark = kSpecFotoMark;
            std::memcpy(*h, &data, sizeof data);
            std::memcpy(*h + kSelfWord, &mark, 4);
            return h;
        }
        default:
            return handleOfBytes(p, n, 0);
    }
}
