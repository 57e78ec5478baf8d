// The time search over item lists, the segment lookups and range tests, and
// a randomised check of every search mode against a linear reference.
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "tracks_fixture.h"

using namespace trackstest;

namespace {

class TrackSearch : public TracksTest {
  protected:
    static int32_t find(Handle list, int32_t t, int16_t mode, bool* found = nullptr) {
        Boolean f = 1;
        int32_t index = 99;
        int32_t r = FindTrackRecIndexAtTime(list, t, mode, &f, &index);
        EXPECT_EQ(r, index);
        EXPECT_EQ(bool(f), r >= 0);
        if (found) *found = f;
        return r;
    }
};

TEST_F(TrackSearch, EmptyOrMissingListsFindNothing) {
    Handle empty = list({});
    for (int16_t mode = 0; mode <= 6; ++mode) {
        EXPECT_EQ(find(empty, 0, mode), -1);
        EXPECT_EQ(find(nullptr, 0, mode), -1);
    }
    EXPECT_EQ(LastTrackFrame(empty), 0);
    EXPECT_EQ(CountTrackItems(empty), 0);
    // No place for the index: -1 and not found.
    Handle one = listOf({{0, 10}});
    Boolean found = 1;
    EXPECT_EQ(FindTrackRecIndexAtTime(one, 5, kFindCovering, &found, nullptr), -1);
    EXPECT_FALSE(found);
    int32_t index = 7;
    EXPECT_EQ(FindTrackRecIndexAtTime(one, 5, kFindCovering, nullptr, &index), 0);
    EXPECT_EQ(index, 0);
    // A word that is not a live item Handle reads as no item.
    Handle bad = NewHandleClear(8);
    EXPECT_EQ(find(bad, 0, kFindCovering), -1);
    EXPECT_EQ(LastTrackFrame(bad), 0);
}

TEST_F(TrackSearch, ModesAtCutsAndGaps) {
    Handle l = listOf({{0, 10}, {10, 20}, {30, 40}});
    EXPECT_EQ(LastTrackFrame(l), 40);
    EXPECT_EQ(CountTrackItems(l), 3);
    // A time at an item's end belongs to the next item ...
    EXPECT_EQ(find(l, 10, kFindCovering), 1);
    EXPECT_EQ(find(l, 10, kFindAtOrAfter), 1);
    EXPECT_EQ(find(l, 10, kFindAfter), 2);
    // ... except for the modes preferring the outgoing item.
    EXPECT_EQ(find(l, 10, kFindAtOrBefore), 0);
    EXPECT_EQ(find(l, 10, kFindAtOutgoing), 0);
    EXPECT_EQ(find(l, 30, kFindAtOrBefore), 2);  // the gap before does not count
    EXPECT_EQ(find(l, 10, kFindBefore), 0);
    EXPECT_EQ(find(l, 5, kFindBefore), -1);
    // In the gap.
    EXPECT_EQ(find(l, 25, kFindCovering), -1);
    EXPECT_EQ(find(l, 25, kFindAtOutgoing), -1);
    EXPECT_EQ(find(l, 25, kFindAtOrBefore), 1);
    EXPECT_EQ(find(l, 25, kFindBefore), 1);
    EXPECT_EQ(find(l, 25, kFindAtOrAfter), 2);
    EXPECT_EQ(find(l, 25, kFindAfter), 2);
    // Nearest: the nearer neighbour, the earlier one on a tie.
    EXPECT_EQ(find(l, 25, kFindNearest), 1);
    EXPECT_EQ(find(l, 24, kFindNearest), 1);
    EXPECT_EQ(find(l, 26, kFindNearest), 2);
    // Past the last item and before the first.
    EXPECT_EQ(find(l, 45, kFindNearest), 2);
    EXPECT_EQ(find(l, 45, kFindAtOrAfter), -1);
    EXPECT_EQ(find(l, 45, kFindAtOrBefore), 2);
    EXPECT_EQ(find(l, 35, kFindAfter), -1);
    Handle late = listOf({{5, 10}});
    EXPECT_EQ(find(late, 0, kFindNearest), 0);
    EXPECT_EQ(find(late, 0, kFindAtOrBefore), -1);
    EXPECT_EQ(find(late, 10, kFindNearest), 0);  // lo past the end, hi in range
    EXPECT_EQ(find(l, 5, 7), -1);                // unknown mode
}

// Linear reference: the covering item, the last item ending at or before t
// and the first item starting after t.
int32_t reference(const std::vector<std::pair<int32_t, int32_t>>& items, int32_t t, int mode) {
    const int32_t n = int32_t(items.size());
    int32_t cover = -1, before = -1, after = -1;
    for (int32_t i = 0; i < n; ++i) {
        if (items[size_t(i)].first <= t && t < items[size_t(i)].second) cover = i;
        if (items[size_t(i)].second <= t) before = i;
        if (after < 0 && items[size_t(i)].first > t) after = i;
    }
    auto valid = [n](int32_t i) { return i >= 0 && i < n ? i : -1; };
    if (cover >= 0) {
        const bool outgoing = cover > 0 && items[size_t(cover - 1)].second == t;
        switch (mode) {
            case 0:
                return valid(cover - 1);
            case 1:
            case 2:
                return outgoing ? cover - 1 : cover;
            case 4:
                return valid(cover + 1);
            default:
                return cover;
        }
    }
    switch (mode) {
        case 0:
        case 1:
            return before;
        case 3:
        case 4:
            return after;
        case 5:
            if (before < 0) return after;
            if (after < 0) return before;
            return int64_t(items[size_t(after)].first) - t <
                           int64_t(t) - items[size_t(before)].second
                       ? after
                       : before;
        default:
            return -1;
    }
}

TEST_F(TrackSearch, RandomListsMatchTheLinearReference) {
    std::mt19937 rng(7);
    for (int round = 0; round < 150; ++round) {
        std::vector<std::pair<int32_t, int32_t>> spans;
        const int count = int(rng() % 12);
        int32_t at = int32_t(rng() % 5) - 2;
        for (int i = 0; i < count; ++i) {
            if (rng() % 2) at += int32_t(rng() % 6);  // a gap, or adjacent items
            const int32_t length = 1 + int32_t(rng() % 5);
            spans.push_back({at, at + length});
            at += length;
        }
        Handle l = listOf(spans);
        for (int32_t t = -4; t <= at + 4; ++t)
            for (int16_t mode = 0; mode <= 6; ++mode)
                ASSERT_EQ(find(l, t, mode), reference(spans, t, mode))
                    << "round " << round << " t " << t << " mode " << mode;
    }
}

TEST_F(TrackSearch, SegmentLookupsHonourOutputAndSwitchedOffItems) {
    Handle clipA = clip(3, 100, 200), clipB = clip(4, 0, 50);
    Handle a1 = item(0, 30, clipA), a2 = item(30, 60, clipA, kItemSwitchedOff);
    rec(a1)->keyColor = 0x00FF00;
    rec(a1)->reserved[15] = 9;
    Handle b1 = item(10, 40, clipB), b2 = item(40, 50, nullptr);
    Handle t = emptyTable();
    AddTrackItem(list({a1, a2}), kTrackTypeVideoAB, t);
    AddTrackItem(list({b1, b2}), kTrackTypeVideoAB, t);

    TrackItemRec copy{};
    EXPECT_EQ(GetTrackSeg(kTrackVideoPair, 0, 5, &copy, t), 3);
    EXPECT_EQ(std::memcmp(&copy, *a1, sizeof copy), 0);           // all 160 bytes
    EXPECT_EQ(GetTrackSeg(kTrackVideoPair, 0, 30, &copy, t), 0);  // switched off
    EXPECT_EQ(GetTrackSeg(kTrackVideoPair, 0, 60, &copy, t), 0);
    EXPECT_EQ(GetTrackSeg(kTrackVideoPair, 2, 5, &copy, t), 0);
    Handle ref = nullptr;
    EXPECT_EQ(GetTrackSegPtr(kTrackVideoPair, 1, 10, &ref, t), 4);
    EXPECT_EQ(ref, b1);
    ref = nullptr;
    EXPECT_EQ(GetTrackSegPtr(kTrackVideoPair, 1, 45, &ref, t), 0);  // an item without a clip
    EXPECT_EQ(ref, b2);
    // B's own output is what GetTrackSeg tests; GetTrackSegPtr looks at A's.
    SetTrackOutput(0, kTrackVideoPair, 0, t);
    EXPECT_EQ(GetTrackSeg(kTrackVideoPair, 0, 5, &copy, t), 0);
    EXPECT_EQ(GetTrackSeg(kTrackVideoPair, 1, 10, &copy, t), 4);
    EXPECT_EQ(GetTrackSegPtr(kTrackVideoPair, 1, 10, &ref, t), 0);
    SetTrackOutput(1, kTrackVideoPair, 0, t);
    SetTrackOutput(0, kTrackVideoPair, 1, t);
    EXPECT_EQ(GetTrackSegPtr(kTrackVideoPair, 1, 10, &ref, t), 4);
    EXPECT_EQ(GetTrackSeg(kTrackVideoPair, 1, 10, &copy, t), 0);
}

TEST_F(TrackSearch, ItemsOfTableClipsFindTheirFile) {
    SetAGlobal(kSlotOpenFileBudget, 20);
    char path[] = "/tmp/reeltracksXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const int16_t file = AddFile(path, 0, 0, 0);
    ASSERT_GT(file, 0);
    int32_t times[kClipFixedMarkers];
    for (int32_t& m : times) m = -1;
    times[0] = 0;
    times[1] = 99;
    const TDB tb{0, 25, 1};
    const int32_t id = AddClip(file, times, &tb, kClipVideo);
    ASSERT_GT(id, 0);
    Handle it = item(0, 100);
    rec(it)->clipID = id;  // no clip Handle: found through the clip table
    Handle t = emptyTable();
    AddTrackItem(list({it}), kTrackTypeSuperimpose, t);
    EXPECT_EQ(GetTrackSegPtr(kTrackSuperimpose, 0, 50, nullptr, t), file);
    TDB got{};
    GetIndTrackTDB(kTrackSuperimpose, 0, t, &got);
    EXPECT_EQ(got.scale, 25);
    std::remove(path);
}

TEST_F(TrackSearch, RangesAndTimeBases) {
    Handle c30 = clip(1, 0, 100, {0, 30, 1});
    Handle t = emptyTable();
    AddTrackItem(list({item(10, 20, c30), item(20, 45, c30)}), kTrackTypeVideoAB, t);
    AddTrackItem(list({}), kTrackTypeVideoAB, t);
    AddTrackItem(list({item(100, 110, c30)}), kTrackTypeAudio, t);
    EXPECT_TRUE(TrackRangeHasContent(0, 0, 11, t));
    EXPECT_FALSE(TrackRangeHasContent(0, 0, 10, t));  // ends are exclusive
    EXPECT_FALSE(TrackRangeHasContent(0, 45, 50, t));
    EXPECT_TRUE(TrackRangeHasContent(0, 44, 45, t));
    EXPECT_FALSE(TrackRangeHasContent(0, 15, 15, t));
    EXPECT_FALSE(TrackRangeHasContent(1, 0, 100, t));
    EXPECT_FALSE(TrackRangeHasContent(7, 0, 100, t));
    EXPECT_TRUE(RangeHasVideo(40, 50, t));
    EXPECT_FALSE(RangeHasVideo(100, 110, t));
    EXPECT_TRUE(RangeHasAudio(109, 200, t));
    SetTrackOutput(0, kTrackAudio, 0, t);
    EXPECT_FALSE(RangeHasAudio(109, 200, t));

    TDB sixty{0, 60, 1};
    EXPECT_EQ(LastTrackFrameTDB(GetTypeTrack(kTrackAll, 0, t), &sixty), 90);
    EXPECT_EQ(LastTrackFrameTDB(GetTypeTrack(kTrackAll, 1, t), &sixty), 0);
    TDB got{};
    GetIndTrackTDB(kTrackAll, 0, t, &got);
    EXPECT_EQ(got.scale, 30);
    const TDB current{0, 2997, 100};
    SetCurrentTimeBase(0, &current);
    GetIndTrackTDB(kTrackAll, 1, t, &got);  // empty track: the current time base
    EXPECT_EQ(got.scale, 2997);
    EXPECT_EQ(got.samp, 100);
    got = TDB{};
    GetIndTrackTDB(kTrackAll, 9, t, &got);
    EXPECT_EQ(got.scale, 2997);
}

}  // namespace
