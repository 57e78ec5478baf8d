// Reading CompSpecs and XE parameter blocks safely. Both come from project
// files, so every count, offset and length is checked against the bytes that
// are really there before anything is read or written through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "reelcore/memory.h"
#include "reelcore/sdk/keyframes.h"
#include "reelcore/types.h"

namespace rc::keys {

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}
inline uint8_t* bytesOf(Handle h) {
    return reinterpret_cast<uint8_t*>(*h);
}
constexpr int32_t roundUp4(int32_t n) {
    return (n + 3) & ~3;
}

// ---- CompSpec ----

struct CompView {
    int32_t count = 0;
    int32_t specSize = 0;
    size_t stride() const { return size_t(specSize) + kCompSpecTimeSize; }
    size_t keyOffset(int32_t i) const { return kCompSpecHeaderSize + size_t(i) * stride(); }
    size_t dataOffset(int32_t i) const { return keyOffset(i) + kCompSpecTimeSize; }
    size_t bytes() const { return keyOffset(count); }
};

// The two magic words at the start of a block of at least 16 bytes.
bool hasCompMagic(Handle h);
// Reads the header of a CompSpec whose counts fit its Handle.
bool readComp(Handle h, CompView* view);
void writeCompHeader(uint8_t* p, int32_t count, int32_t specSize);

// ---- XE parameter blocks ----

enum class XeCheck { NotXe, Malformed, Ok };

struct XeSlot {
    int32_t start = -1;  // from the start of the block; -1 when the slot is empty
    int32_t length = 0;
    int32_t type = 0;
    uint32_t flags = 0;
};

struct XeLayout {
    bool flat = false;
    int16_t fileID = 0;
    int32_t nParams = 0;
    int32_t recordsEnd = 0;  // the block covers kXEBlockHeaderSize + recordsEnd bytes
    int32_t firstStart = -1;
    XeSlot slot[kXEMaxParams];  // slots from nParams on are not filled in
};

// Body bytes the descriptor schema gives a parameter type, and its letter.
struct XeTypeInfo {
    char letter;
    int32_t bodySize;
};
XeTypeInfo xeTypeInfo(int32_t type);
// The body size of a descriptor letter, -1 for an unknown letter.
int32_t xeLetterBodySize(char letter);

// Checks an XE block held in `avail` bytes. A block whose `size` leaves out
// the header (written so by older versions) is still accepted, its last
// record ending with the data present.
XeCheck inspectXe(const uint8_t* p, size_t avail, XeLayout* layout);
inline XeCheck inspectXe(Handle h, XeLayout* layout) {
    const uint32_t size = h ? GetHandleSize(h) : 0;
    if (size == 0 || !*h) return XeCheck::NotXe;
    return inspectXe(bytesOf(h), size, layout);
}

// The data Handle of a live arbitrary-data record, null when the word does
// not name a live Handle.
Handle arbHandleAt(const uint8_t* block, const XeSlot& s);
inline bool isArbSlot(const XeSlot& s) {
    return s.start >= 0 && s.type == kXEParamArbitrary;
}

}  // namespace rc::keys
