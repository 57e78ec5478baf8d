// TimeInfo and GetLocInfo: what the tracks show at a time and how the frame
// must be made (the render class); FullGarbage.
#include <cstring>
#include <vector>

#include "reelcore/envelopes.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/keying.h"
#include "reelcore/memory.h"
#include "timeline/keying/garbage.h"
#include "timeline/render/render_internal.h"
#include "timeline/tracks_internal.h"

namespace {

using rc::timeline::itemFileID;

// A superimposed item that hides everything below: full fade, plain
// opacity, no key and no garbage matte cutting into the frame.
bool hidesBelow(const TrackItemRec& item, int32_t t) {
    Handle band = WordToHandle(item.gainBand);
    const int32_t fade = band ? GetRubberValue(band, t - item.start, kBandFullFade) : 255;
    const bool plainOpacity = item.opacity == 0 || item.opacity == 100;
    const bool noKey = item.keyType == kKeyNone || item.keyOff;
    return fade == 255 && plainOpacity && noKey && FullGarbage(&item);
}

// A copy of the item covering t on the addressed track; false when none.
bool segmentAt(uint16_t mask, int32_t n, int32_t t, TrackItemRec& out, Handle table) {
    Handle ref = nullptr;
    GetTrackSegPtr(mask, n, t, &ref, table);
    if (!ref || !*ref) return false;
    std::memcpy(&out, *ref, sizeof out);
    return true;
}

bool hasMotion(const TrackItemRec& item) {
    return item.motion && !item.motionOff;
}

bool hasFilters(const TrackItemRec& item) {
    Handle list = WordToHandle(item.filterList);
    return list && *list && GetHandleSize(list) > 0;
}

// A nested timeline as A: what it shows at pos, though never drawn by its
// file directly; nothing beyond the nesting depth.
int16_t nestedFileClass(int16_t file, int32_t pos, const TDB* tdb, int32_t flags) {
    Handle table = rc::render::nestedTableOf(file);
    if (!table) return kRenderNothing;
    const int16_t cls = rc::render::nestedClass(table, pos, tdb, flags);
    return cls == kRenderDirect ? int16_t(kRenderFileLevel) : cls;
}

}  // namespace

RC_API Boolean FullGarbage(const TrackItemRec* item) {
    if (!item) return false;
    FmPoint corners[4];
    std::memcpy(corners, item->garbageMatte, sizeof corners);
    if (rc::keying::garbageUnset(corners)) return true;
    std::vector<uint8_t> mask(size_t(kGarbageRefWidth) * kGarbageRefHeight);
    return !rc::keying::rasteriseGarbage(corners, kGarbageRefWidth, kGarbageRefHeight, mask.data());
}

RC_API int16_t GetLocInfo(int32_t t, int32_t flags, const TDB* tdb, Boolean* hasA,
                          TrackItemRec* itemA, Boolean* hasB, TrackItemRec* itemB,
                          Boolean* hasTransition, TrackItemRec* transitionItem, int32_t* superCount,
                          Handle trackTable) {
    TrackItemRec a{}, b{}, tr{};
    bool haveA = segmentAt(kTrackVideoPair, 0, t, a, trackTable);
    bool haveB = segmentAt(kTrackVideoPair, 1, t, b, trackTable);
    bool haveT = segmentAt(kTrackTransition, 0, t, tr, trackTable);
    // The superimposed items: count the visible ones; the topmost that hides
    // everything below becomes the frame's only item.
    int32_t supers = 0;
    bool hidden = false;
    const int32_t superTracks = CountTypeTracks(kTrackSuperimpose, trackTable);
    for (int32_t n = 0; n < superTracks; ++n) {
        TrackItemRec s{};
        if (!segmentAt(kTrackSuperimpose, n, t, s, trackTable)) continue;
        if (rc::render::superOpacity(&s, t) == 0) continue;
        if (hidesBelow(s, t)) {
            a = s;
            hidden = true;
            continue;
        }
        ++supers;
    }
    if (hidden) {
        haveA = true;
        haveB = haveT = false;
        supers = 0;
    }
    // The application's cut transition calls no module: it shows one side.
    const intptr_t cut = GetAGlobal(kSlotCutTransition);
    if (haveT && cut && itemFileID(&tr) == int16_t(cut)) {
        if (tr.transition.source == 0) {
            a = b;
            haveA = haveB;
        }
        haveB = haveT = false;
    }
    if (!haveA && haveB && !haveT) {
        a = b;
        haveA = true;
        haveB = false;
    }

    int16_t cls = kRenderNothing;
    if (haveT || supers > 0) {
        cls = kRenderComposite;
    } else if (haveA) {
        const int16_t file = itemFileID(&a);
        if (hasMotion(a) || hasFilters(a))
            cls = kRenderComposite;
        else if (file && GetFileTypeID(file) == kFileTypeNested)
            cls = nestedFileClass(file, tdb ? GetLocalFrame(t, tdb, &a, false) : t, tdb, flags);
        else if ((a.flags & kItemHoldOn) || (file && GetFileIsStill(file)))
            cls = kRenderNothing;
        else if (file && GetFileCanDraw(file))
            cls = kRenderDirect;
        else
            cls = kRenderFileLevel;
    }
    if (hasA) *hasA = haveA;
    if (itemA) *itemA = haveA ? a : TrackItemRec{};
    if (hasB) *hasB = haveB;
    if (itemB) *itemB = haveB ? b : TrackItemRec{};
    if (hasTransition) *hasTransition = haveT;
    if (transitionItem) *transitionItem = haveT ? tr : TrackItemRec{};
    if (superCount) *superCount = supers;
    return cls;
}

RC_API int16_t TimeInfo(int32_t* time, int32_t flags, const TDB* tdb, Boolean* hasA,
                        TrackItemRec* itemA, Boolean* hasB, TrackItemRec* itemB,
                        Boolean* hasTransition, TrackItemRec* transitionItem, int32_t* superCount,
                        Handle trackTable) {
    int32_t t = time ? *time : 0;
    TDB base{0, 0, 1};
    GetIndTrackTDB(kTrackPicture, 0, trackTable, &base);
    if (tdb && base.scale > 0 && tdb->scale > 0 && base.scale != tdb->scale)
        t = TDB_TimePosConvert(t, tdb, &base);
    if (time) *time = t;
    return GetLocInfo(t, flags, base.scale > 0 ? &base : tdb, hasA, itemA, hasB, itemB,
                      hasTransition, transitionItem, superCount, trackTable);
}
