#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/memory_hooks.h"
#include "core/memory_internal.h"
#include "platform/alloc.h"
#include "reelcore/memory.h"

namespace {

using rc::memory::ZoneKind;

class Memory : public ::testing::Test {
  protected:
    void SetUp() override {
        InitMemoryMgr();
        rc::platform::resetAllocationFaults();
        SetMaxAllocInHeap(8192);
    }
    void TearDown() override {
        rc::platform::resetAllocationFaults();
        rc::memhooks::setPurgeAll(nullptr);
        rc::memhooks::setLowMemoryNotice(nullptr);
        SetMaxAllocInHeap(8192);
    }
};

TEST_F(Memory, EmptyHandleGrowsIntoZeroedBytes) {
    Handle h = FmNewHandle(0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(*h, nullptr);
    EXPECT_EQ(FmGetHandleSize(h), 0u);
    EXPECT_EQ(rc::memory::zoneKind(h), ZoneKind::Large);
    ASSERT_EQ(FmSetHandleSize(h, 10), 0);
    ASSERT_NE(*h, nullptr);
    EXPECT_EQ(FmGetHandleSize(h), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ((*h)[i], 0);
    EXPECT_EQ(FmSetHandleSize(h, 0), 0);
    EXPECT_EQ(*h, nullptr);
    DisposeHandle(h);
    EXPECT_EQ(MemError(), 0);
}

TEST_F(Memory, PlacementFollowsTheHeapLimit) {
    Handle atLimit = FmNewHandle(8192);
    Handle above = FmNewHandle(8193);
    ASSERT_TRUE(atLimit && above);
    EXPECT_EQ(rc::memory::zoneKind(atLimit), ZoneKind::SubHeap);
    EXPECT_EQ(rc::memory::zoneKind(above), ZoneKind::Large);

    // Growing past the limit leaves the sub-heap with the leading bytes intact.
    Handle h = FmNewHandle(100);
    for (int i = 0; i < 100; ++i) (*h)[i] = char(i);
    ASSERT_EQ(FmSetHandleSize(h, 20000), 0);
    EXPECT_EQ(rc::memory::zoneKind(h), ZoneKind::Large);
    for (int i = 0; i < 100; ++i) ASSERT_EQ((*h)[i], char(i));

    // Shrinking never resizes in place: a fresh block, same leading bytes.
    Handle s = FmNewHandle(4000);
    std::memset(*s, 0x5a, 4000);
    Ptr before = *s;
    Handle keepZoneAlive = FmNewHandle(16);
    ASSERT_EQ(FmSetHandleSize(s, 100), 0);
    EXPECT_NE(*s, before);
    EXPECT_EQ(rc::memory::zoneKind(s), ZoneKind::SubHeap);
    for (int i = 0; i < 100; ++i) ASSERT_EQ((*s)[i], 0x5a);

    // A heap limit above a sub-heap's capacity sends blocks to the large zone.
    SetMaxAllocInHeap(1u << 20);
    Handle big = FmNewHandle(300000);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(rc::memory::zoneKind(big), ZoneKind::Large);

    for (Handle x : {atLimit, above, h, s, keepZoneAlive, big}) DisposeHandle(x);
}

// Growing a sub-heap handle in place clears the new bytes, also when the
// block it grows into held old data (twice: reuse may hide it once).
TEST_F(Memory, RegrowingAfterAShrinkGivesZeroBytes) {
    Handle keepZoneAlive = FmNewHandle(16);
    Handle h = FmNewHandle(1000);
    ASSERT_TRUE(h && keepZoneAlive);
    for (int round = 0; round < 2; ++round) {
        std::memset(*h, 0xAB, 1000);
        ASSERT_EQ(FmSetHandleSize(h, 10), 0);
        std::memset(*h, 0xCD, 10);
        ASSERT_EQ(FmSetHandleSize(h, 1000), 0);
        EXPECT_EQ(rc::memory::zoneKind(h), ZoneKind::SubHeap);
        for (int i = 0; i < 10; ++i) ASSERT_EQ(uint8_t((*h)[i]), 0xCD) << round;
        for (int i = 10; i < 1000; ++i) ASSERT_EQ((*h)[i], 0) << round << " at " << i;
    }
    DisposeHandle(h);
    DisposeHandle(keepZoneAlive);
}

TEST_F(Memory, StateFlagsAndNullArguments) {
    Handle h = FmNewHandle(32);
    HPurge(h);
    HLock(h);
    EXPECT_EQ(HGetState(h), 1);
    EXPECT_FALSE(IsPurgeableHandle(h));
    HSetState(h, 0);
    EXPECT_EQ(HGetState(h), 0);
    EXPECT_TRUE(IsPurgeableHandle(h));
    HNoPurge(h);
    EXPECT_FALSE(IsPurgeableHandle(h));
    DisposeHandle(h);

    FmDisposeHandle(nullptr);
    EXPECT_EQ(MemError(), nilHandleErr);
    EXPECT_EQ(FmHLock(nullptr), nullptr);
    EXPECT_EQ(MemError(), memWZErr);
    EXPECT_EQ(FmSetHandleSize(nullptr, 10), 1);
    EXPECT_EQ(MemError(), memWZErr);
    EXPECT_EQ(FmGetHandleSize(nullptr), 0u);
    FmDisposePtr(nullptr);
    EXPECT_EQ(MemError(), memWZErr);
    EXPECT_EQ(NilHandle(FmNewHandle(8)), nullptr);
    EXPECT_EQ(NilPtr(FmNewPtr(8)), nullptr);
    EXPECT_EQ(SetResHandle(nullptr, 1), 0);
}

TEST_F(Memory, HandleValuesFitIn32Bits) {
    std::vector<Handle> hs;
    for (int i = 0; i < 3000; ++i) hs.push_back(FmNewHandle(uint32_t(i % 50)));
    for (Handle h : hs) {
        ASSERT_LT(reinterpret_cast<uintptr_t>(h), uintptr_t(1) << 31);
        EXPECT_EQ(WordToHandle(HandleToWord(h)), h);
        EXPECT_TRUE(FmIsValidHandle(h));
    }
    Handle gone = hs.back();
    for (Handle h : hs) DisposeHandle(h);
    EXPECT_FALSE(FmIsValidHandle(gone));
    int onStack = 0;
    EXPECT_FALSE(FmIsValidHandle(reinterpret_cast<Handle>(&onStack)));
    EXPECT_TRUE(FmIsValidPtr(&onStack));
    EXPECT_FALSE(FmIsValidPtr(nullptr));
}

TEST_F(Memory, PurgeTakesOnlyPurgeableUnlockedBytes) {
    // Two handles in the zone at the front of the list.
    Handle purgeable = FmNewHandle(64);
    Handle locked = FmNewHandle(64);
    ASSERT_TRUE(rc::memory::sameZone(purgeable, locked));
    std::memset(*locked, 7, 64);
    HPurge(purgeable);
    HPurge(locked);
    HLock(locked);

    // The zone's allocation fails once: the zone is purged and the retry works.
    rc::platform::failNextAllocations(1);
    Handle fresh = FmNewHandle(64);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(*purgeable, nullptr);
    EXPECT_EQ(FmGetHandleSize(purgeable), 0u);
    EXPECT_TRUE(FmIsValidHandle(purgeable));
    ASSERT_NE(*locked, nullptr);
    EXPECT_EQ((*locked)[63], 7);

    // A handle being resized is never purged to make room for itself.
    HUnlock(locked);
    rc::platform::failNextAllocations(1);
    ASSERT_EQ(FmSetHandleSize(locked, 128), 0);
    EXPECT_EQ((*locked)[0], 7);
    EXPECT_EQ((*locked)[127], 0);

    for (Handle h : {purgeable, locked, fresh}) DisposeHandle(h);
}

TEST_F(Memory, MemoryTerminatePurgesOnlyPurgeableHandles) {
    Handle keep = FmNewHandle(100);
    Handle lose = FmNewHandle(20000);
    Handle lockedLose = FmNewHandle(100);
    HPurge(lose);
    HPurge(lockedLose);
    HLock(lockedLose);
    MemoryTerminate();
    EXPECT_NE(*keep, nullptr);
    EXPECT_EQ(*lose, nullptr);
    EXPECT_NE(*lockedLose, nullptr);
    for (Handle h : {keep, lose, lockedLose}) DisposeHandle(h);
}

TEST_F(Memory, FailuresLeaveDestinationsUnchanged) {
    Handle dst = FmNewHandle(4);
    std::memcpy(*dst, "abcd", 4);
    rc::platform::failAllocationsAbove(32);
    char bytes[64] = {};
    EXPECT_EQ(FmPtrAndHand(bytes, dst, 64), memFullErr);
    EXPECT_EQ(FmGetHandleSize(dst), 4u);
    EXPECT_EQ(std::memcmp(*dst, "abcd", 4), 0);

    EXPECT_EQ(FmNewHandleClear(100000), nullptr);
    EXPECT_EQ(MemError(), memFullErr);

    Ptr p = FmNewPtr(8);
    ASSERT_NE(p, nullptr);
    Ptr old = p;
    EXPECT_EQ(FmSetPtrSize(&p, 1000), memFullErr);
    EXPECT_EQ(p, old);
    rc::platform::resetAllocationFaults();

    // The source may be the destination: the handle doubles itself.
    EXPECT_EQ(FmHandAndHand(dst, dst), noErr);
    EXPECT_EQ(FmGetHandleSize(dst), 8u);
    EXPECT_EQ(std::memcmp(*dst, "abcdabcd", 8), 0);
    EXPECT_EQ(FmHandAndHand(nullptr, dst), nilHandleErr);
    EXPECT_EQ(FmPtrAndHand(nullptr, dst, 1), nilHandleErr);

    Handle copy = dst;
    ASSERT_EQ(FmHandToHand(&copy), noErr);
    EXPECT_NE(copy, dst);
    EXPECT_EQ(std::memcmp(*copy, "abcdabcd", 8), 0);
    Handle fromPtr = nullptr;
    ASSERT_EQ(FmPtrToHand("xyz", &fromPtr, 3), noErr);
    EXPECT_EQ(std::memcmp(*fromPtr, "xyz", 3), 0);

    for (Handle h : {dst, copy, fromPtr}) DisposeHandle(h);
    DisposePtr(p);
}

TEST_F(Memory, NewSubHeapZoneIsDestroyedWhenItsFirstBlockFails) {
    Handle anchor = FmNewHandle(16);
    uint32_t zones = rc::memory::stats().subHeapZones;
    // The zone record itself is small and succeeds; the 300-byte block fails
    // everywhere.
    rc::platform::failAllocationsAbove(200);
    EXPECT_EQ(FmNewHandle(300), nullptr);
    EXPECT_EQ(MemError(), memFullErr);
    EXPECT_EQ(rc::memory::stats().subHeapZones, zones);
    rc::platform::resetAllocationFaults();
    DisposeHandle(anchor);
}

TEST_F(Memory, LastChanceNotifiesThenEmptiesTheCache) {
    static std::vector<int> events;
    events.clear();
    rc::memhooks::setLowMemoryNotice([](int32_t m) { events.push_back(m); });
    rc::memhooks::setPurgeAll([] {
        events.push_back(0);
        rc::platform::resetAllocationFaults();
    });
    rc::platform::failAllocationsAbove(9000);
    Handle h = FmNewHandle(10000);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(events, (std::vector<int>{105, 95, 0}));
    DisposeHandle(h);
}

TEST_F(Memory, DisposingTheLastBlockDestroysItsZone) {
    // Fill a fresh zone at the front, then empty it.
    uint32_t zones = rc::memory::stats().subHeapZones;
    std::vector<Handle> hs;
    while (rc::memory::stats().subHeapZones == zones) hs.push_back(FmNewHandle(8000));
    Handle inNewZone = hs.back();
    EXPECT_EQ(rc::memory::subHeapFree(inNewZone), rc::memory::kSubHeapInitialFree - 8016);
    hs.pop_back();
    DisposeHandle(inNewZone);
    EXPECT_EQ(rc::memory::stats().subHeapZones, zones);
    for (Handle h : hs) DisposeHandle(h);
}

TEST_F(Memory, ResourceHandlesKeepTheirTrailer) {
    Handle h = FmNewHandle(15);
    std::memcpy(*h, "hello", 5);
    const unsigned char trailer[10] = {1, 0, 'T', 'X', 'E', 'T', 5, 0, 0, 0};
    std::memcpy(*h + 5, trailer, 10);
    EXPECT_EQ(SetResHandle(h, 1), 1);
    EXPECT_EQ(FmGetHandleSize(h), 5u);
    ASSERT_EQ(FmSetHandleSize(h, 3), 0);
    EXPECT_EQ(FmGetHandleSize(h), 3u);
    EXPECT_EQ(std::memcmp(*h, "hel", 3), 0);
    EXPECT_EQ(std::memcmp(*h + 3, trailer, 6), 0);
    EXPECT_EQ((*h)[9], 3);  // the data length follows the new size
    SetResHandle(h, 0);
    DisposeHandle(h);

    // A named resource: the name sits between the data and the trailer.
    Handle named = FmNewHandle(16);
    std::memcpy(*named, "abcnm", 6);
    const unsigned char namedTrailer[10] = {2, 0, 'T', 'X', 'E', 'T', 3, 0, 0, 0};
    std::memcpy(*named + 6, namedTrailer, 10);
    SetResHandle(named, 1);
    EXPECT_EQ(FmGetHandleSize(named), 3u);
    ASSERT_EQ(FmSetHandleSize(named, 5), 0);
    EXPECT_EQ(FmGetHandleSize(named), 5u);
    EXPECT_EQ(rc::memory::storedSize(named), 18u);
    EXPECT_STREQ(*named + 5, "nm");
    EXPECT_EQ((*named)[8 + 6], 5);
    EXPECT_TRUE(rc::memory::isResourceHandle(named));
    SetResHandle(named, 0);
    EXPECT_FALSE(rc::memory::isResourceHandle(named));
    DisposeHandle(named);

    Handle tiny = FmNewHandle(4);
    SetResHandle(tiny, 1);
    EXPECT_EQ(FmGetHandleSize(tiny), 0u);
    DisposeHandle(tiny);
}

TEST_F(Memory, PointerBlocks) {
    OSErr before = MemError();
    Ptr p = FmNewPtrClear(100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(MemError(), before);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(FmGetPtrSize(p), 100u);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
    std::memcpy(p, "pointer", 8);
    ASSERT_EQ(SetPtrSize(&p, 20000), noErr);
    EXPECT_EQ(GetPtrSize(p), 20000u);
    EXPECT_STREQ(p, "pointer");
    ASSERT_EQ(SetPtrSize(&p, 4), noErr);
    EXPECT_EQ(std::memcmp(p, "poin", 4), 0);
    DisposePtr(p);
    EXPECT_EQ(MemError(), 0);

    int32_t grow = 1234;
    EXPECT_EQ(FmMaxMem(&grow), 1234);
    char a[8] = "overlap";
    BlockMove(a, a + 1, 6);
    EXPECT_EQ(std::memcmp(a, "ooverla", 7), 0);
}

}  // namespace

namespace {

TEST(MemoryLimits, HandleRecordsRunOutAfterFourHundredSlabs) {
    InitMemoryMgr();
    const uint32_t limit = rc::memory::kRecordsPerSlab * rc::memory::kMaxSlabs;
    std::vector<Handle> hs;
    hs.reserve(limit);
    uint32_t inUse = rc::memory::stats().handlesInUse;
    while (Handle h = FmNewHandle(0)) hs.push_back(h);
    EXPECT_EQ(hs.size() + inUse, limit);
    EXPECT_EQ(MemError(), memFullErr);
    // A disposed record is handed out again.
    Handle last = hs.back();
    DisposeHandle(last);
    hs.pop_back();
    Handle again = FmNewHandle(4);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again, last);
    DisposeHandle(again);
    for (Handle h : hs) DisposeHandle(h);
}

}  // namespace
