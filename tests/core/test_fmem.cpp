#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/fmem_internal.h"
#include "reelcore/memory.h"

namespace {

class FramePool : public ::testing::Test {
  protected:
    void TearDown() override {
        SetFPurgeProc(nullptr);
        KillFMem();
    }
};

TEST_F(FramePool, RoundsToSixtyFourAndClampsTheRegion) {
    ASSERT_EQ(InitFMem(0xFFFFFFFFu), 0);
    EXPECT_EQ(GetFHeapSize(), 0x17000000u);
    KillFMem();

    ASSERT_EQ(InitFMem(64 * 100), 0);
    FBlock b = NewFBlock(1);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetFBlockSize(b), 1u);
    EXPECT_EQ(b->length, 64u);
    EXPECT_EQ(PurgeFSpace(), 64u * 99);
    EXPECT_TRUE(FBlockFits(64));
    EXPECT_FALSE(FBlockFits(64 * 99));
    // Near 4 GB the rounding must not wrap to a small request.
    EXPECT_EQ(NewFBlock(0xFFFFFFF0u), nullptr);
    EXPECT_EQ(NewFBlock(64 * 100), nullptr);
    FBlock c = NewFBlockClear(100);
    ASSERT_NE(c, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(c->address[i], 0);
    DisposeFBlock(b);
    DisposeFBlock(c);
    EXPECT_EQ(PurgeFSpace(), 64u * 100);
    EXPECT_EQ(rc::fmem::stats().endFree, 64u * 100);
}

TEST_F(FramePool, CompactionSlidesBlocksDownIntact) {
    ASSERT_EQ(InitFMem(64 * 10), 0);
    FBlock a = NewFBlock(128);
    FBlock b = NewFBlock(128);
    FBlock c = NewFBlock(128);
    ASSERT_TRUE(a && b && c);
    char* base = a->address;
    std::memset(b->address, 'b', 128);
    std::memset(c->address, 'c', 128);
    DisposeFBlock(a);
    // 256 bytes at the end, 128 in the gap: only compaction makes room.
    FBlock d = NewFBlock(320);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(b->address, base);
    EXPECT_EQ(c->address, base + 128);
    EXPECT_EQ(d->address, base + 256);
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(b->address[i], 'b');
        ASSERT_EQ(c->address[i], 'c');
    }
    EXPECT_EQ(PurgeFSpace(), 64u);

    // Space at the end is used first; otherwise a gap large enough is reused
    // first-fit without moving later blocks.
    DisposeFBlock(b);
    FBlock e = NewFBlock(128);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->address, base);
    EXPECT_EQ(c->address, base + 128);
}

int32_t gReleased = 0;
FBlock gVictim = nullptr;

TEST_F(FramePool, PurgeCallbackIsAskedAndNeverSpins) {
    ASSERT_EQ(InitFMem(64 * 4), 0);
    FBlock a = NewFBlock(64 * 4);
    ASSERT_NE(a, nullptr);

    // Without a callback a full pool simply fails.
    EXPECT_EQ(NewFBlock(64), nullptr);

    // A callback that claims success but frees nothing ends the attempt.
    gReleased = 0;
    SetFPurgeProc([](uint32_t) -> int32_t {
        ++gReleased;
        return 1;
    });
    EXPECT_EQ(NewFBlock(64), nullptr);
    EXPECT_EQ(gReleased, 1);

    // A callback that frees a block lets the allocation through.
    gVictim = a;
    SetFPurgeProc([](uint32_t wanted) -> int32_t {
        EXPECT_GE(wanted, 64u);
        if (!gVictim) return 0;
        DisposeFBlock(gVictim);
        gVictim = nullptr;
        return 1;
    });
    FBlock b = NewFBlock(64);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(gVictim, nullptr);
}

TEST_F(FramePool, AllDescriptorTablesFullGivesNull) {
    const uint32_t maxBlocks = rc::fmem::kDescriptorsPerTable * rc::fmem::kMaxTables;
    ASSERT_EQ(InitFMem(64 * (maxBlocks + 10)), 0);
    uint32_t made = 0;
    while (NewFBlock(1)) ++made;
    EXPECT_EQ(made, maxBlocks);
    EXPECT_EQ(rc::fmem::stats().tables, rc::fmem::kMaxTables);
    EXPECT_GT(PurgeFSpace(), 0u);
}

}  // namespace
