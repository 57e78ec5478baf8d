// DoResample: nearest-sample conversion for far-apart rates, format-only
// conversion for equal rates, and bandlimited interpolation otherwise.
#include <algorithm>
#include <cstring>

#include "audio/audio_internal.h"
#include "audio/resample_context.h"
#include "audio/resample_filter.h"
#include "audio/resample_kernel.h"
#include "reelcore/audio.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/utility_table.h"

namespace rc::audio {

namespace {

constexpr int32_t kParamErr = -50;
constexpr int32_t kMemFullErr = -108;

// Fixed-point layout of the filter: time has 15 fraction bits, the table
// index 7 (256 entries per zero crossing of 2^15 phase steps).
constexpr int kTimeBits = 15;
constexpr int kIndexBits = 7;

FilterPreset presetFor(int32_t quality) {
    if (quality == 2) return {0.46, 4.0, 27, 0};
    return {0.41, 4.0, 13, 0};
}

// 16-bit to 8-bit output, with the context's dither when asked.
class Narrower {
  public:
    Narrower(ResamplerContext& c, bool dither) : c_(c), dither_(dither) {}
    uint8_t operator()(int32_t s, int channel) {
        if (!dither_) return uint8_t((s >> 8) + 128);
        c_.ditherState = uint32_t((uint64_t(c_.ditherState) * 7141 + 54773) % 259200);
        const int32_t r = int8_t(uint8_t(uint64_t(c_.ditherState) * 256 / 259200));
        const int32_t v = std::clamp(s + r - previous_[channel], -32768, 32767);
        previous_[channel] = r;
        return uint8_t((v >> 8) + 128);
    }

  private:
    ResamplerContext& c_;
    bool dither_;
    int32_t previous_[2] = {0, 0};
};

inline int16_t load16(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void store16(uint8_t* p, int32_t v) {
    const int16_t s = int16_t(v);
    std::memcpy(p, &s, 2);
}

// Writes one frame of 16-bit channel values (one or two) in the
// destination format: mono to stereo duplicates, stereo to mono keeps left.
inline void putFrame(uint8_t* out, int32_t dstFormat, const int32_t* v, int channels,
                     Narrower& narrow) {
    const bool stereo = dstFormat & kAudioStereo;
    const int32_t left = v[0], right = channels == 2 ? v[1] : v[0];
    if (dstFormat & kAudio16Bit) {
        store16(out, left);
        if (stereo) store16(out + 2, right);
    } else {
        out[0] = narrow(left, 0);
        if (stereo) out[1] = narrow(right, 1);
    }
}

// Equal rates: the format alone changes, sample by sample.
void convertFormat(ResamplerContext& c, const FmResampleRequest& r, bool dither, int32_t frames) {
    const auto* in =
        static_cast<const uint8_t*>(r.src) + int64_t(r.srcFirst) * frameBytes(r.srcFormat);
    auto* out = static_cast<uint8_t*>(r.dst);
    const int32_t inBytes = frameBytes(r.srcFormat), outBytes = frameBytes(r.dstFormat);
    if ((r.srcFormat & kAudioFormatMask) == (r.dstFormat & kAudioFormatMask)) {
        std::memcpy(out, in, size_t(frames) * inBytes);
        return;
    }
    const bool in16 = r.srcFormat & kAudio16Bit, inStereo = r.srcFormat & kAudioStereo;
    const bool out16 = r.dstFormat & kAudio16Bit, outStereo = r.dstFormat & kAudioStereo;
    Narrower narrow(c, dither);
    for (int32_t i = 0; i < frames; ++i, in += inBytes, out += outBytes) {
        if (!in16 && !out16) {  // 8-bit to 8-bit: channels only
            out[0] = in[0];
            if (outStereo) out[1] = inStereo ? in[1] : in[0];
            continue;
        }
        int32_t v[2] = {0, 0};
        int channels = inStereo ? 2 : 1;
        if (in16) {
            v[0] = load16(in);
            if (inStereo) v[1] = load16(in + 2);
        } else {
            v[0] = c.expand[in[0]];
            if (inStereo) v[1] = c.expand[in[1]];
        }
        if (!in16 && inStereo && out16 && !outStereo) {
            v[0] = (v[0] + v[1]) / 2;
            channels = 1;
        }
        putFrame(out, r.dstFormat, v, channels, narrow);
    }
}

// Rates differ: expand the source to 16 bits with zero history on both
// sides, filter each needed channel, and convert the 16-bit result.
int32_t convertRate(ResamplerContext& c, const FmResampleRequest& r, int32_t quality, bool dither) {
    c.preset = presetFor(quality);
    c.preset.dither = dither;
    const double rolloff = r.dstFrames >= r.srcCount ? 0.5 : c.preset.rolloff;
    const int32_t wing = (c.preset.nmult + 1) * (kFilterPhases / 2);
    const int16_t* coefs = nullptr;
    uint32_t scale = 0;
    if (const int32_t err = findFilter(c, wing, rolloff, c.preset.beta, &coefs, &scale)) return err;

    const double factor = double(r.dstRate) / double(r.srcRate);
    const double dt = 1.0 / factor;
    FilterRun f{coefs, wing, scale, uint32_t(dt * (1 << kTimeBits) + 0.5), 0, factor < 1.0};
    if (f.down) {
        f.scale = uint32_t(f.scale * factor + 0.5);
        f.tableStep = uint32_t(
            std::min(double(kFilterPhases), factor * kFilterPhases) * (1 << kIndexBits) + 0.5);
        if (f.tableStep == 0) return kParamErr;
    }
    const int32_t guard = int32_t((c.preset.nmult + 1) / 2.0 * std::max(1.0, dt) + 10);
    if (r.srcAvailable < 2 * guard) return kParamErr;

    // Each channel is expanded to 16 bits with zero history on both sides,
    // as far as the filter reaches around the last output.
    const int64_t history = std::max<int64_t>(guard, wingReach(f));
    const int64_t lastFrame =
        r.srcFirst + int64_t((uint64_t(r.dstFrames - 1) * f.timeStep) >> kTimeBits);
    const int64_t planeFrames = std::max<int64_t>(r.srcAvailable, lastFrame + 1) + 2 * history;

    const int inChannels = (r.srcFormat & kAudioStereo) ? 2 : 1;
    const int outChannels = (r.dstFormat & kAudioStereo) ? 2 : 1;
    const int filtered = std::min(inChannels, outChannels);
    auto* planes = static_cast<int16_t*>(
        lockScratch(c.scratchIn, uint64_t(planeFrames) * filtered * sizeof(int16_t)));
    auto* out16 = static_cast<int16_t*>(
        lockScratch(c.scratchOut, uint64_t(r.dstFrames) * filtered * sizeof(int16_t)));
    if (!planes || !out16) return kMemFullErr;

    c.clipped = 0;
    const auto* src = static_cast<const uint8_t*>(r.src);
    const int32_t inBytes = frameBytes(r.srcFormat);
    const uint64_t t0 = uint64_t(history + r.srcFirst) << kTimeBits;
    for (int ch = 0; ch < filtered; ++ch) {
        int16_t* plane = planes + ch * planeFrames;
        std::fill(plane, plane + history, int16_t(0));
        int16_t* into = plane + history;
        const uint8_t* from = src + ch * ((r.srcFormat & kAudio16Bit) ? 2 : 1);
        if (r.srcFormat & kAudio16Bit) {
            for (int32_t i = 0; i < r.srcAvailable; ++i, from += inBytes) into[i] = load16(from);
        } else {
            for (int32_t i = 0; i < r.srcAvailable; ++i, from += inBytes) into[i] = c.expand[*from];
        }
        std::fill(into + r.srcAvailable, plane + planeFrames, int16_t(0));
        const int64_t clipped = filterChannel(f, plane, t0, out16 + ch, filtered, r.dstFrames);
        if (clipped < 0) return kMemFullErr;
        c.clipped += uint32_t(clipped);
    }

    Narrower narrow(c, dither);
    auto* outBytes = static_cast<uint8_t*>(r.dst);
    const int32_t step = frameBytes(r.dstFormat);
    for (int32_t i = 0; i < r.dstFrames; ++i, outBytes += step) {
        const int32_t v[2] = {out16[i * filtered], out16[i * filtered + filtered - 1]};
        putFrame(outBytes, r.dstFormat, v, filtered, narrow);
    }
    return 0;
}

bool validRequest(const FmResampleRequest& r) {
    return r.src && r.srcRate > 0 && r.dstRate > 0 && r.srcAvailable > 0 && r.srcFirst >= 0 &&
           r.srcFirst < r.srcAvailable && r.srcCount >= 0;
}

int32_t nearestSample(const FmResampleRequest& r) {
    FmDebug(0, "Calling RSMunge() %d/%d ==> %d/%d", r.srcRate, frameBytes(r.srcFormat), r.dstRate,
            frameBytes(r.dstFormat));
    // Multiplied before dividing: upsampling keeps a non-zero step.
    const uint64_t step = (uint64_t(r.srcRate) << 16) / uint64_t(r.dstRate);
    if (step == 0 || step > UINT32_MAX) return kParamErr;
    FmAudioMungeRequest m{};
    m.src = static_cast<const uint8_t*>(r.src) + int64_t(r.srcFirst) * frameBytes(r.srcFormat);
    m.srcFrames = r.srcAvailable - r.srcFirst;
    m.srcFormat = r.srcFormat & kAudioFormatMask;
    m.dst = r.dst;
    m.dstFrames = r.dstFrames;
    m.dstFormat = r.dstFormat & kAudioFormatMask;
    m.position = int64_t(r.dstStart) * int64_t(step) - int64_t(r.srcStart) * 65536;
    m.step = uint32_t(step);
    const auto* table = reinterpret_cast<const FmUtilityTable*>(GetAGlobal(kSlotUtilityTable));
    const FmAudioMungeProc munge =
        FM_UTILITY_HAS(table, audioMunge) ? table->audioMunge : DoAudioMunge;
    return munge(&m);
}

int32_t resample(const FmResampleRequest& r) {
    if (!validRequest(r)) return kParamErr;
    const ResampleSettings settings = resampleSettings();
    int32_t quality = settings.quality;
    if (int64_t(r.srcRate) > 10 * int64_t(r.dstRate) ||
        int64_t(r.dstRate) > 10 * int64_t(r.srcRate))
        quality = 0;
    if (quality == 0) return nearestSample(r);

    ContextLock lock;
    ResamplerContext* c = lock.get();
    if (!c) return kMemFullErr;
    if (r.srcRate == r.dstRate) {
        const int32_t frames = std::min(r.dstFrames, r.srcAvailable - r.srcFirst);
        convertFormat(*c, r, settings.dither, frames);
        writeSilence(static_cast<uint8_t*>(r.dst) + int64_t(frames) * frameBytes(r.dstFormat),
                     r.dstFrames - frames, r.dstFormat);
        return 0;
    }
    return convertRate(*c, r, quality, settings.dither);
}

}  // namespace

}  // namespace rc::audio

RC_API int32_t DoResample(const FmResampleRequest* request) {
    if (!request || !request->dst || request->dstFrames <= 0) return -50;
    const int32_t err = rc::audio::resample(*request);
    // A failed conversion leaves silence, so nothing caches garbage.
    if (err != 0) rc::audio::writeSilence(request->dst, request->dstFrames, request->dstFormat);
    return err;
}
