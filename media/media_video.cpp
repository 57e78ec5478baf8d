// Frames of files and clips: the request flags, the frame cache, the
// intermediate buffer, and a clip's speed and aspect bars.
#include <algorithm>
#include <cstring>

#include "media/file_table_internal.h"
#include "media/media_access_internal.h"
#include "reelcore/aspect.h"
#include "reelcore/clips.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/importers.h"
#include "reelcore/ppix.h"
#include "reelcore/pworld.h"

using namespace rc::media;

namespace {

constexpr OSType kLayerType = 0x4C415952;  // 'LAYR'
constexpr OSType kMovieType = 0x4D6F6F56;  // 'MooV'
constexpr OSType kAviType = 0x56665720;    // 'VfW '

bool emptyRect(const FmRect* r) {
    return !r || r->right <= r->left || r->bottom <= r->top;
}

PPixRecord* recOf(PPixHand pix) {
    return reinterpret_cast<PPixRecord*>(*pix);
}

// The rectangle in buffer coordinates (top-left of the buffer at 0, 0).
FmRect local(PPixHand pix, const FmRect& r) {
    const FmRect& b = recOf(pix)->bounds;
    return FmRect{r.left - b.left, r.top - b.top, r.right - b.left, r.bottom - b.top};
}

int32_t heightOf(PPixHand pix) {
    const FmRect& b = recOf(pix)->bounds;
    return b.bottom - b.top;
}

char* rowOf(PPixHand pix, int32_t y) {
    PPixRecord* r = recOf(pix);
    return r->pixels + int64_t(r->rowBytes) * (heightOf(pix) - 1 - y);
}

// Copies the whole of src (rectangle size) into dst at the local rectangle,
// leaving out what lies outside dst.
void copyInto(PPixHand src, PPixHand dst, const FmRect& at) {
    const FmRect& b = recOf(dst)->bounds;
    const int32_t dw = b.right - b.left, dh = b.bottom - b.top;
    const int32_t x0 = std::max(at.left, 0), x1 = std::min(at.right, dw);
    if (x1 <= x0) return;
    for (int32_t y = std::max(at.top, 0); y < std::min(at.bottom, dh); ++y)
        std::memcpy(rowOf(dst, y) + int64_t(x0) * 4,
                    rowOf(src, y - at.top) + int64_t(x0 - at.left) * 4, size_t(x1 - x0) * 4);
}

void fillWorld(int32_t world, const FmRect* rect, uint32_t colour) {
    if (!emptyRect(rect)) pwFillRect(world, rect, colour);
}

using DrawFn = OSErr (*)(int16_t fileID, int32_t frame, PPixHand pix, const FmRect& rect,
                         int32_t flags);

OSErr drawWithHandler(int16_t fileID, int32_t frame, PPixHand pix, const FmRect& rect,
                      int32_t flags) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    return callDrawHandler(r->handler, kDrawFrame, fileID, frame, intptr_t(pix), intptr_t(&rect),
                           flags, 0);
}

// Steps 3 to 6 of a frame request: cache, direct or intermediate drawing.
OSErr drawFrame(int16_t fileID, int32_t frame, int32_t world, const FmRect* rect, int32_t flags,
                DrawFn draw) {
    if (emptyRect(rect)) return 1;
    int32_t depth = flags & kVideoDepthMask;
    if (depth == 0) depth = 24;
    FmFileRecord* r = findFileRec(fileID);
    if (!r) {
        fillWorld(world, rect, 0);
        return kImportCannotOpen;
    }
    const bool layer = r->type == kLayerType;
    PPixHand dst = pwIsPixWorld(world) ? pwGetPPix(world) : nullptr;
    FmRect bounds{};
    pwGetBounds(world, &bounds);
    const bool sameRect = std::memcmp(&bounds, rect, sizeof bounds) == 0;
    if (!sameRect || !dst) flags |= kVideoThroughBuffer;
    const bool direct = dst && !(flags & kVideoThroughBuffer);
    const FmRect size{0, 0, rect->right - rect->left, rect->bottom - rect->top};

    if (flags & kVideoUseCache) {
        if (FBlock entry = FindFrame(fileID, frame, &size, depth)) {
            if (direct && GetFrame(entry, 0, 0, dst)) return 0;
            if (PPixHand temp = ppixNew(&size)) {
                const bool got = GetFrame(entry, 0, 0, temp);
                if (got && dst) copyInto(temp, dst, local(dst, *rect));
                if (got && !dst) PPixToWind(temp, world, &size, rect);
                ppixDispose(temp);
                if (got) return 0;
            }
        }
    }

    PPixHand target = dst;
    FmRect drawRect = direct ? local(dst, *rect) : size;
    PPixHand temp = nullptr;
    if (!direct) {
        temp = ppixNew(&size);
        if (!temp) {
            fillWorld(world, rect, 0);
            return 4;
        }
        target = temp;
    }
    const OSErr err = draw(fileID, frame, target, drawRect, flags);
    if (err == 0) {
        if (flags & kVideoUseCache) {
            const int32_t h = heightOf(target);
            const FmRect memory{drawRect.left, h - drawRect.bottom, drawRect.right,
                                h - drawRect.top};
            AddFrame(fileID, frame, &memory, layer ? 32 : depth, target);
        }
        if (temp && dst) copyInto(temp, dst, local(dst, *rect));
        if (temp && !dst) PPixToWind(temp, world, &size, rect);
    } else {
        fillWorld(world, rect, 0);
    }
    if (temp) ppixDispose(temp);
    return err;
}

OSErr importDraw(int16_t fileID, int32_t frame, PPixHand pix, const FmRect& rect, int32_t flags) {
    return rc::plugins::importImage(fileID, frame, pix, rect, flags);
}

// The request flags for a file (step 2): stills, buffers and no-caching.
int32_t fileFlags(const FmFileRecord* r, int32_t flags) {
    if (r->still && (flags & kVideoStillCache)) flags |= kVideoUseCache;
    if (r->drawsDirectly == 0 && r->info.drawsExternal) flags |= kVideoThroughBuffer;
    if (r->noCaching && GetAGlobal(kSlotNoCacheOverride) == 0) flags &= ~kVideoUseCache;
    const int32_t w = r->info.frame.right - r->info.frame.left;
    const int32_t h = r->info.frame.bottom - r->info.frame.top;
    if ((r->type == kMovieType || r->type == kAviType) && w >= 640 && h >= 480 &&
        GetAGlobal(kSlotBigFieldInterp))
        flags |= kVideoThroughBuffer;
    if (GetAGlobal(kSlotForceBuffer)) flags |= kVideoThroughBuffer;
    return flags;
}

// The file's description, read when nothing has read it yet: the frame
// number, the picture size and the aspect bars all come from it.
FmFileRecord* describedFile(int16_t fileID) {
    FmFileRecord* r = findFileRec(fileID);
    if (r && r->info.mediaFlags == 0) {
        FmMediaInfo info{};
        GetInfo(fileID, &info, 0);
        r = findFileRec(fileID);  // reading may have moved the record
    }
    return r;
}

int32_t frameOf(const FmFileRecord* r, const TDB* time) {
    if (r->still || !time || time->scale <= 0) return 0;
    const TDB& v = r->info.video;
    const int64_t den = int64_t(time->scale) * (v.samp > 0 ? v.samp : 1);
    const int64_t num = int64_t(time->value) * (v.scale > 0 ? v.scale : 30);
    int64_t f = num / den;
    if ((num % den != 0) && ((num < 0) != (den < 0))) --f;  // floor
    return int32_t(std::clamp<int64_t>(f, INT32_MIN, INT32_MAX));
}

}  // namespace

RC_API OSErr ImportVideo(int16_t fileID, int32_t frame, int32_t world, const FmRect* rect,
                         int32_t flags) {
    FmFileRecord* r = findFileRec(fileID);
    if (!r) return kImportCannotOpen;
    // No compatibility port exists for windows: every window destination is
    // drawn through a buffer.
    return drawFrame(fileID, frame, world, rect, fileFlags(r, flags), importDraw);
}

RC_API OSErr GetVideo(const TDB* time, int16_t fileID, int32_t world, const FmRect* rect,
                      int32_t flags, int32_t range) {
    (void)range;
    if (emptyRect(rect)) return 1;
    FmFileRecord* r = describedFile(fileID);
    if (!r) {
        fillWorld(world, rect, 0);
        return kImportCannotOpen;
    }
    const int32_t frame = frameOf(r, time);
    if (ImporterExists(r->handler)) return ImportVideo(fileID, frame, world, rect, flags);
    return drawFrame(fileID, frame, world, rect, fileFlags(r, flags), drawWithHandler);
}

namespace {

// The clip's time as a time in the file's video time base.
TDB clipFileTime(int32_t clipID, const TDB* time) {
    const int16_t fileID = ClipFile(clipID);
    FmFileRecord* f = findFileRec(fileID);
    TDB out = time ? *time : TDB{0, 30, 1};
    if (!f || !time || time->scale <= 0) return out;
    const float rate = ClipRate(clipID);
    if (rate != 100.0f && !importerIsSynthetic(f->handler) && !f->info.noDuration) {
        const double scale = f->info.video.scale > 0 ? f->info.video.scale : 30;
        const double value =
            double(rate) * scale * double(time->value) * 0.01 / double(time->scale);
        out = TDB{int32_t(std::clamp(value, -2147483648.0, 2147483647.0)), int32_t(scale), 1};
    }
    return out;
}

// The picture rectangle of a clip kept at its aspect inside rect, and the
// two bars beside it.
void aspectRects(const FmFileRecord* f, uint32_t dstAspect, const FmRect& rect, FmRect* picture,
                 FmRect bars[2]) {
    *picture = rect;
    bars[0] = bars[1] = FmRect{rect.left, rect.top, rect.left, rect.top};
    const double fw = f->info.frame.right - f->info.frame.left;
    const double fh = f->info.frame.bottom - f->info.frame.top;
    if (fw <= 0 || fh <= 0) return;
    auto ratio = [](uint32_t code) {
        const double n = code >> 16, d = code & 0xFFFF;
        return (code <= 1 || n == 0 || d == 0) ? 1.0 : n / d;
    };
    const double srcWide = fw * ratio(uint32_t(f->info.pixelAspect)) / fh;
    const double rw = rect.right - rect.left, rh = rect.bottom - rect.top;
    const double dstWide = rw * ratio(dstAspect) / rh;
    if (srcWide > dstWide) {  // bars above and below
        const int32_t h = int32_t(rh * dstWide / srcWide + 0.5);
        const int32_t top = rect.top + (int32_t(rh) - h) / 2;
        *picture = FmRect{rect.left, top, rect.right, top + h};
        bars[0] = FmRect{rect.left, rect.top, rect.right, top};
        bars[1] = FmRect{rect.left, top + h, rect.right, rect.bottom};
    } else if (srcWide < dstWide) {  // bars left and right
        const int32_t w = int32_t(rw * srcWide / dstWide + 0.5);
        const int32_t left = rect.left + (int32_t(rw) - w) / 2;
        *picture = FmRect{left, rect.top, left + w, rect.bottom};
        bars[0] = FmRect{rect.left, rect.top, left, rect.bottom};
        bars[1] = FmRect{left + w, rect.top, rect.right, rect.bottom};
    }
}

}  // namespace

RC_API OSErr GetClipVideo(const TDB* time, int32_t clipID, int32_t world, const FmRect* rect,
                          int32_t flags) {
    if (emptyRect(rect)) return 1;
    if (!(FmClipFlags(clipID) & kClipVideo)) {
        fillWorld(world, rect, 0);
        return 1;
    }
    const int16_t fileID = ClipFile(clipID);
    FmFileRecord* f = describedFile(fileID);
    if (!f) {
        fillWorld(world, rect, 0);
        return kImportCannotOpen;
    }
    PPixHand pix = pwIsPixWorld(world) ? pwGetPPix(world) : nullptr;
    const uint32_t savedAspect = pix ? ppixGetPixelAspectRatio(pix) : 0;
    FmRect picture = *rect;
    FmRect bars[2] = {};
    const bool aspect = ClipAspect(clipID) != 0;
    if (aspect) {
        uint32_t dstAspect =
            savedAspect > 1 ? savedAspect : uint32_t(GetAGlobal(kSlotDefaultAspect));
        aspectRects(f, dstAspect, *rect, &picture, bars);
    }
    const TDB fileTime = clipFileTime(clipID, time);
    const OSErr err = GetVideo(&fileTime, fileID, world, &picture, flags, 0);
    if (aspect) {
        const int32_t c = ClipAspectColor(clipID);
        for (const FmRect& bar : bars) fillWorld(world, &bar, uint32_t(c));
    }
    if (pix) ppixSetPixelAspectRatio(pix, savedAspect);
    return err;
}

RC_API Boolean CheckClipFrame(const TDB* time, int32_t clipID, const FmRect* rect, int32_t depth) {
    const int16_t fileID = ClipFile(clipID);
    FmFileRecord* f = findFileRec(fileID);
    if (!f || emptyRect(rect)) return false;
    const TDB fileTime = clipFileTime(clipID, time);
    const FmRect size{0, 0, rect->right - rect->left, rect->bottom - rect->top};
    return FindFrame(fileID, frameOf(f, &fileTime), &size, depth ? depth : 24) != nullptr;
}
