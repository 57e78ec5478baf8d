// `reelhost motion`: draws a picture moved along a motion path at one time
// of its duration and writes the frame.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "reelcore/depthcon.h"
#include "reelcore/memory.h"
#include "reelcore/motion.h"
#include "reelcore/ppix.h"

namespace {

struct {
    std::string in, out;
    std::vector<std::string> points;
    int64_t at = 0, duration = 1;
    bool smooth = false;
    host::Size size;
    uint32_t colour = 0;  // 0x00BBGGRR
} motionArgs;

int fail(const std::string& message) {
    std::fprintf(stderr, "reelhost motion: %s\n", message.c_str());
    return 1;
}

// "x,y,zoom,rot,time[,delay]": x and y in the 80-unit reference frame (with
// a fraction), zoom in percent, rot in degrees, time and delay per mille.
bool parsePoint(const std::string& text, FmMotionPoint& p) {
    std::vector<double> v;
    const char* s = text.c_str();
    while (*s) {
        char* end = nullptr;
        v.push_back(std::strtod(s, &end));
        if (end == s) return false;
        s = end;
        if (*s == ',')
            ++s;
        else if (*s)
            return false;
    }
    if (v.size() != 5 && v.size() != 6) return false;
    auto in16 = [](double x) { return x >= -32768 && x <= 32767; };
    for (double x : v)
        if (!in16(x)) return false;
    p = FmMotionPoint{};
    for (int k = 0; k < 2; ++k) {
        const int64_t fixed = std::llround(v[k] * 65536);
        p.spot[k] = int16_t(fixed >> 16);
        p.spotfrac[k] = uint16_t(fixed & 0xFFFF);
    }
    p.zoom = int16_t(v[2]);
    p.rot = int16_t(v[3]);
    p.time = int16_t(v[4]);
    p.delay = int16_t(v.size() == 6 ? v[5] : 0);
    return p.time >= 0 && p.time <= 1000 && p.delay >= 0;
}

// "P/T": time P of a duration T.
bool parseAt(const std::string& text, int64_t& at, int64_t& duration) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    return host::parseDecimal(text.substr(0, slash), at) &&
           host::parseDecimal(text.substr(slash + 1), duration) && duration > 0 &&
           duration <= INT32_MAX && at >= INT32_MIN && at <= INT32_MAX;
}

bool parseColour(std::string text, uint32_t& bgr) {
    if (!text.empty() && text[0] == '#') text.erase(0, 1);
    if (text.size() != 6 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        }))
        return false;
    const uint32_t rgb = uint32_t(std::strtoul(text.c_str(), nullptr, 16));
    bgr = (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
    return true;
}

int runMotion() {
    const auto& a = motionArgs;
    std::vector<FmMotionPoint> points(a.points.size());
    for (size_t i = 0; i < points.size(); ++i)
        if (!parsePoint(a.points[i], points[i]))
            throw CLI::ValidationError("--point", "'" + a.points[i] +
                                                      "' is not x,y,zoom,rot,time[,delay] "
                                                      "(time and delay 0-1000)");
    std::string why;
    PPixHand src = host::readPicture(a.in, why);
    if (!src) return fail("cannot read " + a.in + ": " + why);
    FmRect frame;
    ppixGetBounds(src, &frame);
    if (a.size.width > 0) frame = FmRect{0, 0, a.size.width, a.size.height};
    PPixHand dst = ppixNew(&frame);
    // the points are authored for this frame's aspect
    const int32_t w = frame.right - frame.left, h = frame.bottom - frame.top;
    const int32_t ratio = int32_t(std::llround(double(h) / w * 65536));
    for (auto& p : points) {
        p.ratio = ratio;
        p.code = kMotionRatioCode;
    }
    Handle settings =
        NewHandleClear(uint32_t(sizeof(FmMotionHeader) + sizeof(FmMotionPoint) * points.size()));
    int status = 0;
    if (!dst || !settings) {
        status = fail("out of memory");
    } else {
        FmMotionHeader header{};
        header.colr = a.colour;
        header.smooth = a.smooth;
        header.smoothMethod = 1;
        header.count = int16_t(points.size());
        std::memcpy(*settings, &header, sizeof header);
        if (!points.empty())
            std::memcpy(*settings + sizeof header, points.data(),
                        sizeof(FmMotionPoint) * points.size());
        const int32_t err = MotionFrame(src, dst, int32_t(a.at), int32_t(a.duration), settings, 0);
        if (err != 0) {
            status = fail("motion failed (" + std::to_string(err) + ")");
        } else {
            const int32_t written = host::writePicture(dst, a.out);
            if (written != 0)
                status = fail("cannot write " + a.out);
            else
                std::printf("wrote %s: %s at %lld/%lld along %zu point(s)\n", a.out.c_str(),
                            a.in.c_str(), static_cast<long long>(a.at),
                            static_cast<long long>(a.duration), points.size());
        }
    }
    if (settings) DisposeHandle(settings);
    if (dst) ppixDispose(dst);
    ppixDispose(src);
    return status;
}

void declareMotion(CLI::App& cmd) {
    host::addInputPicture(cmd, "IN", motionArgs.in)->required();
    host::addOutputPicture(cmd, "OUT", motionArgs.out)->required();
    cmd.add_option("--point", motionArgs.points,
                   "a path point x,y,zoom,rot,time[,delay]; x, y in a frame 80 units across its "
                   "longer side, zoom %, rot degrees, time and delay per mille (repeatable)")
        ->type_name("X,Y,ZOOM,ROT,TIME[,DELAY]")
        ->allow_extra_args(false);
    cmd.add_option_function<std::string>(
           "--at",
           [](const std::string& text) {
               if (!parseAt(text, motionArgs.at, motionArgs.duration))
                   throw CLI::ValidationError("--at", "'" + text + "' is not P/T with T > 0");
           },
           "draw at time P of a duration T, e.g. 1/2")
        ->type_name("P/T")
        ->required();
    cmd.add_flag("--smooth", motionArgs.smooth, "smooth the motion");
    host::addSize(cmd, "--size", motionArgs.size, 1, 16384, "frame size (default: the picture's)");
    cmd.add_option_function<std::string>(
        "--colour",
        [](const std::string& text) {
            if (!parseColour(text, motionArgs.colour))
                throw CLI::ValidationError("--colour", "'" + text + "' is not #RRGGBB");
        },
        "background colour #RRGGBB (default black)");
}

host::Registrar motionCommand(host::Command{"motion", "draw a picture moved along a motion path",
                                            declareMotion, runMotion});

}  // namespace
