// Audio filters in the mix: each enabled filter of a clip's list runs over
// the clip's block; at a loop the filters listed in slot 185 clean up; and
// the setup of an audio filter gets a preview of the clip's audio.
#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/audio_internal.h"
#include "audio/mixer_internal.h"
#include "plugins/effects/effect_host.h"
#include "plugins/playback_link.h"
#include "reelcore/audio.h"
#include "reelcore/clips.h"
#include "reelcore/effects.h"
#include "reelcore/filetable.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/sdk/effect.h"
#include "reelcore/settings.h"
#include "reelcore/utility_table.h"

namespace rc::mixer {

Handle audioRecord(uint32_t settings, void* block, int32_t frames, int64_t position, int64_t total,
                   int32_t format, int32_t rate, int32_t clipID);
int64_t clipFrames(int32_t clipID, int32_t rate);

namespace {

constexpr int16_t kFilterCleanup = 3;

int32_t entryCount(Handle list) {
    return list && *list ? int32_t(GetHandleSize(list) / sizeof(RcFilterListEntry)) : 0;
}

RcFilterListEntry entryAt(Handle list, int32_t i) {
    RcFilterListEntry e;
    std::memcpy(&e, *list + size_t(i) * sizeof e, sizeof e);
    return e;
}

void storeEntry(Handle list, int32_t i, const RcFilterListEntry& e) {
    if (i < entryCount(list)) std::memcpy(*list + size_t(i) * sizeof e, &e, sizeof e);
}

void runFilters(Handle item, int32_t clipID, int64_t samplePos, void* block, int32_t bytes,
                int32_t format, int32_t rate) {
    if (!item || !*item) return;
    Handle list = WordToHandle(reinterpret_cast<const TrackItemRec*>(*item)->filterList);
    const int32_t frames = bytes / rc::audio::frameBytes(format);
    if (frames <= 0) return;
    const int64_t total = clipFrames(clipID, rate);
    for (int32_t i = 0; i < entryCount(list); ++i) {
        RcFilterListEntry e = entryAt(list, i);
        if (e.shy) continue;
        Handle record =
            audioRecord(e.compSpec, block, frames, samplePos, total, format, rate, clipID);
        if (!record) return;
        Filter(e.fileID, kRcFilterProcess, record, &e);
        // The settings the filter returns stay with the clip.
        e.compSpec = reinterpret_cast<RcAudioFilterRecord*>(*record)->specsHandle;
        storeEntry(list, i, e);
        DisposeHandle(record);
    }
}

void cleanupListed() {
    Handle list = reinterpret_cast<Handle>(GetAGlobal(kSlotAudioFilterCleanup));
    for (int32_t i = 0; i < entryCount(list); ++i) {
        RcFilterListEntry e = entryAt(list, i);
        Handle record = audioRecord(e.compSpec, nullptr, 0, 0, 0, 0, 0, 0);
        if (!record) break;
        Filter(e.fileID, kFilterCleanup, record, &e);
        DisposeHandle(record);
    }
    if (list) SetHandleSize(list, 0);
}

FilterCleanupFn cleanupHook = cleanupListed;
ClipFiltersFn filtersHook = runFilters;

}  // namespace

// A record Handle for one call; null without memory.
Handle audioRecord(uint32_t settings, void* block, int32_t frames, int64_t position, int64_t total,
                   int32_t format, int32_t rate, int32_t clipID) {
    Handle h = NewHandleClear(sizeof(RcAudioFilterRecord));
    if (!h) return nullptr;
    auto* r = reinterpret_cast<RcAudioFilterRecord*>(*h);
    r->version = kRcAudioFilterRecordVersion;
    r->specsHandle = settings;
    r->count = frames;
    r->source = block;
    r->destination = block;
    r->position = position;
    r->total = total;
    r->format = format & kAudioFormatMask;
    r->rate = rate;
    r->clipID = clipID;
    r->utilities = reinterpret_cast<const void*>(GetAGlobal(kSlotUtilityTable));
    r->host = &rc::effects::hostServices();
    return h;
}

int64_t clipFrames(int32_t clipID, int32_t rate) {
    TDB tb{};
    GetClipTimeBase(clipID, &tb);
    if (tb.scale <= 0) return 0;
    return int64_t(ClipWidth(clipID, &tb)) * rate / tb.scale;
}

void setFilterCleanup(FilterCleanupFn fn) {
    cleanupHook = fn ? fn : cleanupListed;
}

void cleanupFilters() {
    cleanupHook();
}

void setClipFilters(ClipFiltersFn fn) {
    filtersHook = fn ? fn : runFilters;
}

void runClipFilters(Handle item, int32_t clipID, int64_t samplePos, void* block, int32_t bytes,
                    int32_t format, int32_t rate) {
    filtersHook(item, clipID, samplePos, block, bytes, format, rate);
}

void resetHooks() {
    cleanupHook = cleanupListed;
    filtersHook = runFilters;
}

}  // namespace rc::mixer

namespace {

// Slot 93 is 1 for the call (files marked for no caching may use the
// caches), then put back, and what those files left in the cache goes.
class CacheAllFilesWhile {
  public:
    CacheAllFilesWhile() : saved_(GetAGlobal(kSlotNoCacheOverride)) {
        SetAGlobal(kSlotNoCacheOverride, 1);
    }
    ~CacheAllFilesWhile() {
        SetAGlobal(kSlotNoCacheOverride, saved_);
        UnCacheFrames();
    }
    CacheAllFilesWhile(const CacheAllFilesWhile&) = delete;
    CacheAllFilesWhile& operator=(const CacheAllFilesWhile&) = delete;

  private:
    intptr_t saved_;
};

struct PreviewBuffers {
    Ptr in = nullptr, out = nullptr;
    ~PreviewBuffers() {
        if (in) DisposePtr(in);
        if (out) DisposePtr(out);
    }
};

}  // namespace

RC_API OSErr AudFilterSetup(int32_t clipID, const TDB* tdb, int32_t position, void* listEntry,
                            Handle, int16_t selector) {
    auto* entry = static_cast<RcFilterListEntry*>(listEntry);
    if (!entry || !IsValidClipID(clipID)) return 1;
    TDB tb{};
    if (tdb && tdb->scale > 0 && tdb->samp > 0)
        tb = *tdb;
    else
        GetClipTimeBase(clipID, &tb);
    if (tb.scale <= 0 || tb.samp <= 0) return 1;
    const int32_t rate = psetGetAudRate(nullptr) > 0 ? psetGetAudRate(nullptr) : 48000;
    const int32_t format =
        (psetIsStereo(nullptr) ? kAudioStereo : 0) | (psetIs16BitAudio(nullptr) ? kAudio16Bit : 0);
    const int32_t fb = rc::audio::frameBytes(format);
    const int64_t clipTicks = ClipWidth(clipID, &tb);
    const int64_t fps = std::max<int64_t>(1, tb.scale / tb.samp);

    // Up to 10 seconds, whole frames; 3 when memory is short. A 1 MB block
    // is held meanwhile so the preview never takes the last memory.
    PreviewBuffers buffers;
    int64_t frames = 0;
    {
        Ptr guard = NewPtr(1u << 20);
        if (!guard) return memFullErr;
        for (int64_t seconds : {int64_t(10), int64_t(3)}) {
            frames = std::min<int64_t>(seconds * fps, clipTicks / tb.samp);
            const int64_t bytes = int64_t(rate) * fb * frames * tb.samp / tb.scale;
            if (bytes <= 0 || bytes > INT32_MAX) continue;
            buffers.in = NewPtrClear(uint32_t(bytes));
            buffers.out = buffers.in ? NewPtrClear(uint32_t(bytes)) : nullptr;
            if (buffers.out) break;
            if (buffers.in) DisposePtr(buffers.in);
            buffers.in = nullptr;
        }
        DisposePtr(guard);
    }
    if (!buffers.out) return memFullErr;
    const int32_t bytes = int32_t(GetPtrSize(buffers.in)) / fb * fb;
    const int64_t length = frames * tb.samp;

    // Around the position, or marker 2, or from the start; inside the clip.
    const int32_t in = GetClipIn(clipID, &tb);
    int64_t centre = position >= 0 ? position : FmGetClipMarker(clipID, 2, &tb);
    int64_t start = centre >= 0 ? centre - length / 2 : in;
    start = std::clamp<int64_t>(start, in, std::max<int64_t>(in, in + clipTicks - length));

    rc::playback::deactivateCurrent();
    CacheAllFilesWhile caching;
    const int64_t startByte = (start * rate / tb.scale) * fb;
    const int64_t second = int64_t(rate) * fb;
    GetAudioBlip(clipID, int32_t(startByte / second), int32_t(startByte % second), bytes,
                 buffers.in, format, rate);
    std::memcpy(buffers.out, buffers.in, size_t(bytes));
    Handle record = rc::mixer::audioRecord(
        entry->compSpec, buffers.out, bytes / fb, (start - in) * rate / tb.scale,
        rc::mixer::clipFrames(clipID, rate), format, rate, clipID);
    if (!record) return memFullErr;
    auto* r = reinterpret_cast<RcAudioFilterRecord*>(*record);
    r->source = buffers.in;
    OSErr result = 1;
    bool done = false;
    if (selector == -1) {
        result = Filter(entry->fileID, kRcFilterUseSettings, record, entry);
        r = reinterpret_cast<RcAudioFilterRecord*>(*record);
        done = result == 1 && r->specsHandle != 0;
        if (done) result = 0;
    }
    if (!done) result = Filter(entry->fileID, kRcFilterSetup, record, entry);
    entry->compSpec = reinterpret_cast<RcAudioFilterRecord*>(*record)->specsHandle;
    DisposeHandle(record);
    return result;
}
