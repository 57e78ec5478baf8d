// The purges, CacheTotal and shutdown.
#include "cache_fixture.h"

namespace {

using namespace cachetest;

struct Item {
    int32_t file, pos, width, height, kind, rate;
};

// Entries still listed, as (file, position) pairs, newest first.
std::vector<std::pair<int32_t, int32_t>> keys() {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (FBlock b : listed()) out.emplace_back(E(b)->file, E(b)->position);
    return out;
}

TEST_F(CacheTest, PurgeByFileComparesTheLow16Bits) {
    ASSERT_TRUE(addAudio(1, 0, 0, 44100, 100));
    ASSERT_TRUE(addAudio(0x10001, 1, 0, 44100, 100));  // file 1 with a rate key above
    ASSERT_TRUE(addAudio(2, 2, 0, 44100, 100));
    ASSERT_NE(addVideoEntry(1, 3, 16, 16, 32), nullptr);
    ASSERT_NE(addVideoEntry(0x20002, 4, 16, 16, 32), nullptr);
    PurgeFileFrames(1);
    EXPECT_EQ(keys(), (std::vector<std::pair<int32_t, int32_t>>{{0x20002, 4}, {2, 2}}));
    PurgeFileFrames(0x30002);
    EXPECT_TRUE(listed().empty());
}

TEST_F(CacheTest, PurgeBigFramesKeepsNarrowOrShortFrames) {
    ASSERT_NE(addVideoEntry(1, 0, 100, 300, 24), nullptr);  // not wider than 100
    ASSERT_NE(addVideoEntry(1, 1, 400, 75, 24), nullptr);   // not taller than 75
    ASSERT_NE(addVideoEntry(1, 2, 101, 76, 24), nullptr);
    ASSERT_NE(addVideoEntry(1, 3, 320, 240, 32), nullptr);
    ASSERT_TRUE(addAudio(1, 4, 0, 44100, 5000));
    PurgeBigFrames();
    EXPECT_EQ(keys(), (std::vector<std::pair<int32_t, int32_t>>{{1, 4}, {1, 1}, {1, 0}}));
}

TEST_F(CacheTest, PurgeBigAudioAndPurgeTypeFrames) {
    ASSERT_TRUE(addAudio(1, 0, 0, 3600, 3600));
    ASSERT_TRUE(addAudio(1, 1, 0, 44100, 3600));
    ASSERT_TRUE(addAudio(1, 2, 0, 3601, 3600));
    ASSERT_NE(addVideoEntry(1, 3, 400, 300, 32), nullptr);
    PurgeBigAudio();
    EXPECT_EQ(keys(), (std::vector<std::pair<int32_t, int32_t>>{{1, 3}, {1, 0}}));

    ASSERT_TRUE(addAudio(1, 5, 0, 44100, 10));
    PurgeTypeFrames(kCacheKindVideo);
    EXPECT_EQ(keys(), (std::vector<std::pair<int32_t, int32_t>>{{1, 5}, {1, 0}}));
    PurgeTypeFrames(2);  // no entry has kind bit 2
    EXPECT_EQ(listed().size(), 2u);
    ASSERT_NE(addVideoEntry(1, 6, 4, 4, 32), nullptr);
    PurgeTypeFrames(kCacheKindVideo | kCacheKindAudio);
    EXPECT_TRUE(listed().empty());
}

TEST_F(CacheTest, CacheTotalIsTheSumOfCostsAndPurgeAllReturnsTheSpace) {
    const uint32_t emptyFree = PurgeFSpace();
    uint64_t expected = 0;
    uint32_t seed = 12345;
    for (int32_t i = 0; i < 40; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int32_t n = 1 + int32_t(seed >> 16) % 20000;
        if (i % 3 == 0) {
            const int32_t w = 1 + n % 50, h = 1 + n % 40;
            ASSERT_NE(addVideoEntry(9, i, w, h, i % 2 ? 24 : 32), nullptr);
            expected += uint64_t(w) * uint64_t(h) * uint64_t(i % 2 ? 3 : 4) + 40;
        } else {
            ASSERT_TRUE(addAudio(9, i, 0x200, 22050, n));
            expected += uint64_t(n) + 40;
        }
    }
    EXPECT_EQ(CacheTotal(), expected);
    PurgeAll();
    EXPECT_EQ(CacheTotal(), 0u);
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(PurgeFSpace(), emptyFree);
}

}  // namespace
