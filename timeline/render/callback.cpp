// The frame callback offered to modules: another frame of the timeline (for
// transitions) or of the clip (for filters), found through the frame
// callback data block the record carries.
#include <cstring>

#include "reelcore/clips.h"
#include "reelcore/memory.h"
#include "timeline/render/render_internal.h"

namespace rc::render {

namespace {

const RcFrameCallbackData* dataOf(Handle h) {
    if (!h || !*h || GetHandleSize(h) < sizeof(RcFrameCallbackData)) return nullptr;
    const auto* d = reinterpret_cast<const RcFrameCallbackData*>(*h);
    if (d->magic != kRcFrameDataMagic || d->tdb.scale <= 0 || d->tdb.samp <= 0) return nullptr;
    return d;
}

int16_t frameCallback(int32_t offset, RcHandleWord pix, const RcRect* rect,
                      RcHandleWord privateData) {
    Handle data = WordToHandle(privateData);
    PPixHand dst = WordToHandle(pix);
    if (!dst || !*dst) return -50;
    const FmRect* r = reinterpret_cast<const FmRect*>(rect);
    if (IsCBClipDataValid(data)) {
        const RcFrameCallbackData& d = *dataOf(data);
        const TDB tdb{0, d.tdb.scale, d.tdb.samp};
        const int64_t at = int64_t(d.time) + int64_t(offset) * d.tdb.samp;
        return fetchFrame(d.clipID, int32_t(at), &tdb, 0x20, dst, r, -1);
    }
    if (IsCBTimelineDataValid(data)) {
        const RcFrameCallbackData& d = *dataOf(data);
        const TDB tdb{0, d.tdb.scale, d.tdb.samp};
        const int32_t at = int32_t(int64_t(d.time) + int64_t(offset) * d.tdb.samp);
        Handle ref = nullptr;
        GetTrackSegPtr(kTrackVideoPair, 0, at, &ref, WordToHandle(d.trackTable));
        if (!ref || !*ref) {
            clearTransparent(dst);
            return noErr;
        }
        TrackItemRec item;
        std::memcpy(&item, *ref, sizeof item);
        return MotionVideo(at, &tdb, &item, dst, nullptr, 0, r, 0x20, -1);
    }
    return -50;
}

}  // namespace

const RcFrameCallbackData* validData(Handle h) {
    return dataOf(h);
}

RcFrameCallback frameCallbackProc() {
    return frameCallback;
}

Handle newCallbackData(uint32_t kind, int32_t time, const TDB& tdb, Handle table, int32_t clipID,
                       Handle filterList, int32_t filterIndex, int32_t fieldFlags) {
    Handle h = NewHandleClear(sizeof(RcFrameCallbackData));
    if (!h) return nullptr;
    auto* d = reinterpret_cast<RcFrameCallbackData*>(*h);
    d->magic = kRcFrameDataMagic;
    d->kind = kind;
    d->time = time;
    d->tdb = RcTimeBase{tdb.value, tdb.scale, tdb.samp};
    d->trackTable = HandleToWord(table);
    d->clipID = clipID;
    d->filterList = HandleToWord(filterList);
    d->filterIndex = filterIndex;
    d->fieldFlags = fieldFlags;
    return h;
}

}  // namespace rc::render

RC_API Boolean IsCBTimelineDataValid(Handle data) {
    const RcFrameCallbackData* d = rc::render::validData(data);
    if (!d || d->kind != kRcFrameDataTimeline) return false;
    Handle table = WordToHandle(d->trackTable);
    return table && *table && GetHandleSize(table) % sizeof(TrackRec) == 0;
}

RC_API Boolean IsCBClipDataValid(Handle data) {
    const RcFrameCallbackData* d = rc::render::validData(data);
    return d && d->kind == kRcFrameDataClip && IsValidClipID(d->clipID);
}
