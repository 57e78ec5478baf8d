// Quadrilateral mapping, the corner transform and whole motion frames.
#include <cmath>
#include <numbers>

#include "motion_test_util.h"
#include "reelcore/globals.h"
#include "reelcore/motion.h"
#include "reelcore/utility_table.h"

using namespace motiontest;

namespace {

class Distort : public MotionTest {};

FmFixedPoint fx(double x, double y) {
    return FmFixedPoint{Fixed(std::lround(x * 65536)), Fixed(std::lround(y * 65536))};
}

void rectQuad(double w, double h, FmFixedPoint q[4]) {
    q[0] = fx(0, 0);
    q[1] = fx(w, 0);
    q[2] = fx(w, h);
    q[3] = fx(0, h);
}

Pixel noise(int32_t x, int32_t y) {
    const uint32_t v = uint32_t(x * 2654435761u ^ y * 40503u);
    return Pixel{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24 | 1)};
}

double shoelace(const FmFixedPoint q[4]) {
    double a = 0;
    for (int i = 0; i < 4; ++i) {
        const FmFixedPoint p = q[i], n = q[(i + 1) % 4];
        a += (p.x / 65536.0) * (n.y / 65536.0) - (n.x / 65536.0) * (p.y / 65536.0);
    }
    return std::fabs(a) / 2;
}

double coveredArea(PPixHand pix) {
    double sum = 0;
    for (const Pixel& p : pixelsOf(pix)) sum += p.a / 255.0;
    return sum;
}

TEST_F(Distort, IdentityCopiesAndQuarterTurnPermutes) {
    PPixHand src = keep(picture(37, 23, noise));
    PPixHand dst = keep(solid(37, 23, Pixel{1, 2, 3, 4}));
    FmFixedPoint q[4];
    rectQuad(37, 23, q);
    ASSERT_EQ(FixedToFixed(src, dst, q, q), 0);
    EXPECT_EQ(pixelsOf(dst), pixelsOf(src));

    // clockwise quarter turn of 13 x 7 into 7 x 13
    PPixHand s2 = keep(picture(13, 7, noise));
    PPixHand turned = keep(solid(7, 13, Pixel{0, 0, 0, 0}));
    FmFixedPoint from[4], to[4] = {fx(7, 0), fx(7, 13), fx(0, 13), fx(0, 0)};
    rectQuad(13, 7, from);
    ASSERT_EQ(FixedToFixed(s2, turned, from, to), 0);
    for (int32_t y = 0; y < 13; ++y)
        for (int32_t x = 0; x < 7; ++x)
            EXPECT_EQ(*at(turned, x, y), *at(s2, y, 6 - x)) << x << "," << y;
}

TEST_F(Distort, CoveredAreaMatchesTheQuadrilateral) {
    PPixHand src = keep(solid(64, 64, Pixel{255, 255, 255, 255}));
    FmFixedPoint from[4];
    rectQuad(64, 64, from);
    // turned 15 degrees at 80 %, and a perspective-like quadrilateral
    FmFixedPoint turned[4];
    const double a = 15 * std::numbers::pi / 180, half = 64 * 0.8 / 2;
    const double corners[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    for (int i = 0; i < 4; ++i)
        turned[i] = fx(50 + corners[i][0] * std::cos(a) - corners[i][1] * std::sin(a),
                       50 + corners[i][0] * std::sin(a) + corners[i][1] * std::cos(a));
    const FmFixedPoint skewed[4] = {fx(20.3, 10.7), fx(80.1, 20.2), fx(90.6, 90.4), fx(5.5, 70.9)};
    for (const FmFixedPoint* to : {static_cast<const FmFixedPoint*>(turned), skewed}) {
        PPixHand dst = keep(solid(100, 100, Pixel{0, 0, 0, 0}));
        ASSERT_EQ(FixedToFixed(src, dst, from, to), 0);
        const double want = shoelace(to);
        EXPECT_NEAR(coveredArea(dst), want, want * 0.005);
    }
}

TEST_F(Distort, OneAndTwoProcessorsDrawTheSame) {
    PPixHand src = keep(picture(50, 40, noise));
    FmFixedPoint from[4];
    rectQuad(50, 40, from);
    const FmFixedPoint to[4] = {fx(3.3, 1.2), fx(61.7, 8.9), fx(55.5, 77.1), fx(0.4, 60.6)};
    std::vector<std::vector<Pixel>> results;
    for (int n : {1, 2}) {
        usePool(n);
        PPixHand dst = keep(solid(64, 80, Pixel{9, 9, 9, 9}));
        ASSERT_EQ(FixedToFixed(src, dst, from, to), 0);
        results.push_back(pixelsOf(dst));
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);
}

TEST_F(Distort, DegenerateAndDistantQuadrilaterals) {
    PPixHand src = keep(picture(20, 20, noise));
    FmFixedPoint from[4];
    rectQuad(20, 20, from);
    PPixHand dst = keep(solid(30, 30, Pixel{5, 6, 7, 8}));
    const auto before = pixelsOf(dst);
    const FmFixedPoint point[4] = {fx(10, 10), fx(10, 10), fx(10, 10), fx(10, 10)};
    const FmFixedPoint line[4] = {fx(0, 0), fx(10, 10), fx(20, 20), fx(30, 30)};
    EXPECT_EQ(FixedToFixed(src, dst, from, point), 0);
    EXPECT_EQ(FixedToFixed(src, dst, from, line), 0);
    EXPECT_EQ(pixelsOf(dst), before);
    // corners far outside: clipped to the picture, every pixel drawn
    const FmFixedPoint huge[4] = {fx(-30000, -30000), fx(30000, -30000), fx(30000, 30000),
                                  fx(-30000, 30000)};
    PPixHand plain = keep(solid(20, 20, Pixel{40, 50, 60, 255}));
    EXPECT_EQ(FixedToFixed(plain, dst, from, huge), 0);
    for (const Pixel& p : pixelsOf(dst)) EXPECT_EQ(p, (Pixel{40, 50, 60, 255}));
    // a quadrilateral entirely off the picture
    const FmFixedPoint away[4] = {fx(-500, -500), fx(-400, -500), fx(-400, -400), fx(-500, -400)};
    PPixHand other = keep(solid(30, 30, Pixel{5, 6, 7, 8}));
    EXPECT_EQ(FixedToFixed(src, other, from, away), 0);
    EXPECT_EQ(pixelsOf(other), before);
    EXPECT_EQ(FixedToFixed(nullptr, other, from, away), -50);

    // the helpers build the same corners
    PPixHand viaRect = keep(solid(30, 30, Pixel{0, 0, 0, 0}));
    PPixHand viaFixed = keep(solid(30, 30, Pixel{0, 0, 0, 0}));
    PPixHand viaPoly = keep(solid(30, 30, Pixel{0, 0, 0, 0}));
    const FmRect r{3, 4, 25, 28};
    const FmPoint srcPoly[4] = {{0, 0}, {20, 0}, {20, 20}, {0, 20}};
    const FmPoint dstPoly[4] = {{3, 4}, {25, 4}, {25, 28}, {3, 28}};
    FmFixedPoint to[4];
    rectQuad(22, 24, to);
    for (auto& p : to) p.x += 3 << 16, p.y += 4 << 16;
    EXPECT_EQ(DistortFixed(src, viaRect, &r, 0), 0);
    EXPECT_EQ(DistortPolygon(src, viaFixed, from, to), 0);
    EXPECT_EQ(MapPolyToPoly(src, viaPoly, srcPoly, dstPoly), 0);
    EXPECT_EQ(pixelsOf(viaRect), pixelsOf(viaFixed));
    EXPECT_EQ(pixelsOf(viaRect), pixelsOf(viaPoly));
    EXPECT_NE(*at(viaRect, 10, 10), (Pixel{0, 0, 0, 0}));
}

FmFixedPoint gCaptured[4];
int32_t captureCorners(PPixHand, PPixHand, const FmFixedPoint*, const FmFixedPoint* to) {
    std::memcpy(gCaptured, to, sizeof gCaptured);
    return 0;
}

TEST_F(Distort, CornerTransformThroughTheUtilityTable) {
    FmUtilityTable table = *FmDefaultUtilityTable();
    table.distort = captureCorners;
    SetAGlobal(kSlotUtilityTable, reinterpret_cast<intptr_t>(&table));
    PPixHand src = keep(solid(8, 8, Pixel{1, 1, 1, 255}));
    PPixHand dst = keep(solid(80, 60, Pixel{1, 1, 1, 255}));
    FmMotionSample s{};
    s.x = 40 << 16;
    s.y = 30 << 16;
    s.zoom = 100 << 16;
    const int raw[4][2] = {{-40, -30}, {35, -25}, {40, 30}, {-38, 28}};
    for (int i = 0; i < 4; ++i) s.corners[i] = FmFixedPoint{raw[i][0] << 16, raw[i][1] << 16};
    const uint32_t colour = 0x0000FF;
    ASSERT_EQ(DoMFrame(src, dst, &s, &colour, 0), 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(gCaptured[i].x, (40 + raw[i][0]) << 16) << i;  // zoom 100, no turn: untouched
        EXPECT_EQ(gCaptured[i].y, (30 + raw[i][1]) << 16) << i;
    }
    // the background: the colour with alpha 0
    EXPECT_EQ(*at(dst, 0, 0), (Pixel{0, 0, 255, 0}));
    s.zoom = 50 << 16;
    DoMFrame(src, dst, &s, &colour, 0);
    EXPECT_EQ(gCaptured[0].x, 20 << 16);
    EXPECT_EQ(gCaptured[0].y, 15 << 16);
    s.zoom = 100 << 16;
    s.rot = 90 << 16;  // clockwise on the screen: (x, y) -> (-y, x)
    DoMFrame(src, dst, &s, &colour, 0);
    EXPECT_EQ(gCaptured[0].x, (40 + 30) << 16);
    EXPECT_EQ(gCaptured[0].y, (30 - 40) << 16);
    // the turn happens in square units: pixel aspect 2:1 and a halved height
    s.corners[0] = FmFixedPoint{10 << 16, 0};
    ppixSetPixelAspectRatio(dst, 0x20001);
    DoMFrame(src, dst, &s, &colour, 0);
    EXPECT_EQ(gCaptured[0].x, 40 << 16);
    EXPECT_EQ(gCaptured[0].y, (30 + 20) << 16);
    ppixSetPixelAspectRatio(dst, 0x10001);
    s.corners[0] = FmFixedPoint{0, 10 << 16};
    DoMFrame(src, dst, &s, &colour, 0x800);
    EXPECT_EQ(gCaptured[0].x, (40 - 20) << 16);
    EXPECT_EQ(gCaptured[0].y, 30 << 16);
    DoMFrame(src, dst, &s, &colour, 0);
    EXPECT_EQ(gCaptured[0].x, (40 - 10) << 16);
    SetAGlobal(kSlotUtilityTable, 0);
}

Handle motion(const std::vector<FmMotionPoint>& pts, uint32_t colour = 0) {
    Handle h = FmNewHandleClear(uint32_t(12 + 46 * pts.size()));
    FmMotionHeader header{};
    header.colr = colour;
    header.count = int16_t(pts.size());
    std::memcpy(*h, &header, 12);
    if (!pts.empty()) std::memcpy(*h + 12, pts.data(), 46 * pts.size());
    return h;
}

TEST_F(Distort, MotionFrames) {
    PPixHand src = keep(picture(16, 12, [](int32_t x, int32_t y) {
        Pixel p = noise(x, y);
        p.a = 255;
        return p;
    }));
    // no points: the picture unmoved
    PPixHand dst = keep(solid(16, 12, Pixel{}));
    Handle none = motion({});
    ASSERT_EQ(MotionFrame(src, dst, 5, 10, none, 0), 0);
    EXPECT_EQ(pixelsOf(dst), pixelsOf(src));
    // zoom 0: only the background
    FmMotionPoint p{};
    p.spot[0] = 40;
    p.spot[1] = 30;
    Handle zero = motion({p}, 0x00FF00);
    ASSERT_EQ(MotionFrame(src, dst, 5, 10, zero, 0), 0);
    for (const Pixel& q : pixelsOf(dst)) EXPECT_EQ(q, (Pixel{0, 255, 0, 0}));
    // an empty destination draws nothing; bad arguments
    const FmRect empty{0, 0, 0, 0};
    PPixHand nothing = ppixNew(&empty);
    if (nothing) {
        EXPECT_EQ(MotionFrame(src, nothing, 5, 10, zero, 0), 0);
        ppixDispose(nothing);
    }
    EXPECT_EQ(MotionFrame(src, dst, 5, 10, nullptr, 0), -50);
    EXPECT_EQ(MotionFrame(nullptr, dst, 5, 10, zero, 0), -50);
    // the stored settings are not changed by rendering
    const std::vector<char> stored(*zero, *zero + FmGetHandleSize(zero));
    MotionFrame(src, dst, 5, 10, zero, 0);
    EXPECT_EQ(std::vector<char>(*zero, *zero + FmGetHandleSize(zero)), stored);
    FmDisposeHandle(none);
    FmDisposeHandle(zero);
}

TEST_F(Distort, OlderSettingsRenderAsMadeForFourByThree) {
    PPixHand src = keep(picture(32, 18, [](int32_t x, int32_t y) {
        Pixel p = noise(x, y);
        p.a = 255;
        return p;
    }));
    // the older form: 9-byte header, 42-byte points
    Handle old = FmNewHandleClear(9 + 42);
    FmOldMotionHeader oh{};
    oh.colr = 0x102030;
    oh.flags = 0;
    oh.smoothMethod = 0x51;
    oh.count = 1;
    std::memcpy(*old, &oh, 9);
    FmOldMotionPoint op{};
    op.x = 20;
    op.y = 15;
    op.zoomWord = 50 << 1;
    op.methodWord = uint16_t(0 << 3);
    std::memcpy(*old + 9, &op, 42);
    Handle converted = FmNewHandleClear(12 + 46);
    ASSERT_EQ(ConvertMotionSettings(old, converted), 0);

    FmMotionPoint p{};
    p.spot[0] = 20;
    p.spot[1] = 15;
    p.zoom = 50;
    FmMotionPoint made43 = p, made169 = p;
    made43.ratio = 0xC000;
    made43.code = kMotionRatioCode;
    made169.ratio = 0x9000;
    made169.code = kMotionRatioCode;
    Handle h43 = motion({made43}, 0x102030), h169 = motion({made169}, 0x102030);
    auto render = [&](Handle h) {
        PPixHand dst = keep(solid(64, 36, Pixel{}));
        EXPECT_EQ(MotionFrame(src, dst, 0, 100, h, 0), 0);
        return pixelsOf(dst);
    };
    const auto fromOld = render(converted);
    EXPECT_EQ(fromOld, render(h43));
    EXPECT_NE(fromOld, render(h169));
    for (Handle h : {old, converted, h43, h169}) FmDisposeHandle(h);
}

TEST_F(Distort, ConvertMotionSettingsUnpacksTheBitFields) {
    Handle old = FmNewHandleClear(9 + 2 * 42);
    FmOldMotionHeader oh{};
    oh.colr = 0xABCDEF;
    oh.flags = 3;
    oh.smoothMethod = 0x52;
    oh.count = 2;
    std::memcpy(*old, &oh, 9);
    FmOldMotionPoint op{};
    op.x = -5;
    op.y = 77;
    op.zoomWord = uint16_t(150 << 1 | 1);
    op.methodWord = uint16_t(500 << 3 | 2);
    op.delay = 40;
    op.rot = -30;
    op.fracH = 12;
    op.fracV = -7;
    for (int k = 0; k < 8; ++k) op.dest[k] = int16_t(k - 4);
    std::memcpy(*old + 9, &op, 42);
    op.methodWord = uint16_t(1000 << 3 | 1);
    std::memcpy(*old + 9 + 42, &op, 42);
    Handle out = FmNewHandleClear(12 + 2 * 46);
    ASSERT_EQ(ConvertMotionSettings(old, out), 0);
    const auto* h = reinterpret_cast<const FmMotionHeader*>(*out);
    EXPECT_EQ(h->colr, 0xABCDEFu);
    EXPECT_EQ(h->smooth, 1);
    EXPECT_EQ(h->fillA, 1);
    EXPECT_EQ(h->smoothMethod, 2);
    EXPECT_EQ(h->count, 2);
    const auto* p = reinterpret_cast<const FmMotionPoint*>(*out + 12);
    EXPECT_EQ(p[0].spot[0], -5);
    EXPECT_EQ(p[0].spot[1], 77);
    EXPECT_EQ(p[0].hasfrac, 1);
    EXPECT_EQ(p[0].zoom, 150);
    EXPECT_EQ(p[0].motionMethod, 2);
    EXPECT_EQ(p[0].time, 500);
    EXPECT_EQ(p[1].time, 1000);
    EXPECT_EQ(p[1].motionMethod, 1);
    EXPECT_EQ(p[0].delay, 40);
    EXPECT_EQ(p[0].rot, -30);
    EXPECT_EQ(p[0].fracH, 12);
    EXPECT_EQ(p[0].fracV, -7);
    EXPECT_EQ(+p[0].ratio, 0);
    EXPECT_EQ(+p[0].code, 0u);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(p[0].dest[k], k - 4);
    // a count beyond either Handle is cut to the points both hold
    reinterpret_cast<FmOldMotionHeader*>(*old)->count = 500;
    Handle small = FmNewHandleClear(12 + 46);
    ASSERT_EQ(ConvertMotionSettings(old, small), 0);
    EXPECT_EQ(reinterpret_cast<const FmMotionHeader*>(*small)->count, 1);
    reinterpret_cast<FmOldMotionHeader*>(*old)->count = -3;
    ASSERT_EQ(ConvertMotionSettings(old, out), 0);
    EXPECT_EQ(reinterpret_cast<const FmMotionHeader*>(*out)->count, 0);
    Handle tiny = FmNewHandleClear(4);
    EXPECT_EQ(ConvertMotionSettings(tiny, out), -50);
    for (Handle x : {old, out, small, tiny}) FmDisposeHandle(x);
}

}  // namespace
