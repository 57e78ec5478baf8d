// Drawing one frame of motion: the sample's corners zoomed, turned and moved,
// then the picture mapped onto them over the background colour; and the
// small geometry helpers of the motion editor.
#include <cmath>
#include <numbers>

#include "pixels/ppix_internal.h"
#include "reelcore/imagefilters.h"
#include "timeline/motion/motion_internal.h"

namespace rc::motion {

namespace {

constexpr int32_t kParamErr = -50;

double pixelAspect(const PPixRecord* r) {
    const uint32_t code = r->pixelAspectRatio;
    const uint32_t num = code >> 16, den = code & 0xFFFF;
    if (code == 0 || code == 1 || num == 0 || den == 0) return 1.0;
    return double(num) / den;
}

Fixed fixedOf(double pixels) {
    return Fixed(std::clamp<double>(std::llround(pixels * 65536.0), INT32_MIN, INT32_MAX));
}

}  // namespace

}  // namespace rc::motion

using namespace rc::motion;

RC_API int32_t DoMFrame(PPixHand src, PPixHand dst, const FmMotionSample* sample,
                        const uint32_t* colour, int32_t flags) {
    const PPixRecord* d = rc::pixels::record(dst);
    if (!d || !d->pixels) return kParamErr;
    ppixFillRectTransparent(dst, nullptr, colour ? *colour : 0);
    const PPixRecord* s = rc::pixels::record(src);
    if (!s || !s->pixels || !sample) return kParamErr;
    double cx[4], cy[4];
    for (int i = 0; i < 4; ++i) {
        cx[i] = sample->corners[i].x / 65536.0;
        cy[i] = sample->corners[i].y / 65536.0;
    }
    if (sample->zoom != (100 << 16) || sample->rot != 0) {
        // turned in square units: pixel aspect and field-halved sides first
        const double fx = pixelAspect(d) * (flags & kMotionFieldWidth ? 2 : 1);
        const double fy = flags & kMotionFieldHeight ? 2 : 1;
        const double zoom = sample->zoom / 65536.0 / 100.0;
        const double angle = sample->rot / 65536.0 * std::numbers::pi / 180.0;
        const double c = std::cos(angle), sn = std::sin(angle);
        for (int i = 0; i < 4; ++i) {
            const double x = cx[i] * fx * zoom, y = cy[i] * fy * zoom;
            cx[i] = (x * c - y * sn) / fx;
            cy[i] = (x * sn + y * c) / fy;
        }
    }
    FmFixedPoint to[4], from[4];
    for (int i = 0; i < 4; ++i)
        to[i] = {fixedOf(sample->x / 65536.0 + cx[i]), fixedOf(sample->y / 65536.0 + cy[i])};
    rectCorners(FmRect{0, 0, rc::pixels::width(s), rc::pixels::height(s)}, from);
    return distortThroughTable(src, dst, from, to);
}

RC_API int32_t MotionFrame(PPixHand src, PPixHand dst, int32_t t, int32_t duration, Handle settings,
                           int32_t flags) {
    const PPixRecord* s = rc::pixels::record(src);
    const PPixRecord* d = rc::pixels::record(dst);
    if (!s || !d || !s->pixels || !d->pixels || s->depth != 32 || d->depth != 32) return kParamErr;
    const int32_t w = rc::pixels::width(d), h = rc::pixels::height(d);
    if (w <= 0 || h <= 0) return noErr;  // an empty destination draws nothing
    Settings st;
    if (!readSettings(settings, st)) return kParamErr;
    adaptAspect(st, frameRatio(w, h, flags));
    const Settings expanded = expandHolds(st);
    const FmMotionSample sample =
        smoothedSampleAt(expanded, t, duration, mappingFor(FmRect{0, 0, w, h}, flags));
    if (st.header.fillA)
        SmoothAlpha(s->pixels, s->rowBytes, rc::pixels::width(s), rc::pixels::height(s));
    return DoMFrame(src, dst, &sample, &st.header.colr, flags);
}

RC_API void PointCalc(int32_t x, int32_t y, double r, double angle, FmPoint* out) {
    if (!out) return;
    const double fx = x * 65536.0 + r * std::sin(angle) * 65536.0;
    const double fy = y * 65536.0 - r * std::cos(angle) * 65536.0;
    out->x = int32_t(std::clamp<double>(std::floor(fx / 65536.0), INT32_MIN, INT32_MAX));
    out->y = int32_t(std::clamp<double>(std::floor(fy / 65536.0), INT32_MIN, INT32_MAX));
}

RC_API double AngleFromPoints(int32_t cx, int32_t cy, const FmPoint* p) {
    if (!p) return 0;
    double a = std::atan2(double(p->x) - cx, double(cy) - p->y);
    if (a < 0) a += 2 * std::numbers::pi;
    return a;
}

RC_API void FindCenter(const FmPoint quad[4], FmPoint* c) {
    if (!quad || !c) return;
    int64_t sx = 0, sy = 0;
    for (int i = 0; i < 4; ++i) sx += quad[i].x, sy += quad[i].y;
    c->x = int32_t((sx + 2) / 4);
    c->y = int32_t((sy + 2) / 4);
}

RC_API void RotatePoint(FmMotionPoint* item, const FmRect* rect) {
    if (!item || !rect) return;
    const Mapping m = mappingFor(*rect, 0);
    const double hw = m.refW / 2.0, hh = m.refH / 2.0;
    const double natural[4][2] = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
    const double angle = item->rot * std::numbers::pi / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    for (int i = 0; i < 4; ++i) {
        const double x = natural[i][0] + item->dest[2 * i];
        const double y = natural[i][1] + item->dest[2 * i + 1];
        const double rx = x * c - y * s, ry = x * s + y * c;
        item->dest[2 * i] =
            int16_t(std::clamp<double>(std::lround(rx - natural[i][0]), INT16_MIN, INT16_MAX));
        item->dest[2 * i + 1] =
            int16_t(std::clamp<double>(std::lround(ry - natural[i][1]), INT16_MIN, INT16_MAX));
    }
}

RC_API double myhypot(double x, double y) {
    return std::hypot(x, y);
}
