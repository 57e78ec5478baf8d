// Nested timelines: an item whose file is a timeline ('LAYR') shows that
// timeline's frame at the item's local time, rendered one level deeper.
#include <cstring>

#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "timeline/render/render_internal.h"

namespace rc::render {

namespace {

// How deep the render is inside nested timelines (0: the outermost).
thread_local int32_t level = 0;

struct Deeper {
    Deeper() { ++level; }
    ~Deeper() { --level; }
};

// The time pos of base `from` in the nested table's base.
int32_t nestedTime(Handle table, int32_t pos, const TDB* from, TDB* base) {
    *base = TDB{0, 0, 1};
    GetIndTrackTDB(kTrackPicture, 0, table, base);
    if (base->scale <= 0 || base->samp <= 0) {
        *base = from ? *from : TDB{0, 25, 1};
        return pos;
    }
    if (from && from->scale > 0 && from->scale != base->scale)
        return TDB_TimePosConvert(pos, from, base);
    return pos;
}

}  // namespace

Handle nestedTableOf(int16_t fileID) {
    if (!fileID || GetFileTypeID(fileID) != kFileTypeNested) return nullptr;
    if (level + 1 > GetAGlobal(kSlotNestingDepth)) return nullptr;
    Handle record = FindFile(fileID);
    if (!record || !*record) return nullptr;
    Handle block = reinterpret_cast<const FmFileRecord*>(*record)->handlerData;
    if (!block || !*block || GetHandleSize(block) < sizeof(FmNestedTimeline)) return nullptr;
    FmNestedTimeline nested;
    std::memcpy(&nested, *block, sizeof nested);
    if (nested.tag != kNestedTimelineTag) return nullptr;
    return WordToHandle(nested.table);
}

OSErr renderNested(Handle table, int32_t pos, const TDB* tdb, int32_t flags, PPixHand dst) {
    const FmRect frame{0, 0, widthOf(dst), heightOf(dst)};
    Handle context = NewHandleClear(sizeof(FmRenderContext));
    PPixHand scratch = nullptr;
    if (!context || SequenceSetup(context, &scratch, &frame) != noErr) {
        if (context) DisposeHandle(context);
        clearTransparent(dst);
        return memFullErr;
    }
    TDB base;
    const int32_t t = nestedTime(table, pos, tdb, &base);
    {
        Deeper deeper;
        // A whole frame of dst's size: fields, halving and the post steps
        // belong to the caller's frame.
        EffectFrame(context, 1, t, &base, &frame, flags & kRenderDepthMask,
                    kRenderOptKeying | kRenderOptFilters, table, 0, nullptr);
    }
    FmRenderContext* c = contextOf(context);
    copyPixels(c->destination, dst);
    SequenceCleanup(context, scratch);
    DisposeHandle(context);
    return noErr;
}

int16_t nestedClass(Handle table, int32_t pos, const TDB* tdb, int32_t flags) {
    TDB base;
    int32_t t = nestedTime(table, pos, tdb, &base);
    Deeper deeper;
    return TimeInfo(&t, flags, &base, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    table);
}

}  // namespace rc::render
