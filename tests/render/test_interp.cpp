// CalcInterp against a table worked out by hand from the field rules, and
// what the frame fetch does with the codes.
#include <gtest/gtest.h>

#include <cstring>

#include "reelcore/clips.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/render.h"
#include "timeline/render/render_internal.h"

namespace {

struct Row {
    int32_t itemFlags;
    int32_t renderFlags;
    float speed;
    bool backwards;
    int32_t expected;
};

// Items start at 0 and show source frame 3 at time 0 (25 fps, one tick a
// frame), so a 50 % clip reaches field 3 (odd) there.
const Row kRows[] = {
    // Frame rendering.
    {0x0000, 0, 100, false, -1},
    {0x0200, 0, 100, false, -1},
    {0x2000, 0, 100, false, 0},
    {0x2000 | 0x0800, 0, 100, false, 1},
    {0x2000 | 0x0010, 0, 100, false, 11},
    {0x2000 | 0x0020 | 0x0800, 0, 100, false, 12},
    {0x0040, 0, 100, false, 6},
    {0x0040 | 0x0020 | 0x0010, 0, 100, false, 6},
    {0x0020 | 0x0010, 0, 100, false, 8},
    {0x0010, 0, 100, false, 13},
    {0x0400, 0, 100, false, 3},
    {0x0400 | 0x0800, 0, 100, false, 4},
    {0x0000, 0, 50, false, 1},
    {0x0800, 0, 50, false, 0},
    {0x0800, 0, 100, false, -1},
    // Frame rendering, backwards clips.
    {0x0000, 0, 100, true, 5},
    {0x0040, 0, 100, true, 6},
    {0x0020, 0, 100, true, 8},
    {0x0010, 0, 100, true, 13},
    {0x2000, 0, 100, true, 1},
    {0x0400, 0, 100, true, 5},
    {0x0000, 0, 50, true, 1},  // parity (3 + 1) & 1 = 0, then 0 -> 1
    // Field rendering, upper field first (u = 1).
    {0x2000, 0x100, 100, false, 0},
    {0x2000 | 0x0800, 0x100, 100, false, 1},
    {0x2000 | 0x0010, 0x100, 100, false, 11},
    {0x2000 | 0x0010 | 0x0800, 0x100, 100, false, 12},
    {0x0040, 0x100, 100, false, 6},
    {0x0040 | 0x0800, 0x100, 100, false, 7},
    {0x0020, 0x100, 100, false, 8},
    {0x0020, 0x100, 50, false, 10},
    {0x0020 | 0x0800, 0x100, 50, false, 9},
    {0x0010, 0x100, 100, false, 13},
    {0x0010, 0x100, 50, false, 10},
    {0x0000, 0x100, 100, false, -1},
    {0x0800, 0x100, 100, false, 2},
    {0x0200, 0x100, 100, false, -1},
    {0x0000, 0x100, 50, false, 1},
    {0x0400, 0x100, 100, false, 3},
    {0x0400 | 0x0800, 0x100, 100, false, 4},
    // Field rendering, lower field first (u = 0, parity inverted).
    {0x2000, 0x200, 100, false, 1},
    {0x2000 | 0x0020, 0x200, 100, false, 12},
    {0x0020, 0x200, 50, false, 9},
    {0x0000, 0x200, 50, false, 0},
    {0x0400, 0x200, 100, false, 4},
    // Field rendering, backwards clips.
    {0x0000, 0x100, 100, true, 2},
    {0x0800, 0x100, 100, true, -1},
    {0x0400, 0x100, 100, true, 4},
    {0x0020, 0x100, 50, true, 9},
    {0x2000 | 0x0010, 0x100, 100, true, 11},
};

TEST(CalcInterp, FollowsTheFieldTableForEveryOptionCombination) {
    SetupGlobals();
    InitMemoryMgr();
    for (const Row& row : kRows) {
        Handle clip = NewHandleClear(sizeof(FmClipRecord));
        auto* c = reinterpret_cast<FmClipRecord*>(*clip);
        for (int32_t& m : c->markers) m = -1;
        c->markers[0] = c->markers[1] = 3;
        c->timeBase = TDB{1, 25, 1};
        c->rate = row.speed;
        c->backwards = row.backwards;
        TrackItemRec item{};
        item.start = 0;
        item.end = 10;
        item.clip = HandleToWord(clip);
        item.flags = uint16_t(row.itemFlags);
        const TDB tb{0, 25, 1};
        EXPECT_EQ(CalcInterp(&item, 0, &tb, row.renderFlags), row.expected)
            << "item flags 0x" << std::hex << row.itemFlags << " render flags 0x" << row.renderFlags
            << std::dec << " speed " << row.speed << (row.backwards ? " backwards" : "");
        DisposeHandle(clip);
    }
}

TEST(CalcInterp, CarriesTheHoldRateInTheTopByteExceptForTheWholeFrame) {
    SetupGlobals();
    InitMemoryMgr();
    const TDB tb{0, 25, 1};
    TrackItemRec item{};
    item.end = 10;
    item.holdRate = 12;
    item.flags = 0x2000;
    EXPECT_EQ(CalcInterp(&item, 0, &tb, 0), 12 << 24);
    item.flags = 0x0040;
    EXPECT_EQ(CalcInterp(&item, 0, &tb, 0x100), (12 << 24) | 6);
    item.flags = 0;
    EXPECT_EQ(CalcInterp(&item, 0, &tb, 0), -1);
    EXPECT_EQ(CalcInterp(nullptr, 0, &tb, 0), -1);
}

// A 2 x 4 picture whose rows hold 10, 20, 30, 40 in every byte.
PPixHand rows4() {
    const FmRect b{0, 0, 2, 4};
    PPixHand pix = ppixNew(&b);
    for (int32_t y = 0; y < 4; ++y) std::memset(rc::render::rowOf(pix, y), 10 * (y + 1), 8);
    return pix;
}

std::vector<int> rowValues(PPixHand pix) {
    std::vector<int> v;
    for (int32_t y = 0; y < 4; ++y) v.push_back(rc::render::rowOf(pix, y)[0]);
    return v;
}

TEST(FieldCodes, TheFetchDoublesSwapsOrBlendsFieldsByCode) {
    SetupGlobals();
    InitMemoryMgr();
    const struct {
        int32_t code;
        std::vector<int> rows;
    } cases[] = {
        {-1, {10, 20, 30, 40}},
        {3, {10, 20, 30, 40}},
        {13, {10, 20, 30, 40}},
        {0, {10, 10, 30, 30}},
        {9 | (5 << 24), {10, 10, 30, 30}},
        {1, {20, 20, 40, 40}},
        {12, {20, 20, 40, 40}},
        {2, {20, 10, 40, 30}},
        {5, {20, 10, 40, 30}},
        {6, {15, 15, 35, 35}},
    };
    for (const auto& c : cases) {
        PPixHand pix = rows4();
        rc::render::applyFieldCode(pix, c.code);
        EXPECT_EQ(rowValues(pix), c.rows) << "code " << c.code;
        ppixDispose(pix);
    }
}

TEST(PostSteps, FlickerFilterAndLowerFieldDeinterlace) {
    SetupGlobals();
    InitMemoryMgr();
    PPixHand pix = rows4();
    rc::render::flickerFilter(pix);
    // [1 2 1] / 4 vertically; the edge rows stay.
    EXPECT_EQ(rowValues(pix), (std::vector<int>{10, 20, 30, 40}));
    std::memset(rc::render::rowOf(pix, 1), 200, 8);
    rc::render::flickerFilter(pix);
    EXPECT_EQ(rowValues(pix), (std::vector<int>{10, 110, 75, 40}));
    ppixDispose(pix);

    pix = rows4();
    std::memset(rc::render::rowOf(pix, 1), 0, 8);
    rc::render::deinterlaceLowerField(pix);
    // Odd rows become the average of their neighbours; the last one copies.
    EXPECT_EQ(rowValues(pix), (std::vector<int>{10, 20, 30, 30}));
    ppixDispose(pix);
}

}  // namespace
