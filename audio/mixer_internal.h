// The mixer's process-wide state: delay lines, automation queues, the meter
// sink, and the hooks through which the mix reaches audio filters.
#pragma once

#include <cstdint>
#include <memory>

#include "reelcore/mixer.h"
#include "reelcore/tracks.h"

namespace rc::mixer {

struct HistorySlot {
    float meter = 0.0f;
    float gain = 1.0f;
    float pan = 0.5f;
};

// A fader move waiting for the frame at which it is heard.
struct AutomationRecord {
    int32_t frame = 0;  // heard (and written) at this frame
    int16_t level = 0;  // band level 0 ... 256
    bool extend = false;
};

enum class Band { Gain, Pan };

struct State {
    // Mixer history: strips x depth slots, and per strip depth + 4 queued
    // moves for gain and as many for pan.
    int32_t strips = 0, depth = 0;
    std::unique_ptr<HistorySlot[]> history;
    std::unique_ptr<AutomationRecord[]> gainQueue, panQueue;
    std::unique_ptr<int32_t[]> gainCount, panCount;
    // Master history: channels x width levels.
    int32_t channels = 0, width = 0;
    std::unique_ptr<float[]> master;
    int32_t mixerPos = 0, masterPos = 0;
    TDB timeBase{0, 0, 1};
    // Where queued moves are written: the track table and time base of the
    // last mix.
    Handle tracks = nullptr;
    TDB tracksBase{0, 0, 1};
    // Loop-back detection.
    bool havePrevious = false;
    int32_t previousFrame = 0;
    FmMeterSink sink = nullptr;
    void* sinkContext = nullptr;

    int32_t queueSize() const { return depth + 4; }
    HistorySlot* slot(int32_t strip) {
        return &history[size_t(strip) * size_t(depth) + size_t(mixerPos)];
    }
};

State& state();

// True when the history has the mixer's strip count (and a depth).
bool historyFits(const FmMixerRecord* mixer);
// Moves both rings one frame on.
void advanceRings();
// Queues a move of the strip's band heard at `frame`; a full queue writes its
// oldest move at once.
void queueMove(Band band, int32_t strip, int32_t frame, int16_t level, bool extend);
// Writes the queued moves heard at or before `frame` in the play direction.
void writeDueMoves(int32_t strip, int32_t frame, int32_t direction);
int32_t pendingMoves(Band band, int32_t strip);
// Writes every queued move (inside the play range when one is given).
void writeAllMoves(const FmLoopedPlay* range);
// Peak of a block, 0.0 ... (accumulators may exceed 1.0); channel 0 left.
void blockPeaks(const void* samples, int32_t format, int32_t byteCount, float peaks[2]);

// ---- Hooks ----
// Calls the audio filters listed in slot 185 with cleanup and empties the
// list. Default: empties the list.
using FilterCleanupFn = void (*)();
void setFilterCleanup(FilterCleanupFn fn);
void cleanupFilters();
// Runs the item's enabled audio filters over a block (selector 0). Default:
// no filter host, the block passes unchanged.
using ClipFiltersFn = void (*)(Handle item, int32_t clipID, int64_t samplePos, void* block,
                               int32_t bytes, int32_t format, int32_t rate);
void setClipFilters(ClipFiltersFn fn);
void runClipFilters(Handle item, int32_t clipID, int64_t samplePos, void* block, int32_t bytes,
                    int32_t format, int32_t rate);
void resetHooks();

// Forgets the delay lines, queues, sink and loop detection (tests).
void resetState();

}  // namespace rc::mixer
