// EffectFrame: one frame of the timeline into the context's destination.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/keying.h"
#include "reelcore/media_access.h"
#include "reelcore/utility_table.h"
#include "timeline/render/render_hooks.h"
#include "timeline/render/render_internal.h"
#include "timeline/tracks_internal.h"

namespace rc::render {

namespace {

struct FrameJob {
    FmRenderContext* context;
    int32_t superMode;
    int32_t time;  // in tdb, the first picture track's base
    TDB tdb;
    int32_t flags;
    int32_t options;
    Handle table;
    int32_t field;   // 0 frame rendering; 1 or 2 the field being made
    int32_t second;  // 1 for the second field, half a frame later
};

FmKeySettings keyOf(const TrackItemRec& item) {
    FmKeySettings k{};
    k.keyColour = item.keyColor;
    k.similarity = item.similarity;
    k.smoothing = item.smoothing;
    k.threshold = item.threshold;
    k.cutoff = item.cutoff;
    k.shadow[0] = item.shadowOptions[0];
    k.shadow[1] = item.shadowOptions[1];
    k.reverse = item.reverse;
    k.maskOnly = item.maskOnly;
    k.keyType = item.keyType;
    std::memcpy(k.garbage, item.garbageMatte, sizeof k.garbage);
    k.matteFile = item.matteFile;
    k.keyOff = item.keyOff;
    return k;
}

FmCompositeProc compositeEntry() {
    const auto* table = reinterpret_cast<const FmUtilityTable*>(GetAGlobal(kSlotUtilityTable));
    if (FM_UTILITY_HAS(table, composite)) return table->composite;
    return FmDefaultUtilityTable()->composite;
}

// The depth byte of the render flags for a superimposed item.
int32_t superFlags(const FrameJob& job, const TrackItemRec& item) {
    int32_t flags = job.flags;
    FmMediaInfo info{};
    const int16_t file = rc::timeline::itemFileID(&item);
    if (file && GetInfo(file, &info, 0) == noErr && info.depth == 32)
        flags = (flags & ~0xFF) | 0x20;
    const bool alphaKey = (job.options & kRenderOptKeying) && !item.keyOff &&
                          item.keyType >= kKeyAlpha && item.keyType <= kKeyWhiteAlphaMatte;
    if ((job.options & kRenderOptFilters) && hasActiveXEFilter(item) && !alphaKey)
        flags = (flags & ~0xFF) | 0x18;
    return flags;
}

OSErr renderItem(const FrameJob& job, const TrackItemRec& item, PPixHand dst, int32_t flags) {
    const int32_t code = CalcInterp(&item, job.time, &job.tdb, flags);
    return MotionVideo(job.time, &job.tdb, &item, dst, job.context->scratch, job.options, nullptr,
                       flags, code);
}

void renderSuperimposes(const FrameJob& job) {
    FmRenderContext& c = *job.context;
    const FmCompositeProc composite = compositeEntry();
    const int32_t tracks = CountTypeTracks(kTrackSuperimpose, job.table);
    for (int32_t n = 0; n < tracks; ++n) {
        Handle ref = nullptr;
        GetTrackSegPtr(kTrackSuperimpose, n, job.time, &ref, job.table);
        if (!ref || !*ref) continue;
        TrackItemRec item;
        std::memcpy(&item, *ref, sizeof item);
        const int32_t opacity = superOpacity(&item, job.time);
        if (opacity == 0) continue;
        PPixHand matte = nullptr;
        if (item.keyType == kKeyTrackMatte && !item.keyOff) {
            // The next superimpose track is this item's matte.
            Handle mref = nullptr;
            GetTrackSegPtr(kTrackSuperimpose, n + 1, job.time, &mref, job.table);
            ++n;
            if (mref && *mref) {
                TrackItemRec matteItem;
                std::memcpy(&matteItem, *mref, sizeof matteItem);
                renderItem(job, matteItem, c.matte, superFlags(job, matteItem));
            } else {
                clearTransparent(c.matte);
            }
            matte = c.matte;
        }
        renderItem(job, item, c.source1, superFlags(job, item));
        const FmKeySettings key = keyOf(item);
        composite(job.superMode, c.source1, c.destination, matte, opacity, &key);
    }
}

// Steps 7 to 10 for one frame or one field. True when the frame went
// straight into the output world.
bool renderOnce(const FrameJob& job, PWorld outWorld, const FmRect* outRect) {
    FmRenderContext& c = *job.context;
    int32_t t = job.time;
    Boolean hasA = false, hasB = false, hasT = false;
    TrackItemRec a{}, b{}, tr{};
    int32_t supers = 0;
    const int16_t cls =
        GetLocInfo(t, job.flags, &job.tdb, &hasA, &a, &hasB, &b, &hasT, &tr, &supers, job.table);
    if (hasT) {
        renderTransition(job.context, job.time, &job.tdb, job.flags, job.options, job.table, a,
                         hasA, b, hasB, tr, job.field != 0, job.second);
    } else if (!hasA) {
        clearTransparent(c.destination);
    } else if (cls == kRenderDirect && outWorld && job.field == 0) {
        FmRect r = outRect ? *outRect : c.frame;
        const int32_t pos = GetLocalFrame(t, &job.tdb, &a, false);
        const TDB at{pos, job.tdb.scale, job.tdb.samp};
        GetClipVideo(&at, a.clipID, outWorld, &r, job.flags & kRenderDepthMask);
        return true;
    } else {
        renderItem(job, a, c.destination, job.flags);
    }
    if (job.superMode && supers > 0) renderSuperimposes(job);
    return false;
}

void setBounds(FmRenderContext& c, const FmRect& r) {
    for (PPixHand p : {c.source1, c.source2, c.destination, c.scratch, c.matte})
        if (p) reinterpret_cast<PPixRecord*>(*p)->bounds = r;
}

}  // namespace

}  // namespace rc::render

using namespace rc::render;

RC_API Boolean EffectFrame(Handle context, int32_t superMode, int32_t time, const TDB* tdb,
                           const FmRect* rect, int32_t flags, int32_t options, Handle trackTable,
                           PWorld outWorld, const FmRect* outRect) {
    FmRenderContext* c = contextOf(context);
    if (!c || !c->destination || !c->source1 || !c->source2) return false;

    // Real time: the timeline window's playback module may render the frame
    // into the destination.
    if (GetAGlobal(kSlotRealTime) && trackTable) {
        const intptr_t module = hooks().playModule();
        if (module && hooks().canRender(module)) {
            intptr_t frame = time;
            PMSendMessage(kHandlerCOMP, kMsgCompRTFrame, time, 0, &frame, 0);
            const int32_t mode = (flags & kRenderUpperField)   ? 1
                                 : (flags & kRenderLowerField) ? 2
                                                               : 0;
            const auto* d = reinterpret_cast<const PPixRecord*>(*c->destination);
            const int64_t bytes = int64_t(d->rowBytes) * heightOf(c->destination);
            const int32_t done = hooks().renderRT(module, time, frame, mode, c->destination,
                                                  int32_t(std::min<int64_t>(bytes, INT32_MAX)));
            PMSendMessage(kHandlerCOMP, kMsgCompRTDone, done, 0, nullptr, 0);
            if (!done) return false;
        }
    }
    for (int32_t slot : {int32_t(kSlotRenderHook1), int32_t(kSlotRenderHook2)}) {
        auto hook = reinterpret_cast<FmRenderHook>(GetAGlobal(slot));
        if (hook && hook(context, superMode, time, tdb, rect, flags, options, trackTable, outWorld,
                         outRect))
            return false;
    }
    const uint32_t aspect = projectAspect();
    for (PPixHand p : {c->source1, c->source2, c->destination}) ppixSetPixelAspectRatio(p, aspect);

    // The frame rectangle within the context's pictures.
    const FmRect whole = c->frame;
    FmRect r = rect ? *rect : whole;
    int32_t w = std::min(r.right - r.left, whole.right),
            h = std::min(r.bottom - r.top, whole.bottom);
    if (flags & kRenderHalfWidth) w /= 2;
    if (flags & kRenderHalfHeight) h /= 2;
    if (w <= 0 || h <= 0) return false;

    FrameJob job{c, superMode, time, tdb ? *tdb : TDB{0, 25, 1}, flags, options, trackTable, 0, 0};
    {
        // The time in the base of the first picture track.
        int32_t t = time;
        TDB base{0, 0, 1};
        GetIndTrackTDB(kTrackPicture, 0, trackTable, &base);
        if (base.scale > 0 && base.samp > 0) {
            if (tdb && tdb->scale > 0 && tdb->scale != base.scale)
                t = TDB_TimePosConvert(t, tdb, &base);
            job.tdb = base;
        }
        job.time = t;
    }

    bool direct = false;
    const bool fields = flags & (kRenderUpperField | kRenderLowerField);
    if (!fields) {
        setBounds(*c, FmRect{0, 0, w, h});
        direct = renderOnce(job, outWorld, outRect);
    } else {
        // Field by field into half-height pictures, interleaved into the
        // destination: the first field on the rows of its parity.
        const int32_t fh = std::max(1, h / 2);
        const FmRect full{0, 0, w, h};
        PPixHand frame = ppixNew(&full);
        if (!frame) return false;
        const int32_t first = (flags & kRenderUpperField) ? 0 : 1;
        for (int32_t f = 0; f < 2; ++f) {
            setBounds(*c, FmRect{0, 0, w, fh});
            job.field = (flags & kRenderUpperField) ? 1 : 2;
            job.second = f;
            renderOnce(job, 0, nullptr);
            const int32_t parity = f == 0 ? first : 1 - first;
            for (int32_t y = parity, row = 0; y < h && row < fh; y += 2, ++row)
                std::memcpy(rowOf(frame, y), rowOf(c->destination, row), size_t(w) * 4);
        }
        setBounds(*c, full);
        copyPixels(frame, c->destination);
        ppixDispose(frame);
    }
    if (!direct) {
        if (flags & kRenderPostFlicker) flickerFilter(c->destination);
        if (flags & kRenderPostDeinterlace) deinterlaceLowerField(c->destination);
    }
    // The pictures keep the frame's bounds for the caller to read.
    setBounds(*c, FmRect{0, 0, w, h});
    return direct;
}
