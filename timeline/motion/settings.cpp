// Motion settings Handles: reading them safely, unfolding holds, converting
// the older form, and their two project records ('MOT5' header, one 'MOPT'
// record per point).
#include <cstring>

#include "reelcore/memory.h"
#include "reelcore/struct_codec.h"
#include "timeline/motion/motion_internal.h"

namespace rc::motion {

namespace {

constexpr int32_t kParamErr = -50;
constexpr size_t kHeader = sizeof(FmMotionHeader), kPoint = sizeof(FmMotionPoint);
constexpr size_t kOldHeader = sizeof(FmOldMotionHeader), kOldPoint = sizeof(FmOldMotionPoint);
constexpr int32_t kMaxPoints = INT16_MAX;

constexpr OSType kHeaderTag = 0x4D4F5435;  // 'MOT5'
constexpr OSType kPointTag = 0x4D4F5054;   // 'MOPT'
constexpr const char* kHeaderType = "LS4";
constexpr const char* kHeaderNames = "colr,smooth,fillA,smoothMethod,count";
constexpr int32_t kHeaderPacking[] = {4, 2, 2, 2, 2, 0};
constexpr const char* kPointType = "S[2]S6C2S[2]LTS[8]";
constexpr const char* kPointNames =
    "spot,hasfrac,zoom,motionMethod,time,delay,rot,fracH,fracV,spotfrac,ratio,code,dest";
constexpr int32_t kPointPacking[] = {4, 2, 2, 2, 2, 2, 2, 1, 1, 4, 4, 4, 16, 0};

static_assert(sizeof(kHeaderPacking) / 4 - 1 == 5, "five header fields");

}  // namespace

bool readSettings(Handle h, Settings& out) {
    if (!h || !*h) return false;
    const size_t size = FmGetHandleSize(h);
    if (size < kHeader) return false;
    std::memcpy(&out.header, *h, kHeader);
    const size_t present = (size - kHeader) / kPoint;
    const size_t count = out.header.count < 0 ? 0 : std::min<size_t>(out.header.count, present);
    out.header.count = int16_t(count);
    out.points.resize(count);
    if (count) std::memcpy(out.points.data(), *h + kHeader, count * kPoint);
    return true;
}

Handle writeSettings(const Settings& s) {
    const size_t count = std::min<size_t>(s.points.size(), kMaxPoints);
    Handle h = FmNewHandle(uint32_t(kHeader + count * kPoint));
    if (!h) return nullptr;
    FmMotionHeader header = s.header;
    header.count = int16_t(count);
    std::memcpy(*h, &header, kHeader);
    if (count) std::memcpy(*h + kHeader, s.points.data(), count * kPoint);
    return h;
}

}  // namespace rc::motion

using namespace rc::motion;

RC_API Handle Motion2Points(Handle settings) {
    Settings in;
    if (!readSettings(settings, in)) return nullptr;
    return writeSettings(expandHolds(in));
}

RC_API OSErr ConvertMotionSettings(Handle old, Handle newer) {
    if (!old || !*old || !newer || !*newer) return kParamErr;
    const size_t oldSize = FmGetHandleSize(old), newSize = FmGetHandleSize(newer);
    if (oldSize < kOldHeader || newSize < kHeader) return kParamErr;
    FmOldMotionHeader oh;
    std::memcpy(&oh, *old, kOldHeader);
    // the count is trusted no further than both Handles reach
    size_t count = oh.count < 0 ? 0 : size_t(oh.count);
    count = std::min({count, (oldSize - kOldHeader) / kOldPoint, (newSize - kHeader) / kPoint});
    FmMotionHeader h{};
    h.colr = oh.colr;
    h.smooth = int16_t(oh.flags & 1);
    h.fillA = int16_t((oh.flags >> 1) & 1);
    h.smoothMethod = int16_t(oh.smoothMethod & 0xF);
    h.count = int16_t(count);
    std::memcpy(*newer, &h, kHeader);
    for (size_t i = 0; i < count; ++i) {
        FmOldMotionPoint op;
        std::memcpy(&op, *old + kOldHeader + i * kOldPoint, kOldPoint);
        FmMotionPoint p{};
        p.spot[0] = op.x;
        p.spot[1] = op.y;
        p.hasfrac = int16_t(op.zoomWord & 1);
        p.zoom = int16_t(op.zoomWord >> 1);
        p.motionMethod = int16_t(op.methodWord & 7);
        p.time = int16_t(op.methodWord >> 3);
        p.delay = op.delay;
        p.rot = op.rot;
        p.fracH = op.fracH;
        p.fracV = op.fracV;
        std::memcpy(p.dest, op.dest, sizeof p.dest);
        std::memcpy(*newer + kHeader + i * kPoint, &p, kPoint);
    }
    return noErr;
}

RC_API OSErr SaveMotionSettings(ProjBufHand stream, Handle settings) {
    Settings s;
    if (!stream || !readSettings(settings, s)) return kParamErr;
    OSErr err =
        WriteStruct(stream, kHeaderTag, kHeaderType, kHeaderNames, kHeaderPacking, &s.header);
    for (size_t i = 0; !err && i < s.points.size(); ++i)
        err = WriteStruct(stream, kPointTag, kPointType, kPointNames, kPointPacking, &s.points[i]);
    return err;
}

RC_API OSErr LoadMotionSettings(ProjBufHand stream, Handle settings) {
    if (!stream || !settings || !*settings) return kParamErr;
    FmMotionHeader header{};
    OSErr err = ReadStruct(stream, kHeaderTag, kHeaderType, kHeaderPacking, &header);
    if (err && err != kStructShort) return err;
    if (header.count < 0) header.count = 0;
    const uint32_t wanted = uint32_t(kHeader + kPoint * size_t(header.count));
    const uint32_t size = FmGetHandleSize(settings);
    if (size < wanted) {
        if (FmSetHandleSize(settings, wanted) != noErr) return memFullErr;
        std::memset(*settings + size, 0, wanted - size);
    }
    // Points the file lacks are not invented: the count keeps those read.
    int16_t read = 0;
    for (; read < header.count; ++read) {
        FmMotionPoint p{};
        const OSErr pointErr = ReadStruct(stream, kPointTag, kPointType, kPointPacking, &p);
        if (pointErr && pointErr != kStructShort) {
            err = pointErr;
            break;
        }
        std::memcpy(*settings + kHeader + kPoint * size_t(read), &p, kPoint);
    }
    header.count = read;
    std::memcpy(*settings, &header, kHeader);
    return err == kStructShort ? OSErr(noErr) : err;
}
