// Evaluating a CompSpec at a time: finding the keys around it and blending
// them with the module's description of its parameters.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "project/codec_internal.h"
#include "reelcore/filetable.h"
#include "reelcore/keyframes.h"
#include "reelcore/memory.h"
#include "reelcore/struct_codec.h"
#include "timeline/keys/blend.h"
#include "timeline/keys/keys_internal.h"
#include "timeline/keys/module.h"

using namespace rc::keys;

namespace {

int32_t keyTime(const uint8_t* comp, const CompView& v, int32_t i) {
    return int32_t(load32(comp + v.keyOffset(i)));
}

// Number of keys whose time is below t (orEqual: at or below t).
int32_t countBefore(const uint8_t* comp, const CompView& v, double t, bool orEqual) {
    int32_t lo = 0, hi = v.count;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const double k = keyTime(comp, v, mid);
        if (orEqual ? k <= t : k < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

Handle blendWithFltD(Handle first, Handle second, int32_t size, bool imagist, double fraction) {
    Handle table = fltdTable();
    if (!table) return nullptr;
    Handle out = NewHandleClear(uint32_t(size));
    if (!out) return nullptr;
    const BlendBytes x{bytesOf(first),        GetHandleSize(first), bytesOf(second),
                       GetHandleSize(second), bytesOf(out),         size_t(size)};
    size_t skip = 0;
    if (imagist) {
        std::memcpy(x.out, x.a, std::min(x.aLen, x.outLen));
        skip = size_t(SpecDataOffset(first));
    }
    const auto* entries = reinterpret_cast<const FmFltDEntry*>(*table);
    if (!blendFltD(entries, GetHandleSize(table) / sizeof(FmFltDEntry), x, skip, fraction)) {
        DisposeHandle(out);
        return nullptr;
    }
    return out;
}

Handle blendWithAnim(Handle first, Handle second, int32_t size, bool imagist,
                     const AnimDescription& d, double fraction) {
    Handle out = NewHandleClear(uint32_t(size));
    if (!out) return nullptr;
    const BlendBytes x{bytesOf(first),        GetHandleSize(first), bytesOf(second),
                       GetHandleSize(second), bytesOf(out),         size_t(size)};
    size_t skip = 0;
    if (imagist) {
        skip = std::min({size_t(SpecDataOffset(first)), x.aLen, x.outLen});
        std::memcpy(x.out, x.a, skip);
    }
    blendAnim(d.params.data(), d.params.size(), x, skip, fraction);
    return out;
}

// The struct-codec type string of an animation description: the codec
// measures it. Opaque values, 96-bit reals and unknown types take their
// declared size.
std::string animTypeString(const AnimDescription& d) {
    static const char kLetters[] = "?CSLCSLXXDDFL";
    std::string type;
    for (const AnimParam& p : d.params) {
        if (p.type >= 1 && p.type <= 12 && p.type != kRcAnimExtended96)
            type += kLetters[p.type];
        else if (p.size > 0)
            type += "B[" + std::to_string(p.size) + "]";
    }
    return type;
}

}  // namespace

namespace rc::keys {

int32_t declaredSpecSize(int16_t fileID) {
    const bool imagist = GetFileTypeID(fileID) == kTypeImagist;
    ModuleFork fork(fileID);
    if (!fork.open()) return 0;
    AnimDescription d;
    readAnimDescription(fileID, &d);
    if (!d.hasFilterInfo || d.params.empty()) return 0;
    const std::string type = animTypeString(d);
    if (type.empty()) return 0;
    const std::vector<int32_t> packing = rc::project::naturalPacking(type.c_str());
    const int32_t size = CheckPackingSize(packing.data());
    // Imagist specs lead with their form tag.
    return size > 0 && imagist ? size + 4 : size;
}

bool resizeToDeclaredSize(Handle spec, int16_t fileID) {
    const int32_t size = declaredSpecSize(fileID);
    const uint32_t old = GetHandleSize(spec);
    if (size <= 0 || uint32_t(size) == old) return true;
    if (SetHandleSize(spec, uint32_t(size)) != 0) return false;
    if (uint32_t(size) > old) std::memset(*spec + old, 0, uint32_t(size) - old);
    return true;
}

}  // namespace rc::keys

RC_API int32_t SpecDataOffset(Handle spec) {
    if (!spec || GetHandleSize(spec) < 4 || !*spec) return 0;
    switch (load32(bytesOf(spec))) {
        case 0:
        case 2:
        case 5:
            return 4;
        case 1:
        case 3:
            return 8;
        default:
            return 0;
    }
}

RC_API Boolean CanVary(int16_t fileID) {
    if (GetFileTypeID(fileID) == kTypeXE) return true;
    ModuleFork fork(fileID);
    if (!fork.open()) return false;
    AnimDescription d;
    readAnimDescription(fileID, &d);
    return d.hasFilterInfo || fltdTable() != nullptr;
}

RC_API Boolean FindSingleSpecs(Handle comp, double t, int32_t* i0, int32_t* i1, Handle* s0,
                               Handle* s1) {
    if (i0) *i0 = -1;
    if (i1) *i1 = -1;
    if (s0) *s0 = nullptr;
    if (s1) *s1 = nullptr;
    if (!comp || UnflattenCompSpec(comp) != 0) return false;
    CompView v;
    if (!readComp(comp, &v) || v.count == 0) return false;
    const uint8_t* p = bytesOf(comp);
    const int32_t before = countBefore(p, v, t, true) - 1;
    const int32_t after = countBefore(p, v, t, false);
    if (before < 0 || after >= v.count) return false;
    if (i0) *i0 = before;
    if (i1) *i1 = after;
    if (s0) *s0 = copyKey(comp, v, before);
    if (s1) *s1 = copyKey(comp, v, after);
    return true;
}

RC_API Boolean BuildSingleSpec(Handle comp, int16_t fileID, double t, Handle* out) {
    if (!out) return false;
    *out = nullptr;
    int32_t i0, i1;
    Handle s0, s1;
    if (!FindSingleSpecs(comp, t, &i0, &i1, &s0, &s1)) return false;
    CompView v;
    readComp(comp, &v);
    if (!s0 || !s1) {
        DisposeSingleSpec(s0);
        DisposeSingleSpec(s1);
        // Empty keys: the filter runs without parameters. Otherwise a copy
        // failed, and the filter must not run on missing parameters.
        return v.specSize == 0;
    }
    const double time0 = GetSingleSpecTime(comp, i0);
    const double d = double(GetSingleSpecTime(comp, i1)) - time0;
    Handle result = nullptr;
    if (d != 0) result = InterpolateSingleSpecs(s0, s1, v.specSize, fileID, (t - time0) / d);
    if (result) {
        DisposeSingleSpec(s0);
    } else {
        result = s0;  // the earlier key holds
    }
    DisposeSingleSpec(s1);
    *out = result;
    return true;
}

RC_API Handle InterpolateSingleSpecs(Handle first, Handle second, int32_t size, int16_t fileID,
                                     double fraction) {
    if (!first || !second || !*first || !*second || size < 0) return nullptr;
    const OSType type = GetFileTypeID(fileID);
    ModuleFork fork(fileID);
    if (!fork.open()) return nullptr;
    if (type == kTypeXE) return blendXe(first, second, fraction);
    const bool imagist = type == kTypeImagist;
    AnimDescription d;
    readAnimDescription(fileID, &d);
    if (!d.hasPiPL || (size != 0 && !d.hasFilterInfo))
        return blendWithFltD(first, second, size, imagist, fraction);
    return blendWithAnim(first, second, size, imagist, d, fraction);
}
