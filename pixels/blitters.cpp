// The blitter suite table: plain converters, processor-specific converters
// over them, and band splitting over the processor pool on top.
#include <cstring>

#include "pixels/blitters_internal.h"
#include "pixels/depthcon_rows.h"
#include "pixels/mp_bands.h"
#include "reelcore/globals.h"

namespace rc::pix {
namespace {

// Argument forms of the eleven entries; the MP suite wraps forms 1 to 4.
constexpr int32_t kArgForms[kBNSuiteEntries] = {3, 4, 2, 3, 2, 2, 2, 1, 1, 2, 2};
constexpr int32_t kMPRowThreshold = 32;
constexpr int32_t kProcessorCountSlot = 313;  // processors of the pool

template <void (*Row)(const uint8_t*, uint8_t*, int32_t)>
void plainConverter(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                    int32_t dstStride, intptr_t, intptr_t, const BNSuiteEntry*) {
    if (width <= 0) return;
    for (int32_t y = 0; y < rows; ++y)
        Row(rowAt(src, y, srcStride), rowAt(dst, y, dstStride), width);
}

// Processor-specific converter: whole groups of eight pixels through the fast
// kernel, the 0-7 remaining pixels of each row through the wrapped entry.
template <int SrcBytes, int DstBytes, RowFn FastRows::*Kernel>
void processorConverter(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                        int32_t dstStride, intptr_t e1, intptr_t e2, const BNSuiteEntry* self) {
    if (width <= 0) return;
    const RowFn fn = fastRows().*Kernel;
    const int32_t main = width & ~7;
    if (main > 0)
        for (int32_t y = 0; y < rows; ++y)
            fn(rowAt(src, y, srcStride), rowAt(dst, y, dstStride), main);
    if (main < width) {
        const BNSuiteEntry* base = self->wraps;
        base->proc(static_cast<const uint8_t*>(src) + SrcBytes * main,
                   static_cast<uint8_t*>(dst) + DstBytes * main, width - main, rows, srcStride,
                   dstStride, e1, e2, base);
    }
}

struct MPBand {
    const BNSuiteEntry* wrapped;
    const void* src;
    void* dst;
    int32_t width, srcStride, dstStride;
    intptr_t e1, e2;
};

void mpBandJob(void* ctx, int32_t first, int32_t count) {
    const MPBand& b = *static_cast<const MPBand*>(ctx);
    b.wrapped->proc(rowAt(b.src, first, b.srcStride), rowAt(b.dst, first, b.dstStride), b.width,
                    count, b.srcStride, b.dstStride, b.e1, b.e2, b.wrapped);
}

void mpSplitter(const void* src, void* dst, int32_t width, int32_t rows, int32_t srcStride,
                int32_t dstStride, intptr_t e1, intptr_t e2, const BNSuiteEntry* self) {
    const BNSuiteEntry* wrapped = self->wraps;
    if (rows <= self->rowThreshold) {
        wrapped->proc(src, dst, width, rows, srcStride, dstStride, e1, e2, wrapped);
        return;
    }
    MPBand band{wrapped, src, dst, width, srcStride, dstStride, e1, e2};
    runRowBands(rows, mpBandJob, &band);
}

BNSuite gBase, gProcessor, gMP;

void resetSuite(BNSuite& s, const char* name) {
    std::memset(&s, 0, sizeof s);
    s.name = name;
    s.version = kBNSuiteVersion;
    s.count = kBNSuiteEntries;
    for (int i = 0; i < kBNSuiteEntries; ++i) s.entries[i].argForm = kArgForms[i];
}

void buildBase() {
    resetSuite(gBase, "base suite");
    gBase.entries[kBNCopy32].proc = plainConverter<rowCopy32>;
    gBase.entries[kBN24To32].proc = plainConverter<row24To32>;
    gBase.entries[kBN32To24].proc = plainConverter<row32To24>;
}

void buildProcessor(const BNSuite& below) {
    resetSuite(gProcessor, "MMX suite");
    for (int i = 0; i < kBNSuiteEntries; ++i) {
        // entries without a faster converter pass through to the one below
        gProcessor.entries[i].proc = below.entries[i].proc;
        gProcessor.entries[i].wraps = below.entries[i].proc ? &below.entries[i] : nullptr;
    }
    gProcessor.entries[kBN24To32].proc = processorConverter<3, 4, &FastRows::from24>;
    gProcessor.entries[kBN32To24].proc = processorConverter<4, 3, &FastRows::to24>;
}

void buildMP(const BNSuite& below) {
    resetSuite(gMP, "MP suite");
    for (int i = 0; i < kBNSuiteEntries; ++i) {
        BNSuiteEntry& e = gMP.entries[i];
        const BNSuiteEntry& under = below.entries[i];
        if (!under.proc) continue;
        e.wraps = &under;
        if (e.argForm >= 1 && e.argForm <= 4) {
            e.proc = mpSplitter;
            e.rowThreshold = kMPRowThreshold;
        } else {
            e.proc = under.proc;
        }
    }
}

}  // namespace

const BNSuite& baseSuite() {
    if (!gBase.name) buildBase();
    return gBase;
}

const BNSuite& buildSuites(bool processorSuite, bool mpSuite) {
    buildBase();
    const BNSuite* top = &gBase;
    if (processorSuite) {
        buildProcessor(*top);
        top = &gProcessor;
    }
    if (mpSuite) {
        buildMP(*top);
        top = &gMP;
    }
    return *top;
}

const BNSuite& activeSuite() {
    const auto* s = reinterpret_cast<const BNSuite*>(GetAGlobal(kSlotBlitterSuite));
    return s ? *s : baseSuite();
}

void callSuiteEntry(int index, const void* src, void* dst, int32_t width, int32_t rows,
                    int32_t srcStride, int32_t dstStride, intptr_t extra1, intptr_t extra2) {
    const BNSuite& suite = activeSuite();
    const BNSuiteEntry* e = index < suite.count ? &suite.entries[index] : nullptr;
    if (!e || !e->proc) e = &baseSuite().entries[index];
    if (!e->proc) return;
    e->proc(src, dst, width, rows, srcStride, dstStride, extra1, extra2, e);
}

}  // namespace rc::pix

RC_API const BNSuite* FmBNInitialize(void) {
    const BNSuite& top = rc::pix::buildSuites(GetAGlobal(kSlotIsMMX) != 0,
                                              GetAGlobal(rc::pix::kProcessorCountSlot) > 1);
    SetAGlobal(kSlotBlitterSuite, reinterpret_cast<intptr_t>(&top));
    return &top;
}
