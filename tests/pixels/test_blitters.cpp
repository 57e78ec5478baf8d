// The blitter suites and the processor-specific kernels: the stack that
// FmBNInitialize builds, and bit-identical results of every level on random
// rows of every length 0 to 70.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pixels/blitters_internal.h"
#include "pixels/depthcon_rows.h"
#include "pixel_test_util.h"
#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/mp.h"

using pixtest::RowBlock;

namespace {

constexpr int32_t kProcessorSlot = kSlotProcessorCount;

class BlitterTest : public ::testing::Test {
  protected:
    void SetUp() override { pixtest::resetRuntime(); }
};

struct Kernel {
    rc::pix::RowFn rc::pix::FastRows::*fn;
    int srcBytes, dstBytes;
    const char* name;
};

const Kernel kKernels[] = {
    {&rc::pix::FastRows::to16, 4, 2, "32->16"},   {&rc::pix::FastRows::from16, 2, 4, "16->32"},
    {&rc::pix::FastRows::to24, 4, 3, "32->24"},   {&rc::pix::FastRows::from24, 3, 4, "24->32"},
    {&rc::pix::FastRows::toQ32, 4, 4, "32->Q32"},
};

}  // namespace

TEST_F(BlitterTest, SuitesStackAsTheProcessorFlagsAllow) {
    SetAGlobal(kSlotIsMMX, 0);
    SetAGlobal(kProcessorSlot, 1);
    const BNSuite* base = FmBNInitialize();
    ASSERT_EQ(reinterpret_cast<const BNSuite*>(GetAGlobal(kSlotBlitterSuite)), base);
    EXPECT_STREQ(base->name, "base suite");
    EXPECT_EQ(base->version, 1);
    EXPECT_EQ(base->count, 11);
    for (int i = 0; i < 11; ++i) {
        const bool filled = i == kBNCopy32 || i == kBN24To32 || i == kBN32To24;
        EXPECT_EQ(base->entries[i].proc != nullptr, filled) << i;
        EXPECT_EQ(base->entries[i].wraps, nullptr);
    }

    SetAGlobal(kSlotIsMMX, 1);
    const BNSuite* fast = FmBNInitialize();
    EXPECT_STREQ(fast->name, "MMX suite");
    for (int i : {kBNCopy32, kBN24To32, kBN32To24}) {
        EXPECT_EQ(fast->entries[i].wraps, &base->entries[i]);
    }
    EXPECT_EQ(fast->entries[0].proc, nullptr);

    SetAGlobal(kProcessorSlot, 2);
    const BNSuite* mp = FmBNInitialize();
    EXPECT_STREQ(mp->name, "MP suite");
    const int32_t forms[11] = {3, 4, 2, 3, 2, 2, 2, 1, 1, 2, 2};
    for (int i = 0; i < 11; ++i) EXPECT_EQ(mp->entries[i].argForm, forms[i]);
    for (int i : {kBNCopy32, kBN24To32, kBN32To24}) {
        EXPECT_EQ(mp->entries[i].rowThreshold, 32);
        ASSERT_NE(mp->entries[i].wraps, nullptr);
        // the MP entry wraps the processor suite's entry, which wraps the base
        EXPECT_NE(mp->entries[i].wraps->wraps, nullptr);
    }
    EXPECT_EQ(mp->entries[7].proc, nullptr);
}

TEST_F(BlitterTest, EverySuiteStackGivesTheSameBytes) {
    struct Setting {
        int mmx, cpus;
    };
    for (int entry : {kBNCopy32, kBN24To32, kBN32To24}) {
        const int sb = entry == kBN24To32 ? 3 : 4, db = entry == kBN32To24 ? 3 : 4;
        for (int32_t width : {0, 1, 7, 8, 9, 15, 16, 17, 31, 33, 64, 70}) {
            for (int32_t rows : {1, 32, 33, 40}) {
                RowBlock src(size_t(width) * sb, rows, 4, rows % 2 == 1);
                src.randomize();
                std::vector<uint8_t> first;
                for (Setting s : {Setting{0, 1}, Setting{1, 1}, Setting{1, 2}, Setting{0, 2}}) {
                    SetAGlobal(kSlotIsMMX, s.mmx);
                    SetAGlobal(kProcessorSlot, s.cpus);
                    const BNSuite* suite = FmBNInitialize();
                    RowBlock dst(size_t(width) * db, rows, 2, false, 0x3C);
                    const BNSuiteEntry* e = &suite->entries[entry];
                    e->proc(src.first(), dst.first(), width, rows, src.step(), dst.step(), 0, 0, e);
                    if (first.empty())
                        first = dst.mem;
                    else
                        ASSERT_EQ(pixtest::firstDifference(dst.mem, first), -1)
                            << "entry " << entry << " width " << width << " rows " << rows
                            << " mmx " << s.mmx << " cpus " << s.cpus;
                }
                // the plain suite itself against the per-pixel rule
                RowBlock want(size_t(width) * db, rows, 2, false, 0x3C);
                for (int32_t y = 0; y < rows; ++y)
                    for (int32_t x = 0; x < width; ++x) {
                        const uint8_t* p = src.row(y) + sb * x;
                        uint8_t* q = want.row(y) + db * x;
                        std::memcpy(q, p, 3);
                        if (db == 4) q[3] = sb == 4 ? p[3] : 255;
                    }
                ASSERT_EQ(pixtest::firstDifference(first, want.mem), -1)
                    << "entry " << entry << " width " << width;
            }
        }
    }
}

TEST_F(BlitterTest, ProcessorKernelsMatchPlainKernelsBitForBit) {
    const rc::pix::FastRows* plain = rc::pix::fastRowsLevel("plain");
    ASSERT_NE(plain, nullptr);
    std::vector<const rc::pix::FastRows*> levels;
    for (const char* level : {"sse2", "avx2"})
        if (const rc::pix::FastRows* f = rc::pix::fastRowsLevel(level)) levels.push_back(f);
    ASSERT_FALSE(levels.empty()) << "an x86-64 processor always has SSE2";
    EXPECT_EQ(rc::pix::fastRowsLevel("no such level"), nullptr);
    for (const rc::pix::FastRows* level : levels) {
        for (const Kernel& k : kKernels) {
            for (int32_t width = 0; width <= 70; ++width) {
                for (int offset = 0; offset < 3; ++offset) {  // misaligned starts too
                    std::vector<uint8_t> src =
                        pixtest::randomVector(size_t(width) * k.srcBytes + 8);
                    std::vector<uint8_t> a(size_t(width) * k.dstBytes + 16, 0x77), b = a;
                    (plain->*k.fn)(src.data() + offset, a.data() + offset, width);
                    (level->*k.fn)(src.data() + offset, b.data() + offset, width);
                    ASSERT_EQ(pixtest::firstDifference(a, b), -1)
                        << level->level << " " << k.name << " width " << width;
                }
            }
        }
    }
}

TEST_F(BlitterTest, ConvertersUseTheSuiteInTheSlot) {
    // a suite whose copy entry writes a marker shows that Copy32 goes through slot 403
    static BNSuite custom;
    custom = rc::pix::baseSuite();
    custom.entries[kBNCopy32].proc = [](const void*, void* dst, int32_t width, int32_t, int32_t,
                                        int32_t, intptr_t, intptr_t, const BNSuiteEntry*) {
        std::memset(dst, 0xEE, size_t(width) * 4);
    };
    SetAGlobal(kSlotBlitterSuite, reinterpret_cast<intptr_t>(&custom));
    uint32_t src[2] = {1, 2}, dst[2] = {0, 0};
    Copy32(src, dst, 2, 1, 8, 8);
    EXPECT_EQ(dst[0], 0xEEEEEEEEu);
    // an empty slot falls back to the plain converters
    SetAGlobal(kSlotBlitterSuite, 0);
    Copy32(src, dst, 2, 1, 8, 8);
    EXPECT_EQ(dst[1], 2u);
}

TEST_F(BlitterTest, BandsOnTheProcessorPoolGiveTheSameBytesAsOneProcessor) {
    // one processor first, then the pool with its workers running
    const int32_t width = 53, rows = 97;
    RowBlock src(width * 4, rows, 8, true);
    src.randomize();
    RowBlock src16(width * 2, rows, 2, false);
    src16.randomize();
    std::vector<std::vector<uint8_t>> results[2];
    for (int pooled = 0; pooled < 2; ++pooled) {
        if (pooled) {
            InitMP();
            if (GetAGlobal(kProcessorSlot) < 2) {
                TerminateMP();
                GTEST_SKIP() << "a single processor: nothing to split";
            }
        }
        SetAGlobal(kSlotIsMMX, 1);
        const BNSuite* suite = FmBNInitialize();
        EXPECT_STREQ(suite->name, pooled ? "MP suite" : "MMX suite");
        RowBlock to16(width * 2, rows, 0, false), to32(width * 4, rows, 0, true),
            to24(width * 3, rows, 1, false);
        DepthCon32To16(src.first(), to16.first(), width, rows, src.step(), to16.step());
        DepthCon16To32(src16.first(), to32.first(), width, rows, src16.step(), to32.step());
        DepthCon32To24(src.first(), to24.first(), width, rows, src.step(), to24.step());
        results[pooled] = {to16.mem, to32.mem, to24.mem};
        if (pooled) TerminateMP();
    }
    for (size_t i = 0; i < results[0].size(); ++i)
        EXPECT_EQ(pixtest::firstDifference(results[0][i], results[1][i]), -1) << "converter " << i;
}
