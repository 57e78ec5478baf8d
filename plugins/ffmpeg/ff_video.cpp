// Frame-exact video: frame N is the N-th presentation timestamp found when
// the file was described. A read continues decoding when N lies ahead with
// no keyframe in between; otherwise it seeks to the last keyframe showing at
// or before N and decodes forward. A decoded frame is identified by its
// timestamp, never by counting, so a seek that lands late (inexact indexes,
// open GOPs whose leading pictures cannot be decoded) is noticed and retried
// from an earlier keyframe, and a frame that cannot be decoded is an error,
// never a neighbour handed out in its place.
#include <algorithm>
#include <cstring>

#include "ff_decoder.h"
#include "ff_media.h"
#include "ff_state.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace ffimport {

VideoState::~VideoState() {
    if (held) av_frame_free(&held);
    if (sws) sws_freeContext(sws);
}

namespace {

// Index of the frame showing timestamp ts; -1 when it is none of ours.
// Some muxers give two frames the same time: the first of them that has not
// yet been passed (after frame `last`) is the one arriving.
int64_t indexOfTs(const VideoFacts& v, int64_t ts, int64_t last = -1) {
    auto it = std::lower_bound(v.pts.begin(), v.pts.end(), ts);
    if (it == v.pts.end() || *it != ts) return -1;
    int64_t index = it - v.pts.begin();
    while (index <= last && size_t(index + 1) < v.pts.size() && v.pts[size_t(index + 1)] == ts)
        ++index;
    return index;
}

// The last keyframe whose picture shows at or before frame n; -1 for none.
int64_t keyFor(const VideoFacts& v, int64_t n) {
    const int64_t ts = v.pts[size_t(n)];
    auto it = std::upper_bound(v.keys.begin(), v.keys.end(), ts,
                               [](int64_t t, const VideoFacts::Key& k) { return t < k.pts; });
    return (it - v.keys.begin()) - 1;
}

enum class Outcome { Found, Overshot, Failed };

// Decodes forward until frame n arrives. Frames before it are skipped
// without conversion.
Outcome decodeTo(VideoState& s, const VideoFacts& v, int64_t n) {
    for (;;) {
        const StreamDecoder::Next r = s.decoder.next();
        if (r != StreamDecoder::Next::Frame) {
            s.positioned = false;
            return Outcome::Failed;
        }
        AVFrame* f = s.decoder.frame();
        int64_t index;
        if (v.timestamped) {
            const int64_t ts = frameTimestamp(f);
            index = ts == AV_NOPTS_VALUE ? -1 : indexOfTs(v, ts, s.lastIndex);
        } else {
            index = s.lastIndex + 1;
        }
        if (index < 0) {  // a picture the frame list does not show
            av_frame_unref(f);
            continue;
        }
        s.lastIndex = index;
        if (index < n) {
            av_frame_unref(f);
            continue;
        }
        if (index > n) {
            av_frame_unref(f);
            return Outcome::Overshot;
        }
        av_frame_unref(s.held);
        av_frame_move_ref(s.held, f);
        s.heldIndex = n;
        return Outcome::Found;
    }
}

bool restartAt(VideoState& s) {
    s.lastIndex = -1;
    s.heldIndex = -1;
    s.positioned = s.decoder.restart();
    return s.positioned;
}

bool seekAndDecode(VideoState& s, const VideoFacts& v, int64_t n) {
    if (v.timestamped && !v.keys.empty()) {
        int64_t k = keyFor(v, n);
        for (int attempt = 0; attempt < 4 && k >= 0; ++attempt) {
            if (!s.decoder.seek(v.keys[size_t(k)].seekTs, v.keys[size_t(k)].pts)) break;
            s.lastIndex = -1;
            s.positioned = true;
            if (decodeTo(s, v, n) == Outcome::Found) return true;
            k -= attempt + 1;  // landed late: step back further each time
        }
    }
    // The slow and sure way: from the first packet.
    return restartAt(s) && decodeTo(s, v, n) == Outcome::Found;
}

// The held picture converted to B, G, R, A at the size asked. The
// converter is set up again only when the picture, its size or its colours
// change, not for every frame.
bool convert(VideoState& s, int32_t width, int32_t height, uint8_t* pixels, int64_t stride,
             bool& opaque) {
    const AVFrame* f = s.held;
    if (f->width <= 0 || f->height <= 0) return false;
    // The source's own matrix and range, as a player would show it. The
    // decoder passes on whatever numbers the stream carries, so they are
    // read as plain integers and checked before use.
    int colorspace = 0, range = 0;
    std::memcpy(&colorspace, &f->colorspace, sizeof colorspace);
    std::memcpy(&range, &f->color_range, sizeof range);
    if (colorspace <= 0 || colorspace >= int(AVCOL_SPC_NB) || colorspace == AVCOL_SPC_UNSPECIFIED)
        colorspace = SWS_CS_DEFAULT;
    const VideoState::Conversion wanted{f->width,
                                        f->height,
                                        f->format,
                                        width,
                                        height,
                                        colorspace,
                                        range == AVCOL_RANGE_JPEG ? 1 : 0};
    if (!s.sws || !(wanted == s.conversion)) {
        s.conversion = VideoState::Conversion{};
        s.sws =
            sws_getCachedContext(s.sws, f->width, f->height, AVPixelFormat(f->format), width,
                                 height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!s.sws) return false;
        int* invTable = nullptr;
        int* table = nullptr;
        int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
        if (sws_getColorspaceDetails(s.sws, &invTable, &srcRange, &table, &dstRange, &brightness,
                                     &contrast, &saturation) >= 0) {
            if (wanted.fullRange) srcRange = 1;
            sws_setColorspaceDetails(s.sws, sws_getCoefficients(colorspace), srcRange, table,
                                     dstRange, brightness, contrast, saturation);
        }
        s.conversion = wanted;
    }
    uint8_t* dst[4] = {pixels, nullptr, nullptr, nullptr};
    int dstStride[4] = {int(stride), 0, 0, 0};
    if (sws_scale(s.sws, f->data, f->linesize, 0, f->height, dst, dstStride) != height)
        return false;
    // The converter writes alpha 255 for pictures without alpha; a palette
    // may hold transparent colours.
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(f->format));
    opaque = desc && !(desc->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL));
    return true;
}

}  // namespace

bool MediaSource::readVideo(int64_t index, int32_t width, int32_t height, uint8_t* pixels,
                            int64_t stride, bool* opaque) {
    const VideoFacts& v = facts_.video;
    if (v.stream < 0 || width <= 0 || height <= 0 || !pixels) return false;
    if (width > kMaxDimension || height > kMaxDimension) return false;
    if (v.still) index = 0;
    if (index < 0 || index >= v.frames) return false;
    if (!video_) {
        video_ = std::make_unique<VideoState>();
        video_->held = av_frame_alloc();
        if (!video_->held || !video_->decoder.open(path_, v.stream, threads_)) {
            video_.reset();
            return false;
        }
        video_->positioned = true;
    }
    VideoState& s = *video_;
    if (s.heldIndex != index) {
        bool ahead = s.positioned && index > s.lastIndex;
        // A keyframe between here and there makes seeking cheaper.
        if (ahead && v.timestamped && !v.keys.empty()) {
            const int64_t k = keyFor(v, index);
            if (k >= 0 && indexOfTs(v, v.keys[size_t(k)].pts) > s.lastIndex + 1) ahead = false;
        }
        bool found = false;
        if (ahead) found = decodeTo(s, v, index) == Outcome::Found;
        if (!found) {
            // Without timestamps only counting from the start is safe.
            found = v.timestamped ? seekAndDecode(s, v, index)
                                  : restartAt(s) && decodeTo(s, v, index) == Outcome::Found;
        }
        if (!found) {
            s.heldIndex = -1;
            return false;
        }
    }
    bool allOpaque = false;
    if (!convert(s, width, height, pixels, stride, allOpaque)) return false;
    if (opaque) *opaque = allOpaque;
    return true;
}

}  // namespace ffimport
