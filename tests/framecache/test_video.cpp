// Frames in and out of the cache: pixel contents, depth round trips,
// rectangle clipping against both buffers, reuse at the slot-176 limit and
// contents after churn under a small pool.
#include "cache_fixture.h"
#include "reelcore/ppix.h"

namespace {

using namespace cachetest;

PPixRecord* rec(PPixHand p) {
    return reinterpret_cast<PPixRecord*>(*p);
}

// The pixel at column x of memory row y (rows counted from the start of
// memory, as the cache addresses them).
uint32_t& at(PPixHand p, int32_t x, int32_t y) {
    PPixRecord* r = rec(p);
    return *reinterpret_cast<uint32_t*>(r->pixels + int64_t(y) * r->rowBytes + int64_t(x) * 4);
}

uint32_t sourceValue(int32_t seed, int32_t x, int32_t y) {
    uint32_t v = uint32_t(seed) * 2654435761u ^ uint32_t(x) * 40503u ^ uint32_t(y) * 9973u;
    return v * 0x9E3779B1u;
}

// A w x h buffer whose every pixel depends on (seed, x, y).
PPixHand source(int32_t w, int32_t h, int32_t seed) {
    FmRect b{0, 0, w, h};
    PPixHand p = ppixNew(&b);
    if (!p) return nullptr;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) at(p, x, y) = sourceValue(seed, x, y);
    return p;
}

// A destination whose pixels, including the two spare rows, all read
// `fill`, so stray writes show.
PPixHand destination(int32_t w, int32_t h, uint32_t fill) {
    FmRect b{0, 0, w, h};
    PPixHand p = ppixNew(&b);
    if (!p) return nullptr;
    uint32_t* px = reinterpret_cast<uint32_t*>(rec(p)->pixels);
    for (int64_t i = 0; i < int64_t(w) * (h + 2); ++i) px[i] = fill;
    return p;
}

TEST_F(CacheTest, FramesRoundTripAt32And24Bits) {
    PPixHand src = source(40, 30, 1);
    ASSERT_NE(src, nullptr);
    FmRect r{5, 4, 25, 20};  // 20 x 16 from column 5, memory row 4
    ASSERT_TRUE(AddFrame(2, 100, &r, 32, src));
    ASSERT_TRUE(AddFrame(2, 101, &r, 24, src));

    FBlock full = FindFrame(2, 100, &r, 32);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(E(full)->dataLength, 20 * 16 * 4);
    EXPECT_EQ(E(full)->depth, 32);
    PPixHand dst = destination(20, 16, 0x12345678);
    ASSERT_TRUE(GetFrame(full, 0, 0, dst));
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_EQ(at(dst, x, y), sourceValue(1, x + 5, y + 4)) << x << "," << y;

    // The 24-bit copy keeps blue, green and red and comes back opaque.
    FBlock packed = FindFrame(2, 101, &r, 24);
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(E(packed)->dataLength, 20 * 16 * 3);
    EXPECT_EQ(FindFrame(2, 101, &r, 32), nullptr);
    ASSERT_TRUE(GetFrame(packed, 0, 0, dst));
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_EQ(at(dst, x, y), (sourceValue(1, x + 5, y + 4) & 0xFFFFFF) | 0xFF000000u);
    EXPECT_EQ(listed().front(), packed);  // GetFrame promotes

    // A 24-bit request is answered by the 32-bit copy.
    EXPECT_EQ(FindFrame(2, 100, &r, 24), full);
    // Depths other than 24 and 32 are not cached.
    EXPECT_FALSE(AddFrame(2, 102, &r, 16, src));
    EXPECT_FALSE(AddFrame(2, 102, &r, 32, nullptr));
    ppixDispose(src);
    ppixDispose(dst);
}

TEST_F(CacheTest, AddFrameRefusesRectanglesOutsideTheSource) {
    PPixHand src = source(32, 24, 2);
    ASSERT_NE(src, nullptr);
    const uint32_t freeBefore = PurgeFSpace();
    const FmRect bad[] = {
        {-1, 0, 10, 10}, {0, -1, 10, 10}, {25, 0, 33, 10}, {0, 20, 10, 25},
        {0, 0, 0, 10},   {0, 0, 10, 0},   {10, 0, 5, 10},  {0, 0, INT32_MAX, 10},
    };
    for (const FmRect& r : bad) EXPECT_FALSE(AddFrame(3, 0, &r, 32, src));
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(PurgeFSpace(), freeBefore);
    // The full buffer is fine.
    FmRect all{0, 0, 32, 24};
    EXPECT_TRUE(AddFrame(3, 0, &all, 24, src));

    // An 8-bit source has no 32-bit pixels to copy.
    FmRect b{0, 0, 32, 24};
    PPixHand mask = ppixNew8(&b);
    ASSERT_NE(mask, nullptr);
    EXPECT_FALSE(AddFrame(3, 1, &all, 32, mask));
    ppixDispose(mask);
    ppixDispose(src);
}

TEST_F(CacheTest, AFieldSourceOffersOnlyItsOwnRows) {
    // A 16 x 9 buffer showing its second field: the pixel pointer starts one
    // frame row up and steps two rows at a time, so 4 rows are reachable.
    PPixHand src = source(16, 9, 5);
    ASSERT_NE(src, nullptr);
    PPixRecord* r = rec(src);
    char* base = r->pixels;
    const int32_t frameRow = r->rowBytes;
    r->frameBase = base;
    r->field1Start = base;
    r->field2Start = base + frameRow;
    r->pixels = base + frameRow;
    r->rowBytes = frameRow * 2;
    r->activeField = 2;
    FmRect tall{0, 0, 16, 5};
    EXPECT_FALSE(AddFrame(5, 0, &tall, 32, src));
    FmRect field{0, 0, 16, 4};
    ASSERT_TRUE(AddFrame(5, 0, &field, 32, src));
    FBlock b = FindFrame(5, 0, &field, 32);
    ASSERT_NE(b, nullptr);
    PPixHand dst = destination(16, 4, 0);
    ASSERT_TRUE(GetFrame(b, 0, 0, dst));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(at(dst, x, y), sourceValue(5, x, 2 * y + 1));
    // Restore the whole frame before the buffer goes.
    r->pixels = base;
    r->rowBytes = frameRow;
    r->activeField = 0;
    r->frameBase = r->field1Start = r->field2Start = nullptr;
    ppixDispose(dst);
    ppixDispose(src);
}

TEST_F(CacheTest, GetFrameClipsAgainstTheDestination) {
    PPixHand src = source(8, 6, 3);
    FmRect r{0, 0, 8, 6};
    ASSERT_TRUE(AddFrame(4, 0, &r, 32, src));
    FBlock b = FindFrame(4, 0, &r, 32);
    ASSERT_NE(b, nullptr);
    constexpr uint32_t kFill = 0xDEADBEEF;
    struct Case {
        int32_t x, y;
    };
    // Hanging over each edge and each corner, inside, and fully outside.
    const Case cases[] = {{-3, 0}, {0, -2}, {7, 0}, {0, 5},  {-7, -5}, {6, 4},
                          {3, 2},  {10, 0}, {0, 8}, {-8, 0}, {0, -6}};
    for (const Case& c : cases) {
        PPixHand dst = destination(10, 8, kFill);
        const bool wrote = GetFrame(b, c.x, c.y, dst);
        bool any = false;
        // Every destination pixel, spare rows included, is either the frame
        // pixel that belongs there or untouched.
        for (int32_t y = 0; y < 10; ++y) {
            for (int32_t x = 0; x < 10; ++x) {
                const int32_t fx = x - c.x, fy = y - c.y;
                const bool inside = y < 8 && fx >= 0 && fx < 8 && fy >= 0 && fy < 6;
                const uint32_t want = inside ? sourceValue(3, fx, fy) : kFill;
                ASSERT_EQ(at(dst, x, y), want)
                    << "at " << c.x << "," << c.y << ": " << x << "," << y;
                any |= inside;
            }
        }
        EXPECT_EQ(wrote, any) << c.x << "," << c.y;
        ppixDispose(dst);
    }
    // Bad entries and buffers are refused.
    PPixHand dst = destination(10, 8, kFill);
    EXPECT_FALSE(GetFrame(nullptr, 0, 0, dst));
    EXPECT_FALSE(GetFrame(b, 0, 0, nullptr));
    EXPECT_FALSE(GetFrame(reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheHead)), 0, 0, dst));
    ASSERT_TRUE(addAudio(4, 0, 0, 44100, 1000));
    EXPECT_FALSE(GetFrame(listed().front(), 0, 0, dst));
    // A hand-made entry that claims more pixels than its block holds.
    FBlock liar = addVideoEntry(4, 9, 4, 4, 32);
    ASSERT_NE(liar, nullptr);
    E(liar)->heightOrRate = 400;
    EXPECT_FALSE(GetFrame(liar, 0, 0, dst));
    E(liar)->heightOrRate = 4;
    EXPECT_EQ(at(dst, 0, 0), kFill);
    ppixDispose(dst);
    ppixDispose(src);
}

TEST_F(CacheTest, KindLimitReusesTheOldestFrameBlock) {
    PPixHand src = source(320, 240, 4);
    ASSERT_NE(src, nullptr);
    FmRect r{0, 0, 320, 240};
    SetAGlobal(kSlotFrameCacheKindLimit, 2);
    ASSERT_TRUE(AddFrame(1, 0, &r, 32, src));
    ASSERT_TRUE(AddFrame(1, 1, &r, 32, src));
    std::vector<FBlock> blocks;
    for (FBlock b : listed()) blocks.push_back(E(b)->data);
    // Only two cached: the third gets a block of its own.
    ASSERT_TRUE(AddFrame(1, 2, &r, 32, src));
    FBlock third = E(listed().front())->data;
    EXPECT_NE(third, blocks[0]);
    EXPECT_NE(third, blocks[1]);
    // Three cached: the fourth takes the oldest one's block.
    FBlock oldestData = E(listed().back())->data;
    const uint32_t freeBefore = PurgeFSpace();
    ASSERT_TRUE(AddFrame(1, 3, &r, 32, src));
    EXPECT_EQ(PurgeFSpace(), freeBefore);
    EXPECT_EQ(E(listed().front())->data, oldestData);
    EXPECT_EQ(FindFrame(1, 0, &r, 32), nullptr);
    FBlock got = FindFrame(1, 3, &r, 32);
    ASSERT_NE(got, nullptr);
    PPixHand dst = destination(320, 240, 0);
    ASSERT_TRUE(GetFrame(got, 0, 0, dst));
    EXPECT_EQ(at(dst, 319, 239), sourceValue(4, 319, 239));
    EXPECT_EQ(at(dst, 0, 0), sourceValue(4, 0, 0));
    // Audio entries do not count against the video limit.
    ASSERT_TRUE(addAudio(1, 0, 0, 44100, 320 * 240 * 4));
    EXPECT_EQ(listed().size(), 4u);
    ppixDispose(dst);
    ppixDispose(src);
}

TEST_F(CacheTest, FramePixelsSurviveChurnUnderASmallPool) {
    startPool(3u << 20);
    // Three sizes of frame, each with its own pattern per frame number; the
    // pool holds only a few of the big ones, so adding keeps evicting,
    // recycling and compacting.
    const int32_t dims[][2] = {{320, 240}, {160, 120}, {80, 60}};
    std::vector<PPixHand> sources;
    for (int32_t s = 0; s < 8; ++s) sources.push_back(source(320, 240, 100 + s));
    PPixHand dst = destination(320, 240, 0);
    uint32_t seed = 7;
    int checked = 0;
    for (int32_t i = 0; i < 600; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int32_t* d = dims[(seed >> 8) % 3];
        const int32_t frame = int32_t((seed >> 12) % 40);
        FmRect r{0, 0, d[0], d[1]};
        const int32_t depth = (seed >> 20) % 2 ? 24 : 32;
        if (!FindFrame(6, frame, &r, depth)) {
            ASSERT_TRUE(AddFrame(6, frame, &r, depth, sources[size_t(frame % 8)]));
        }
        if (i % 25 != 0) continue;
        // Every cached frame must still hold its own pixels.
        for (FBlock b : listed()) {
            const FrameCacheEntry* e = E(b);
            const int32_t w = e->widthOrFormat, h = e->heightOrRate, f = e->position;
            const uint32_t mask = e->depth == 24 ? 0xFFFFFFu : 0xFFFFFFFFu;
            const uint32_t alpha = e->depth == 24 ? 0xFF000000u : 0;
            ASSERT_TRUE(GetFrame(b, 0, 0, dst));
            for (int32_t y = 0; y < h; y += 7)
                for (int32_t x = 0; x < w; x += 5)
                    ASSERT_EQ(at(dst, x, y), (sourceValue(100 + f % 8, x, y) & mask) | alpha)
                        << "frame " << f << " " << w << "x" << h << " step " << i;
            ++checked;
        }
        ASSERT_EQ(rc::framecache::checkConsistency(), "");
    }
    EXPECT_GT(checked, 100);
    for (PPixHand p : sources) ppixDispose(p);
    ppixDispose(dst);
}

}  // namespace
