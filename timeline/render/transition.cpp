// Step 8 of a frame: A and B under a transition, through its module.
#include <algorithm>
#include <cstring>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "timeline/render/render_hooks.h"
#include "timeline/render/render_internal.h"
#include "timeline/tracks_internal.h"

namespace rc::render {

void fillBlack(PPixHand pix) {
    const int32_t w = widthOf(pix), h = heightOf(pix);
    forRows(h, [&](int32_t y) {
        uint32_t* p = reinterpret_cast<uint32_t*>(rowOf(pix, y));
        std::fill(p, p + w, 0xFF000000u);
    });
}

void renderTransition(FmRenderContext* c, int32_t time, const TDB* tdb, int32_t flags,
                      int32_t options, Handle table, const TrackItemRec& a, bool hasA,
                      const TrackItemRec& b, bool hasB, const TrackItemRec& transition, bool field,
                      int32_t second) {
    const TransitionSettings& settings = transition.transition;
    // A into source 2 and B into source 1 when the settings' source and
    // reverse bytes are equal, otherwise the other way round.
    const bool same = settings.source == settings.reverse;
    PPixHand forA = same ? c->source2 : c->source1;
    PPixHand forB = same ? c->source1 : c->source2;
    auto render = [&](const TrackItemRec& item, bool present, PPixHand dst) {
        if (!present) {
            clearTransparent(dst);
            ppixSetPixelAspectRatio(dst, 0x10001);
            return;
        }
        int32_t itemFlags = flags;
        if ((options & kRenderOptFilters) && hasActiveXEFilter(item))
            itemFlags = (itemFlags & ~0xFF) | 0x18;
        const int32_t code = CalcInterp(&item, time, tdb, itemFlags);
        MotionVideo(time, tdb, &item, dst, c->scratch, options, nullptr, itemFlags, code);
    };
    render(a, hasA, forA);
    render(b, hasB, forB);

    const int16_t module = rc::timeline::itemFileID(&transition);
    Handle record = NewHandleClear(sizeof(RcEffectRecord));
    const TDB base = tdb ? *tdb : TDB{0, 30, 1};
    Handle data = newCallbackData(kRcFrameDataTimeline, time, base, table, 0, nullptr, 0, flags);
    if (!record || !module) {
        fillBlack(c->destination);
        if (record) DisposeHandle(record);
        if (data) DisposeHandle(data);
        return;
    }
    RcEffectRecord& r = *reinterpret_cast<RcEffectRecord*>(*record);
    r.source1 = HandleToWord(c->source1);
    r.source2 = HandleToWord(c->source2);
    r.destination = HandleToWord(c->destination);
    int64_t part = int64_t(time) - transition.start;
    int64_t total = int64_t(transition.end) - transition.start;
    if (field) {
        // Doubled, so that the second field lies half a frame later.
        part = 2 * part + (second ? base.samp : 0);
        total *= 2;
    }
    r.part = int32_t(std::clamp<int64_t>(part, INT32_MIN, INT32_MAX));
    r.total = int32_t(std::clamp<int64_t>(total, INT32_MIN, INT32_MAX));
    r.previewing = 0;
    r.reverse = settings.reverse;
    r.source = settings.source;
    r.privateData = HandleToWord(data);
    r.callBack = frameCallbackProc();
    r.version = kRcEffectRecordVersion;
    r.flags = int16_t(flags);
    r.tdb = reinterpret_cast<const RcTimeBase*>(&base);
    r.sequenceData = HandleToWord(sequenceData(module));
    EffectCore(module, record, nullptr, &settings);
    sequenceData(module) = WordToHandle(reinterpret_cast<RcEffectRecord*>(*record)->sequenceData);
    DisposeHandle(record);
    if (data) DisposeHandle(data);
}

}  // namespace rc::render
