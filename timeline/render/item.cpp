// One item of a frame: its source frame (with the field code applied), its
// filter chain and its motion; Test_GetFrame.
#include <algorithm>
#include <cstring>

#include "reelcore/clips.h"
#include "reelcore/effects.h"
#include "reelcore/filetable.h"
#include "reelcore/keying.h"
#include "reelcore/media_access.h"
#include "reelcore/memory.h"
#include "reelcore/motion.h"
#include "reelcore/mp.h"
#include "reelcore/pworld.h"
#include "timeline/mp_bands.h"
#include "timeline/render/render_hooks.h"
#include "timeline/render/render_internal.h"
#include "timeline/tracks_internal.h"

namespace rc::render {

uint32_t squeezedAspect(uint32_t aspect, int32_t flags) {
    uint32_t n = aspect >> 16, d = aspect & 0xFFFF;
    if (aspect <= 1 || n == 0 || d == 0) n = d = 1;
    uint32_t wide = 1, tall = 1;
    if (flags & (kRenderUpperField | kRenderLowerField)) tall *= 2;
    if (flags & kRenderHalfHeight) tall *= 2;
    if (flags & kRenderHalfWidth) wide *= 2;
    if (wide == tall) return aspect;
    n *= wide;
    d *= tall;
    while (n > 0xFFFF || d > 0xFFFF) n = (n + 1) / 2, d = (d + 1) / 2;
    return n << 16 | d;
}

OSErr fetchFrame(int32_t clipID, int32_t pos, const TDB* tdb, int32_t flags, PPixHand dst,
                 const FmRect* rect, int32_t interpCode) {
    if (!dst) return -50;
    const int16_t file = ClipFile(clipID);
    if (file && GetFileTypeID(file) == kFileTypeNested) {
        // A nested timeline, or transparent black beyond the nesting depth.
        if (Handle table = nestedTableOf(file))
            renderNested(table, pos, tdb, flags, dst);
        else
            clearTransparent(dst);
        applyFieldCode(dst, interpCode);
        return noErr;
    }
    PWorld world = RegPWorldBits(dst, 0);
    if (!world) return memFullErr;
    FmRect r = rect ? *rect : FmRect{0, 0, widthOf(dst), heightOf(dst)};
    const TDB at{pos, tdb ? tdb->scale : 0, tdb ? tdb->samp : 1};
    // A field or a half-size picture shows the whole frame squeezed: its
    // pixels are taller (or wider) by the squeeze, so a clip kept at its
    // aspect is letterboxed as in the whole frame.
    const uint32_t aspect = ppixGetPixelAspectRatio(dst);
    ppixSetPixelAspectRatio(dst, squeezedAspect(aspect, flags));
    // Stills come from the frame cache after their first fetch.
    const OSErr err =
        GetClipVideo(&at, clipID, world, &r, (flags & kRenderDepthMask) | kVideoStillCache);
    ppixSetPixelAspectRatio(dst, aspect);
    pwDispose(world);
    if (err) {
        clearTransparent(dst);
        return err;
    }
    applyFieldCode(dst, interpCode);
    return noErr;
}

// Lays the picture on black: colours scaled by their alpha, alpha opaque.
// Opaque pixels keep their colours, so only the others are computed.
void compOnBlack(PPixHand pix) {
    const int32_t w = widthOf(pix), h = heightOf(pix);
    rc::mp::runRowBands(h, kMPMinSplitRows, [&](int32_t first, int32_t count) {
        for (int32_t y = first; y < first + count; ++y) {
            uint8_t* p = rowOf(pix, y);
            for (int32_t x = 0; x < w; ++x, p += 4) {
                const uint32_t a = p[3];
                if (a == 255) continue;
                for (int c = 0; c < 3; ++c) p[c] = uint8_t((p[c] * a + 127) / 255);
                p[3] = 255;
            }
        }
    });
}

constexpr OSType kFileTypeXE = 0x65464B54;  // 'eFKT'

int32_t filterCount(Handle list) {
    if (!list || !*list) return 0;
    return int32_t(GetHandleSize(list) / sizeof(RcFilterListEntry));
}

RcFilterListEntry entryAt(Handle list, int32_t i) {
    RcFilterListEntry e;
    std::memcpy(&e, *list + size_t(i) * sizeof e, sizeof e);
    return e;
}

void setEntry(Handle list, int32_t i, const RcFilterListEntry& e) {
    std::memcpy(*list + size_t(i) * sizeof e, &e, sizeof e);
}

bool hasActiveXEFilter(const TrackItemRec& item) {
    Handle list = WordToHandle(item.filterList);
    for (int32_t i = 0; i < filterCount(list); ++i) {
        const RcFilterListEntry e = entryAt(list, i);
        if (!e.shy && GetFileTypeID(e.fileID) == kFileTypeXE) return true;
    }
    return false;
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
    (void)itemStart;
    const int32_t entries = filterCount(filterList);
    int32_t enabled = 0;
    for (int32_t i = 0; i < entries; ++i) enabled += entryAt(filterList, i).shy == 0;
    if (enabled == 0 || !bufA || bufA == bufB) {
        const OSErr err = fetchFrame(clipID, fetchPos, clipTdb, flags, bufB, rect, interpCode);
        return err;
    }
    // Fetch into the buffer that leaves the last pass writing bufB.
    const int32_t passes = enabled + (lastPass ? 1 : 0);
    PPixHand cur = (passes % 2) ? bufA : bufB;
    PPixHand other = cur == bufA ? bufB : bufA;
    const OSErr fetched = fetchFrame(clipID, fetchPos, clipTdb, flags, cur, rect, interpCode);
    const TDB tdb = clipTdb ? *clipTdb : TDB{0, 30, 1};
    Handle record = NewHandleClear(sizeof(RcVideoFilterRecord));
    if (!record) {
        copyPixels(cur, other);
        return memFullErr;
    }
    const int32_t start = ClipStart(clipID, &tdb), width = ClipWidth(clipID, &tdb);
    for (int32_t i = 0; i < entries; ++i) {
        RcFilterListEntry entry = entryAt(filterList, i);
        if (entry.shy) continue;
        Handle data = newCallbackData(kRcFrameDataClip, fetchPos, tdb, nullptr, clipID, filterList,
                                      i, fieldFlags);
        auto& r = *reinterpret_cast<RcVideoFilterRecord*>(*record);
        std::memset(&r, 0, sizeof r);
        r.specsHandle = entry.compSpec;
        r.source = HandleToWord(cur);
        r.destination = HandleToWord(other);
        r.part = filterPos - start;
        r.total = width > 0 ? width : 1;
        r.privateData = HandleToWord(data);
        r.callBack = frameCallbackProc();
        r.version = kRcVideoFilterRecordVersion;
        r.fieldFlags = int16_t(fieldFlags);
        r.tdb = reinterpret_cast<const RcTimeBase*>(&tdb);
        if (GetFileTypeID(entry.fileID) == kFileTypeXE)
            UnflattenXESequenceData(entry.fileID, &entry);
        const int16_t err = hooks().filter(entry.fileID, kRcFilterProcess, record, &entry);
        if (err) {
            copyPixels(cur, other);  // a failed filter passes its source on
        } else {
            entry.compSpec = reinterpret_cast<RcVideoFilterRecord*>(*record)->specsHandle;
        }
        setEntry(filterList, i, entry);
        if (data) DisposeHandle(data);
        std::swap(cur, other);
    }
    DisposeHandle(record);
    return fetched;
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
    if (!motion && !filters) {
        return GetFilteredVideo(clipID, fetchPos, filterPos, tdb, fieldFlags, nullptr, nullptr, dst,
                                &frame, fieldFlags, interpCode, false, item->start);
    }
    // A second picture of the destination's size: the scratch, else our own.
    PPixHand own = nullptr;
    const FmRect size{0, 0, widthOf(dst), heightOf(dst)};
    if (!scratch || scratch == dst || widthOf(scratch) < size.right ||
        heightOf(scratch) < size.bottom) {
        own = ppixNew(&size);
        if (!own) return memFullErr;
        scratch = own;
    }
    PPixRecord* work = reinterpret_cast<PPixRecord*>(*scratch);
    const FmRect saved = work->bounds;
    work->bounds = size;
    ppixSetPixelAspectRatio(scratch, ppixGetPixelAspectRatio(dst));
    OSErr err;
    if (!motion) {
        err = GetFilteredVideo(clipID, fetchPos, filterPos, tdb, fieldFlags, filters, scratch, dst,
                               &frame, fieldFlags, interpCode, false, item->start);
    } else {
        // The filtered frame goes to the scratch and motion draws it into
        // the destination.
        err = GetFilteredVideo(clipID, fetchPos, filterPos, tdb, fieldFlags, filters, dst, scratch,
                               &frame, fieldFlags, interpCode, false, item->start);
        if (ShouldCompOnBlack(item, fieldFlags)) compOnBlack(scratch);
        const int32_t duration = std::max(1, item->end - item->start);
        const int32_t at = std::clamp(time - item->start, 0, duration);
        const int32_t motionErr = MotionFrame(scratch, dst, at, duration, motion, fieldFlags);
        if (!err && motionErr) err = OSErr(motionErr);
    }
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
