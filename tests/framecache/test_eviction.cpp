// Eviction through the pool's purge callback, the sparing of thumbnails and
// waveform audio, the memory manager's last-chance purge, and compaction
// moving live entries.
#include "cache_fixture.h"
#include "platform/alloc.h"

namespace {

using namespace cachetest;

std::vector<int32_t> positions() {
    std::vector<int32_t> out;
    for (FBlock b : listed()) out.push_back(E(b)->position);
    return out;
}

TEST_F(CacheTest, PoolPressureEvictsTheLeastRecentlyUsed) {
    startPool(4u << 20);
    constexpr int32_t n = 200000;
    int32_t s = 0;
    // Fill to the brim, touching second 0 now and then so it stays new.
    while (PurgeFSpace() > 2 * uint32_t(n)) {
        ASSERT_TRUE(addAudio(5, s++, 0x300, 44100, n));
        ASSERT_NE(FindAudioSec(5, 0, 0x300, 44100), nullptr);
    }
    const int32_t filled = s;
    // Several more entries of a new size (no block to reuse) push old ones out.
    for (int32_t k = 0; k < 6; ++k) {
        ASSERT_TRUE(addAudio(5, s++, 0x300, 44100, n + 64));
        ASSERT_NE(FindAudioSec(5, 0, 0x300, 44100), nullptr);
    }
    std::vector<int32_t> left = positions();
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left.front(), 0);  // always promoted, never evicted
    // The rest are the newest seconds without a gap: the oldest went first.
    std::vector<int32_t> rest(left.begin() + 1, left.end());
    ASSERT_GE(rest.size(), 6u);
    for (size_t i = 0; i < rest.size(); ++i) EXPECT_EQ(rest[i], s - 1 - int32_t(i));
    EXPECT_LT(int32_t(left.size()), filled + 6);
    for (FBlock b : listed()) EXPECT_TRUE(holdsPattern(b));
}

TEST_F(CacheTest, RemoveLRUFrameFreesAtLeast50000BytesOldestFirst) {
    for (int32_t i = 0; i < 10; ++i) ASSERT_TRUE(addAudio(1, i, 0, 44100, 20000));
    const uint32_t before = CacheTotal();
    const int32_t freed = RemoveLRUFrame(0);
    EXPECT_GE(freed, 50000);
    EXPECT_EQ(uint32_t(freed), before - CacheTotal());
    // Whole entries, oldest first, and no more than needed.
    EXPECT_EQ(positions(), (std::vector<int32_t>{9, 8, 7, 6, 5, 4, 3}));

    // Asking for more than is cached takes everything and says so.
    const uint32_t rest = CacheTotal();
    EXPECT_EQ(RemoveLRUFrame(10u << 20), int32_t(rest));
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(RemoveLRUFrame(0), 0);
}

TEST_F(CacheTest, ThumbnailsAndWaveformsAreSparedUpToAQuarter) {
    startPool(4u << 20);  // a quarter is 1 MB
    // Oldest first: small frames of each thumbnail shape, waveform audio,
    // then full-size frames and ordinary audio.
    ASSERT_NE(addVideoEntry(1, 0, 80, 60, 32), nullptr);
    ASSERT_NE(addVideoEntry(1, 1, 100, 300, 24), nullptr);  // width not above 100
    ASSERT_NE(addVideoEntry(1, 2, 400, 75, 24), nullptr);   // height below 76
    ASSERT_TRUE(addAudio(1, 3, 0, 3600, 7200));
    ASSERT_NE(addVideoEntry(1, 4, 101, 76, 32), nullptr);  // not a thumbnail
    ASSERT_TRUE(addAudio(1, 5, 0, 3601, 7200));            // not a waveform
    for (int32_t i = 6; i < 12; ++i) ASSERT_NE(addVideoEntry(1, i, 320, 240, 32), nullptr);

    const int32_t freed = RemoveLRUFrame(300000);
    EXPECT_GE(freed, 350000);
    // 101 x 76, the 3601 Hz second and two full frames were taken; the
    // thumbnails and the waveform were passed over.
    EXPECT_EQ(positions(), (std::vector<int32_t>{11, 10, 9, 8, 3, 2, 1, 0}));
    for (FBlock b : listed()) EXPECT_TRUE(holdsPattern(b));
}

TEST_F(CacheTest, SparingStopsOnceThumbnailsPassAQuarter) {
    startPool(4u << 20);
    // 60 thumbnails of 19,240 bytes each are more than a quarter of 4 MB.
    for (int32_t i = 0; i < 60; ++i) ASSERT_NE(addVideoEntry(2, i, 80, 60, 32), nullptr);
    for (int32_t i = 60; i < 64; ++i) ASSERT_NE(addVideoEntry(2, i, 320, 240, 32), nullptr);
    const int32_t freed = RemoveLRUFrame(0);
    // The walk spared thumbnails until they passed the quarter, then started
    // over from the oldest and took the first three.
    EXPECT_EQ(freed, 3 * (80 * 60 * 4 + 40));
    std::vector<int32_t> left = positions();
    ASSERT_EQ(left.size(), 61u);
    EXPECT_EQ(left.back(), 3);
    EXPECT_EQ(left.front(), 63);
}

TEST_F(CacheTest, CallbackThatFreesNothingEndsTheAllocation) {
    startPool(1u << 20);
    // Only spared entries in the cache, well under a quarter of the pool.
    for (int32_t i = 0; i < 4; ++i) ASSERT_NE(addVideoEntry(3, i, 40, 30, 32), nullptr);
    FBlock filler = NewFBlock(PurgeFSpace() - 4096);
    ASSERT_NE(filler, nullptr);
    // Returns (rather than spinning) with nothing to show, and the spared
    // entries stay intact.
    EXPECT_EQ(NewFBlock(100000), nullptr);
    EXPECT_EQ(listed().size(), 4u);
    for (FBlock b : listed()) EXPECT_TRUE(holdsPattern(b));
    DisposeFBlock(filler);
    PurgeAll();
    FBlock again = NewFBlock(PurgeFSpace() - 64);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(NewFBlock(100000), nullptr);  // empty cache: the callback frees nothing
    DisposeFBlock(again);
}

TEST_F(CacheTest, MemoryManagerEmptiesTheCacheBeforeGivingUp) {
    for (int32_t i = 0; i < 5; ++i) ASSERT_TRUE(addAudio(1, i, 0, 44100, 1000));
    rc::platform::failAllocationsAbove(4096);
    Handle h = NewHandle(1u << 20);
    rc::platform::resetAllocationFaults();
    EXPECT_EQ(h, nullptr);
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(CacheTotal(), 0u);
}

TEST_F(CacheTest, CompactionMovesLiveEntriesIntact) {
    startPool(2u << 20);
    // Interleave entries that stay with entries that go, so the freed gaps
    // sit below live blocks, then ask for blocks that only fit after sliding.
    std::vector<FBlock> keep;
    for (int32_t i = 0; i < 20; ++i) {
        ASSERT_TRUE(addAudio(4, 2 * i, 0, 44100, 80000));
        ASSERT_NE(addVideoEntry(4, 2 * i + 1, 50, 50, 32), nullptr);
        keep.push_back(listed().front());
    }
    for (int32_t i = 0; i < 20; ++i) PurgeFrame(FindAudioSec(4, 2 * i, 0, 44100));
    std::vector<Ptr> before;
    for (FBlock b : keep) before.push_back(b->address);
    // The end space is now short of a megabyte, but the gaps are not: the
    // pool slides live entries down instead of evicting them.
    FBlock big = NewFBlock(1000000);
    ASSERT_NE(big, nullptr);
    size_t moved = 0;
    for (size_t i = 0; i < keep.size(); ++i) moved += keep[i]->address != before[i];
    EXPECT_GT(moved, 0u);
    FmRect r{0, 0, 50, 50};
    for (int32_t i = 0; i < 20; ++i) {
        FBlock b = FindFrame(4, 2 * i + 1, &r, 32);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(holdsPattern(b));
    }
    EXPECT_EQ(listed().size(), 20u);
    EXPECT_EQ(rc::framecache::checkConsistency(), "");
    DisposeFBlock(big);
}

}  // namespace
