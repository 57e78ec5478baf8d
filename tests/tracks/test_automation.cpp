// The automation write: lead-in and lead-out ramps, heights from neighbours,
// thinning, continuous writing, and positions that stay strictly ascending.
#include <random>

#include "platform/alloc.h"
#include "timeline/automation.h"
#include "tracks_fixture.h"

using namespace trackstest;
using rc::timeline::AutomationMode;
using rc::timeline::writeAutomation;

namespace {

class Automation : public TracksTest {
  protected:
    static std::vector<std::pair<int32_t, int16_t>> levels(Handle b) {
        std::vector<std::pair<int32_t, int16_t>> out;
        for (const auto& p : pointsOf(b)) out.push_back({p.position, p.level});
        return out;
    }
    using Levels = std::vector<std::pair<int32_t, int16_t>>;
};

TEST_F(Automation, SingleMoveRampsInAndOut) {
    // Scale 100: level 128 is height 50; the ends carry other heights so the
    // neighbour rule shows.
    Handle b = band(100, {{0, 49, 128}, {1000, 51, 128}});
    EXPECT_EQ(writeAutomation(b, 500, 200, 50, AutomationMode::Insert), 2);
    EXPECT_EQ(levels(b), (Levels{{0, 128}, {450, 128}, {500, 200}, {550, 128}, {1000, 128}}));
    const auto pts = pointsOf(b);
    EXPECT_EQ(pts[1].height, 49);  // the lead-in copies the previous point's height
    EXPECT_EQ(pts[2].height, 78);  // 200 × 100 ÷ 256
    EXPECT_EQ(pts[3].height, 51);  // the lead-out copies the next point's height
    EXPECT_EQ(GetHandleSize(b), 8u + 6 * 8);
    EXPECT_EQ(ValueAtPoint(500, 256, b), 200);
    EXPECT_EQ(ValueAtPoint(475, 256, b), 164);

    // A change of 1 needs no ramps.
    Handle small = band(100, {{0, 50, 128}, {1000, 50, 128}});
    EXPECT_EQ(writeAutomation(small, 500, 129, 50, AutomationMode::Insert), 1);
    EXPECT_EQ(levels(small), (Levels{{0, 128}, {500, 129}, {1000, 128}}));
    // A change of 2 gets both ramps.
    Handle two = band(100, {{0, 50, 128}, {1000, 50, 128}});
    EXPECT_EQ(writeAutomation(two, 500, 130, 50, AutomationMode::Insert), 2);
    EXPECT_EQ(levels(two), (Levels{{0, 128}, {450, 128}, {500, 130}, {550, 128}, {1000, 128}}));
}

TEST_F(Automation, RampsNeverCrossNeighbours) {
    // A point already at p − w and at p + w: no ramp points added.
    Handle at = band(256, {{0, 0, 0}, {450, 0, 0}, {550, 0, 0}, {1000, 0, 0}});
    EXPECT_EQ(writeAutomation(at, 500, 256, 50, AutomationMode::Insert), 2);
    EXPECT_EQ(levels(at), (Levels{{0, 0}, {450, 0}, {500, 256}, {550, 0}, {1000, 0}}));
    // Neighbours inside the ramps: the ramps end at them.
    Handle inside = band(256, {{0, 0, 0}, {480, 0, 0}, {520, 0, 0}, {1000, 0, 0}});
    EXPECT_EQ(writeAutomation(inside, 500, 256, 50, AutomationMode::Insert), 2);
    EXPECT_EQ(levels(inside), (Levels{{0, 0}, {480, 0}, {500, 256}, {520, 0}, {1000, 0}}));
    // Near the band's ends the ramps stay inside it.
    Handle ends = band(256, {{0, 0, 0}, {100, 0, 0}});
    EXPECT_EQ(writeAutomation(ends, 10, 100, 50, AutomationMode::Insert), 1);
    EXPECT_EQ(levels(ends), (Levels{{0, 0}, {10, 100}, {60, 0}, {100, 0}}));
    EXPECT_EQ(writeAutomation(ends, 95, 200, 50, AutomationMode::Insert), 3);
    EXPECT_EQ(levels(ends), (Levels{{0, 0}, {10, 100}, {60, 0}, {95, 200}, {100, 0}}));
    // A write on a point replaces it; positions and levels are clamped.
    EXPECT_EQ(writeAutomation(ends, 10, 300, 0, AutomationMode::Insert), 1);
    EXPECT_EQ(writeAutomation(ends, 5000, -4, 0, AutomationMode::Insert), 4);
    EXPECT_EQ(levels(ends), (Levels{{0, 0}, {10, 256}, {60, 0}, {95, 200}, {100, 0}}));
}

TEST_F(Automation, ThinningDropsTheMiddleOfThreeEqualLevels) {
    Handle b = band(256, {{0, 128, 128}, {100, 128, 128}, {200, 50, 50}, {1000, 128, 128}});
    EXPECT_EQ(writeAutomation(b, 200, 128, 0, AutomationMode::Insert), 1);
    EXPECT_EQ(levels(b), (Levels{{0, 128}, {200, 128}, {1000, 128}}));
    EXPECT_EQ(GetHandleSize(b), 8u + 4 * 8);
}

TEST_F(Automation, ContinuousWritingExtendsAFlatRun) {
    Handle b = band(256, {{0, 128, 128}, {1000, 128, 128}});
    EXPECT_EQ(writeAutomation(b, 100, 200, 100, AutomationMode::Extend), 1);
    EXPECT_EQ(levels(b), (Levels{{0, 128}, {100, 200}, {200, 128}, {1000, 128}}));
    EXPECT_EQ(writeAutomation(b, 200, 200, 100, AutomationMode::Extend), 2);
    EXPECT_EQ(levels(b), (Levels{{0, 128}, {100, 200}, {200, 200}, {300, 128}, {1000, 128}}));
    // From here on the previous point moves on instead of points piling up.
    for (int32_t p = 300; p <= 700; p += 100) {
        EXPECT_EQ(writeAutomation(b, p, 200, 100, AutomationMode::Extend), 2);
        EXPECT_EQ(levels(b), (Levels{{0, 128}, {100, 200}, {p, 200}, {p + 100, 128}, {1000, 128}}));
    }
    EXPECT_EQ(ValueAtPoint(450, 256, b), 200);
    // A new level ends the run: the lead-out follows the new point.
    EXPECT_EQ(writeAutomation(b, 800, 60, 100, AutomationMode::Extend), 3);
    EXPECT_EQ(levels(b),
              (Levels{{0, 128}, {100, 200}, {700, 200}, {800, 60}, {900, 128}, {1000, 128}}));
}

TEST_F(Automation, UnsoundBandsAndFailedGrowthChangeNothing) {
    EXPECT_EQ(writeAutomation(nullptr, 0, 0, 0, AutomationMode::Insert), -1);
    Handle jumbled = band(256, {{0, 0, 0}, {80, 0, 0}, {20, 0, 0}, {100, 0, 0}});
    EXPECT_EQ(writeAutomation(jumbled, 50, 200, 10, AutomationMode::Insert), -1);
    EXPECT_EQ(header(jumbled)->count, 4);
    Handle b = band(256, {{0, 0, 0}, {100, 0, 0}});
    const auto before = pointsOf(b);
    const uint32_t limit = GetMaxAllocInHeap();
    SetMaxAllocInHeap(0);
    rc::platform::failNextAllocations(100);
    EXPECT_EQ(writeAutomation(b, 50, 200, 10, AutomationMode::Insert), -1);
    rc::platform::resetAllocationFaults();
    SetMaxAllocInHeap(limit);
    EXPECT_EQ(levels(b), levels(band(256, before)));
    EXPECT_EQ(GetHandleSize(b), 8u + 3 * 8);
}

// Random writes in both modes: positions stay strictly ascending inside the
// band, the block keeps its spare point, and the band reads the written level
// at the written position.
TEST_F(Automation, RandomWritesKeepTheBandSound) {
    std::mt19937 rng(82);
    for (int round = 0; round < 40; ++round) {
        const int16_t scale = int16_t(rng() % 3 == 0 ? 0 : 1 + rng() % 300);
        Handle b = band(scale, {{0, 0, 128}, {2000, 0, 128}});
        const AutomationMode mode = rng() % 2 ? AutomationMode::Insert : AutomationMode::Extend;
        int32_t p = int32_t(rng() % 200);
        for (int step = 0; step < 120; ++step) {
            p = mode == AutomationMode::Extend ? p + int32_t(rng() % 40)
                                               : int32_t(rng() % 2100) - 50;
            const int16_t level = int16_t(rng() % 260);
            const int32_t ramp = int32_t(rng() % 60);
            const int32_t k = writeAutomation(b, p, level, ramp, mode);
            ASSERT_GE(k, 0);
            const auto pts = pointsOf(b);
            ASSERT_EQ(GetHandleSize(b), uint32_t(8 + (pts.size() + 1) * 8));
            ASSERT_EQ(pts.front().position, 0);
            ASSERT_EQ(pts.back().position, 2000);
            for (size_t i = 1; i < pts.size(); ++i) ASSERT_LT(pts[i - 1].position, pts[i].position);
            const int32_t at = std::clamp(p, 0, 2000);
            ASSERT_EQ(pts[size_t(k)].position, at);
            ASSERT_EQ(ValueAtPoint(at, 256, b), std::min<int32_t>(level, 256));
            for (const auto& pt : pts) {
                ASSERT_GE(pt.level, 0);
                ASSERT_LE(pt.level, 256);
            }
        }
    }
}

}  // namespace
