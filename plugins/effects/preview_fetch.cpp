#include "plugins/effects/preview_fetch.h"

#include <cstring>

#include "reelcore/clips.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/pworld.h"
#include "reelcore/render.h"

namespace rc::effects {
namespace {

constexpr uint16_t kPictureTracks = 0x4000;
constexpr int32_t kPreviewFieldFlags = 32;  // whole frames, laid on black
constexpr int32_t kNoFieldCode = -1;

// The clip's frame at its media time into the whole of pix (or rect).
void clipFrameInto(int32_t clipID, const TDB& at, PPixHand pix, const FmRect* rect) {
    if (!pix || !*pix) return;
    FmRect whole;
    ppixGetBounds(pix, &whole);
    ppixFillRect(pix, &whole, 0);
    const PWorld world = RegPWorldBits(pix, 0);
    if (world == 0) return;
    GetClipVideo(&at, clipID, world, rect ? rect : &whole, 0);
    pwDispose(world);
}

Handle newFrameData(uint32_t kind, int32_t time, const TDB& tdb) {
    Handle h = NewHandleClear(sizeof(RcFrameCallbackData));
    if (!h) return nullptr;
    auto* d = reinterpret_cast<RcFrameCallbackData*>(*h);
    d->magic = kRcFrameDataMagic;
    d->kind = kind;
    d->time = time;
    d->tdb = RcTimeBase{tdb.value, tdb.scale, tdb.samp};
    return h;
}

}  // namespace

void fetchFilteredPreview(int32_t clipID, int32_t time, const TDB& tdb, Handle filters,
                          PPixHand pix) {
    if (!pix || !*pix) return;
    FmRect whole;
    ppixGetBounds(pix, &whole);
    ppixFillRect(pix, &whole, 0);
    const TDB at{time, tdb.scale, tdb.samp};
    // The chain alternates between two pictures and leaves its result in pix.
    PPixHand scratch = filters ? ppixNew(&whole) : nullptr;
    if (filters && !scratch) {
        clipFrameInto(clipID, at, pix, nullptr);
        return;
    }
    GetFilteredVideo(clipID, time, time, &at, 0, filters, scratch, pix, &whole, kPreviewFieldFlags,
                     kNoFieldCode, false, 0);
    ppixDispose(scratch);
}

void fetchTrackPreview(int32_t ordinal, int32_t time, const TDB& tdb, Handle trackTable,
                       PPixHand pix) {
    if (!pix || !*pix) return;
    FmRect whole;
    ppixGetBounds(pix, &whole);
    ppixFillRect(pix, &whole, 0);
    TrackItemRec item;
    if (!trackTable || GetTrackSeg(kPictureTracks, ordinal, time, &item, trackTable) <= 0) return;
    const int32_t local = GetLocalFrame(time, &tdb, &item, false);
    clipFrameInto(item.clipID, TDB{local, tdb.scale, tdb.samp}, pix, nullptr);
}

Handle newClipFrameData(int32_t clipID, int32_t time, const TDB& tdb, Handle filters) {
    Handle h = newFrameData(kRcFrameDataClip, time, tdb);
    if (!h) return nullptr;
    auto* d = reinterpret_cast<RcFrameCallbackData*>(*h);
    d->clipID = clipID;
    d->filterList = HandleToWord(filters);
    return h;
}

Handle newTimelineFrameData(int32_t time, const TDB& tdb, Handle trackTable) {
    Handle h = newFrameData(kRcFrameDataTimeline, time, tdb);
    if (h) reinterpret_cast<RcFrameCallbackData*>(*h)->trackTable = HandleToWord(trackTable);
    return h;
}

int16_t previewFrameCallback(int32_t offset, RcHandleWord pix, const RcRect* rect,
                             RcHandleWord privateData) {
    Handle data = WordToHandle(privateData), out = WordToHandle(pix);
    if (!data || !*data || GetHandleSize(data) < sizeof(RcFrameCallbackData) || !out || !*out)
        return 1;
    const RcFrameCallbackData d = *reinterpret_cast<const RcFrameCallbackData*>(*data);
    if (d.magic != kRcFrameDataMagic) return 1;
    const TDB tdb{0, d.tdb.scale, d.tdb.samp};
    const int32_t time = d.time + offset * d.tdb.samp;
    if (d.kind == kRcFrameDataClip) {
        FmRect r;
        if (rect) r = FmRect{rect->left, rect->top, rect->right, rect->bottom};
        clipFrameInto(d.clipID, TDB{time, tdb.scale, tdb.samp}, out, rect ? &r : nullptr);
        return noErr;
    }
    if (d.kind == kRcFrameDataTimeline) {
        fetchTrackPreview(0, time, tdb, WordToHandle(d.trackTable), out);
        return noErr;
    }
    return 1;
}

int16_t transitionModuleOf(const TrackItemRec* item) {
    const int16_t file = ClipFile(item->clipID);
    return file > 0 ? file : 0;
}

}  // namespace rc::effects
