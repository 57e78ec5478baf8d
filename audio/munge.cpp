// Nearest-sample format conversion and stretching (StretchAudio,
// DoAudioMunge) for the sixteen source and destination format pairs.
#include <algorithm>
#include <cstring>

#include "audio/audio_internal.h"
#include "reelcore/audio.h"

namespace {

constexpr int32_t kParamErr = -50;
// A 16.16 position within one pass covers at most this many source frames.
constexpr int64_t kChunkSourceFrames = 65000;

inline int16_t load16(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void store16(uint8_t* p, int32_t v) {
    const int16_t s = int16_t(v);
    std::memcpy(p, &s, 2);
}

inline int32_t widen8(int32_t u) {
    return u * 257 - 32768;
}

inline int32_t narrow16(int32_t s) {
    return (s + 32768) >> 8;
}

enum Format { k8Mono = 0, k8Stereo = 1, k16Mono = 2, k16Stereo = 3 };

// Converts source frame `in` to destination frame `out` by the pair's rule.
template <int S, int D>
inline void convertFrame(const uint8_t* in, uint8_t* out) {
    if constexpr (S == k8Mono) {
        const int32_t u = in[0];
        if constexpr (D == k8Mono) {
            out[0] = uint8_t(u);
        } else if constexpr (D == k8Stereo) {
            out[0] = out[1] = uint8_t(u);
        } else if constexpr (D == k16Mono) {
            store16(out, widen8(u));
        } else {
            store16(out, widen8(u));
            store16(out + 2, widen8(u));
        }
    } else if constexpr (S == k8Stereo) {
        const int32_t l = in[0], r = in[1];
        if constexpr (D == k8Mono) {
            out[0] = uint8_t((l + r) / 2);
        } else if constexpr (D == k8Stereo) {
            out[0] = uint8_t(l);
            out[1] = uint8_t(r);
        } else if constexpr (D == k16Mono) {
            store16(out, widen8((l + r) / 2));
        } else {
            store16(out, widen8(l));
            store16(out + 2, widen8(r));
        }
    } else if constexpr (S == k16Mono) {
        const int32_t v = load16(in);
        if constexpr (D == k8Mono) {
            out[0] = uint8_t(narrow16(v));
        } else if constexpr (D == k8Stereo) {
            out[0] = out[1] = uint8_t(narrow16(v));
        } else if constexpr (D == k16Mono) {
            store16(out, v);
        } else {
            store16(out, v);
            store16(out + 2, v);
        }
    } else {
        const int32_t l = load16(in), r = load16(in + 2);
        if constexpr (D == k8Mono) {
            out[0] = uint8_t((int32_t(int8_t(l >> 8)) + int32_t(int8_t(r >> 8))) / 2 + 128);
        } else if constexpr (D == k8Stereo) {
            out[0] = uint8_t(narrow16(l));
            out[1] = uint8_t(narrow16(r));
        } else if constexpr (D == k16Mono) {
            store16(out, (l + r) >> 1);
        } else {
            std::memcpy(out, in, 4);
        }
    }
}

constexpr int32_t bytesOf(int f) {
    return (f & 2 ? 2 : 1) * (f & 1 ? 2 : 1);
}

struct Pass {
    const uint8_t* src;
    int64_t srcFrames;
    uint8_t* dst;
    int64_t dstFrames;
    int64_t position;  // 16.16 source frames
    uint64_t step;     // 16.16 source frames per output frame
};

// Output frame i takes source frame (position + i * step) >> 16, kept inside
// the source. The work goes in chunks whose 16.16 positions stay within
// 32 bits: each chunk starts at a whole source frame plus a fraction.
template <int S, int D>
void munge(const Pass& p) {
    constexpr int32_t inBytes = bytesOf(S), outBytes = bytesOf(D);
    const int64_t last = p.srcFrames - 1;
    // Every chunk yields at least one frame, however large the step.
    const int64_t chunkOut = std::max<int64_t>(
        1, int64_t((uint64_t(kChunkSourceFrames) << 16) / std::max<uint64_t>(p.step, 1)));
    uint8_t* out = p.dst;
    for (int64_t done = 0; done < p.dstFrames; done += chunkOut) {
        // 128 bits: a far-off position with a large step must not wrap.
        const __int128 exact = __int128(p.position) + __int128(done) * p.step;
        const int64_t start =
            int64_t(std::clamp<__int128>(exact, -(__int128(1) << 62), __int128(1) << 62));
        const int64_t whole = start >> 16;
        uint64_t frac = uint64_t(start & 0xFFFF);
        const int64_t n = std::min(chunkOut, p.dstFrames - done);
        const int64_t firstIndex = whole + int64_t(frac >> 16);
        const int64_t lastIndex = whole + int64_t((frac + uint64_t(n - 1) * p.step) >> 16);
        if (firstIndex >= 0 && lastIndex <= last) {
            // The whole chunk lies inside the source: no clamping per frame.
            const uint8_t* base = p.src + whole * inBytes;
            for (int64_t j = 0; j < n; ++j, frac += p.step, out += outBytes)
                convertFrame<S, D>(base + int64_t(frac >> 16) * inBytes, out);
            continue;
        }
        for (int64_t j = 0; j < n; ++j, frac += p.step, out += outBytes) {
            const int64_t index = std::clamp<int64_t>(whole + int64_t(frac >> 16), 0, last);
            convertFrame<S, D>(p.src + index * inBytes, out);
        }
    }
}

using MungeFn = void (*)(const Pass&);

template <int S>
constexpr MungeFn pick(int d) {
    switch (d) {
        case k8Mono:
            return munge<S, k8Mono>;
        case k8Stereo:
            return munge<S, k8Stereo>;
        case k16Mono:
            return munge<S, k16Mono>;
        default:
            return munge<S, k16Stereo>;
    }
}

MungeFn pickPair(int s, int d) {
    switch (s) {
        case k8Mono:
            return pick<k8Mono>(d);
        case k8Stereo:
            return pick<k8Stereo>(d);
        case k16Mono:
            return pick<k16Mono>(d);
        default:
            return pick<k16Stereo>(d);
    }
}

// Format flags (0x100 stereo, 0x200 16-bit) as a Format.
int formatOf(int32_t flags) {
    return ((flags & kAudio16Bit) ? 2 : 0) | ((flags & kAudioStereo) ? 1 : 0);
}

}  // namespace

RC_API int32_t StretchAudio(const void* src, int32_t srcBytes, void* dst, int32_t dstBytes,
                            int32_t formats) {
    const int s = formatOf(formats);
    const int d = formats & 3;
    if (!src || !dst || srcBytes <= 0 || dstBytes <= 0) return kParamErr;
    const int64_t srcFrames = srcBytes / bytesOf(s);
    const int64_t dstFrames = dstBytes / bytesOf(d);
    if (srcFrames == 0 || dstFrames == 0) return kParamErr;
    // Multiplied before dividing, in 64 bits: no zero step when stretching.
    const uint64_t step = (uint64_t(srcFrames) << 16) / uint64_t(dstFrames);
    pickPair(s, d)({static_cast<const uint8_t*>(src), srcFrames, static_cast<uint8_t*>(dst),
                    dstFrames, 0, step});
    return 0;
}

RC_API int32_t DoAudioMunge(const FmAudioMungeRequest* r) {
    if (!r || !r->src || !r->dst || r->srcFrames <= 0 || r->dstFrames <= 0) return kParamErr;
    pickPair(formatOf(r->srcFormat), formatOf(r->dstFormat))(
        {static_cast<const uint8_t*>(r->src), r->srcFrames, static_cast<uint8_t*>(r->dst),
         r->dstFrames, r->position, r->step});
    return 0;
}
