// Exported pixel copies and the library's own utility table.
#include <cstring>
#include <memory>
#include <new>

#include "pixels/copypix_internal.h"
#include "pixels/imagefilters_core.h"
#include "pixels/ppix_internal.h"
#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/utility_table.h"

using namespace rc::pix;

namespace {

constexpr int32_t kParamErr = -50;

PixView viewOf(const PPixRecord& r) {
    PixView v;
    v.pixels = reinterpret_cast<uint8_t*>(r.pixels);
    v.rowBytes = r.rowBytes;
    v.bounds = r.bounds;
    v.depth = r.depth;
    return v;
}

int32_t copyRecords(const PPixRecord* src, const PPixRecord* dst, const FmRect* srcRect,
                    const FmRect* dstRect, int32_t flags, const void* mask) {
    if (!src || !dst || !src->pixels || !dst->pixels || src->depth != 32 || dst->depth != 32)
        return kParamErr;
    const PixView s = viewOf(*src), d = viewOf(*dst);
    CopyMaskArg m;
    PixView coverage;
    if (flags & kCopyBitMask) {
        m.bits = static_cast<const uint8_t*>(mask);
    } else if (flags & kCopyCoverageMask) {
        const PPixRecord* c = rc::pixels::record(static_cast<PPixHand>(const_cast<void*>(mask)));
        if (c) {
            coverage = viewOf(*c);
            m.coverage = &coverage;
        }
    } else {
        m.region = static_cast<const FmRegion*>(mask);
    }
    copyPix(s, d, srcRect ? *srcRect : src->bounds, dstRect ? *dstRect : dst->bounds, flags, m);
    return 0;
}

// The library's 3 x 3 convolution between two 32-bit buffers of one size.
void convolveBuffers(PPixHand src, PPixHand dst, const FmKernel3x3* kernel) {
    const PPixRecord* s = rc::pixels::record(src);
    const PPixRecord* d = rc::pixels::record(dst);
    if (!s || !d || !kernel || !s->pixels || !d->pixels || s->depth != 32 || d->depth != 32) return;
    const int32_t w = rc::pixels::width(s), h = rc::pixels::height(s);
    if (w != rc::pixels::width(d) || h != rc::pixels::height(d) || w <= 0 || h <= 0) return;
    Rows in{reinterpret_cast<uint8_t*>(rc::pixels::rowAddress(s, 0)), -intptr_t{s->rowBytes}, w, h};
    const Rows out{reinterpret_cast<uint8_t*>(rc::pixels::rowAddress(d, 0)), -intptr_t{d->rowBytes},
                   w, h};
    std::unique_ptr<uint8_t[]> copy;
    if (in.top == out.top) {
        // in place: convolve from a copy of the source
        const size_t rowLen = size_t(w) * 4;
        copy.reset(new (std::nothrow) uint8_t[rowLen * h]);
        if (!copy) return;
        for (int32_t y = 0; y < h; ++y) std::memcpy(&copy[rowLen * y], in.row(y), rowLen);
        in = Rows{copy.get(), intptr_t(rowLen), w, h};
    }
    convolve3x3(in, out, *kernel);
}

// The superimpose composite: the library's keys.
int32_t compositeWithKey(int32_t superMode, PPixHand src, PPixHand dst, PPixHand matte,
                         int32_t opacity, const FmKeySettings* key) {
    return superMode ? DoImageKey(src, dst, matte, nullptr, opacity, key) : 0;
}

const FmUtilityTable kLibraryTable = {
    kUtilityTableVersion, sizeof(FmUtilityTable), MyCopyPix,  convolveBuffers, DoAudioMunge,
    AudioLimit,           FmAudioPostProcess,     DoResample, StretchAudio,    compositeWithKey,
    FixedToFixed};

}  // namespace

RC_API const FmUtilityTable* FmDefaultUtilityTable(void) {
    return &kLibraryTable;
}

RC_API int32_t MyCopyPix(const PPixRecord* src, const PPixRecord* dst, const FmRect* srcRect,
                         const FmRect* dstRect, int32_t flags, const void* mask) {
    return copyRecords(src, dst, srcRect, dstRect, flags, mask);
}

RC_API int32_t CopyMask(const PPixRecord* src, const PPixRecord* dst, const FmRect* srcRect,
                        const FmRect* dstRect, int32_t flags, const void* maskBits) {
    flags = (flags & ~kCopyCoverageMask) | kCopyBitMask;
    return copyRecords(src, dst, srcRect, dstRect, flags, maskBits);
}

RC_API int32_t bn_StretchBits(PPixHand src, PPixHand dst, const FmRect* srcRect,
                              const FmRect* dstRect, int32_t flags, const void* mask) {
    return MyCopyPix(rc::pixels::record(src), rc::pixels::record(dst), srcRect, dstRect, flags,
                     mask);
}

RC_API int32_t ppixCopy(PPixHand src, PPixHand dst, const FmRect* srcRect, const FmRect* dstRect,
                        int32_t flags, const void* mask) {
    const auto* table = reinterpret_cast<const FmUtilityTable*>(GetAGlobal(kSlotUtilityTable));
    const FmCopyPixProc copy = FM_UTILITY_HAS(table, copyPix) ? table->copyPix : MyCopyPix;
    return copy(rc::pixels::record(src), rc::pixels::record(dst), srcRect, dstRect, flags, mask);
}
