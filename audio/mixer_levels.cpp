// The mixer's delay lines, faders and meters: what the mixer window shows
// runs d frames behind the mix, because that is when it is heard.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "audio/mixer_internal.h"
#include "reelcore/audio.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"

namespace rc::mixer {

State& state() {
    static State s;
    return s;
}

namespace {

int32_t clampDelay(int32_t frames) {
    return std::clamp(frames, 0, int32_t(kMixerMaxDelay));
}

template <typename T>
std::unique_ptr<T[]> allocate(size_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n]());
}

void freshMixerHistory(State& s) {
    if (!s.history) return;
    std::fill_n(s.history.get(), size_t(s.strips) * size_t(s.depth), HistorySlot{});
    std::fill_n(s.gainCount.get(), size_t(s.strips), 0);
    std::fill_n(s.panCount.get(), size_t(s.strips), 0);
    s.mixerPos = 0;
}

void freshMasterHistory(State& s) {
    if (s.master) std::fill_n(s.master.get(), size_t(s.channels) * size_t(s.width), 0.0f);
    s.masterPos = 0;
}

const FmLoopedPlay* loopedPlay() {
    return reinterpret_cast<const FmLoopedPlay*>(GetAGlobal(kSlotLoopedPlay));
}

// Strips a call addresses: one, or all for -1; none outside the record.
template <typename F>
void forStrips(FmMixerRecord* mixer, int32_t strip, F&& f) {
    if (!mixer || mixer->count <= 0) return;
    if (strip == -1) {
        for (int32_t i = 0; i < mixer->count; ++i) f(i, FM_MIXER_STRIP(mixer, i));
    } else if (strip >= 0 && strip < mixer->count) {
        f(strip, FM_MIXER_STRIP(mixer, strip));
    }
}

}  // namespace

bool historyFits(const FmMixerRecord* mixer) {
    const State& s = state();
    return mixer && s.history && s.depth > 0 && mixer->count == s.strips;
}

void advanceRings() {
    State& s = state();
    if (s.depth > 0) s.mixerPos = (s.mixerPos + 1) % s.depth;
    if (s.width > 0) s.masterPos = (s.masterPos + 1) % s.width;
}

namespace {

// The largest value of each of 2 interleaved channels (or of one), never
// below `floor`. Written as plain running maxima so the compiler keeps them
// in vector registers.
template <typename T>
void channelMaxima(const T* v, int32_t n, bool stereo, T floor, T top[2]) {
    T a = floor, b = floor;
    if (stereo) {
        const int32_t pairs = n / 2;
        for (int32_t i = 0; i < pairs; ++i) {
            a = std::max(a, v[2 * i]);
            b = std::max(b, v[2 * i + 1]);
        }
        if (n % 2) a = std::max(a, v[n - 1]);
    } else {
        for (int32_t i = 0; i < n; ++i) a = std::max(a, v[i]);
        b = a;
    }
    top[0] = a;
    top[1] = b;
}

}  // namespace

void blockPeaks(const void* samples, int32_t format, int32_t byteCount, float peaks[2]) {
    peaks[0] = peaks[1] = 0.0f;
    if (!samples || byteCount <= 0) return;
    const bool stereo = format & kAudioStereo;
    // Only positive excursions count: the maxima start at silence.
    int32_t top[2] = {0, 0};
    float unit;
    if (format & kMeterAccumulator) {
        // The shift by 4 keeps order, so the largest word gives the peak.
        int32_t t[2];
        channelMaxima(static_cast<const int32_t*>(samples), byteCount / 4, stereo, int32_t{0}, t);
        top[0] = t[0] >> 4;
        top[1] = t[1] >> 4;
        unit = 1.0f / 32767.0f;
    } else if (format & kAudio16Bit) {
        int16_t t[2];
        channelMaxima(static_cast<const int16_t*>(samples), byteCount / 2, stereo, int16_t{0}, t);
        top[0] = t[0];
        top[1] = t[1];
        unit = 1.0f / 32767.0f;
    } else {
        uint8_t t[2];
        channelMaxima(static_cast<const uint8_t*>(samples), byteCount, stereo, uint8_t{128}, t);
        top[0] = int32_t(t[0]) - 128;
        top[1] = int32_t(t[1]) - 128;
        unit = 1.0f / 127.0f;
    }
    peaks[0] = float(top[0]) * unit;
    peaks[1] = stereo ? float(top[1]) * unit : peaks[0];
}

void resetState() {
    State& s = state();
    s = State{};
}

}  // namespace rc::mixer

using namespace rc::mixer;

RC_API OSErr SetAudMixerVUDelay(const FmMixerDelay* settings) {
    State& s = state();
    const int32_t strips = settings ? std::max(settings->strips, 0) : 0;
    const int32_t depth = settings && strips > 0 ? clampDelay(settings->depth) : 0;
    if (strips == s.strips && depth == s.depth && (depth == 0 || s.history)) return noErr;
    // What was queued is written before the queues go; the new lines start
    // at ring position 0, so a shorter line is never read past its end.
    writeAllMoves(nullptr);
    s.history.reset();
    s.gainQueue.reset();
    s.panQueue.reset();
    s.gainCount.reset();
    s.panCount.reset();
    s.strips = s.depth = 0;
    s.mixerPos = 0;
    if (depth == 0) return noErr;
    const size_t slots = size_t(strips) * size_t(depth);
    const size_t moves = size_t(strips) * size_t(depth + 4);
    s.history = allocate<HistorySlot>(slots);
    s.gainQueue = allocate<AutomationRecord>(moves);
    s.panQueue = allocate<AutomationRecord>(moves);
    s.gainCount = allocate<int32_t>(size_t(strips));
    s.panCount = allocate<int32_t>(size_t(strips));
    if (!s.history || !s.gainQueue || !s.panQueue || !s.gainCount || !s.panCount) {
        s.history.reset();
        s.gainQueue.reset();
        s.panQueue.reset();
        s.gainCount.reset();
        s.panCount.reset();
        return memFullErr;
    }
    s.strips = strips;
    s.depth = depth;
    freshMixerHistory(s);
    return noErr;
}

RC_API OSErr SetAudMasterVUDelay(const FmMasterDelay* settings) {
    State& s = state();
    const int32_t channels = settings ? std::max(settings->channels, 0) : 0;
    const int32_t width = settings && channels > 0 ? clampDelay(settings->width) : 0;
    if (channels == s.channels && width == s.width && (width == 0 || s.master)) return noErr;
    s.master.reset();
    s.channels = s.width = 0;
    s.masterPos = 0;
    if (width == 0) return noErr;
    s.master = allocate<float>(size_t(channels) * size_t(width));
    if (!s.master) return memFullErr;
    s.channels = channels;
    s.width = width;
    freshMasterHistory(s);
    return noErr;
}

RC_API void InitAudMixerMasterVUHistory(void) {
    State& s = state();
    freshMixerHistory(s);
    s.mixerPos = 0;
    freshMasterHistory(s);
    if (const TDB* current = GetCurrentTimeBase(0)) s.timeBase = *current;
    s.havePrevious = false;
    // Mixes are cached under FileID 0: edits made between plays are heard.
    PurgeFileFrames(0);
}

RC_API void FlushAudMixerAutomationHistory(void) {
    const FmLoopedPlay* play = loopedPlay();
    writeAllMoves(play && play->active && play->playEnd > play->playStart ? play : nullptr);
}

RC_API void SetMixerVU(FmMixerRecord* mixer, int32_t strip, float level) {
    const bool delayed = historyFits(mixer);
    forStrips(mixer, strip, [&](int32_t i, FmMixerStrip* st) {
        if (!delayed) {
            st->meter = level;
            return;
        }
        HistorySlot* slot = state().slot(i);
        st->meter = slot->meter;
        slot->meter = level;
    });
}

RC_API void SetMixerGain(FmMixerRecord* mixer, int32_t strip, float gain) {
    forStrips(mixer, strip, [&](int32_t, FmMixerStrip* st) { st->gain = st->gainSetting = gain; });
}

RC_API void SetMixerPan(FmMixerRecord* mixer, int32_t strip, float pan) {
    forStrips(mixer, strip, [&](int32_t, FmMixerStrip* st) { st->pan = st->panSetting = pan; });
}

RC_API void ComputeBufferVU(FmMasterMeter* master, const void* samples, int32_t format,
                            int32_t byteCount) {
    if (!master || (master->count != 1 && master->count != 2)) return;
    float peaks[2];
    blockPeaks(samples, format, byteCount, peaks);
    if (master->count == 1) peaks[0] = std::max(peaks[0], peaks[1]);
    State& s = state();
    const bool delayed = s.master && s.width > 0 && s.channels == master->count;
    for (int32_t c = 0; c < master->count; ++c) {
        const float level = peaks[c] * master->channels[c].scale;
        if (!delayed) {
            master->channels[c].level = level;
            continue;
        }
        float& slot = s.master[size_t(c) * size_t(s.width) + size_t(s.masterPos)];
        master->channels[c].level = slot;
        slot = level;
    }
}

RC_API FmMeterSink MixerSetMeterSink(FmMeterSink sink, void* context) {
    State& s = state();
    const FmMeterSink previous = s.sink;
    s.sink = sink;
    s.sinkContext = sink ? context : nullptr;
    return previous;
}
