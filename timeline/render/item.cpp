// One item of a frame: its source frame (with the field code applied), its
// filter chain and its motion; Test_GetFrame.
#include <algorithm>
#include <cstring>

#include "reelcore/clips.h"
#include "reelcore/keying.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/motion.h"
#include "reelcore/pworld.h"
#include "timeline/render/render_internal.h"
#include "timeline/tracks_internal.h"

namespace rc::render {

OSErr fetchFrame(int32_t clipID, int32_t pos, const TDB* tdb, int32_t flags, PPixHand dst,
                 const FmRect* rect, int32_t interpCode) {
    if (!dst) return -50;
    PWorld world = RegPWorldBits(dst, 0);
    if (!world) return memFullErr;
    FmRect r = rect ? *rect : FmRect{0, 0, widthOf(dst), heightOf(dst)};
    const TDB at{pos, tdb ? tdb->scale : 0, tdb ? tdb->samp : 1};
    const OSErr err = GetClipVideo(&at, clipID, world, &r, flags & kRenderDepthMask);
    pwDispose(world);
    if (err) {
        clearTransparent(dst);
        return err;
    }
    applyFieldCode(dst, interpCode);
    return noErr;
}

// Lays the picture on black: colours scaled by their alpha, alpha opaque.
void compOnBlack(PPixHand pix) {
    const int32_t w = widthOf(pix), h = heightOf(pix);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = rowOf(pix, y);
        for (int32_t x = 0; x < w; ++x, p += 4) {
            const uint32_t a = p[3];
            for (int c = 0; c < 3; ++c) p[c] = uint8_t((p[c] * a + 127) / 255);
            p[3] = 255;
        }
    }
}

}  // namespace rc::render

using namespace rc::render;

RC_API Boolean ShouldCompOnBlack(const TrackItemRec* item, int32_t fieldFlags) {
    if (!(fieldFlags & 0x20)) return false;
    if (!item) return true;
    const bool alphaKey = item->keyType >= kKeyAlpha && item->keyType <= kKeyWhiteAlphaMatte;
    return !(alphaKey && !item->keyOff);
}

RC_API OSErr GetFilteredVideo(int32_t clipID, int32_t fetchPos, int32_t filterPos,
                              const TDB* clipTdb, int32_t flags, Handle filterList, PPixHand bufA,
                              PPixHand bufB, const FmRect* rect, int32_t fieldFlags,
                              int32_t interpCode, Boolean lastPass, int32_t itemStart) {
    (void)filterPos;
    (void)filterList;
    (void)fieldFlags;
    (void)lastPass;
    (void)itemStart;
    (void)bufA;
    // Without a filter host every filter fails, and a failed filter copies
    // its source through: the frame goes straight to the destination.
    return fetchFrame(clipID, fetchPos, clipTdb, flags, bufB, rect, interpCode);
}

RC_API OSErr MotionVideo(int32_t time, const TDB* tdb, const TrackItemRec* item, PPixHand dst,
                         PPixHand scratch, int32_t options, const FmRect* rect, int32_t fieldFlags,
                         int32_t interpCode) {
    if (!item || !dst) return -50;
    const FmClipRecord* clip = rc::timeline::itemClip(item);
    const int32_t clipID = item->clipID ? item->clipID : clip ? clip->clipID : 0;
    if (!clipID) {
        clearTransparent(dst);
        return noErr;
    }
    const int32_t fetchPos = GetLocalFrame(time, tdb, item, false);
    const int32_t filterPos = GetLocalFrame(time, tdb, item, true);
    Handle filters = (options & kRenderOptFilters) ? WordToHandle(item->filterList) : nullptr;
    Handle motion = item->motionOff ? nullptr : WordToHandle(item->motion);
    const FmRect frame = rect ? *rect : FmRect{0, 0, widthOf(dst), heightOf(dst)};
    if (!motion) {
        PPixHand other = scratch ? scratch : dst;
        return GetFilteredVideo(clipID, fetchPos, filterPos, tdb, fieldFlags, filters, other, dst,
                                &frame, fieldFlags, interpCode, false, item->start);
    }
    // A moving item: the filtered frame goes to the scratch picture and
    // motion draws it into the destination.
    PPixHand own = nullptr;
    if (!scratch || widthOf(scratch) < widthOf(dst) || heightOf(scratch) < heightOf(dst)) {
        const FmRect b{0, 0, widthOf(dst), heightOf(dst)};
        own = ppixNew(&b);
        if (!own) return memFullErr;
        scratch = own;
    }
    const FmRect saved = reinterpret_cast<PPixRecord*>(*scratch)->bounds;
    reinterpret_cast<PPixRecord*>(*scratch)->bounds = FmRect{0, 0, widthOf(dst), heightOf(dst)};
    OSErr err = GetFilteredVideo(clipID, fetchPos, filterPos, tdb, fieldFlags, filters, dst,
                                 scratch, &frame, fieldFlags, interpCode, false, item->start);
    if (ShouldCompOnBlack(item, fieldFlags)) compOnBlack(scratch);
    const int32_t duration = std::max(1, item->end - item->start);
    const int32_t at = std::clamp(time - item->start, 0, duration);
    const int32_t motionErr = MotionFrame(scratch, dst, at, duration, motion, fieldFlags);
    if (!err && motionErr) err = OSErr(motionErr);
    if (own)
        ppixDispose(own);
    else
        reinterpret_cast<PPixRecord*>(*scratch)->bounds = saved;
    return err;
}

RC_API PPixHand Test_GetFrame(int32_t n, const FmRect* rect, Handle trackTable) {
    const FmRect frame = rect ? *rect : FmRect{0, 0, 320, 240};
    Handle context = NewHandleClear(sizeof(FmRenderContext));
    if (!context) return nullptr;
    PPixHand scratch = nullptr;
    if (SequenceSetup(context, &scratch, &frame) != noErr) {
        DisposeHandle(context);
        return nullptr;
    }
    TDB base{0, 25, 1};
    GetIndTrackTDB(kTrackPicture, 0, trackTable, &base);
    if (base.samp <= 0) base.samp = 1;
    const int64_t t = int64_t(n) * base.samp;
    EffectFrame(context, 1, int32_t(std::clamp<int64_t>(t, INT32_MIN, INT32_MAX)), &base, &frame,
                0x20, kRenderOptKeying | kRenderOptFilters, trackTable, 0, nullptr);
    PPixHand out = ppixNew(&frame);
    if (out) {
        copyPixels(contextOf(context)->destination, out);
        ppixSetPixelAspectRatio(out, ppixGetPixelAspectRatio(contextOf(context)->destination));
    }
    SequenceCleanup(context, scratch);
    DisposeHandle(context);
    return out;
}
