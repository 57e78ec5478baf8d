// Sampling motion paths: easing, holds, reflection, smoothing, aspect
// adaptation and the untrusted counts of stored settings.
#include <cmath>
#include <numbers>

#include "motion_test_util.h"
#include "reelcore/motion.h"
#include "timeline/motion/motion_internal.h"

using namespace motiontest;

namespace {

FmMotionPoint point(int x, int y, int time, int zoom = 100) {
    FmMotionPoint p{};
    p.spot[0] = int16_t(x);
    p.spot[1] = int16_t(y);
    p.zoom = int16_t(zoom);
    p.time = int16_t(time);
    p.ratio = 0xC000;
    p.code = kMotionRatioCode;
    return p;
}

// count -1: the number of points given.
Handle settingsOf(const std::vector<FmMotionPoint>& points, int16_t count = -1) {
    Handle h =
        FmNewHandleClear(uint32_t(sizeof(FmMotionHeader) + points.size() * sizeof(FmMotionPoint)));
    FmMotionHeader header{};
    header.count = count == -1 ? int16_t(points.size()) : count;
    std::memcpy(*h, &header, sizeof header);
    if (!points.empty())
        std::memcpy(*h + sizeof header, points.data(), points.size() * sizeof(FmMotionPoint));
    return h;
}

double units(Fixed v) {
    return v / 65536.0;
}

class Sampling : public MotionTest {
  protected:
    // 80 x 60: one reference unit is one pixel
    FmRect frame{0, 0, 80, 60};
    FmMotionSample at(Handle h, int32_t i, int32_t n) {
        FmMotionSample s{};
        CalcMotionPoint(h, i, n, &s, &frame, 0);
        return s;
    }
};

TEST_F(Sampling, EasingBetweenTwoPoints) {
    std::vector<FmMotionPoint> pts = {point(10, 20, 0), point(50, 40, 1000, 200)};
    Handle h = settingsOf(pts);
    FmMotionSample s = at(h, 50, 100);
    EXPECT_EQ(s.x, 30 << 16);
    EXPECT_EQ(s.y, 30 << 16);
    EXPECT_EQ(s.zoom, 150 << 16);
    // accelerate: a quarter of the way at half the time
    reinterpret_cast<FmMotionPoint*>(*h + 12)->motionMethod = 1;
    s = at(h, 50, 100);
    EXPECT_EQ(s.x, 20 << 16);
    // decelerate: about 71 %
    reinterpret_cast<FmMotionPoint*>(*h + 12)->motionMethod = 2;
    s = at(h, 50, 100);
    EXPECT_NEAR((units(s.x) - 10) / 40, 0.707, 0.005);
    // a small n uses the finer precision factor and lands on the same place
    reinterpret_cast<FmMotionPoint*>(*h + 12)->motionMethod = 0;
    EXPECT_EQ(at(h, 1, 2).x, 30 << 16);
    // before the start and after the end the path is mirrored
    EXPECT_EQ(at(h, -10, 100).x, 6 << 16);
    EXPECT_EQ(at(h, 110, 100).x, 54 << 16);
    EXPECT_EQ(at(h, 110, 100).zoom, 210 << 16);
    // a zero duration takes the first point instead of dividing by zero
    EXPECT_EQ(at(h, 5, 0).x, 10 << 16);
    // ten minutes at 2997 ticks a second: time x n x f needs 64 bits
    const int32_t n = 600 * 2997;
    EXPECT_EQ(at(h, n / 2, n).x, 30 << 16);
    EXPECT_EQ(at(h, n, n).x, 50 << 16);
    FmDisposeHandle(h);
}

TEST_F(Sampling, HoldsUnfoldIntoRestingSegments) {
    std::vector<FmMotionPoint> pts = {point(10, 20, 0), point(50, 40, 1000)};
    pts[0].delay = 200;
    Handle h = settingsOf(pts);
    Handle expanded = Motion2Points(h);
    ASSERT_NE(expanded, nullptr);
    const auto* header = reinterpret_cast<const FmMotionHeader*>(*expanded);
    ASSERT_EQ(header->count, 3);
    EXPECT_EQ(reinterpret_cast<const FmMotionPoint*>(*expanded + 12)[1].time, 200);
    // the first fifth rests on the first point
    for (int i : {0, 10, 20}) EXPECT_EQ(at(expanded, i, 100).x, 10 << 16) << i;
    EXPECT_EQ(at(expanded, 60, 100).x, 30 << 16);
    FmDisposeHandle(expanded);
    FmDisposeHandle(h);

    // the 16-bit count never wraps
    std::vector<FmMotionPoint> many(INT16_MAX, point(1, 1, 0));
    for (auto& p : many) p.delay = 1;
    h = settingsOf(many);
    expanded = Motion2Points(h);
    ASSERT_NE(expanded, nullptr);
    EXPECT_EQ(reinterpret_cast<const FmMotionHeader*>(*expanded)->count, INT16_MAX);
    EXPECT_EQ(FmGetHandleSize(expanded), 12u + 46u * INT16_MAX);
    FmDisposeHandle(expanded);
    FmDisposeHandle(h);
}

TEST_F(Sampling, CountsAreTrustedOnlyAsFarAsTheHandle) {
    std::vector<FmMotionPoint> pts = {point(10, 20, 0), point(50, 40, 1000)};
    // more points claimed than present: the two present are used
    Handle h = settingsOf(pts, 1000);
    EXPECT_EQ(at(h, 50, 100).x, 30 << 16);
    FmDisposeHandle(h);
    // a negative count: no points, the picture unmoved in the centre
    h = settingsOf(pts, -7);
    FmMotionSample s = at(h, 50, 100);
    EXPECT_EQ(s.x, 40 << 16);
    EXPECT_EQ(s.y, 30 << 16);
    EXPECT_EQ(s.zoom, 100 << 16);
    EXPECT_EQ(s.corners[0].x, -40 << 16);
    EXPECT_EQ(s.corners[2].y, 30 << 16);
    FmDisposeHandle(h);
    // one point holds that point at every time
    h = settingsOf({point(12, 34, 500)});
    for (int i : {-50, 0, 70, 200}) EXPECT_EQ(at(h, i, 100).x, 12 << 16);
    FmDisposeHandle(h);
    // a Handle shorter than its header
    Handle tiny = FmNewHandleClear(5);
    Handle none = Motion2Points(tiny);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(at(tiny, 3, 10).x, 40 << 16);
    FmDisposeHandle(tiny);
}

TEST_F(Sampling, SmoothingWindows) {
    using rc::motion::smoothingWindow;
    EXPECT_EQ(smoothingWindow(0, 500), 4);
    EXPECT_EQ(smoothingWindow(1, 500), 8);
    EXPECT_EQ(smoothingWindow(2, 20), 2);  // 20 / 16 = 1, raised to 2
    EXPECT_EQ(smoothingWindow(2, 3000), 100);
    EXPECT_EQ(smoothingWindow(3, 100), 12);  // 12.5 made even
    EXPECT_EQ(smoothingWindow(4, 30), 6);    // 7 made even
    EXPECT_EQ(smoothingWindow(9, 30), 2);
    // a corner of the path is rounded; a straight stretch keeps its place
    std::vector<FmMotionPoint> pts = {point(0, 0, 0), point(40, 0, 500), point(40, 40, 1000)};
    Handle h = settingsOf(pts);
    rc::motion::Settings s;
    ASSERT_TRUE(rc::motion::readSettings(h, s));
    const rc::motion::Mapping m = rc::motion::mappingFor(frame, 0);
    s.header.smooth = 1;
    s.header.smoothMethod = 1;  // window 8
    const FmMotionSample corner = rc::motion::smoothedSampleAt(s, 50, 100, m);
    EXPECT_LT(units(corner.x), 40);
    EXPECT_GT(units(corner.y), 0);
    const FmMotionSample straight = rc::motion::smoothedSampleAt(s, 20, 100, m);
    EXPECT_NEAR(units(straight.x), 16, 1e-3);
    EXPECT_EQ(straight.y, 0);
    FmDisposeHandle(h);
}

TEST_F(Sampling, AspectAdaptationKeepsPlacement) {
    // 0.75 -> 0.5625 -> 0.75 comes back within a unit
    FmMotionPoint p = point(33, 47, 0);
    p.hasfrac = 1;
    p.fracH = 25;
    p.fracV = -40;
    for (int k = 0; k < 8; ++k) p.dest[k] = int16_t(k * 3 - 10);
    Handle h = settingsOf({p});
    FixMotionPoints(h, 0, 0x9000);
    const auto* q = reinterpret_cast<const FmMotionPoint*>(*h + 12);
    EXPECT_EQ(+q->ratio, 0x9000);
    EXPECT_EQ(+q->code, uint32_t(kMotionRatioCode));
    // same width: x stays, y moves with the centre (30 -> 22.5)
    FmMotionSample s;
    PointToFixed(q, &s);
    EXPECT_NEAR(units(s.x), 33.25, 1e-4);
    EXPECT_NEAR(units(s.y), 46.6 - 7.5, 1e-4);
    FixMotionPoints(h, 0, 0xC000);
    PointToFixed(q, &s);
    EXPECT_NEAR(units(s.x), 33.25, 1.0);
    EXPECT_NEAR(units(s.y), 46.6, 1.0);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(q->dest[k], k * 3 - 10);
    // a tall frame: the 80 units run down the height
    FixMotionPoints(h, 0, 0x20000);
    PointToFixed(q, &s);
    EXPECT_NEAR(units(s.x), 20 + (33.25 - 40) * (40.0 / 80.0), 0.01);
    FixMotionPoints(h, 5, 0x9000);  // no such point: nothing happens
    FmDisposeHandle(h);
}

TEST_F(Sampling, PointHelpers) {
    FmPoint out;
    PointCalc(10, 10, 5, std::numbers::pi / 2, &out);
    EXPECT_EQ(out.x, 15);
    EXPECT_EQ(out.y, 10);
    PointCalc(10, 10, 5, 0, &out);
    EXPECT_EQ(out.y, 5);
    PointCalc(0, 0, 1, std::numbers::pi, &out);  // rounded down through 16.16
    EXPECT_EQ(out.x, 0);
    EXPECT_EQ(out.y, 1);
    PointCalc(0, 0, 0.5, 3 * std::numbers::pi / 2, &out);
    EXPECT_EQ(out.x, -1);
    const FmPoint right{20, 10}, up{10, 0}, left{0, 10}, down{10, 20};
    EXPECT_DOUBLE_EQ(AngleFromPoints(10, 10, &up), 0);
    EXPECT_DOUBLE_EQ(AngleFromPoints(10, 10, &right), std::numbers::pi / 2);
    EXPECT_DOUBLE_EQ(AngleFromPoints(10, 10, &down), std::numbers::pi);
    EXPECT_DOUBLE_EQ(AngleFromPoints(10, 10, &left), 3 * std::numbers::pi / 2);
    const FmPoint quad[4] = {{0, 0}, {3, 0}, {3, 3}, {0, 2}};
    FmPoint c;
    FindCenter(quad, &c);
    EXPECT_EQ(c.x, 2);  // (6 + 2) / 4
    EXPECT_EQ(c.y, 1);  // (5 + 2) / 4
    EXPECT_DOUBLE_EQ(myhypot(3, 4), 5);
    // the largest position with a fraction stays at the end of the 16.16 range
    FmMotionPoint far = point(32767, -32768, 0);
    far.hasfrac = 1;
    far.fracH = 127;
    far.fracV = -128;
    FmMotionSample fs;
    PointToFixed(&far, &fs);
    EXPECT_EQ(fs.x, INT32_MAX);
    EXPECT_EQ(fs.y, INT32_MIN);

    FmMotionPoint a = point(10, 10, 0, 100), b = point(20, 30, 1000, 300);
    a.dest[0] = 4;
    b.dest[0] = 8;
    FmMotionPoint mid;
    midpoint(&a, &b, 1, 2, &mid);
    FmMotionSample s;
    PointToFixed(&mid, &s);
    EXPECT_EQ(s.x, 15 << 16);
    EXPECT_EQ(s.y, 20 << 16);
    EXPECT_EQ(mid.zoom, 200);
    EXPECT_EQ(mid.time, 500);
    EXPECT_EQ(mid.dest[0], 6);
    midpoint(&a, &b, 1, 0, &mid);
    EXPECT_EQ(mid.zoom, 100);

    // a quarter turn of an undistorted square: each corner lands on the next
    FmMotionPoint r = point(40, 40, 0);
    r.rot = 90;
    const FmRect square{0, 0, 80, 80};
    RotatePoint(&r, &square);
    const int16_t want[8] = {80, 0, 0, 80, -80, 0, 0, -80};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(r.dest[k], want[k]) << k;
}

}  // namespace

namespace {

TEST_F(Sampling, PathPositionsForDrawing) {
    std::vector<FmMotionPoint> pts = {point(10, 20, 0), point(50, 40, 1000)};
    Handle h = settingsOf(pts);
    Handle path = CalcMotionPoints(&frame, 5, h);
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(FmGetHandleSize(path), 5 * sizeof(FmFixedPoint));
    const auto* p = reinterpret_cast<const FmFixedPoint*>(*path);
    EXPECT_EQ(p[0].x, 10 << 16);
    EXPECT_EQ(p[4].x, 50 << 16);
    EXPECT_EQ(p[2].y, 28 << 16);  // step 2 of 5: 40 % of the way
    FmDisposeHandle(path);
    // at most 100 positions, spread over the whole path
    path = CalcMotionPoints(&frame, 5000, h);
    ASSERT_EQ(FmGetHandleSize(path), 100 * sizeof(FmFixedPoint));
    EXPECT_EQ(reinterpret_cast<const FmFixedPoint*>(*path)[99].x, 50 << 16);
    FmDisposeHandle(path);
    EXPECT_EQ(CalcMotionPoints(&frame, 5, nullptr), nullptr);
    FmDisposeHandle(h);
}

TEST_F(Sampling, FillAlphaSmoothsTheSourceEdges) {
    // a hard alpha edge down the middle of the source
    PPixHand src = keep(picture(16, 12, [](int32_t x, int32_t) {
        return Pixel{50, 60, 70, uint8_t(x < 8 ? 255 : 0)};
    }));
    PPixHand dst = keep(solid(16, 12, Pixel{}));
    Handle h = settingsOf({});
    ASSERT_EQ(MotionFrame(src, dst, 0, 10, h, 0), 0);
    EXPECT_EQ(motiontest::at(src, 7, 5)->a, 255);
    reinterpret_cast<FmMotionHeader*>(*h)->fillA = 1;
    ASSERT_EQ(MotionFrame(src, dst, 0, 10, h, 0), 0);
    EXPECT_GT(motiontest::at(src, 8, 5)->a, 0);
    FmDisposeHandle(h);
}

}  // namespace
