// Checks of CompSpecs and XE parameter blocks against the bytes they occupy.
#include "timeline/keys/layout.h"

#include <algorithm>

namespace rc::keys {

bool hasCompMagic(Handle h) {
    if (!h || GetHandleSize(h) < kCompSpecHeaderSize || !*h) return false;
    const uint8_t* p = bytesOf(h);
    return load32(p) == kCompSpecMagic1 && load32(p + 4) == kCompSpecMagic2;
}

bool readComp(Handle h, CompView* view) {
    if (!hasCompMagic(h)) return false;
    const uint8_t* p = bytesOf(h);
    const int32_t count = int32_t(load32(p + 8));
    const int32_t specSize = int32_t(load32(p + 12));
    if (count < 0 || specSize < 0) return false;
    const uint64_t need =
        kCompSpecHeaderSize + uint64_t(count) * (uint64_t(specSize) + kCompSpecTimeSize);
    if (need > GetHandleSize(h)) return false;
    view->count = count;
    view->specSize = specSize;
    return true;
}

void writeCompHeader(uint8_t* p, int32_t count, int32_t specSize) {
    store32(p, kCompSpecMagic1);
    store32(p + 4, kCompSpecMagic2);
    store32(p + 8, uint32_t(count));
    store32(p + 12, uint32_t(specSize));
}

XeTypeInfo xeTypeInfo(int32_t type) {
    switch (type) {
        case kXEParamLayer:
            return {'L', 76};
        case kXEParamSlider:
            return {'I', 88};
        case kXEParamFixedSlider:
            return {'F', 92};
        case kXEParamAngle:
            return {'A', 8};
        case kXEParamCheckbox:
            return {'B', 8};
        case kXEParamColor:
            return {'C', 8};
        case kXEParamPoint:
            return {'T', 20};
        case kXEParamPopup:
            return {'P', 8};
        case kXEParamFloatSlider:
            return {'D', 80};
        case kXEParamArbitrary:
            return {'R', 4};
        case kXEParamPath:
            return {'H', 12};
        default:
            return {'U', 0};
    }
}

int32_t xeLetterBodySize(char letter) {
    static const struct {
        char letter;
        int32_t body;
    } kLetters[] = {{'L', 76}, {'I', 88}, {'F', 92}, {'A', 8}, {'B', 8},  {'C', 8},
                    {'T', 20}, {'P', 8},  {'D', 80}, {'R', 4}, {'H', 12}, {'U', 0}};
    for (const auto& l : kLetters)
        if (l.letter == letter) return l.body;
    return -1;
}

namespace {

// Lays the records out for a records area of `end` bytes; false when an
// offset or a record does not fit.
bool layoutRecords(const uint8_t* p, int32_t n, bool flat, int64_t end, XeLayout* L) {
    if (end < 0 || end > INT32_MAX - kXEBlockHeaderSize) return false;
    const uint8_t* records = p + kXEBlockHeaderSize;
    int32_t prev = -1;
    L->firstStart = -1;
    // Only the slots below nParams are ever read.
    for (int32_t i = 0; i < n; ++i) L->slot[i] = XeSlot{};
    for (int32_t i = 0; i < n; ++i) {
        const int32_t off = int32_t(load32(p + 28 + 4 * i));
        if (off == -1) continue;
        if (off < 0 || (off & 3) != 0 || off >= end) return false;
        if (prev >= 0) {
            const int32_t prevOff = L->slot[prev].start - kXEBlockHeaderSize;
            if (off <= prevOff) return false;
            L->slot[prev].length = off - prevOff;
        } else {
            L->firstStart = kXEBlockHeaderSize + off;
        }
        L->slot[i].start = kXEBlockHeaderSize + off;
        prev = i;
    }
    if (prev >= 0) L->slot[prev].length = int32_t(end) - (L->slot[prev].start - kXEBlockHeaderSize);

    for (int32_t i = 0; i < n; ++i) {
        XeSlot& s = L->slot[i];
        if (s.start < 0) continue;
        if (s.length < kXERecordHeadSize) return false;
        const uint8_t* rec = records + (s.start - kXEBlockHeaderSize);
        s.type = int32_t(load32(rec + 12));
        s.flags = load32(rec + 48);
        int64_t need = kXERecordHeadSize + xeTypeInfo(s.type).bodySize;
        if (s.type == kXEParamArbitrary) {
            need = kXEArbRecordSize;
            if (flat) {
                if (s.length < kXEArbRecordSize + 4) return false;
                const int32_t dataLen = int32_t(load32(rec + kXEArbRecordSize));
                if (dataLen < 0) return false;
                need = int64_t(kXEArbRecordSize) + 4 + dataLen;
            }
        }
        if (s.length < need) return false;
    }
    L->recordsEnd = int32_t(end);
    return true;
}

}  // namespace

XeCheck inspectXe(const uint8_t* p, size_t avail, XeLayout* L) {
    if (!p || avail < 8) return XeCheck::NotXe;
    if (load32(p) != kXEBlockMagic || load32(p + 4) != kXEBlockKind) return XeCheck::NotXe;
    if (avail < kXEBlockHeaderSize) return XeCheck::Malformed;
    const uint32_t n = load32(p + 24);
    if (n > uint32_t(kXEMaxParams)) return XeCheck::Malformed;
    const uint32_t size = load32(p + 12);
    L->flat = p[20] != 0;
    L->fileID = int16_t(load32(p + 16) & 0xFFFF);
    L->nParams = int32_t(n);
    const int64_t room = int64_t(avail) - kXEBlockHeaderSize;
    const int64_t asWritten = int64_t(size) - kXEBlockHeaderSize;
    if (asWritten >= 0 && asWritten <= room && layoutRecords(p, int32_t(n), L->flat, asWritten, L))
        return XeCheck::Ok;
    // Older writers left the header out of `size`: the records then end
    // `size` bytes after the header.
    const int64_t headerless = size;
    if (headerless <= room && layoutRecords(p, int32_t(n), L->flat, headerless, L))
        return XeCheck::Ok;
    return XeCheck::Malformed;
}

Handle arbHandleAt(const uint8_t* block, const XeSlot& s) {
    const uint32_t word = load32(block + s.start + kXEArbHandleOffset);
    if (word == 0) return nullptr;
    Handle h = WordToHandle(word);
    return FmIsValidHandle(h) ? h : nullptr;
}

}  // namespace rc::keys
