// Plug-in property lists: the bounded walker and the exported readers.
#include <algorithm>
#include <cstring>

#include "core/resources_internal.h"
#include "plugins/pipl_reader.h"
#include "reelcore/filetable.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/resources.h"

namespace rc::plugins {

namespace {

constexpr uint32_t kPiplType = 0x5069504C;  // 'PiPL'

uint32_t read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Walks the properties; fn(property) returns true to stop. Returns false
// when the list is malformed before the walk ends.
template <class Fn>
bool walk(const uint8_t* bytes, size_t size, Fn&& fn) {
    if (bytes == nullptr || size < sizeof(RcPiPLHeader)) return false;
    const auto count = static_cast<int32_t>(read32(bytes + 4));
    if (count < 0 || static_cast<uint64_t>(count) > (size - 8) / sizeof(RcPiPLProperty))
        return false;
    size_t at = sizeof(RcPiPLHeader);
    for (int32_t i = 0; i < count; ++i) {
        if (size - at < sizeof(RcPiPLProperty)) return false;
        PiplProperty p;
        p.vendor = read32(bytes + at);
        p.key = read32(bytes + at + 4);
        p.id = static_cast<int32_t>(read32(bytes + at + 8));
        const auto length = static_cast<int32_t>(read32(bytes + at + 12));
        at += sizeof(RcPiPLProperty);
        if (length < 0 || static_cast<size_t>(length) > size - at) return false;
        p.data = bytes + at;
        p.length = static_cast<uint32_t>(length);
        // The last property may end without its padding.
        const size_t padded = (static_cast<size_t>(length) + 3) & ~size_t{3};
        at = std::min(size, at + padded);
        if (fn(p)) return true;
    }
    return true;
}

bool countedText(const PiplProperty& p, std::string& out) {
    if (p.length < 1 || p.data[0] > p.length - 1) return false;
    out.assign(reinterpret_cast<const char*>(p.data + 1), p.data[0]);
    return true;
}

}  // namespace

PiplView PiplView::of(Handle h) {
    if (h == nullptr || *h == nullptr) return PiplView(nullptr, 0);
    return PiplView(reinterpret_cast<const uint8_t*>(*h), rc::res::resourceDataLength(h));
}

bool PiplView::wellFormed() const {
    return walk(bytes_, size_, [](const PiplProperty&) { return false; });
}

int32_t PiplView::version() const {
    if (bytes_ == nullptr || size_ < 4) return -1;
    return static_cast<int32_t>(read32(bytes_));
}

bool PiplView::find(uint32_t vendor, uint32_t key, PiplProperty& out, bool anyID,
                    int32_t id) const {
    bool found = false;
    walk(bytes_, size_, [&](const PiplProperty& p) {
        if (p.vendor != vendor || p.key != key || (!anyID && p.id != id)) return false;
        out = p;
        found = true;
        return true;
    });
    return found;
}

bool PiplView::findCounted(uint32_t vendor, uint32_t key, std::string& out) const {
    PiplProperty p;
    return find(vendor, key, p) && countedText(p, out);
}

bool PiplView::stringsReadable() const {
    for (uint32_t key :
         {uint32_t(kRcPiPLName), uint32_t(kRcPiPLMatchName), uint32_t(kRcPiPLCategory)}) {
        PiplProperty p;
        std::string text;
        if (find(kRcPiPLVendor, key, p) && !countedText(p, text)) return false;
    }
    return true;
}

std::string cStringOf(const PiplProperty& p) {
    const auto* begin = reinterpret_cast<const char*>(p.data);
    return std::string(begin, strnlen(begin, p.length));
}

void copyCString(const std::string& text, char* dst, size_t room) {
    if (dst == nullptr || room == 0) return;
    const size_t n = std::min(text.size(), room - 1);
    std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

}  // namespace rc::plugins

using rc::plugins::copyCString;
using rc::plugins::PiplProperty;
using rc::plugins::PiplView;

namespace {

Boolean countedInto(Handle pipl, uint32_t vendor, uint32_t key, char* dst, size_t room) {
    std::string text;
    if (dst == nullptr || !PiplView::of(pipl).findCounted(vendor, key, text)) {
        if (dst) dst[0] = '\0';
        return 0;
    }
    copyCString(text, dst, room);
    return 1;
}

// Copies a property into a record of `size` bytes, cleared first.
Boolean recordInto(Handle pipl, uint32_t key, bool anyID, int32_t id, void* out, size_t size) {
    if (out == nullptr) return 0;
    std::memset(out, 0, size);
    PiplProperty p;
    if (!PiplView::of(pipl).find(kRcPiPLVendor, key, p, anyID, id)) return 0;
    std::memcpy(out, p.data, std::min<size_t>(p.length, size));
    return 1;
}

Handle newHandleOf(const void* bytes, size_t length) {
    Handle h = FmNewHandle(static_cast<uint32_t>(length));
    if (h != nullptr && length > 0) std::memcpy(*h, bytes, length);
    return h;
}

}  // namespace

RC_API Handle GetPiPLHandle(int16_t fileID) {
    const ResFileRef saved = CurResFile();
    if (OpenFmxRFile(fileID, 255) == -1) return nullptr;
    Handle copy = nullptr;
    int16_t id = 0;
    if (rc::res::lowestResourceID(rc::plugins::kPiplType, &id)) {
        Handle h = Get1Resource(rc::plugins::kPiplType, id);
        if (h != nullptr && *h != nullptr) copy = newHandleOf(*h, rc::res::resourceDataLength(h));
    }
    ReleaseRFile(fileID);
    UseResFile(saved);
    return copy;
}

RC_API OSType GetPiPLKind(Handle pipl) {
    PiplProperty p;
    if (!PiplView::of(pipl).find(kRcPiPLVendor, kRcPiPLKind, p) || p.length < 4) return 0;
    OSType kind;
    std::memcpy(&kind, p.data, 4);
    return kind;
}

RC_API Boolean GetPiPLName(Handle pipl, char* dst) {
    return countedInto(pipl, kRcPiPLVendor, kRcPiPLName, dst, 256);
}

RC_API Boolean GetPiPLMatchName(Handle pipl, char* dst) {
    return countedInto(pipl, kRcPiPLVendor, kRcPiPLMatchName, dst, kMatchNameSize);
}

RC_API Boolean GetPiPLCat(Handle pipl, char* dst) {
    return countedInto(pipl, kRcPiPLVendor, kRcPiPLCategory, dst, 256);
}

RC_API Boolean GetPiPLCode(Handle pipl, char* dst) {
    PiplProperty p;
    if (dst == nullptr) return 0;
    if (!PiplView::of(pipl).find(kRcPiPLVendor, kRcPiPLCode, p)) {
        dst[0] = '\0';
        return 0;
    }
    copyCString(rc::plugins::cStringOf(p), dst, 256);
    return 1;
}

RC_API Boolean GetAnimFilterInfo(Handle pipl, RcAnimFilterInfo* out) {
    return recordInto(pipl, kRcPiPLAnimFilter, true, 0, out, sizeof *out);
}

RC_API Boolean GetAnimParamProperty(Handle pipl, int32_t index, RcAnimParamInfo* out) {
    return recordInto(pipl, kRcPiPLAnimParam, false, index, out, sizeof *out);
}

RC_API int32_t ParseANIMInfo(Handle pipl, RcAnimFilterInfo* info, RcAnimParamInfo* params,
                             int32_t maxParams) {
    RcAnimFilterInfo local;
    RcAnimFilterInfo* filter = info ? info : &local;
    if (!GetAnimFilterInfo(pipl, filter)) return -1;
    const int32_t declared = filter->paramCount < 0 ? 0 : filter->paramCount;
    for (int32_t i = 0; params != nullptr && i < declared && i < maxParams; ++i)
        GetAnimParamProperty(pipl, i, &params[i]);
    return declared;
}

RC_API Handle GetPiPLSPFXDesc(Handle pipl) {
    std::string text;
    if (!PiplView::of(pipl).findCounted(kRcPiPLHostVendor, kRcPiPLEffectText, text)) return nullptr;
    return newHandleOf(text.c_str(), text.size() + 1);
}

RC_API Handle GetPiPLpOpt(Handle pipl) {
    PiplProperty p;
    if (!PiplView::of(pipl).find(kRcPiPLHostVendor, kRcPiPLOptions, p)) return nullptr;
    return newHandleOf(p.data, p.length);
}

RC_API int32_t GetPiPLpWIP(Handle pipl) {
    PiplProperty p;
    if (!PiplView::of(pipl).find(kRcPiPLHostVendor, kRcPiPLWipe, p)) return 0;
    int32_t value = 0;
    std::memcpy(&value, p.data, std::min<uint32_t>(p.length, 4));
    return value;
}
