// Lookups, promotion order, matching rules, the list/index agreement and
// the slot-176 block reuse.
#include "cache_fixture.h"

namespace {

using namespace cachetest;
using rc::framecache::checkConsistency;

TEST_F(CacheTest, SentinelsLiveInTheirSlotsAndLinkEachOther) {
    FBlock h = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheHead));
    FBlock t = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheTail));
    ASSERT_NE(h, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(E(h)->next, t);
    EXPECT_EQ(E(t)->prev, h);
    EXPECT_EQ(E(h)->prev, nullptr);
    EXPECT_EQ(E(t)->next, nullptr);
    EXPECT_EQ(CacheTotal(), 0u);

    KillFrameQueue();
    EXPECT_EQ(GetAGlobal(kSlotFrameCacheHead), 0);
    EXPECT_EQ(GetAGlobal(kSlotFrameCacheTail), 0);
    // Without a cache every call answers empty and nothing crashes.
    EXPECT_EQ(FindAudioSec(1, 0, 0, 44100), nullptr);
    EXPECT_FALSE(addAudio(1, 0, 0, 44100, 100));
    EXPECT_EQ(RemoveLRUFrame(0), 0);
    PurgeAll();
    ASSERT_EQ(InitFrameQueue(), 0);
}

TEST_F(CacheTest, AudioHitMissAndPromotionOrder) {
    for (int32_t s = 0; s < 5; ++s) ASSERT_TRUE(addAudio(7, s, 0x0300, 44100, 4000 + s));
    // Newest first.
    std::vector<FBlock> order = listed();
    ASSERT_EQ(order.size(), 5u);
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(E(order[i])->position, int32_t(4 - i));

    // A hit returns the right bytes and moves the entry to the front.
    FBlock hit = FindAudioSec(7, 1, 0x0300, 44100);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(E(hit)->position, 1);
    EXPECT_EQ(E(hit)->dataLength, 4001);
    EXPECT_TRUE(holdsPattern(hit));
    order = listed();
    EXPECT_EQ(order.front(), hit);
    EXPECT_EQ(E(order[1])->position, 4);
    EXPECT_EQ(E(order.back())->position, 0);
    EXPECT_EQ(checkConsistency(), "");

    // Misses: another file, second, rate; and a miss changes no order.
    EXPECT_EQ(FindAudioSec(8, 1, 0x0300, 44100), nullptr);
    EXPECT_EQ(FindAudioSec(7, 5, 0x0300, 44100), nullptr);
    EXPECT_EQ(FindAudioSec(7, 1, 0x0300, 48000), nullptr);
    EXPECT_EQ(listed(), order);

    // Promoting the oldest and then the newest again.
    FBlock oldest = FindAudioSec(7, 0, 0x0300, 44100);
    ASSERT_EQ(oldest, order.back());
    EXPECT_EQ(listed().front(), oldest);
    EXPECT_EQ(FindAudioSec(7, 0, 0x0300, 44100), oldest);
    EXPECT_EQ(listed().size(), 5u);
    EXPECT_EQ(checkConsistency(), "");
}

TEST_F(CacheTest, AudioMatchesOnFormatBitsOnly) {
    // Bits 7 and 0 and 10 are not part of the match; 8, 9, 11 and 12 are.
    ASSERT_TRUE(addAudio(3, 2, 0x0300 | 0x0080 | 0x0001, 48000, 64));
    EXPECT_NE(FindAudioSec(3, 2, 0x0300, 48000), nullptr);
    EXPECT_NE(FindAudioSec(3, 2, 0x0700, 48000), nullptr);
    EXPECT_EQ(FindAudioSec(3, 2, 0x0100, 48000), nullptr);
    EXPECT_EQ(FindAudioSec(3, 2, 0x0200, 48000), nullptr);
    EXPECT_EQ(FindAudioSec(3, 2, 0x0B00, 48000), nullptr);
    EXPECT_EQ(FindAudioSec(3, 2, 0x1300, 48000), nullptr);
    // Two formats of the same second are separate entries.
    ASSERT_TRUE(addAudio(3, 2, 0x1B00, 48000, 128));
    FBlock wide = FindAudioSec(3, 2, 0x1B00, 48000);
    FBlock plain = FindAudioSec(3, 2, 0x0300, 48000);
    ASSERT_NE(wide, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_NE(wide, plain);
    EXPECT_EQ(E(wide)->dataLength, 128);
    EXPECT_EQ(E(plain)->dataLength, 64);
    // Bad arguments cache nothing.
    EXPECT_EQ(AddAudioSec(3, 9, 0, 48000, nullptr, 10), 0);
    uint8_t byte = 1;
    EXPECT_EQ(AddAudioSec(3, 9, 0, 48000, &byte, 0), 0);
    EXPECT_EQ(AddAudioSec(3, 9, 0, 48000, &byte, -5), 0);
    EXPECT_EQ(listed().size(), 2u);
}

TEST_F(CacheTest, VideoMatchTakesA32BitCopyForA24BitRequest) {
    FmRect r{0, 0, 64, 48};
    ASSERT_NE(addVideoEntry(1, 10, 64, 48, 32), nullptr);
    ASSERT_NE(addVideoEntry(1, 11, 64, 48, 24), nullptr);
    EXPECT_NE(FindFrame(1, 10, &r, 24), nullptr);
    EXPECT_NE(FindFrame(1, 10, &r, 32), nullptr);
    EXPECT_NE(FindFrame(1, 11, &r, 24), nullptr);
    EXPECT_EQ(FindFrame(1, 11, &r, 32), nullptr);
    // The size is the rectangle's, wherever it lies.
    FmRect moved{100, 200, 164, 248};
    EXPECT_NE(FindFrame(1, 10, &moved, 32), nullptr);
    FmRect other{0, 0, 64, 47};
    EXPECT_EQ(FindFrame(1, 10, &other, 32), nullptr);
    EXPECT_EQ(FindFrame(2, 10, &r, 32), nullptr);
    EXPECT_EQ(FindFrame(1, 10, nullptr, 32), nullptr);

    // Two copies that both answer: the more recently used one wins, as a walk
    // from the front would find it.
    FBlock deep = addVideoEntry(1, 12, 64, 48, 32);
    FBlock shallow = addVideoEntry(1, 12, 64, 48, 24);
    EXPECT_EQ(FindFrame(1, 12, &r, 24), shallow);
    EXPECT_EQ(FindFrame(1, 12, &r, 32), deep);
    EXPECT_EQ(FindFrame(1, 12, &r, 24), deep);
    EXPECT_EQ(listed().front(), deep);
    EXPECT_EQ(checkConsistency(), "");
}

TEST_F(CacheTest, InsertAndDeleteKeepListAndIndexInStep) {
    FBlock a = addVideoEntry(1, 1, 8, 8, 32);
    FBlock b = addVideoEntry(1, 2, 8, 8, 32);
    FBlock c = addVideoEntry(1, 3, 8, 8, 32);
    FmRect r{0, 0, 8, 8};
    EXPECT_EQ(listed(), (std::vector<FBlock>{c, b, a}));

    // Deleting unlinks but keeps the memory; the entry is then not found.
    DeleteFrame(b);
    EXPECT_EQ(listed(), (std::vector<FBlock>{c, a}));
    EXPECT_EQ(FindFrame(1, 2, &r, 32), nullptr);
    EXPECT_NE(b->address, nullptr);
    EXPECT_TRUE(holdsPattern(b));
    EXPECT_EQ(checkConsistency(), "");
    DeleteFrame(b);  // a second time changes nothing
    EXPECT_EQ(listed(), (std::vector<FBlock>{c, a}));

    // Inserting puts it at the front; inserting a listed entry moves it
    // rather than linking it twice.
    InsertFrame(b);
    EXPECT_EQ(listed(), (std::vector<FBlock>{b, c, a}));
    InsertFrame(a);
    EXPECT_EQ(listed(), (std::vector<FBlock>{a, b, c}));
    InsertFrame(a);
    EXPECT_EQ(listed(), (std::vector<FBlock>{a, b, c}));
    EXPECT_EQ(FindFrame(1, 2, &r, 32), b);
    EXPECT_EQ(checkConsistency(), "");

    // A listed entry whose key was changed in place is still moved and
    // found under its new key.
    E(c)->position = 30;
    InsertFrame(c);
    EXPECT_EQ(listed(), (std::vector<FBlock>{c, b, a}));
    EXPECT_EQ(FindFrame(1, 30, &r, 32), c);
    EXPECT_EQ(FindFrame(1, 3, &r, 32), nullptr);
    EXPECT_EQ(checkConsistency(), "");

    // Sentinels and null are refused.
    InsertFrame(reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheTail)));
    DeleteFrame(reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheHead)));
    InsertFrame(nullptr);
    DeleteFrame(nullptr);
    PurgeFrame(nullptr);
    EXPECT_EQ(listed().size(), 3u);

    // PurgeFrame of an unlinked entry frees it as well.
    const uint32_t freeBefore = PurgeFSpace();
    DeleteFrame(a);
    PurgeFrame(a);
    EXPECT_EQ(PurgeFSpace(), freeBefore + 64 + 256);
    EXPECT_EQ(checkConsistency(), "");
}

TEST_F(CacheTest, ConsistencyCheckSeesAListAndIndexThatDisagree) {
    FBlock a = addVideoEntry(1, 1, 8, 8, 32);
    FBlock b = addVideoEntry(1, 2, 8, 8, 32);
    FBlock c = addVideoEntry(1, 3, 8, 8, 32);
    ASSERT_EQ(checkConsistency(), "");
    // Unlink b from the list behind the index's back.
    E(c)->next = a;
    E(a)->prev = c;
    EXPECT_NE(checkConsistency(), "");
    E(c)->next = b;
    E(a)->prev = b;
    ASSERT_EQ(checkConsistency(), "");
    // A broken back link.
    E(a)->prev = c;
    EXPECT_NE(checkConsistency(), "");
    E(a)->prev = b;
    // Two entries of one key whose chain runs against the list order.
    FBlock older = addVideoEntry(1, 5, 8, 8, 24);
    FBlock newer = addVideoEntry(1, 5, 8, 8, 32);
    ASSERT_EQ(checkConsistency(), "");
    FBlock h = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheHead));
    // Swap the two at the front of the list, leaving their chain as it was.
    ASSERT_EQ(E(h)->next, newer);
    FBlock third = E(older)->next;
    E(h)->next = older;
    E(older)->prev = h;
    E(older)->next = newer;
    E(newer)->prev = older;
    E(newer)->next = third;
    E(third)->prev = newer;
    EXPECT_EQ(checkConsistency(), "index chain out of list order");
    // Put them back for the fixture's own check.
    E(h)->next = newer;
    E(newer)->prev = h;
    E(newer)->next = older;
    E(older)->prev = newer;
    E(older)->next = third;
    E(third)->prev = older;
}

TEST_F(CacheTest, EntriesOfOtherKindsAndChangedKindsStayIndexed) {
    FmRect r{0, 0, 8, 8};
    FBlock a = addVideoEntry(2, 9, 8, 8, 32);
    FBlock b = addVideoEntry(2, 9, 8, 8, 24);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    // A kind a caller made up: moved to the front under its new kind, no
    // longer a video frame, still counted and purged by its kind bit.
    E(a)->kind = 2;
    InsertFrame(a);
    EXPECT_EQ(listed(), (std::vector<FBlock>{a, b}));
    EXPECT_EQ(FindFrame(2, 9, &r, 32), nullptr);
    EXPECT_EQ(FindFrame(2, 9, &r, 24), b);
    EXPECT_EQ(checkConsistency(), "");
    // Turned into an audio second (rate in the height, format in the width).
    E(b)->kind = kCacheKindAudio;
    E(b)->heightOrRate = 22050;
    E(b)->widthOrFormat = 0x0300;
    InsertFrame(b);
    EXPECT_EQ(FindFrame(2, 9, &r, 24), nullptr);
    EXPECT_EQ(FindAudioSec(2, 9, 0x0300, 22050), b);
    EXPECT_EQ(checkConsistency(), "");
    PurgeTypeFrames(2);
    EXPECT_EQ(listed(), (std::vector<FBlock>{b}));
    EXPECT_EQ(checkConsistency(), "");
    // Back to video and taken out; the audio key no longer answers.
    E(b)->kind = kCacheKindVideo;
    DeleteFrame(b);
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(FindAudioSec(2, 9, 0x0300, 22050), nullptr);
    EXPECT_EQ(checkConsistency(), "");
    PurgeFrame(b);
}

TEST_F(CacheTest, ManyKeysSurviveIndexGrowthAndRemoval) {
    // Enough distinct keys to grow the index several times, then remove
    // every other one so probe runs have holes in them.
    std::vector<FBlock> all;
    for (int32_t i = 0; i < 600; ++i) {
        FBlock b = addVideoEntry(i % 7, i * 13, 4, 4, 32);
        ASSERT_NE(b, nullptr);
        all.push_back(b);
    }
    ASSERT_EQ(checkConsistency(), "");
    for (size_t i = 0; i < all.size(); i += 2) PurgeFrame(all[i]);
    ASSERT_EQ(checkConsistency(), "");
    FmRect r{0, 0, 4, 4};
    for (int32_t i = 0; i < 600; ++i) {
        FBlock b = FindFrame(i % 7, i * 13, &r, 32);
        if (i % 2 == 0) {
            EXPECT_EQ(b, nullptr) << i;
        } else {
            ASSERT_EQ(b, all[size_t(i)]) << i;
            EXPECT_TRUE(holdsPattern(b));
        }
    }
    EXPECT_EQ(listed().size(), 300u);
}

TEST_F(CacheTest, SlotLimitReusesTheOldestEqualSizedBlock) {
    // 320 x 240 at 32 bits.
    constexpr int32_t n = 320 * 240 * 4;
    SetAGlobal(kSlotFrameCacheKindLimit, 2);
    ASSERT_TRUE(addAudio(1, 0, 0, 44100, n));
    ASSERT_TRUE(addAudio(1, 1, 0, 44100, n));
    // Two cached: not above the limit, so a new block.
    uint32_t blocksBefore = PurgeFSpace();
    ASSERT_TRUE(addAudio(1, 2, 0, 44100, n));
    EXPECT_LT(PurgeFSpace(), blocksBefore - uint32_t(n));
    ASSERT_EQ(listed().size(), 3u);

    // Three cached, above the limit of 2: the oldest's block is taken over.
    FBlock oldest = listed().back();
    FBlock oldData = E(oldest)->data;
    const uint32_t freeBefore = PurgeFSpace();
    ASSERT_TRUE(addAudio(1, 3, 0, 44100, n));
    EXPECT_EQ(PurgeFSpace(), freeBefore);
    ASSERT_EQ(listed().size(), 3u);
    EXPECT_EQ(E(listed().front())->data, oldData);
    EXPECT_EQ(FindAudioSec(1, 0, 0, 44100), nullptr);
    FBlock fresh = FindAudioSec(1, 3, 0, 44100);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(holdsPattern(fresh));
    EXPECT_EQ(E(fresh)->kind, kCacheKindAudio);

    // A different size finds nothing to reuse and gets a new block.
    ASSERT_TRUE(addAudio(1, 4, 0, 44100, n / 2));
    EXPECT_EQ(listed().size(), 4u);
    EXPECT_NE(FindAudioSec(1, 1, 0, 44100), nullptr);
    EXPECT_EQ(checkConsistency(), "");
}

TEST_F(CacheTest, FullPoolReusesAnOldBlockBeforeEvicting) {
    startPool(1u << 20);
    constexpr int32_t n = 100000;
    // Keep adding until the pool has no room for a new block of n.
    int32_t s = 0;
    while (PurgeFSpace() > uint32_t(n) + 72) ASSERT_TRUE(addAudio(2, s++, 0, 22050, n));
    const size_t count = listed().size();
    const uint32_t freeBefore = PurgeFSpace();
    FBlock oldData = E(listed().back())->data;
    ASSERT_TRUE(addAudio(2, s, 0, 22050, n));
    // The oldest entry was recycled: same count, same free space, its block.
    EXPECT_EQ(listed().size(), count);
    EXPECT_EQ(PurgeFSpace(), freeBefore);
    EXPECT_EQ(E(listed().front())->data, oldData);
    EXPECT_EQ(FindAudioSec(2, 0, 0, 22050), nullptr);
    EXPECT_TRUE(holdsPattern(FindAudioSec(2, s, 0, 22050)));
}

}  // namespace
