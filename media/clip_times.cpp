// Clip times in the caller's base: in and out points, mark pairs, widths,
// the media size, the rate, and the plain fields of a clip.
#include <strings.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "media/clip_table_internal.h"
#include "media/file_table_internal.h"
#include "reelcore/filetable.h"

namespace rc::media {

namespace {
constexpr int64_t kTimeLimit = int64_t(1) << 62;

int64_t clampDouble(double x) {
    if (std::isnan(x)) return 0;
    if (x >= double(kTimeLimit)) return kTimeLimit;
    if (x <= -double(kTimeLimit)) return -kTimeLimit;
    return int64_t(x);  // truncates toward zero
}
}  // namespace

int32_t saturate32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

int64_t floorToSample(int64_t t, int32_t samp) {
    if (samp <= 1) return t;
    int64_t r = t % samp;
    if (r < 0) r += samp;
    return t - r;
}

int64_t convertTime64(int64_t t, const TDB& from, const TDB& to) {
    if (t == 0 || from.scale == 0) return t;
    if (from.scale == to.scale && from.samp == to.samp) return t;
    double x = double(to.scale) * double(t) / double(from.scale) + double(to.samp) / 2.0;
    return floorToSample(clampDouble(x), to.samp);
}

int32_t convertTime(int32_t t, const TDB& from, const TDB& to) {
    return saturate32(convertTime64(t, from, to));
}

const TDB& callerBase(const FmClipRecord* r, const TDB* tb) {
    return (tb && tb->scale > 0) ? *tb : r->timeBase;
}

int32_t toCaller(const FmClipRecord* r, int32_t t, const TDB* tb) {
    return t == -1 ? -1 : convertTime(t, r->timeBase, callerBase(r, tb));
}

int32_t fromCaller(const FmClipRecord* r, int32_t t, const TDB* tb) {
    return t == -1 ? -1 : convertTime(t, callerBase(r, tb), r->timeBase);
}

}  // namespace rc::media

using namespace rc::media;

namespace {

bool secondPair(int32_t set) {
    return set == 2;
}

// (out + one sample) − in, each converted, in 64 bits.
int32_t width(const FmClipRecord* r, int32_t in, int32_t out, const TDB* tb) {
    const TDB& to = callerBase(r, tb);
    int64_t end = convertTime64(int64_t(out) + r->timeBase.samp, r->timeBase, to);
    int64_t start = convertTime64(in, r->timeBase, to);
    return saturate32(end - start);
}

}  // namespace

RC_API int32_t ClipStart(int32_t id, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    return r ? toCaller(r, r->markers[0], tb) : 0;
}

RC_API int32_t GetClipIn(int32_t id, const TDB* tb) {
    return ClipStart(id, tb);
}

RC_API int32_t GetClipOut(int32_t id, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    return r ? toCaller(r, r->markers[1], tb) : 0;
}

RC_API int32_t GetClipMarkIn(int32_t id, const TDB* tb, int32_t set) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return 0;
    int32_t t = secondPair(set) ? r->markIn2 : r->markIn;
    return toCaller(r, t == -1 ? r->markers[0] : t, tb);
}

RC_API int32_t GetClipMarkOut(int32_t id, const TDB* tb, int32_t set) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return 0;
    int32_t t = secondPair(set) ? r->markOut2 : r->markOut;
    return toCaller(r, t == -1 ? r->markers[1] : t, tb);
}

RC_API void SetClipIn(int32_t id, int32_t t, const TDB* tb) {
    if (FmClipRecord* r = findClipRec(id)) r->markers[0] = fromCaller(r, t, tb);
}

RC_API void SetClipOut(int32_t id, int32_t t, const TDB* tb) {
    if (FmClipRecord* r = findClipRec(id)) r->markers[1] = fromCaller(r, t, tb);
}

RC_API void SetClipMarkIn(int32_t id, int32_t t, const TDB* tb, int32_t set) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return;
    int32_t v = fromCaller(r, t, tb);
    if (set & 2) r->markIn2 = v;
    if (set & 5) r->markIn = v;
}

RC_API void SetClipMarkOut(int32_t id, int32_t t, const TDB* tb, int32_t set) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return;
    int32_t v = fromCaller(r, t, tb);
    if (set & 2) r->markOut2 = v;
    if (set & 5) r->markOut = v;
}

RC_API int32_t ClipWidth(int32_t id, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    return r ? width(r, r->markers[0], r->markers[1], tb) : 0;
}

RC_API int32_t ClipMarkWidth(int32_t id, const TDB* tb, int32_t set) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return 0;
    int32_t in = secondPair(set) ? r->markIn2 : r->markIn;
    int32_t out = secondPair(set) ? r->markOut2 : r->markOut;
    return width(r, in == -1 ? r->markers[0] : in, out == -1 ? r->markers[1] : out, tb);
}

RC_API int32_t ClipSize(int32_t id, const TDB* tb) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return 0;
    FmFileRecord* f = findFileRec(r->fileID);
    if (!f) return 0;
    bool video = (r->flags & (kClipVideo | kClipVideoBase)) != 0;
    if (!video && (r->flags & kClipAudio)) {
        FmClipRecord* partner = findClipRec(GetClipLink(id));
        video = partner && partner->fileID == r->fileID;
    }
    const TDB media = video ? f->info.video : f->info.audio;
    int64_t frames = TDB_TotalNumFrames(&media);
    if (r->rate != 100.0f) {
        if (!(r->rate >= 1.0f)) return 0;
        int64_t whole = r->rate >= 1e12f ? int64_t(1e12) : int64_t(r->rate);
        frames = frames * 100 / whole;
    }
    int64_t ticks = frames * media.samp;
    return saturate32(convertTime64(ticks, media, callerBase(r, tb)));
}

RC_API int16_t ClipFile(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    return r ? r->fileID : -1;
}

RC_API void GetClipTimeBase(int32_t id, TDB* out) {
    FmClipRecord* r = findClipRec(id);
    if (r && out) *out = r->timeBase;
}

RC_API float ClipRate(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    return r ? r->rate : 0.0f;
}

// A new rate rescales the clip's times by old ÷ new.
RC_API void SetClipRate(int32_t id, float rate) {
    FmClipRecord* r = findClipRec(id);
    if (!r || rate == 0.0f || rate == r->rate || !std::isfinite(rate)) return;
    const double old = r->rate;
    r->rate = rate;
    if (old == 0.0 || !std::isfinite(old)) return;
    const double ratio = std::fabs(old) / std::fabs(double(rate));
    const int32_t samp = r->timeBase.samp;
    const bool pointsSet = r->markers[0] != -1 && r->markers[1] != -1;
    for (int i = 0; i < kClipFixedMarkers; ++i) {
        int32_t& m = r->markers[i];
        if (m == -1) continue;
        if (i == 1) {
            // The out point is an exclusive end for the rescale.
            int64_t end = clampDouble(ratio * (double(m) + samp) + 0.5);
            m = saturate32(floorToSample(end, samp) - samp);
        } else {
            m = saturate32(floorToSample(clampDouble(ratio * m + 0.5), samp));
        }
    }
    if (pointsSet && r->markers[1] <= r->markers[0])
        r->markers[1] = saturate32(int64_t(r->markers[0]) + samp);
    auto plain = [&](int32_t& t) {
        if (t != -1) t = saturate32(floorToSample(clampDouble(ratio * t), samp));
    };
    for (int32_t* t : {&r->markIn, &r->markOut, &r->markIn2, &r->markOut2}) plain(*t);
    if (int32_t* extra = extraMarkers(r))
        for (int32_t i = 0; i < r->extraCount; ++i) plain(extra[i]);
}

RC_API int16_t GetClipBackwards(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    return r ? r->backwards : 0;
}
RC_API void SetClipBackwards(int32_t id, int16_t on) {
    if (FmClipRecord* r = findClipRec(id)) r->backwards = on;
}

RC_API uint8_t ClipAspect(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    return r ? r->aspect : 0;
}
RC_API void SetClipAspect(int32_t id, uint8_t aspect) {
    if (FmClipRecord* r = findClipRec(id)) r->aspect = aspect;
}

RC_API int32_t ClipAspectColor(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    return r ? r->aspectColor : 0;
}
RC_API void SetClipAspectColor(int32_t id, int32_t color) {
    if (FmClipRecord* r = findClipRec(id)) r->aspectColor = color;
}

RC_API int32_t FmClipFlags(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    return r ? (r->flags & 0xFFFF) : 0;
}

RC_API int16_t FindClipType(int32_t id) {
    FmClipRecord* r = findClipRec(id);
    return (r && (r->flags & kClipAudio) && !(r->flags & kClipVideo)) ? 1 : 0;
}

RC_API void GetClipTitle(int32_t id, char* dst, int16_t* isTitle) {
    if (isTitle) *isTitle = 0;
    if (!dst) return;
    dst[0] = '\0';
    FmClipRecord* r = findClipRec(id);
    if (!r) return;
    if (r->title[0]) {
        std::memcpy(dst, r->title, kClipTitleSize - 1);
        dst[kClipTitleSize - 1] = '\0';
        if (isTitle) *isTitle = 1;
        return;
    }
    // The file's text may be a whole file name: only what the title holds.
    char text[sizeof(FSSpec::name)];
    GetFileText(r->fileID, text);
    size_t n = strnlen(text, kClipTitleSize - 1);
    std::memcpy(dst, text, n);
    dst[n] = '\0';
}

RC_API void SetClipTitle(int32_t id, const char* title) {
    FmClipRecord* r = findClipRec(id);
    if (!r) return;
    std::memset(r->title, 0, sizeof r->title);
    if (!title) return;
    char path[sizeof(FSSpec::name)];
    GetFSSpecPath(r->fileID, path);
    r = findClipRec(id);
    if (path[0] && strcasecmp(path, title) == 0) return;
    std::memcpy(r->title, title, strnlen(title, kClipTitleSize - 1));
}
