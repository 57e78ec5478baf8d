// Envelopes: new bands, reading heights and values, point edits, trims and
// scaling, bands without a display height, failed growth and bad blocks.
#include <random>

#include "platform/alloc.h"
#include "tracks_fixture.h"

using namespace trackstest;

namespace {

class Envelopes : public TracksTest {
  protected:
    static void expectBlock(Handle b) {
        EXPECT_EQ(GetHandleSize(b), uint32_t(8 + (header(b)->count + 1) * 8));
    }
    // Makes the next growth of any block fail.
    struct NoMemory {
        uint32_t limit = GetMaxAllocInHeap();
        NoMemory() {
            SetMaxAllocInHeap(0);
            rc::platform::failNextAllocations(100);
        }
        ~NoMemory() {
            rc::platform::resetAllocationFaults();
            SetMaxAllocInHeap(limit);
        }
    };
};

TEST_F(Envelopes, NewBandsBelongToTheirItem) {
    TrackItemRec item{};
    Handle gain = NewGainBand(&item, 100, 128, 256);
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(GetTrackGainBand(&item), gain);
    EXPECT_EQ(header(gain)->kind, kBandGain);
    EXPECT_EQ(header(gain)->count, 2);
    expectBlock(gain);
    EXPECT_EQ(pointsOf(gain), (std::vector<RubberHandPt>{{0, 128, 128}, {100, 128, 128}}));
    for (int32_t p : {-5, 0, 37, 100, 150}) EXPECT_EQ(ValueAtPoint(p, 200, gain), 100) << p;
    EXPECT_EQ(GetRubberValue(gain, 50, 200), 100);
    EXPECT_EQ(GetRubberValue(nullptr, 50, 200), 0);
    Handle full = NewGainBand(&item, 100, 40, 40);
    EXPECT_EQ(header(full)->kind, kBandGainFull);
    Handle pan = NewPanBand(&item, 60, 64, 128);
    EXPECT_EQ(header(pan)->kind, kBandPan);
    EXPECT_EQ(GetTrackPanBand(&item), pan);
    EXPECT_TRUE(CanTrackPan(&item));

    // A duplicated item owns a copy of its bands.
    TrackItemRec twin = item;
    EXPECT_EQ(DupTrackPanBand(&twin), noErr);
    EXPECT_NE(GetTrackPanBand(&twin), pan);
    EXPECT_EQ(pointsOf(GetTrackPanBand(&twin)), pointsOf(pan));
    TrackItemRec bare{};
    EXPECT_EQ(DupTrackGainBand(&bare), noErr);
    EXPECT_EQ(GetTrackGainBand(&bare), nullptr);
    {
        NoMemory none;
        EXPECT_EQ(DupTrackGainBand(&twin), memFullErr);
    }
    EXPECT_EQ(GetTrackGainBand(&twin), full);
    DisposePanBand(&twin);
    EXPECT_EQ(GetTrackPanBand(&twin), nullptr);
    EXPECT_TRUE(FmIsValidHandle(pan));  // the original item's band lives on
    SetTrackGainBand(&bare, gain);
    EXPECT_EQ(GetTrackGainBand(&bare), gain);
    DisposeGainBand(&bare);
    EXPECT_FALSE(FmIsValidHandle(gain));
    EXPECT_EQ(GetTrackGainBand(&bare), nullptr);
}

TEST_F(Envelopes, ValuesAndHeights) {
    Handle b = band(100, {{0, 0, 0}, {100, 100, 256}, {200, 50, 128}});
    EXPECT_EQ(ValueAtPoint(50, 255, b), 127);   // halfway, truncated
    EXPECT_EQ(ValueAtPoint(100, 200, b), 200);  // exactly at a point
    EXPECT_EQ(ValueAtPoint(150, 256, b), 192);
    EXPECT_EQ(ValueAtPoint(-10, 256, b), 0);  // clamped to the ends
    EXPECT_EQ(ValueAtPoint(999, 256, b), 128);
    EXPECT_EQ(HeightAtPoint(50, 100, b), 50);
    EXPECT_EQ(HeightAtPoint(50, 200, b), 100);
    EXPECT_EQ(HeightAtPoint(150, 100, b), 75);
    EXPECT_EQ(HeightAtPoint(100, 100, b), 100);
    EXPECT_EQ(HeightAtPoint(300, 100, b), 50);
    // HitPoint: within 3 pixels.
    EXPECT_TRUE(HitPoint(50, 53, b));
    EXPECT_TRUE(HitPoint(50, 47, b));
    EXPECT_FALSE(HitPoint(50, 54, b));
    EXPECT_FALSE(HitPoint(50, 46, b));
    Handle ref = b;
    RubberHandPt* pt = FindPoint(100, &ref);
    ASSERT_NE(pt, nullptr);
    EXPECT_EQ(pt->level, 256);
    EXPECT_EQ(FindPoint(99, &ref), nullptr);
    // A vertical step: two points at one position.
    Handle step = band(100, {{0, 0, 0}, {50, 0, 0}, {50, 100, 256}, {100, 100, 256}});
    EXPECT_EQ(HeightAtPoint(50, 100, step), 100);
    EXPECT_EQ(ValueAtPoint(75, 256, step), 256);
}

TEST_F(Envelopes, InsertingAndDeletingPoints) {
    Handle b = band(100, {{0, 50, 128}, {100, 50, 128}});
    EXPECT_EQ(InsertPoint(0, 20, b), 1);  // never before point 0
    EXPECT_EQ(pointsOf(b)[1], (RubberHandPt{0, 20, 51}));
    EXPECT_EQ(InsertPoint(60, 500, b), 2);  // clamped to the scale
    EXPECT_EQ(pointsOf(b)[2], (RubberHandPt{60, 100, 256}));
    EXPECT_EQ(InsertPoint(40, -3, b), 2);
    EXPECT_EQ(pointsOf(b)[2], (RubberHandPt{40, 0, 0}));
    EXPECT_EQ(InsertPoint(-20, 10, b), 1);  // before the start: at the start
    EXPECT_EQ(pointsOf(b)[1].position, 0);
    expectBlock(b);
    EXPECT_EQ(AddPoint(99, 100, 70, b), 6);  // appends, unclamped
    EXPECT_EQ(pointsOf(b)[6], (RubberHandPt{100, 70, 179}));
    EXPECT_EQ(AddPoint(3, 30, 10, b), 3);
    EXPECT_EQ(header(b)->count, 8);
    EXPECT_EQ(AddPoint(-1, 30, 10, b), -1);
    // A position out of order at that index is refused.
    EXPECT_EQ(AddPoint(3, 50, 10, b), -1);
    EXPECT_EQ(AddPoint(4, 20, 10, b), -1);
    EXPECT_EQ(AddPoint(99, 99, 10, b), -1);
    expectBlock(b);
    auto before = pointsOf(b);
    DeletePoint(3, b);
    before.erase(before.begin() + 3);
    EXPECT_EQ(pointsOf(b), before);
    expectBlock(b);
    // The end points stay.
    DeletePoint(0, b);
    DeletePoint(int16_t(header(b)->count - 1), b);
    DeletePoint(40, b);
    EXPECT_EQ(pointsOf(b), before);
}

TEST_F(Envelopes, FailedGrowthLeavesTheBand) {
    Handle b = band(100, {{0, 50, 128}, {100, 50, 128}});
    const auto before = pointsOf(b);
    {
        NoMemory none;
        EXPECT_EQ(InsertPoint(50, 10, b), -1);
        EXPECT_EQ(AddPoint(1, 50, 10, b), -1);
    }
    EXPECT_EQ(pointsOf(b), before);
    expectBlock(b);
}

TEST_F(Envelopes, MovingTheEnds) {
    Handle b = band(100, {{0, 0, 0}, {40, 80, 204}, {60, 20, 51}, {100, 100, 256}});
    SizeRubberBand(b, 120);
    EXPECT_EQ(pointsOf(b).back(), (RubberHandPt{120, 100, 256}));
    SizeRubberBand(b, 50);  // passes the point at 60
    EXPECT_EQ(pointsOf(b), (std::vector<RubberHandPt>{{0, 0, 0}, {40, 80, 204}, {50, 100, 256}}));
    expectBlock(b);
    SizeRubberBand(b, -10);  // the two end points stay
    EXPECT_EQ(pointsOf(b), (std::vector<RubberHandPt>{{0, 0, 0}, {0, 100, 256}}));

    Handle t = band(100, {{0, 0, 0}, {40, 80, 204}, {60, 20, 51}, {100, 100, 256}});
    TrimBandEnd(t, 50);  // halfway between 80 and 20
    EXPECT_EQ(pointsOf(t), (std::vector<RubberHandPt>{{0, 0, 0}, {40, 80, 204}, {50, 50, 128}}));
    expectBlock(t);

    // Start moves: half of the first segment.
    Handle m = band(100, {{0, 0, 0}, {40, 80, 204}, {100, 100, 256}});
    Handle s = band(100, {{0, 0, 0}, {40, 80, 204}, {100, 100, 256}});
    MoveBandStart(m, 20);
    TrimBandStart(s, 20);
    EXPECT_EQ(pointsOf(m), (std::vector<RubberHandPt>{{0, 0, 0}, {20, 80, 204}, {80, 100, 256}}));
    EXPECT_EQ(pointsOf(s),
              (std::vector<RubberHandPt>{{0, 40, 102}, {20, 80, 204}, {80, 100, 256}}));
    // Past a point: it goes; past everything: the two ends remain.
    MoveBandStart(m, 30);
    EXPECT_EQ(pointsOf(m), (std::vector<RubberHandPt>{{0, 0, 0}, {50, 100, 256}}));
    expectBlock(m);
    TrimBandStart(s, 500);
    EXPECT_EQ(header(s)->count, 2);
    EXPECT_EQ(pointsOf(s)[1].position, 0);
}

TEST_F(Envelopes, ScalingHeights) {
    Handle b = band(100, {{0, 0, 0}, {50, 33, 84}, {100, 100, 256}});
    const auto before = pointsOf(b);
    ScaleRubberBand(&b, 100);
    EXPECT_EQ(pointsOf(b), before);
    ScaleRubberBand(&b, 50);
    EXPECT_EQ(header(b)->scale, 50);
    EXPECT_EQ(pointsOf(b), (std::vector<RubberHandPt>{{0, 0, 0}, {50, 16, 84}, {100, 50, 256}}));
    ScaleRubberBand(nullptr, 10);
}

// A band without a display height (scale 0) never divides by it: points set
// by height take the level the band already has, and scaling rebuilds the
// heights from the levels.
TEST_F(Envelopes, BandsWithoutDisplayHeight) {
    Handle b = band(0, {{0, 0, 0}, {100, 0, 200}});
    EXPECT_EQ(InsertPoint(50, 30, b), 1);
    EXPECT_EQ(pointsOf(b)[1], (RubberHandPt{50, 0, 100}));
    EXPECT_EQ(AddPoint(2, 75, 30, b), 2);
    EXPECT_EQ(pointsOf(b)[2], (RubberHandPt{75, 30, 150}));
    EXPECT_EQ(HeightAtPoint(60, 100, b), 0);
    TrimBandEnd(b, 90);
    EXPECT_EQ(pointsOf(b).back().level, 180);
    TrimBandStart(b, 25);
    EXPECT_EQ(pointsOf(b)[0].level, 50);
    EXPECT_EQ(ValueAtPoint(0, 256, b), 50);
    ScaleRubberBand(&b, 128);
    EXPECT_EQ(header(b)->scale, 128);
    for (const auto& p : pointsOf(b)) EXPECT_EQ(p.height, p.level * 128 / 256);
    expectBlock(b);
    Handle negative = band(-4, {{0, 0, 64}, {100, 0, 64}});
    EXPECT_EQ(InsertPoint(50, 10, negative), 1);
    EXPECT_EQ(pointsOf(negative)[1], (RubberHandPt{50, 0, 64}));
}

// A band from a file whose first point is not at 0: edits keep the order.
TEST_F(Envelopes, BandsStartingLateStayInOrder) {
    Handle b = band(100, {{1000, 50, 128}, {2000, 50, 128}});
    EXPECT_EQ(InsertPoint(10, 20, b), 1);
    EXPECT_EQ(pointsOf(b)[1].position, 1000);
    SizeRubberBand(b, 500);
    EXPECT_EQ(pointsOf(b).back().position, 1000);
    Handle t = band(100, {{1000, 50, 128}, {2000, 50, 128}});
    TrimBandEnd(t, 10);
    EXPECT_EQ(pointsOf(t), (std::vector<RubberHandPt>{{1000, 50, 128}, {1000, 50, 128}}));
}

TEST_F(Envelopes, BadBlocksReadZeroAndRefuseEdits) {
    // One point; more points than the block holds; a block too short for a header.
    Handle one = band(100, {{0, 50, 128}});
    Handle overlong = band(100, {{0, 50, 128}, {100, 50, 128}});
    header(overlong)->count = 40;
    Handle tiny = NewHandleClear(6);
    for (Handle b : {one, overlong, tiny}) {
        const std::vector<char> bytes(*b, *b + GetHandleSize(b));
        EXPECT_EQ(ValueAtPoint(0, 200, b), 0);
        EXPECT_EQ(HeightAtPoint(0, 100, b), 0);
        EXPECT_FALSE(HitPoint(0, 0, b));
        Handle ref = b;
        EXPECT_EQ(FindPoint(0, &ref), nullptr);
        EXPECT_EQ(InsertPoint(10, 10, b), -1);
        EXPECT_EQ(AddPoint(1, 10, 10, b), -1);
        DeletePoint(1, b);
        SizeRubberBand(b, 10);
        TrimBandEnd(b, 10);
        MoveBandStart(b, 10);
        TrimBandStart(b, 10);
        ScaleRubberBand(&b, 7);
        EXPECT_EQ(std::vector<char>(*b, *b + GetHandleSize(b)), bytes);
    }
    EXPECT_EQ(ValueAtPoint(0, 200, nullptr), 0);
    // Positions out of order: reads stay between the levels, edits are refused.
    Handle jumbled = band(100, {{0, 0, 0}, {80, 100, 256}, {20, 50, 128}, {100, 0, 0}});
    for (int32_t p = -10; p <= 110; p += 5) {
        const int32_t v = ValueAtPoint(p, 256, jumbled);
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 256);
    }
    EXPECT_EQ(InsertPoint(50, 10, jumbled), -1);
    EXPECT_EQ(header(jumbled)->count, 4);
}

}  // namespace

namespace {

// A plain model of a band: points in a vector, edited as the operations
// describe, read by a linear scan.
struct BandModel {
    int32_t scale;
    std::vector<RubberHandPt> pts;

    int32_t level(int32_t p) const {
        if (pts.size() < 2) return 0;
        p = std::clamp(p, pts.front().position, pts.back().position);
        for (size_t i = 0; i + 1 < pts.size(); ++i) {
            const auto &a = pts[i], &b = pts[i + 1];
            if (p == a.position) return a.level;
            if (a.position < p && p < b.position)
                return int32_t(a.level + int64_t(p - a.position) * (b.level - a.level) /
                                             (b.position - a.position));
        }
        return pts.back().level;
    }
    int16_t heightAt(int32_t p) const {
        if (pts.size() < 2) return 0;
        p = std::clamp(p, pts.front().position, pts.back().position);
        size_t i = 0, j = pts.size() - 1;
        while (i + 1 < pts.size() && pts[i + 1].position <= p) ++i;
        while (j > 0 && pts[j - 1].position >= p) --j;
        if (scale == 0) return pts[i].height;
        int64_t r = int64_t(pts[i].height);
        if (pts[i].position != pts[j].position)
            r += int64_t(pts[j].height - pts[i].height) * (p - pts[i].position) /
                 (pts[j].position - pts[i].position);
        return int16_t(r);
    }
    int16_t levelFor(int32_t h, int32_t p) const {
        return int16_t(scale > 0 ? h * 256 / scale : level(p));
    }
    void dropPassed() {
        while (pts.size() > 2 && pts[pts.size() - 2].position >= pts.back().position)
            pts.erase(pts.end() - 2);
    }
    void shift(int32_t delta) {
        for (auto& p : pts) p.position -= delta;
        pts[0].position = 0;
        while (pts.size() > 2 && pts[1].position <= 0) pts.erase(pts.begin() + 1);
        pts.back().position = std::max(pts.back().position, 0);
    }
};

// Points sharing a position make the value there depend on the search.
bool shared(const std::vector<RubberHandPt>& pts, int32_t p) {
    int n = 0;
    for (const auto& pt : pts) n += pt.position == p;
    return n > 1;
}

TEST_F(Envelopes, RandomEditsMatchAModel) {
    std::mt19937 rng(73);
    for (int round = 0; round < 60; ++round) {
        BandModel m{int32_t(rng() % 4 == 0 ? 0 : 1 + rng() % 200), {}};
        const int32_t length = 100 + int32_t(rng() % 900);
        const int16_t start = int16_t(m.scale ? rng() % (m.scale + 1) : 0);
        m.pts = {{0, start, m.levelFor(start, 0)}, {length, start, m.levelFor(start, 0)}};
        if (m.scale == 0) m.pts[0].level = m.pts[1].level = int16_t(rng() % 257);
        Handle b = band(int16_t(m.scale), m.pts);
        for (int step = 0; step < 60; ++step) {
            const int32_t end = m.pts.back().position;
            const int32_t p = int32_t(rng() % uint32_t(end + 1));
            const int16_t h = int16_t(int32_t(rng() % uint32_t(m.scale + 41)) - 20);
            switch (rng() % 8) {
                case 0:
                case 1:
                case 2: {
                    const int16_t hc = int16_t(std::clamp<int32_t>(h, 0, m.scale));
                    size_t at = m.pts.size();
                    while (at > 1 && m.pts[at - 1].position >= p) --at;
                    m.pts.insert(m.pts.begin() + long(at), {p, hc, m.levelFor(hc, p)});
                    ASSERT_EQ(InsertPoint(p, h, b), int16_t(at));
                    break;
                }
                case 3: {
                    // An index that keeps the order.
                    size_t at = 1;
                    while (at < m.pts.size() && m.pts[at].position < p) ++at;
                    m.pts.insert(m.pts.begin() + long(at), {p, h, m.levelFor(h, p)});
                    ASSERT_EQ(AddPoint(int16_t(at), p, h, b), int16_t(at));
                    break;
                }
                case 4: {
                    const int16_t at = int16_t(rng() % m.pts.size());
                    if (at > 0 && size_t(at) + 1 < m.pts.size()) m.pts.erase(m.pts.begin() + at);
                    DeletePoint(at, b);
                    break;
                }
                case 5:
                    if (rng() % 2) {
                        m.pts.back().position = p + 1;
                        m.dropPassed();
                        SizeRubberBand(b, p + 1);
                    } else {
                        const int16_t hh = m.heightAt(p + 1);
                        m.pts.back() = {p + 1, hh, m.levelFor(hh, p + 1)};
                        m.dropPassed();
                        TrimBandEnd(b, p + 1);
                    }
                    break;
                case 6: {
                    const int32_t delta = p / 4;
                    if (rng() % 2) {
                        m.shift(delta);
                        MoveBandStart(b, delta);
                    } else {
                        const int16_t hh = m.heightAt(delta);
                        const int16_t ll = m.levelFor(hh, delta);
                        m.shift(delta);
                        m.pts[0].height = hh;
                        m.pts[0].level = ll;
                        TrimBandStart(b, delta);
                    }
                    break;
                }
                default:
                    break;
            }
            ASSERT_EQ(pointsOf(b), m.pts) << "round " << round << " step " << step;
            ASSERT_EQ(GetHandleSize(b), uint32_t(8 + (m.pts.size() + 1) * 8));
            for (int k = 0; k < 8; ++k) {
                const int32_t q = int32_t(rng() % uint32_t(m.pts.back().position + 1));
                if (shared(m.pts, q)) continue;
                ASSERT_EQ(ValueAtPoint(q, 256, b), m.level(q)) << q;
                ASSERT_EQ(ValueAtPoint(q, 200, b), m.level(q) * 200 / 256);
                if (m.scale) {
                    ASSERT_EQ(HeightAtPoint(q, m.scale, b), m.heightAt(q)) << q;
                }
            }
        }
        const auto levelsBefore = m.pts;
        const int16_t newScale = int16_t(1 + rng() % 300);
        ScaleRubberBand(&b, newScale);
        for (size_t i = 0; i < levelsBefore.size(); ++i) {
            EXPECT_EQ(pointsOf(b)[i].level, levelsBefore[i].level);
            const int32_t want =
                m.scale > 0 ? int32_t(float(newScale) / float(m.scale) * levelsBefore[i].height)
                            : levelsBefore[i].level * newScale / 256;
            EXPECT_EQ(pointsOf(b)[i].height, m.scale == newScale ? levelsBefore[i].height : want);
        }
    }
}

}  // namespace
