// The frame mix: every selected audio track with a clip under the frame adds
// its block, scaled by its gain, into the accumulator, which the limiter
// turns into the output. With a mixer the gains come from its strips (and the
// envelopes in read mode) and the strips' meters and faders move through the
// delay lines; without one the envelopes alone decide.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "audio/audio_internal.h"
#include "audio/mixer_internal.h"
#include "reelcore/audio.h"
#include "reelcore/clips.h"
#include "reelcore/envelopes.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "plugins/playback_link.h"
#include "reelcore/settings.h"
#include "reelcore/utility_table.h"

namespace rc::mixer {

namespace {

constexpr OSErr kParamErr = -50;
constexpr int32_t kMaxGain = 524287;    // AudioSum keeps g >> 4 below 32768
constexpr int64_t kMaxSpan = 64 << 20;  // bytes of one frame's audio

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

const FmUtilityTable* utilities() {
    auto* t = reinterpret_cast<const FmUtilityTable*>(GetAGlobal(kSlotUtilityTable));
    return t ? t : FmDefaultUtilityTable();
}

// A gain of 65536 for unity from a float one; negative and NaN give 0, and
// it stays where AudioSum cannot wrap.
int32_t unitGain(float gain) {
    if (!(gain > 0.0f)) return 0;
    const double g = double(gain) * 65536.0;
    return g >= kMaxGain ? kMaxGain : int32_t(g);
}

int32_t panValue(float pan) {
    if (!std::isfinite(pan)) return 0;
    return int32_t(std::clamp(std::lround(double(pan) * 200.0) - 100, -100L, 100L));
}

int32_t clipVolume(int32_t clipID) {
    Handle h = FindClip(clipID);
    if (!h || !*h) return 0;
    const auto* c = reinterpret_cast<const FmClipRecord*>(*h);
    return int32_t(c->settings[kClipVolumeOffset]) | int32_t(c->settings[kClipVolumeOffset + 1])
                                                         << 8;
}

// The project's resample quality, nearest sample while meters run: set for
// the call and put back however it ends.
class NearestSampleWhile {
  public:
    explicit NearestSampleWhile(bool on) {
        if (!on) return;
        block_ = psetGetBlock(reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings)));
        if (!block_) return;
        saved_ = block_->audio.resampleQ;
        block_->audio.resampleQ = 0;
    }
    ~NearestSampleWhile() {
        if (!block_) return;
        // The settings Handle may have moved: find the block again.
        if (PsetBlock* b = psetGetBlock(reinterpret_cast<Handle>(GetAGlobal(kSlotProjectSettings))))
            b->audio.resampleQ = saved_;
    }
    NearestSampleWhile(const NearestSampleWhile&) = delete;
    NearestSampleWhile& operator=(const NearestSampleWhile&) = delete;

  private:
    PsetBlock* block_ = nullptr;
    int32_t saved_ = 0;
};

struct Request {
    int32_t format = 0;
    int32_t rate = 0;
    TDB tb{0, 1, 1};
    int32_t options = 0;
    Handle tracks = nullptr;
    FmMixerRecord* mixer = nullptr;
    FmMasterMeter* master = nullptr;
    int32_t direction = 1;
    Handle scratch = nullptr;
};

int32_t frameBytesOf(int32_t format) {
    return rc::audio::frameBytes(format);
}

// Byte position of a time: whole sample frames, rounded down.
int64_t bytesAt(int64_t ticks, const Request& q, int32_t rate, int32_t format) {
    return floorDiv(ticks * rate, q.tb.scale) * frameBytesOf(format);
}

bool selected(const Request& q, int32_t n) {
    const int32_t mask = q.options & 0xFFFF;
    return mask == kMixAllTracks || (n < 16 && (mask >> n) & 1);
}

// Channel options of the clip's audio flags.
void channelOptions(uint8_t* block, int32_t bytes, int32_t format, int32_t flags) {
    if (!(format & kAudioStereo)) return;
    const bool swap = flags & kClipChannelSwap, left = flags & kClipChannelLeft,
               right = flags & kClipChannelRight;
    if (!swap && !left && !right) return;
    const int32_t width = (format & kAudio16Bit) ? 2 : 1;
    const uint8_t silence[2] = {uint8_t((format & kAudio16Bit) ? 0 : 128), 0};
    for (int32_t i = 0; i + 2 * width <= bytes; i += 2 * width) {
        uint8_t* l = block + i;
        uint8_t* r = block + i + width;
        if (swap && left) {
            std::memcpy(r, silence, size_t(width));
        } else if (swap && right) {
            std::memcpy(l, silence, size_t(width));
        } else if (swap) {
            uint8_t t[2];
            std::memcpy(t, l, size_t(width));
            std::memcpy(l, r, size_t(width));
            std::memcpy(r, t, size_t(width));
        } else if (left) {
            std::memcpy(r, l, size_t(width));
        } else {
            std::memcpy(l, r, size_t(width));
        }
    }
}

// One channel of 16-bit stereo samples times keep / 100, truncated toward
// zero; the other channel is multiplied by 100 / 100, which keeps it. The
// vector loop multiplies by 0.01f in float and truncates, which gives the
// same quotients for every sample and keep: products stay below 2^24 so
// they convert exactly, whole quotients round back to themselves, and
// others lie at least 0.01 from a whole number, far more than the float
// error below 32768.
void scaleChannel16(uint8_t* block, int32_t samples, int32_t channel, int32_t keep) {
    int32_t i = 0;
#if defined(__SSE2__)
    const int16_t l = int16_t(channel == 0 ? keep : 100), r = int16_t(channel == 0 ? 100 : keep);
    const __m128i k = _mm_setr_epi16(l, r, l, r, l, r, l, r);
    const __m128 hundredth = _mm_set1_ps(0.01f);
    for (; i + 8 <= samples; i += 8) {
        auto* at = reinterpret_cast<__m128i*>(block + 2 * size_t(i));
        const __m128i s = _mm_loadu_si128(at);
        const __m128i lo = _mm_mullo_epi16(s, k), hi = _mm_mulhi_epi16(s, k);
        const __m128i q0 =
            _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, hi)), hundredth));
        const __m128i q1 =
            _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, hi)), hundredth));
        _mm_storeu_si128(at, _mm_packs_epi32(q0, q1));
    }
#endif
    // i is even here, so sample i is still the left channel.
    for (i += channel; i < samples; i += 2) {
        int16_t s;
        std::memcpy(&s, block + 2 * size_t(i), 2);
        s = int16_t(s * keep / 100);
        std::memcpy(block + 2 * size_t(i), &s, 2);
    }
}

// Pan v in -100 ... 100: v > 0 scales the left channel by (100 - v) / 100,
// v < 0 the right by (100 + v) / 100; products truncate toward zero.
void applyPan(uint8_t* block, int32_t bytes, int32_t format, int32_t v) {
    if (!(format & kAudioStereo) || v == 0) return;
    const int32_t keep = v > 0 ? 100 - v : 100 + v;
    const int32_t channel = v > 0 ? 0 : 1;
    if (format & kAudio16Bit) {
        scaleChannel16(block, bytes / 2, channel, keep);
    } else {
        for (int32_t i = channel; i < bytes; i += 2)
            block[i] = uint8_t((int32_t(block[i]) - 128) * keep / 100 + 128);
    }
}

void reverseBlock(uint8_t* block, int32_t bytes, int32_t format) {
    switch (frameBytesOf(format)) {
        case 1:
            BlockBackwards_inplace(block, bytes);
            break;
        case 2:
            BlockBackwardsWord_inplace(reinterpret_cast<uint16_t*>(block), bytes / 2);
            break;
        default:
            BlockBackwardsLong_inplace(reinterpret_cast<uint32_t*>(block), bytes / 4);
            break;
    }
}

// `on`: the project's log fade setting, read once per mix.
int32_t logFade(int32_t g, bool on) {
    if (!on || g <= 0 || g >= 65536) return g;
    const double v = (100.0 - 50.0 * std::log10(100.0 - double(g) * 100.0 / 65536.0)) * 655.36;
    return int32_t(std::clamp(v, 0.0, 65536.0));
}

// One track's clip under the frame.
struct Source {
    Handle itemRef = nullptr;
    TrackItemRec item{};
    int32_t position = 0;  // ticks from the item's start
    Handle gainBand = nullptr, panBand = nullptr;
};

bool sourceAt(const Request& q, int32_t n, int64_t t0, Source& src) {
    if (t0 < INT32_MIN || t0 > INT32_MAX) return false;
    Handle ref = nullptr;
    GetTrackSegPtr(kTrackAudio, n, int32_t(t0), &ref, q.tracks);
    if (!ref || !*ref) return false;
    std::memcpy(&src.item, *ref, sizeof src.item);
    if (!IsValidClipID(src.item.clipID)) return false;
    src.itemRef = ref;
    src.position = int32_t(t0 - src.item.start);
    src.gainBand = GetTrackGainBand(&src.item);
    src.panBand = GetTrackPanBand(&src.item);
    return true;
}

// The clip's audio for [t0, t1) of the timeline, before its gain: channel
// options, filters, pan and reversal applied.
void readClip(const Request& q, const Source& src, int64_t t0, int32_t format, int32_t rate,
              uint8_t* block, int32_t bytes, int32_t pan) {
    const int32_t clip = src.item.clipID;
    const int32_t fb = frameBytesOf(format);
    const int64_t into = bytesAt(t0, q, rate, format) - bytesAt(src.item.start, q, rate, format);
    int64_t start;
    if (GetClipBackwards(clip)) {
        const int64_t end = bytesAt(int64_t(GetClipOut(clip, &q.tb)) + q.tb.samp, q, rate, format);
        start = end - into - bytes;
    } else {
        start = bytesAt(GetClipIn(clip, &q.tb), q, rate, format) + into;
    }
    int32_t skip = 0;  // before the media's start: silence
    if (start < 0) {
        skip = int32_t(std::min<int64_t>(-start, bytes));
        rc::audio::writeSilence(block, skip / fb, format);
        start = 0;
    }
    const int64_t second = int64_t(rate) * fb;
    if (bytes > skip)
        GetAudioBlip(clip, int32_t(std::min<int64_t>(start / second, INT32_MAX)),
                     int32_t(start % second), bytes - skip, block + skip, format, rate);
    channelOptions(block, bytes, format, FmClipFlags(clip));
    const int64_t fromClipStart = start - bytesAt(GetClipIn(clip, &q.tb), q, rate, format);
    runClipFilters(src.itemRef, clip, fromClipStart / fb, block, bytes, format, rate);
    applyPan(block, bytes, format, pan);
    if (GetClipBackwards(clip)) reverseBlock(block, bytes, format);
}

// The per-track gain before the clip's volume and the log fade.
int32_t envelopeGain(const Source& src) {
    return src.gainBand ? GetRubberValue(src.gainBand, src.position, 0x4000) * 8 : 65536;
}
float envelopeGainFloat(const Source& src) {
    return src.gainBand ? float(GetRubberValue(src.gainBand, src.position, 0x4000)) / 8192.0f
                        : 1.0f;
}
int32_t envelopePan(const Source& src) {
    return src.panBand ? GetRubberValue(src.panBand, src.position, kBandFullPan) : 100;
}

// Delayed levels: with the fader released the effective value is the one
// stored d frames ago; while it is held the setting applies at once.
void delayedLevels(FmMixerRecord* mixer, int32_t i, FmMixerStrip* st) {
    if (!historyFits(mixer)) {
        st->gain = st->gainSetting;
        st->pan = st->panSetting;
        return;
    }
    HistorySlot* slot = state().slot(i);
    if (!(st->flags & kMixerGainMoving)) {
        st->gain = slot->gain == -1.0f ? st->gainSetting : slot->gain;
        slot->gain = st->gainSetting;
    } else {
        st->gain = st->gainSetting;
        slot->gain = -1.0f;
    }
    if (!(st->flags & kMixerPanMoving)) {
        st->pan = slot->pan == -1.0f ? st->panSetting : slot->pan;
        slot->pan = st->panSetting;
    } else {
        st->pan = st->panSetting;
        slot->pan = -1.0f;
    }
}

int16_t bandLevel(double value) {
    if (!std::isfinite(value)) return 128;
    return int16_t(std::clamp(std::lround(value), 0L, 256L));
}

class FrameMix {
  public:
    FrameMix(const Request& q, bool live, int32_t format, int32_t rate)
        : q_(q), live_(live), format_(format), rate_(rate), logFade_(psetGetLogFade(nullptr)) {}

    // Mixes the frame into out (span bytes). False when the accumulator
    // could not be had (out holds silence).
    bool run(int32_t frame, uint8_t* out, int32_t span) {
        const int32_t sampleBytes = (format_ & kAudio16Bit) ? 2 : 1;
        const int32_t words = span / sampleBytes;
        int32_t* acc = accumulator(words);
        if (!acc) {
            rc::audio::writeSilence(out, span / frameBytesOf(format_), format_);
            return false;
        }
        std::fill_n(acc, words, 0);
        const int64_t t0 = int64_t(frame) * q_.tb.samp;
        const int32_t tracks = q_.tracks ? CountTypeTracks(kTrackAudio, q_.tracks) : 0;
        static std::vector<uint8_t> block;  // one track's block, kept like the accumulator
        if (block.size() < size_t(span)) block.resize(size_t(span));
        uint8_t* const data = block.data();
        for (int32_t n = 0; n < tracks; ++n) {
            if (!selected(q_, n)) continue;
            FmMixerStrip* st = strip(n);
            if (live_ && st) writeDueMoves(n, frame, q_.direction);
            Source src;
            if (!sourceAt(q_, n, t0, src)) {
                if (live_ && st) idleStrip(n, st);
                continue;
            }
            int32_t gain, pan;
            levels(n, st, frame, src, gain, pan);
            readClip(q_, src, t0, format_, rate_, data, span, pan);
            if (live_ && st) {
                float peaks[2];
                blockPeaks(data, format_, span, peaks);
                SetMixerVU(q_.mixer, n, std::max(peaks[0], peaks[1]));
            }
            if (gain > 0) AudioSum(data, acc, span, gain, format_);
        }
        const FmUtilityTable* u = utilities();
        if (FM_UTILITY_HAS(u, audioLimit))
            u->audioLimit(acc, out, span, format_);
        else
            AudioLimit(acc, out, span, format_);
        if (live_) {
            ComputeBufferVU(q_.master, acc, kMeterAccumulator | (format_ & kAudioStereo),
                            words * 4);
            advanceRings();
        }
        return true;
    }

  private:
    FmMixerStrip* strip(int32_t n) const {
        return q_.mixer && n < q_.mixer->count ? FM_MIXER_STRIP(q_.mixer, n) : nullptr;
    }

    int32_t* accumulator(int32_t words) {
        const size_t bytes = size_t(words) * 4;
        if (q_.scratch) {
            if (GetHandleSize(q_.scratch) < bytes &&
                SetHandleSize(q_.scratch, uint32_t(bytes)) != 0)
                return nullptr;
            return reinterpret_cast<int32_t*>(*q_.scratch);
        }
        static std::vector<int32_t> own;  // grows to the largest block and is kept
        if (own.size() < size_t(words)) own.resize(size_t(words));
        return own.data();
    }

    // A strip without a clip under the frame: meter 0, its settings.
    void idleStrip(int32_t n, FmMixerStrip* st) {
        st->gain = st->gainSetting;
        st->pan = st->panSetting;
        if (historyFits(q_.mixer)) {
            HistorySlot* slot = state().slot(n);
            slot->gain = st->gainSetting;
            slot->pan = st->panSetting;
        }
        SetMixerVU(q_.mixer, n, 0.0f);
    }

    // The track's gain (65536 unity) and pan value.
    void levels(int32_t n, FmMixerStrip* st, int32_t frame, const Source& src, int32_t& gain,
                int32_t& pan) {
        int32_t g;
        if (!st) {
            g = envelopeGain(src);
            pan = std::clamp(100 - envelopePan(src), -100, 100);
        } else {
            const int32_t mode = st->flags & kMixerModeMask;
            const bool automated = mode == kMixerModeRead || mode == kMixerModeWrite;
            // Write mode reads the envelope while no move is held or pending.
            const bool readGain =
                automated && (mode == kMixerModeRead || (!(st->flags & kMixerGainMoving) &&
                                                         pendingMoves(Band::Gain, n) == 0));
            const bool readPan =
                automated && (mode == kMixerModeRead ||
                              (!(st->flags & kMixerPanMoving) && pendingMoves(Band::Pan, n) == 0));
            const float envGain = envelopeGainFloat(src);
            const float envPan = 1.0f - float(envelopePan(src)) * 0.005f;
            if (live_) {
                if (readGain) st->gainSetting = envGain;
                if (readPan) st->panSetting = envPan;
                if (mode == kMixerModeWrite) queueMoves(n, st, frame);
                delayedLevels(q_.mixer, n, st);
            }
            g = st->mute ? 0 : unitGain(readGain ? envGain : st->gain);
            pan = panValue(readPan ? envPan : st->pan);
        }
        if (const int32_t p = clipVolume(src.item.clipID))
            g = int32_t(std::min<int64_t>(int64_t(p) * g / 100, kMaxGain));
        gain = std::clamp(logFade(g, logFade_), 0, kMaxGain);
    }

    void queueMoves(int32_t n, FmMixerStrip* st, int32_t frame) {
        const int32_t heard = int32_t(std::clamp<int64_t>(
            int64_t(frame) + int64_t(state().depth) * q_.direction, INT32_MIN, INT32_MAX));
        const bool extend = !(st->flags & kMixerMoveStart);
        bool used = false;
        if (st->flags & kMixerGainMoving) {
            queueMove(Band::Gain, n, heard, bandLevel(double(st->gainSetting) * 128.0), extend);
            used = true;
        }
        if (st->flags & kMixerPanMoving) {
            queueMove(Band::Pan, n, heard, bandLevel((1.0 - double(st->panSetting)) * 256.0),
                      extend);
            used = true;
        }
        if (used) st->flags &= ~int32_t(kMixerMoveStart);
    }

    const Request& q_;
    bool live_;
    int32_t format_, rate_;
    bool logFade_;
};

int32_t spanBytes(const Request& q, int32_t frame, int32_t rate, int32_t format, int64_t& bytes) {
    const int64_t t0 = int64_t(frame) * q.tb.samp;
    bytes = bytesAt(t0 + q.tb.samp, q, rate, format) - bytesAt(t0, q, rate, format);
    return bytes >= 0 && bytes <= kMaxSpan ? 0 : kParamErr;
}

// A mix for the request's track mask through the frame cache: mixes are
// cached under FileID 0 with the mask above it.
bool cachedMix(const Request& q, int32_t frame, int32_t format, int32_t rate, uint8_t* out,
               int32_t span) {
    const int32_t key = int32_t(uint32_t(q.options & 0xFFFF) << 16);
    if (FBlock b = FindAudioSec(key, frame, format, rate)) {
        const auto* e = reinterpret_cast<const FrameCacheEntry*>(b->address);
        if (e->data && e->dataLength == span) {
            std::memcpy(out, e->data->address, size_t(span));
            return true;
        }
    }
    FrameMix mix(q, false, format, rate);
    if (!mix.run(frame, out, span)) return false;
    if (span > 0) AddAudioSec(key, frame, format, rate, out, span);
    return true;
}

void dropMeters(FmMixerRecord* mixer, FmMasterMeter* master) {
    if (mixer)
        for (int32_t i = 0; i < mixer->count; ++i) FM_MIXER_STRIP(mixer, i)->meter = 0.0f;
    if (master && master->count > 0 && master->count <= 2)
        for (int32_t c = 0; c < master->count; ++c) master->channels[c].level = 0.0f;
}

// The previous, current and next frames in the post-processor's format go to
// the post-processing entry, which makes the current frame's output.
OSErr postProcessed(const Request& q, int32_t frame, uint8_t* out, int32_t span, bool live) {
    const int32_t postFormat =
        (GetAGlobal(kSlotAudioPost16Bit) ? kAudio16Bit : 0) | (q.format & kAudioStereo);
    const intptr_t slotRate = GetAGlobal(kSlotAudioPostRate);
    const int32_t postRate = slotRate > 0 && slotRate <= INT32_MAX ? int32_t(slotRate) : q.rate;
    int64_t spans[3];
    for (int k = 0; k < 3; ++k)
        if (spanBytes(q, frame - 1 + k, postRate, postFormat, spans[k]) != 0) return kParamErr;
    const int64_t total = spans[0] + spans[1] + spans[2];
    Ptr buffer = total > 0 ? NewPtr(uint32_t(total)) : nullptr;
    if (!buffer) {
        rc::audio::writeSilence(out, span / frameBytesOf(q.format), q.format);
        dropMeters(q.mixer, q.master);
        return memFullErr;
    }
    auto* b = reinterpret_cast<uint8_t*>(buffer);
    bool ok = cachedMix(q, frame - 1, postFormat, postRate, b, int32_t(spans[0]));
    if (live) {
        FrameMix mix(q, true, postFormat, postRate);
        ok = mix.run(frame, b + spans[0], int32_t(spans[1])) && ok;
    } else {
        ok = cachedMix(q, frame, postFormat, postRate, b + spans[0], int32_t(spans[1])) && ok;
    }
    ok =
        cachedMix(q, frame + 1, postFormat, postRate, b + spans[0] + spans[1], int32_t(spans[2])) &&
        ok;
    FmAudioPostRequest r{};
    r.input = b;
    r.prevBytes = int32_t(spans[0]);
    r.curBytes = int32_t(spans[1]);
    r.nextBytes = int32_t(spans[2]);
    r.inFormat = postFormat;
    r.inRate = postRate;
    r.output = out;
    r.outBytes = span;
    r.outFormat = q.format & kAudioFormatMask;
    r.outRate = q.rate;
    const FmUtilityTable* u = utilities();
    if (FM_UTILITY_HAS(u, audioPost))
        u->audioPost(&r);
    else
        FmAudioPostProcess(&r);
    DisposePtr(buffer);
    return ok ? noErr : memFullErr;
}

// Looped play wrapped (the frame moved against the play direction, not from
// the loop's start): filters clean up, automation is written, histories start
// afresh and the playback library hears of it.
void loopBack(int32_t frame) {
    State& s = state();
    const auto* play = reinterpret_cast<const FmLoopedPlay*>(GetAGlobal(kSlotLoopedPlay));
    if (!play || !play->active || !s.havePrevious) return;
    const bool against = play->direction < 0 ? frame > s.previousFrame : frame < s.previousFrame;
    if (!against || s.previousFrame == play->loopStart) return;
    cleanupFilters();
    FlushAudMixerAutomationHistory();
    InitAudMixerMasterVUHistory();
    rc::playback::notifyLoopedPlayIdle();
}

}  // namespace

}  // namespace rc::mixer

using namespace rc::mixer;

RC_API OSErr MixBlip(int32_t frame, void* output, int32_t format, int32_t rate, Handle scratch,
                     int32_t options, int32_t* outBytes, const TDB* tdb, Handle tracks,
                     FmMixerRecord* mixer, FmMasterMeter* master) {
    State& s = state();
    const TDB* base = tdb ? tdb : GetCurrentTimeBase(0);
    if (!output || rate <= 0 || !base || base->scale <= 0 || base->samp <= 0) return kParamErr;
    Request q;
    q.format = format & kAudioFormatMask;
    q.rate = rate;
    q.tb = *base;
    q.options = options;
    q.tracks = tracks;
    q.mixer = mixer;
    q.master = master;
    q.scratch = scratch;
    const auto* play = reinterpret_cast<const FmLoopedPlay*>(GetAGlobal(kSlotLoopedPlay));
    q.direction = play && play->active && play->direction < 0 ? -1 : 1;
    int64_t span = 0;
    if (spanBytes(q, frame, rate, q.format, span) != 0) return kParamErr;
    const int32_t capacity = outBytes ? *outBytes : 0;
    if (outBytes) *outBytes = int32_t(span);
    if (capacity > 0 && span > capacity) return kParamErr;

    loopBack(frame);
    s.tracks = tracks;
    s.tracksBase = q.tb;
    const bool live = mixer || master;
    OSErr err = noErr;
    {
        NearestSampleWhile nearest(live);
        auto* out = static_cast<uint8_t*>(output);
        if (GetAGlobal(kSlotAudioPostProcess)) {
            err = postProcessed(q, frame, out, int32_t(span), live);
        } else if (live) {
            FrameMix mix(q, true, q.format, rate);
            if (!mix.run(frame, out, int32_t(span))) {
                dropMeters(mixer, master);
                err = memFullErr;
            }
        } else if (!cachedMix(q, frame, q.format, rate, out, int32_t(span))) {
            err = memFullErr;
        }
    }
    s.havePrevious = true;
    s.previousFrame = frame;
    if (s.sink) s.sink(s.sinkContext, frame, mixer, master);
    return err;
}
