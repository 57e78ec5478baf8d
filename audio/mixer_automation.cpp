// Fader moves recorded into the tracks' envelopes. A move is queued with
// the frame at which it is heard and written into the band of the item under
// that frame when the mix reaches it.
#include <algorithm>

#include "audio/mixer_internal.h"
#include "reelcore/envelopes.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "timeline/automation.h"

namespace rc::mixer {

namespace {

AutomationRecord* queueOf(Band band, int32_t strip) {
    State& s = state();
    auto& q = band == Band::Gain ? s.gainQueue : s.panQueue;
    return &q[size_t(strip) * size_t(s.queueSize())];
}

int32_t& countOf(Band band, int32_t strip) {
    State& s = state();
    return band == Band::Gain ? s.gainCount[strip] : s.panCount[strip];
}

bool haveQueues(int32_t strip) {
    const State& s = state();
    return s.gainQueue && s.panQueue && strip >= 0 && strip < s.strips;
}

// The band of the item under the frame on the strip's audio track; an item
// without one gets a flat band (unity gain, centre pan) to write into.
Handle bandAt(Band band, int32_t strip, int32_t frame, int32_t& position, int32_t& ramp) {
    State& s = state();
    if (!s.tracks || s.tracksBase.scale <= 0) return nullptr;
    const int32_t samp = std::max(s.tracksBase.samp, 1);
    const int64_t t = int64_t(frame) * samp;
    if (t < INT32_MIN || t > INT32_MAX) return nullptr;
    Handle ref = nullptr;
    GetTrackSegPtr(kTrackAudio, strip, int32_t(t), &ref, s.tracks);
    if (!ref || !*ref) return nullptr;
    auto* item = reinterpret_cast<TrackItemRec*>(*ref);
    position = int32_t(t) - item->start;
    ramp = samp;
    Handle h = band == Band::Gain ? GetTrackGainBand(item) : GetTrackPanBand(item);
    if (h) return h;
    const int32_t length = item->end - item->start;
    HLock(ref);
    h = band == Band::Gain ? NewGainBand(item, length, 128, 256)
                           : NewPanBand(item, length, 128, 256);
    HUnlock(ref);
    return h;
}

void write(Band band, int32_t strip, const AutomationRecord& r) {
    int32_t position = 0, ramp = 1;
    Handle h = bandAt(band, strip, r.frame, position, ramp);
    if (!h) return;
    rc::timeline::writeAutomation(
        h, position, r.level, ramp,
        r.extend ? rc::timeline::AutomationMode::Extend : rc::timeline::AutomationMode::Insert);
}

void popFront(Band band, int32_t strip) {
    AutomationRecord* q = queueOf(band, strip);
    int32_t& n = countOf(band, strip);
    std::copy(q + 1, q + n, q);
    --n;
}

void writeDue(Band band, int32_t strip, int32_t frame, int32_t direction) {
    AutomationRecord* q = queueOf(band, strip);
    int32_t& n = countOf(band, strip);
    while (n > 0 && (direction < 0 ? q[0].frame >= frame : q[0].frame <= frame)) {
        write(band, strip, q[0]);
        popFront(band, strip);
    }
}

}  // namespace

void queueMove(Band band, int32_t strip, int32_t frame, int16_t level, bool extend) {
    if (!haveQueues(strip)) return;
    AutomationRecord* q = queueOf(band, strip);
    int32_t& n = countOf(band, strip);
    if (n >= state().queueSize()) {
        write(band, strip, q[0]);
        popFront(band, strip);
    }
    q[n++] = AutomationRecord{frame, level, extend};
}

void writeDueMoves(int32_t strip, int32_t frame, int32_t direction) {
    if (!haveQueues(strip)) return;
    writeDue(Band::Gain, strip, frame, direction);
    writeDue(Band::Pan, strip, frame, direction);
}

int32_t pendingMoves(Band band, int32_t strip) {
    return haveQueues(strip) ? countOf(band, strip) : 0;
}

void writeAllMoves(const FmLoopedPlay* range) {
    State& s = state();
    for (int32_t strip = 0; strip < s.strips && haveQueues(strip); ++strip)
        for (Band band : {Band::Gain, Band::Pan}) {
            AutomationRecord* q = queueOf(band, strip);
            int32_t& n = countOf(band, strip);
            for (int32_t i = 0; i < n; ++i)
                if (!range || (q[i].frame >= range->playStart && q[i].frame < range->playEnd))
                    write(band, strip, q[i]);
            n = 0;
        }
}

// ---- Hooks ----

namespace {

void emptyCleanupList() {
    if (Handle list = reinterpret_cast<Handle>(GetAGlobal(kSlotAudioFilterCleanup)))
        SetHandleSize(list, 0);
}

void passThrough(Handle, int32_t, int64_t, void*, int32_t, int32_t, int32_t) {}

FilterCleanupFn cleanupHook = emptyCleanupList;
ClipFiltersFn filtersHook = passThrough;

}  // namespace

void setFilterCleanup(FilterCleanupFn fn) {
    cleanupHook = fn ? fn : emptyCleanupList;
}

void cleanupFilters() {
    cleanupHook();
}

void setClipFilters(ClipFiltersFn fn) {
    filtersHook = fn ? fn : passThrough;
}

void runClipFilters(Handle item, int32_t clipID, int64_t samplePos, void* block, int32_t bytes,
                    int32_t format, int32_t rate) {
    filtersHook(item, clipID, samplePos, block, bytes, format, rate);
}

void resetHooks() {
    cleanupHook = emptyCleanupList;
    filtersHook = passThrough;
}

}  // namespace rc::mixer
