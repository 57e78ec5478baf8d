// Sampling a motion path: holds, segments with easing, reflection before the
// start and after the end, smoothing windows and the aspect adaptation.
#include <cmath>
#include <cstring>

#include "reelcore/memory.h"
#include "timeline/motion/motion_internal.h"

namespace rc::motion {

namespace {

constexpr int32_t kDefaultRatio = 0xC000;  // 0.75: a 4:3 frame
constexpr int32_t kMaxPoints = INT16_MAX;

Fixed clampFixed(int64_t v) {
    return Fixed(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Reference frame of an aspect (height / width, 16.16): 80 units across the
// longer side, the other rounded to whole units.
void referenceFor(double w, double h, int64_t& refW, int64_t& refH) {
    if (w <= 0 || h <= 0) {
        refW = kMotionRefSide;
        refH = 60;
    } else if (w >= h) {
        refW = kMotionRefSide;
        refH = std::max<int64_t>(1, std::llround(double(kMotionRefSide) * h / w));
    } else {
        refH = kMotionRefSide;
        refW = std::max<int64_t>(1, std::llround(double(kMotionRefSide) * w / h));
    }
}

// Every numeric field of a sample, for interpolation and reflection.
template <typename Fn>
void forEachField(FmMotionSample& out, const FmMotionSample& a, const FmMotionSample& b, Fn fn) {
    out.x = clampFixed(fn(a.x, b.x));
    out.y = clampFixed(fn(a.y, b.y));
    out.zoom = clampFixed(fn(a.zoom, b.zoom));
    out.rot = clampFixed(fn(a.rot, b.rot));
    out.time = clampFixed(fn(a.time, b.time));
    out.delay = clampFixed(fn(a.delay, b.delay));
    for (int c = 0; c < 4; ++c) {
        out.corners[c].x = clampFixed(fn(a.corners[c].x, b.corners[c].x));
        out.corners[c].y = clampFixed(fn(a.corners[c].y, b.corners[c].y));
    }
}

FmMotionSample mapSample(const FmMotionSample& s, const Mapping& m) {
    FmMotionSample out = s;
    out.x = clampFixed(int64_t(m.left) * 65536 + int64_t(s.x) * m.width / m.refW);
    out.y = clampFixed(int64_t(m.top) * 65536 + int64_t(s.y) * m.height / m.refH);
    const int64_t hw = int64_t(m.width) * 32768, hh = int64_t(m.height) * 32768;
    const int64_t natural[4][2] = {{-hw, -hh}, {hw, -hh}, {hw, hh}, {-hw, hh}};
    for (int c = 0; c < 4; ++c) {
        out.corners[c].x = clampFixed(natural[c][0] + int64_t(s.corners[c].x) * m.width / m.refW);
        out.corners[c].y = clampFixed(natural[c][1] + int64_t(s.corners[c].y) * m.height / m.refH);
    }
    return out;
}

FmMotionSample unmoved(const Mapping& m) {
    FmMotionSample s{};
    s.x = Fixed(int64_t(m.refW) * 32768);
    s.y = Fixed(int64_t(m.refH) * 32768);
    s.zoom = 100 << 16;
    return mapSample(s, m);
}

FmMotionSample fixedPoint(const FmMotionPoint& p) {
    FmMotionSample s;
    PointToFixed(&p, &s);
    return s;
}

int64_t isqrt(int64_t v) {
    int64_t r = int64_t(std::sqrt(double(v)));
    while (r * r > v) --r;
    while ((r + 1) * (r + 1) <= v) ++r;
    return r;
}

// Inside the path: 0 <= i <= n, n > 0, at least two points.
FmMotionSample inside(const std::vector<FmMotionPoint>& pts, int64_t i, int64_t n,
                      const Mapping& m) {
    const int64_t t = i * 1000 / n;
    size_t k = 0;
    while (k + 2 < pts.size() && t >= pts[k + 1].time) ++k;
    const int64_t f = n <= 9 ? 1000 : n < 100 ? 100 : 10;
    const int64_t base = int64_t(pts[k].time) * n * f / 1000;
    int64_t a = i * f - base;
    const int64_t b = int64_t(pts[k + 1].time) * n * f / 1000 - base;
    const FmMotionSample from = mapSample(fixedPoint(pts[k]), m);
    if (b <= 0) return from;
    a = std::clamp<int64_t>(a, 0, b);
    if (pts[k].motionMethod == 1 || pts[k].motionMethod == 2) {
        int64_t q = a * 256 / b;  // progress x 256
        q = pts[k].motionMethod == 1 ? q * q / 256 : isqrt(q * 256);
        a = b * q / 256;
    }
    const FmMotionSample to = mapSample(fixedPoint(pts[k + 1]), m);
    FmMotionSample out = from;
    forEachField(out, from, to,
                 [&](int64_t v0, int64_t v1) { return v0 + int64_t(__int128(v1 - v0) * a / b); });
    return out;
}

}  // namespace

Mapping mappingFor(const FmRect& rect, int32_t flags) {
    Mapping m;
    m.left = rect.left;
    m.top = rect.top;
    const int64_t w = int64_t(rect.right) - rect.left, h = int64_t(rect.bottom) - rect.top;
    m.width = int32_t(std::clamp<int64_t>(w < 0 ? -w : w, 0, INT32_MAX));
    m.height = int32_t(std::clamp<int64_t>(h < 0 ? -h : h, 0, INT32_MAX));
    if (w < 0 || h < 0) {
        // a negative rectangle is its own reference frame
        m.refW = std::max<int64_t>(1, m.width);
        m.refH = std::max<int64_t>(1, m.height);
        return m;
    }
    const double fw = double(m.width) * (flags & kMotionFieldWidth ? 2 : 1);
    const double fh = double(m.height) * (flags & kMotionFieldHeight ? 2 : 1);
    referenceFor(fw, fh, m.refW, m.refH);
    return m;
}

int32_t frameRatio(int32_t width, int32_t height, int32_t flags) {
    const double fw = double(width) * (flags & kMotionFieldWidth ? 2 : 1);
    const double fh = double(height) * (flags & kMotionFieldHeight ? 2 : 1);
    if (fw <= 0 || fh <= 0) return kDefaultRatio;
    return int32_t(std::min<double>(INT32_MAX, std::llround(fh / fw * 65536)));
}

void fixPoint(FmMotionPoint& p, int32_t ratio) {
    const int32_t stored = p.ratio;  // copied out: the packed field is not aligned
    const int32_t from = stored > 0 ? stored : kDefaultRatio;
    const int32_t to = ratio > 0 ? ratio : kDefaultRatio;
    // units per frame width, across and down, for a frame one unit wide
    int64_t w0, h0, w1, h1;
    referenceFor(1.0, from / 65536.0, w0, h0);
    referenceFor(1.0, to / 65536.0, w1, h1);
    const double ux0 = 1.0 / w0, uy0 = from / 65536.0 / h0;
    const double ux1 = 1.0 / w1, uy1 = to / 65536.0 / h1;
    // the picture keeps its offset from the frame's centre in a frame of the
    // same width, and its corners their size
    FmMotionSample s = fixedPoint(p);
    const double x = s.x / 65536.0, y = s.y / 65536.0;
    const double nx = w1 / 2.0 + (x - w0 / 2.0) * ux0 / ux1;
    const double ny = h1 / 2.0 + (y - h0 / 2.0) * uy0 / uy1;
    auto store = [](double v, int16_t& spot, uint16_t& frac) {
        const int64_t f = std::clamp<int64_t>(std::llround(v * 65536), int64_t(INT16_MIN) * 65536,
                                              int64_t(INT16_MAX) * 65536 + 65535);
        spot = int16_t(f >> 16);
        frac = uint16_t(f & 0xFFFF);
    };
    store(nx, p.spot[0], p.spotfrac[0]);
    store(ny, p.spot[1], p.spotfrac[1]);
    p.hasfrac = 0;
    p.fracH = p.fracV = 0;
    for (int c = 0; c < 4; ++c) {
        p.dest[2 * c] = int16_t(
            std::clamp<double>(std::lround(p.dest[2 * c] * ux0 / ux1), INT16_MIN, INT16_MAX));
        p.dest[2 * c + 1] = int16_t(
            std::clamp<double>(std::lround(p.dest[2 * c + 1] * uy0 / uy1), INT16_MIN, INT16_MAX));
    }
    p.ratio = to;
    p.code = kMotionRatioCode;
}

void adaptAspect(Settings& s, int32_t ratio) {
    for (size_t i = 0; i < s.points.size(); ++i) {
        FmMotionPoint& p = s.points[i];
        if (p.ratio == 0 || p.code != kMotionRatioCode) {
            p.ratio = kDefaultRatio;
            p.code = kMotionRatioCode;
            if (i == 0) p.spotfrac[0] = p.spotfrac[1] = 0;
        }
        if (p.ratio != ratio) fixPoint(p, ratio);
    }
}

Settings expandHolds(const Settings& s) {
    Settings out;
    out.header = s.header;
    for (const FmMotionPoint& p : s.points) {
        if (out.points.size() >= size_t(kMaxPoints)) break;
        out.points.push_back(p);
        if (p.delay != 0 && out.points.size() < size_t(kMaxPoints)) {
            FmMotionPoint held = p;
            held.time = int16_t(std::clamp<int32_t>(p.time + p.delay, INT16_MIN, INT16_MAX));
            out.points.push_back(held);
        }
    }
    out.header.count = int16_t(out.points.size());
    return out;
}

FmMotionSample sampleAt(const std::vector<FmMotionPoint>& pts, int64_t i, int64_t n,
                        const Mapping& m) {
    if (pts.empty()) return unmoved(m);
    if (pts.size() == 1 || n <= 0) return mapSample(fixedPoint(pts[0]), m);
    if (i >= 0 && i <= n) return inside(pts, i, n, m);
    // beyond either end the path is mirrored through its end point
    const bool before = i < 0;
    const int64_t j = before ? std::min(-i, n) : std::clamp<int64_t>(2 * n - i, 0, n);
    const FmMotionSample end = inside(pts, before ? 0 : n, n, m);
    const FmMotionSample s = inside(pts, j, n, m);
    FmMotionSample out = s;
    forEachField(out, end, s, [](int64_t e, int64_t v) { return 2 * e - v; });
    out.time = s.time;
    out.delay = s.delay;
    return out;
}

int32_t smoothingWindow(int32_t method, int64_t n) {
    int64_t w;
    switch (method) {
        case 0:
            w = 4;
            break;
        case 1:
            w = 8;
            break;
        case 2:
            w = n / 16;
            break;
        case 3:
            w = n / 8;
            break;
        case 4:
            w = n / 4;
            break;
        default:
            w = 1;
            break;
    }
    if (w <= 1) return 2;
    return int32_t(std::min<int64_t>(w & ~int64_t(1), 100));
}

FmMotionSample smoothedSampleAt(const Settings& expanded, int64_t i, int64_t n, const Mapping& m) {
    if (!expanded.header.smooth) return sampleAt(expanded.points, i, n, m);
    const int32_t w = smoothingWindow(expanded.header.smoothMethod, n);
    std::vector<FmMotionSample> window;
    window.reserve(size_t(w) + 1);
    for (int64_t k = i - w / 2; k <= i + w / 2; ++k)
        window.push_back(sampleAt(expanded.points, k, n, m));
    FmMotionSample out;
    PointAverage(window.data(), int32_t(window.size()), &out);
    return out;
}

}  // namespace rc::motion

using namespace rc::motion;

RC_API void PointToFixed(const FmMotionPoint* p, FmMotionSample* out) {
    if (!p || !out) return;
    FmMotionSample s{};
    // the largest positions with a fraction reach past the 16.16 range
    if (p->hasfrac) {
        s.x = clampFixed(int64_t(p->spot[0]) * 65536 + p->fracH * 65536 / 100);
        s.y = clampFixed(int64_t(p->spot[1]) * 65536 + p->fracV * 65536 / 100);
    } else {
        s.x = clampFixed(int64_t(p->spot[0]) * 65536 + p->spotfrac[0]);
        s.y = clampFixed(int64_t(p->spot[1]) * 65536 + p->spotfrac[1]);
    }
    s.zoom = Fixed(p->zoom * 65536);
    s.time = p->time;
    s.delay = p->delay;
    s.rot = Fixed(p->rot * 65536);
    s.motionMethod = p->motionMethod;
    for (int c = 0; c < 4; ++c) {
        s.corners[c].x = Fixed(p->dest[2 * c] * 65536);
        s.corners[c].y = Fixed(p->dest[2 * c + 1] * 65536);
    }
    *out = s;
}

RC_API void PointAverage(const FmMotionSample* samples, int32_t n, FmMotionSample* out) {
    if (!out) return;
    if (!samples || n <= 0) {
        *out = FmMotionSample{};
        return;
    }
    // sums as 32-bit floats, divided by the count and truncated
    auto average = [&](auto field) {
        float sum = 0;
        for (int32_t k = 0; k < n; ++k) sum += float(field(samples[k]));
        return int32_t(std::clamp<float>(sum / float(n), float(INT32_MIN), 2147483520.0f));
    };
    FmMotionSample r = samples[0];
    r.x = average([](const FmMotionSample& s) { return s.x; });
    r.y = average([](const FmMotionSample& s) { return s.y; });
    r.zoom = average([](const FmMotionSample& s) { return s.zoom; });
    r.rot = average([](const FmMotionSample& s) { return s.rot; });
    r.time = average([](const FmMotionSample& s) { return s.time; });
    r.delay = average([](const FmMotionSample& s) { return s.delay; });
    for (int c = 0; c < 4; ++c) {
        r.corners[c].x = average([c](const FmMotionSample& s) { return s.corners[c].x; });
        r.corners[c].y = average([c](const FmMotionSample& s) { return s.corners[c].y; });
    }
    *out = r;
}

RC_API void CalcMotionPoint(Handle points, int32_t i, int32_t n, FmMotionSample* out,
                            const FmRect* rect, int32_t flags) {
    if (!out || !rect) return;
    Settings s;
    if (!readSettings(points, s)) s = Settings{};
    *out = sampleAt(s.points, i, n, mappingFor(*rect, flags));
}

RC_API Handle CalcMotionPoints(const FmRect* rect, int32_t n, Handle settings) {
    Settings s;
    if (!rect || !readSettings(settings, s)) return nullptr;
    const Mapping m = mappingFor(*rect, 0);
    adaptAspect(s, frameRatio(m.width, m.height, 0));
    const Settings expanded = expandHolds(s);
    const int32_t count = std::clamp(n, 0, 100);
    Handle h = FmNewHandle(uint32_t(count * sizeof(FmFixedPoint)));
    if (!h) return nullptr;
    for (int32_t k = 0; k < count; ++k) {
        const int64_t i = count > 1 ? int64_t(k) * n / (count - 1) : 0;
        const FmMotionSample sample = smoothedSampleAt(expanded, i, n, m);
        const FmFixedPoint p{sample.x, sample.y};
        std::memcpy(*h + k * sizeof p, &p, sizeof p);
    }
    return h;
}

RC_API void FixMotionPoints(Handle settings, int32_t index, int32_t ratio) {
    Settings s;
    if (!readSettings(settings, s) || index < 0 || size_t(index) >= s.points.size()) return;
    FmMotionPoint p = s.points[size_t(index)];
    fixPoint(p, ratio);
    std::memcpy(*settings + sizeof(FmMotionHeader) + size_t(index) * sizeof p, &p, sizeof p);
}

RC_API void midpoint(const FmMotionPoint* a, const FmMotionPoint* b, int32_t num, int32_t den,
                     FmMotionPoint* out) {
    if (!a || !b || !out) return;
    if (den == 0) {
        *out = *a;
        return;
    }
    FmMotionSample sa, sb;
    PointToFixed(a, &sa);
    PointToFixed(b, &sb);
    auto mix = [&](int64_t v0, int64_t v1) { return int64_t(v0 + __int128(v1 - v0) * num / den); };
    auto mix16 = [&](int64_t v0, int64_t v1) {
        return int16_t(std::clamp<int64_t>(mix(v0, v1), INT16_MIN, INT16_MAX));
    };
    FmMotionPoint r = *a;
    const int64_t x = std::clamp<int64_t>(mix(sa.x, sb.x), INT32_MIN, INT32_MAX);
    const int64_t y = std::clamp<int64_t>(mix(sa.y, sb.y), INT32_MIN, INT32_MAX);
    r.hasfrac = 0;
    r.fracH = r.fracV = 0;
    r.spot[0] = int16_t(x >> 16);
    r.spotfrac[0] = uint16_t(x & 0xFFFF);
    r.spot[1] = int16_t(y >> 16);
    r.spotfrac[1] = uint16_t(y & 0xFFFF);
    r.zoom = mix16(a->zoom, b->zoom);
    r.rot = mix16(a->rot, b->rot);
    r.time = mix16(a->time, b->time);
    r.delay = mix16(a->delay, b->delay);
    for (int k = 0; k < 8; ++k) r.dest[k] = mix16(a->dest[k], b->dest[k]);
    *out = r;
}
