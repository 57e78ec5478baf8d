// The wipe sample: the edge it draws against a reference computed here, the
// sweep from all source 1 to all source 2, banded rows on worker threads,
// and the host's borders and anti-aliasing along its edge.
#include <algorithm>
#include <climits>

#include "reelcore/effects.h"
#include "reelcore/mp.h"
#include "reelcore/render.h"
#include "timeline_fixture.h"

namespace {

using namespace timelinetest;

Pixel patternA(int32_t x, int32_t y) {
    return {uint8_t(7 * x), uint8_t(200 - 3 * y), uint8_t(x ^ y), uint8_t(40 + x)};
}
Pixel patternB(int32_t x, int32_t y) {
    return {uint8_t(250 - x), uint8_t(11 * y), uint8_t(x + 2 * y), uint8_t(200 - y)};
}

// Whether the wipe shows source 2 at (x, y): pixel centres are measured
// along the line from start to end (left to right when the points agree);
// a pixel is wiped once its distance from the first centre, over the whole
// spread of centres plus one step, is below part / total. Worked out here
// over every pixel, in half-pixel units.
std::vector<bool> referenceWipe(int32_t w, int32_t h, RcPoint start, RcPoint end, int32_t part,
                                int32_t total) {
    int64_t dx = int64_t(end.x) - start.x, dy = int64_t(end.y) - start.y;
    if (dx == 0 && dy == 0) dx = 1;
    std::vector<int64_t> along(size_t(w) * h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            along[size_t(y) * w + x] = (2 * x + 1) * dx + (2 * y + 1) * dy;
    const auto [lo, hi] = std::minmax_element(along.begin(), along.end());
    const int64_t first = *lo, spread = *hi - *lo + 1;
    std::vector<bool> second(along.size());
    for (size_t i = 0; i < along.size(); ++i)
        second[i] = __int128(along[i] - first) * total < __int128(part) * spread;
    return second;
}

class Wipe : public TimelineTest {
  protected:
    int16_t fx = 0;
    void SetUp() override {
        TimelineTest::SetUp();
        fx = sample("fx-wipe", cc("SPFX"));
    }
    Handle record(PPixHand a, PPixHand b, PPixHand d, int32_t part, int32_t total, RcPoint start,
                  RcPoint end) {
        Handle h = NewHandleClear(sizeof(RcEffectRecord));
        auto& r = *reinterpret_cast<RcEffectRecord*>(*h);
        r.source1 = HandleToWord(a);
        r.source2 = HandleToWord(b);
        r.destination = HandleToWord(d);
        r.part = part;
        r.total = total;
        r.startPoint = start;
        r.endPoint = end;
        r.version = kRcEffectRecordVersion;
        return h;
    }
    // Runs the module and counts the pixels of source 2; every pixel must be
    // the reference's source, alpha included.
    int64_t expectWipe(int32_t w, int32_t h, int32_t part, int32_t total, RcPoint start,
                       RcPoint end) {
        PPixHand a = picture(w, h, patternA), b = picture(w, h, patternB), d = picture(w, h);
        Handle rec = record(a, b, d, part, total, start, end);
        EXPECT_EQ(Effect(fx, kRcEffectProcess, rec), 0);
        DisposeHandle(rec);
        const std::vector<bool> second = referenceWipe(w, h, start, end, part, total);
        int64_t count = 0;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const bool two = second[size_t(y) * w + x];
                count += two;
                if (at(d, x, y) != (two ? patternB(x, y) : patternA(x, y))) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " at " << part << "/" << total
                                  << " from (" << start.x << "," << start.y << ") to (" << end.x
                                  << "," << end.y << ") should show source " << (two ? 2 : 1);
                    return -1;
                }
            }
        return count;
    }
};

TEST_F(Wipe, TheEdgeSweepsFromStartToEndPointOverTheWholePicture) {
    ASSERT_EQ(GetFileVersion(fx), 3);
    // Left to right: at half way the left half is source 2.
    EXPECT_EQ(expectWipe(40, 30, 1, 2, {0, 10}, {40, 10}), 20 * 30);
    // Right to left, points that agree (left to right), top down, diagonals.
    EXPECT_EQ(expectWipe(40, 30, 1, 4, {40, 5}, {0, 5}), 10 * 30);
    EXPECT_EQ(expectWipe(40, 30, 3, 10, {7, 7}, {7, 7}), 12 * 30);
    EXPECT_EQ(expectWipe(40, 30, 1, 3, {9, 0}, {9, 30}), 40 * 10);
    for (RcPoint end : {RcPoint{40, 30}, RcPoint{-13, 52}, RcPoint{3, -1}})
        for (int32_t part = 0; part <= 7; ++part) {
            const int64_t n = expectWipe(23, 17, part, 7, {20, 8}, end);
            if (part == 0) {
                EXPECT_EQ(n, 0) << "nothing is wiped at the start";
            } else if (part == 7) {
                EXPECT_EQ(n, 23 * 17) << "everything is wiped at the end";
            }
        }
    // Far-off points and a huge total stay exact; a part beyond the total
    // counts as the total.
    EXPECT_EQ(expectWipe(16, 9, INT32_MAX / 2, INT32_MAX, {-2000000000, 3}, {2000000000, 3}),
              8 * 9);
    PPixHand a = picture(5, 4, patternA), b = picture(5, 4, patternB), d = picture(5, 4);
    Handle rec = record(a, b, d, 9, 4, {0, 0}, {5, 0});
    EXPECT_EQ(Effect(fx, kRcEffectProcess, rec), 0);
    EXPECT_EQ(at(d, 4, 3), patternB(4, 3));
    // Pictures of different heights or no total are refused.
    reinterpret_cast<RcEffectRecord*>(*rec)->total = 0;
    EXPECT_EQ(Effect(fx, kRcEffectProcess, rec), kRcModuleUnsupported);
    reinterpret_cast<RcEffectRecord*>(*rec)->total = 4;
    reinterpret_cast<RcEffectRecord*>(*rec)->source2 = HandleToWord(picture(5, 3));
    EXPECT_EQ(Effect(fx, kRcEffectProcess, rec), kRcModuleUnsupported);
    EXPECT_EQ(Effect(fx, kRcEffectSetup, rec), 0);
    DisposeHandle(rec);
}

TEST_F(Wipe, BandsOnWorkerThreadsGiveTheSamePicture) {
    SetAGlobal(kSlotSettingsFilePath, 0);
    InitMP();
    EXPECT_GT(expectWipe(61, 203, 5, 9, {3, 190}, {50, 4}), 0);
    EXPECT_EQ(expectWipe(61, 203, 9, 9, {0, 0}, {61, 0}), 61 * 203);
    TerminateMP();
}

TEST_F(Wipe, TheHostDrawsBordersAndSmoothsAlongTheWipedEdge) {
    // Uniform sources: red on the right (source 1), blue wiped in from the
    // left (source 2) up to column 20, a white border of 3.
    const Pixel red{0, 0, 200, 90}, blue{180, 0, 0, 60}, white{255, 255, 255, 255};
    PPixHand a = picture(40, 30, [&](int32_t, int32_t) { return red; });
    PPixHand b = picture(40, 30, [&](int32_t, int32_t) { return blue; });
    PPixHand d = picture(40, 30);
    Handle rec = record(a, b, d, 1, 2, {}, {});
    TransitionSettings s{};
    s.endPercent = 10000;
    s.borderWidth = 3;
    s.borderColor = 0xFFFFFF;
    s.startPoint = {0, 40};
    s.endPoint = {117, 40};
    ASSERT_EQ(EffectCore(fx, rec, nullptr, &s), 0);
    for (int32_t y = 0; y < 30; ++y) {
        for (int32_t x = 0; x < 17; ++x) ASSERT_EQ(at(d, x, y), blue) << x << "," << y;
        for (int32_t x = 17; x < 20; ++x) ASSERT_EQ(at(d, x, y), white) << x << "," << y;
        for (int32_t x = 20; x < 40; ++x) ASSERT_EQ(at(d, x, y), red) << x << "," << y;
    }
    EXPECT_EQ(at(a, 3, 3), red) << "the sources' alpha is put back";
    EXPECT_EQ(at(b, 3, 3), blue);

    // Two anti-aliasing passes soften both sides of the border and leave
    // its middle and the pixels away from it alone.
    s.antiAliasPasses = 2;
    ASSERT_EQ(EffectCore(fx, rec, nullptr, &s), 0);
    for (int32_t y = 0; y < 30; ++y) {
        EXPECT_EQ(at(d, 15, y), blue);
        EXPECT_EQ(at(d, 18, y), white);
        EXPECT_EQ(at(d, 21, y), red);
        for (int32_t x : {16, 17}) {
            EXPECT_GT(at(d, x, y).r, blue.r) << x << "," << y << " mixes blue and white";
            EXPECT_LT(at(d, x, y).r, white.r) << x << "," << y;
        }
        for (int32_t x : {19, 20}) {
            EXPECT_GT(at(d, x, y).g, red.g) << x << "," << y << " mixes white and red";
            EXPECT_LT(at(d, x, y).g, white.g) << x << "," << y;
        }
    }
    DisposeHandle(rec);
}

}  // namespace
