// Quadrilateral mapping: the destination quadrilateral is scanned row by row;
// on each row the points where it crosses the left and right edges are
// matched with the corresponding points on the source quadrilateral's edges,
// and the span between them is filled with bilinear source samples stepped
// along that line. Span ends and the first and last rows get partial coverage.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "pixels/ppix_internal.h"
#include "reelcore/globals.h"
#include "reelcore/motion.h"
#include "reelcore/utility_table.h"
#include "timeline/motion/motion_internal.h"
#include "timeline/mp_bands.h"

namespace rc::motion {

namespace {

constexpr int32_t kParamErr = -50;
constexpr double kOne = 65536.0;
// Edges whose ends differ by less than this in height count as level.
constexpr double kLevel = 16.0 / kOne;
// Step limit (16.16) that keeps the per-pixel sums far from overflow.
constexpr double kMaxStep = double(int64_t(1) << 40);

struct Vec {
    double x, y;
};

struct Picture {
    const uint8_t* top;  // row 0 (top)
    intptr_t stride;
    int32_t width, height;
};

struct Quad {
    Vec dst[4], src[4];
    double top, bottom;
};

struct Crossing {
    double x;
    Vec source;
};

// Bilinear sample at (sx, sy), 16.16 source pixels (pixel centres at +0.5),
// clamped to the picture's edges.
inline void sample(const Picture& p, int64_t sx, int64_t sy, uint8_t out[4]) {
    sx -= 32768;
    sy -= 32768;
    int64_t ix = sx >> 16, iy = sy >> 16;
    uint32_t fx = uint32_t(sx >> 8) & 0xFF, fy = uint32_t(sy >> 8) & 0xFF;
    if (ix < 0) ix = 0, fx = 0;
    if (ix >= p.width - 1) ix = p.width - 1, fx = 0;
    if (iy < 0) iy = 0, fy = 0;
    if (iy >= p.height - 1) iy = p.height - 1, fy = 0;
    const int64_t ix1 = std::min<int64_t>(ix + 1, p.width - 1);
    const int64_t iy1 = std::min<int64_t>(iy + 1, p.height - 1);
    const uint8_t* r0 = p.top + p.stride * iy;
    const uint8_t* r1 = p.top + p.stride * iy1;
    const uint8_t *p00 = r0 + 4 * ix, *p10 = r0 + 4 * ix1, *p01 = r1 + 4 * ix, *p11 = r1 + 4 * ix1;
    const uint32_t w00 = (256 - fx) * (256 - fy), w10 = fx * (256 - fy), w01 = (256 - fx) * fy,
                   w11 = fx * fy;
    for (int c = 0; c < 4; ++c)
        out[c] = uint8_t((p00[c] * w00 + p10[c] * w10 + p01[c] * w01 + p11[c] * w11 + 32768) >> 16);
}

// Where the row at height y crosses the quadrilateral's edges: the leftmost
// and rightmost crossings with their source points.
bool crossings(const Quad& q, double y, Crossing& left, Crossing& right) {
    int found = 0;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        const Vec a = q.dst[i], b = q.dst[j];
        if (std::fabs(b.y - a.y) < kLevel) continue;
        if (y < std::min(a.y, b.y) || y > std::max(a.y, b.y)) continue;
        const double s = (y - a.y) / (b.y - a.y);
        const Crossing c{a.x + s * (b.x - a.x), Vec{q.src[i].x + s * (q.src[j].x - q.src[i].x),
                                                    q.src[i].y + s * (q.src[j].y - q.src[i].y)}};
        if (found == 0 || c.x < left.x) left = c;
        if (found == 0 || c.x > right.x) right = c;
        ++found;
    }
    return found >= 2;
}

int64_t toFixed(double v) {
    return int64_t(std::llround(std::clamp(v, -kMaxStep, kMaxStep) * kOne));
}

void drawRow(const Quad& q, const Picture& src, uint8_t* row, int32_t dstWidth, int32_t y) {
    const double yc = std::clamp(y + 0.5, q.top, q.bottom);
    const double rowCover = std::min(y + 1.0, q.bottom) - std::max(double(y), q.top);
    if (rowCover <= 0) return;
    Crossing l, r;
    if (!crossings(q, yc, l, r)) return;
    const double span = r.x - l.x;
    if (span <= 0) return;
    const int32_t x0 = int32_t(std::max(0.0, std::floor(l.x)));
    const int32_t x1 = int32_t(std::min(double(dstWidth), std::ceil(r.x)));
    if (x1 <= x0) return;
    // source point of pixel centre x0 + 0.5 and the step per pixel
    const bool sliver = span < 1.0 / 256;
    const double stepX = sliver ? 0 : (r.source.x - l.source.x) / span;
    const double stepY = sliver ? 0 : (r.source.y - l.source.y) / span;
    const double u = x0 + 0.5 - l.x;
    const int64_t sx0 = toFixed(l.source.x + u * stepX), sy0 = toFixed(l.source.y + u * stepY);
    const int64_t dx = toFixed(stepX), dy = toFixed(stepY);
    const uint32_t fullCover = uint32_t(std::lround(std::min(rowCover, 1.0) * 256));
    uint8_t* d = row + 4 * intptr_t(x0);
    for (int32_t x = x0; x < x1; ++x, d += 4) {
        uint32_t cover = fullCover;
        if (x == x0 || x == x1 - 1) {
            const double part = std::min(x + 1.0, r.x) - std::max(double(x), l.x);
            cover =
                uint32_t(std::lround(std::clamp(part, 0.0, 1.0) * std::min(rowCover, 1.0) * 256));
        }
        if (cover == 0) continue;
        uint8_t s[4];
        const int64_t k = x - x0;
        sample(src, sx0 + k * dx, sy0 + k * dy, s);
        if (cover >= 256) {
            std::memcpy(d, s, 4);
        } else {
            for (int c = 0; c < 4; ++c) d[c] = uint8_t((s[c] * cover + d[c] * (256 - cover)) >> 8);
        }
    }
}

double signedArea(const Vec v[4]) {
    double a = 0;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        a += v[i].x * v[j].y - v[j].x * v[i].y;
    }
    return a / 2;
}

}  // namespace

int32_t distortQuad(PPixHand srcPix, PPixHand dstPix, const FmFixedPoint srcCorners[4],
                    const FmFixedPoint dstCorners[4]) {
    const PPixRecord* s = rc::pixels::record(srcPix);
    const PPixRecord* d = rc::pixels::record(dstPix);
    if (!s || !d || !srcCorners || !dstCorners || !s->pixels || !d->pixels || s->depth != 32 ||
        d->depth != 32)
        return kParamErr;
    const int32_t dw = rc::pixels::width(d), dh = rc::pixels::height(d);
    const Picture src{reinterpret_cast<const uint8_t*>(rc::pixels::rowAddress(s, 0)),
                      -intptr_t{s->rowBytes}, rc::pixels::width(s), rc::pixels::height(s)};
    if (dw <= 0 || dh <= 0 || src.width <= 0 || src.height <= 0) return noErr;
    Quad q;
    for (int i = 0; i < 4; ++i) {
        q.dst[i] = Vec{dstCorners[i].x / kOne, dstCorners[i].y / kOne};
        q.src[i] = Vec{srcCorners[i].x / kOne, srcCorners[i].y / kOne};
    }
    // a quadrilateral without area (zoom 0, corners on one line) draws nothing
    if (std::fabs(signedArea(q.dst)) < 1.0 / kOne) return noErr;
    q.top = std::min({q.dst[0].y, q.dst[1].y, q.dst[2].y, q.dst[3].y});
    q.bottom = std::max({q.dst[0].y, q.dst[1].y, q.dst[2].y, q.dst[3].y});
    const int32_t firstRow = int32_t(std::clamp(std::floor(q.top), 0.0, double(dh)));
    const int32_t endRow = int32_t(std::clamp(std::ceil(q.bottom), 0.0, double(dh)));
    if (endRow <= firstRow) return noErr;
    uint8_t* dstTop = reinterpret_cast<uint8_t*>(rc::pixels::rowAddress(d, 0));
    const intptr_t dstStride = -intptr_t{d->rowBytes};
    rc::mp::runRowBands(endRow - firstRow, kDistortSplitRows + 1,
                        [&](int32_t first, int32_t count) {
                            for (int32_t y = firstRow + first; y < firstRow + first + count; ++y)
                                drawRow(q, src, dstTop + dstStride * y, dw, y);
                        });
    return noErr;
}

int32_t distortThroughTable(PPixHand src, PPixHand dst, const FmFixedPoint srcCorners[4],
                            const FmFixedPoint dstCorners[4]) {
    const auto* table = reinterpret_cast<const FmUtilityTable*>(GetAGlobal(kSlotUtilityTable));
    const FmDistortProc distort = FM_UTILITY_HAS(table, distort) ? table->distort : FixedToFixed;
    return distort(src, dst, srcCorners, dstCorners);
}

void rectCorners(const FmRect& r, FmFixedPoint out[4]) {
    const Fixed l = unitsToFixed(r.left), t = unitsToFixed(r.top);
    const Fixed rt = unitsToFixed(r.right), b = unitsToFixed(r.bottom);
    out[0] = {l, t};
    out[1] = {rt, t};
    out[2] = {rt, b};
    out[3] = {l, b};
}

}  // namespace rc::motion

using namespace rc::motion;

RC_API int32_t FixedToFixed(PPixHand src, PPixHand dst, const FmFixedPoint srcCorners[4],
                            const FmFixedPoint dstCorners[4]) {
    return distortQuad(src, dst, srcCorners, dstCorners);
}

RC_API int32_t DistortFixed(PPixHand src, PPixHand dst, const FmRect* rect, int32_t) {
    const PPixRecord* s = rc::pixels::record(src);
    if (!s || !rect) return -50;
    FmFixedPoint from[4], to[4];
    rectCorners(FmRect{0, 0, rc::pixels::width(s), rc::pixels::height(s)}, from);
    rectCorners(*rect, to);
    return distortThroughTable(src, dst, from, to);
}

RC_API int32_t MapPolyToPoly(PPixHand src, PPixHand dst, const FmPoint srcPoly[4],
                             const FmPoint dstPoly[4]) {
    if (!srcPoly || !dstPoly) return -50;
    FmFixedPoint from[4], to[4];
    for (int i = 0; i < 4; ++i) {
        from[i] = {unitsToFixed(srcPoly[i].x), unitsToFixed(srcPoly[i].y)};
        to[i] = {unitsToFixed(dstPoly[i].x), unitsToFixed(dstPoly[i].y)};
    }
    return distortThroughTable(src, dst, from, to);
}

RC_API int32_t DistortPolygon(PPixHand src, PPixHand dst, const FmFixedPoint srcPoly[4],
                              const FmFixedPoint dstPoly[4]) {
    if (!srcPoly || !dstPoly) return -50;
    return distortThroughTable(src, dst, srcPoly, dstPoly);
}
