// Internal interfaces of the motion family.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "reelcore/motion.h"

namespace rc::motion {

// Whole units as 16.16, pinned to the ends of the range.
inline Fixed unitsToFixed(int64_t v) {
    return Fixed(std::clamp<int64_t>(v * 65536, INT32_MIN, INT32_MAX));
}

// The quadrilateral mapping behind FixedToFixed.
int32_t distortQuad(PPixHand src, PPixHand dst, const FmFixedPoint srcCorners[4],
                    const FmFixedPoint dstCorners[4]);
// The utility table's distort entry (FixedToFixed when the table has none).
int32_t distortThroughTable(PPixHand src, PPixHand dst, const FmFixedPoint srcCorners[4],
                            const FmFixedPoint dstCorners[4]);
void rectCorners(const FmRect& r, FmFixedPoint out[4]);

// Motion settings read out of a Handle: the count is clamped to the points
// the Handle holds (a negative count means none).
struct Settings {
    FmMotionHeader header{};
    std::vector<FmMotionPoint> points;
};
// False when the Handle is missing or shorter than its header.
bool readSettings(Handle h, Settings& out);
// A new Handle holding the settings, null without memory.
Handle writeSettings(const Settings& s);

}  // namespace rc::motion

namespace rc::motion {

// How reference-frame units land on a destination rectangle.
struct Mapping {
    int32_t left = 0, top = 0, width = 0, height = 0;
    int64_t refW = 1, refH = 1;  // reference frame, units
};
Mapping mappingFor(const FmRect& rect, int32_t flags);
// Frame aspect, height / width in 16.16, with field-halved sides doubled.
int32_t frameRatio(int32_t width, int32_t height, int32_t flags);

// Gives points without a valid ratio the 0.75 they were made for, then
// rescales every point to `ratio`.
void adaptAspect(Settings& s, int32_t ratio);
void fixPoint(FmMotionPoint& p, int32_t ratio);
Settings expandHolds(const Settings& s);

// The sample at step i of n (reflected before 0 and after n), and the same
// averaged over the smoothing window when the settings ask for it.
FmMotionSample sampleAt(const std::vector<FmMotionPoint>& points, int64_t i, int64_t n,
                        const Mapping& m);
FmMotionSample smoothedSampleAt(const Settings& expanded, int64_t i, int64_t n, const Mapping& m);
int32_t smoothingWindow(int32_t method, int64_t n);

}  // namespace rc::motion
