// Exported image filters on 32-bit buffers.
#include "reelcore/imagefilters.h"

#include <cstring>
#include <memory>
#include <new>

#include "pixels/imagefilters_core.h"
#include "pixels/ppix_internal.h"
#include "reelcore/globals.h"
#include "reelcore/utility_table.h"

using namespace rc::pix;

namespace {

const FmKernel3x3 kBlurKernel = {{0, 1, 0, 1, 2, 1, 0, 1, 0}, 6};
const FmKernel3x3 kGaussianKernel = {{1, 2, 1, 2, 5, 2, 1, 2, 1}, 17};

// Rows of a 32-bit buffer from its top row down; false when unusable.
bool rowsOf(PPixHand pix, Rows& rows) {
    const PPixRecord* r = rc::pixels::record(pix);
    if (!r || !r->pixels || r->depth != 32) return false;
    const int32_t w = rc::pixels::width(r), h = rc::pixels::height(r);
    if (w <= 0 || h <= 0) return false;
    rows = Rows{reinterpret_cast<uint8_t*>(rc::pixels::rowAddress(r, 0)), -intptr_t{r->rowBytes}, w,
                h};
    return true;
}

void convolveThroughTable(PPixHand src, PPixHand dst, const FmKernel3x3& kernel) {
    const auto* table = reinterpret_cast<const FmUtilityTable*>(GetAGlobal(kSlotUtilityTable));
    const FmConvolveProc convolve =
        FM_UTILITY_HAS(table, convolve) ? table->convolve : FmDefaultUtilityTable()->convolve;
    convolve(src, dst, &kernel);
}

}  // namespace

RC_API void DoGamma(PPixHand pix, int32_t gammaTenths) {
    Rows rows;
    if (!rowsOf(pix, rows)) return;
    uint8_t table[256];
    gammaTable(gammaTenths, table);
    applyColorTable(rows, table);
}

RC_API void DoMedian(PPixHand src, PPixHand dst) {
    Rows s, d;
    if (!rowsOf(src, s) || !rowsOf(dst, d) || s.width != d.width || s.height != d.height) return;
    if (src == dst || s.top == d.top) {
        // in place: filter from a copy of the source
        const size_t rowLen = size_t(s.width) * 4;
        std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[rowLen * s.height]);
        if (!copy) return;
        for (int32_t y = 0; y < s.height; ++y) std::memcpy(&copy[rowLen * y], s.row(y), rowLen);
        median3x3(Rows{copy.get(), intptr_t(rowLen), s.width, s.height}, d);
        return;
    }
    median3x3(s, d);
}

RC_API void DoBlur(PPixHand src, PPixHand dst) {
    convolveThroughTable(src, dst, kBlurKernel);
}

RC_API void DoGaussian(PPixHand src, PPixHand dst) {
    convolveThroughTable(src, dst, kGaussianKernel);
}

RC_API void ppixBlurMask(PPixHand pix, double radius, int32_t fieldFlag) {
    Rows rows;
    if (!rowsOf(pix, rows)) return;
    blurAlpha(rows, radius, fieldFlag != 0);
}

RC_API void SmoothAlpha(void* pixels, int32_t rowBytes, int32_t width, int32_t height) {
    if (!pixels || width <= 0 || height <= 0) return;
    smoothAlpha(Rows{static_cast<uint8_t*>(pixels), rowBytes, width, height});
}
