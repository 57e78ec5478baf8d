// The pixel-world table: 200 entries in slot 233, each naming a buffer, a
// window, or a caller's device context.
#include <cstring>

#include "pixels/ppix_internal.h"
#include "platform/surface.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/pworld.h"

namespace {

PWorldEntry* tableBase() {
    return reinterpret_cast<PWorldEntry*>(GetAGlobal(kSlotPWorldTable));
}

// The in-use entry of a world number, or null.
PWorldEntry* entry(PWorld world) {
    PWorldEntry* t = tableBase();
    if (!t || world < 1 || world > kPWorldCount) return nullptr;
    PWorldEntry* e = &t[world - 1];
    return e->inUse ? e : nullptr;
}

// The first free entry's number, or 0.
PWorld firstFree() {
    PWorldEntry* t = tableBase();
    if (!t) return 0;
    for (int i = 0; i < kPWorldCount; ++i)
        if (!t[i].inUse) return i + 1;
    return 0;
}

PWorld claim(uint8_t isPix, uint32_t object, FmDC onscreen, bool owns, bool doubleBuffer,
             bool withPort) {
    PWorld n = firstFree();
    if (n == 0) return 0;
    PWorldEntry& e = tableBase()[n - 1];
    e = PWorldEntry{};
    e.isPixWorld = isPix;
    e.inUse = 1;
    e.ownsBuffer = owns;
    e.needsDoubleBuffering = doubleBuffer;
    e.offscreenWithPort = withPort;
    e.object = object;
    e.onscreen = onscreen;
    return n;
}

void release(PWorldEntry& e) {
    if (e.isPixWorld && e.ownsBuffer) ppixDispose(WordToHandle(e.object));
    e = PWorldEntry{};
}

int32_t screenDepth() {
    intptr_t d = GetAGlobal(kSlotScreenDepth);
    return d > 0 ? static_cast<int32_t>(d) : 32;
}

// The context a window entry draws into: its own, or one borrowed from the
// window (released by the caller when `borrowed` is set).
FmDC contextOf(const PWorldEntry& e, bool& borrowed) {
    borrowed = false;
    if (e.onscreen) return e.onscreen;
    if (e.isPixWorld || e.offscreenWithPort) return nullptr;
    FmDC dc = rc::platform::getWindowDC(e.object);
    borrowed = dc != nullptr;
    return dc;
}

}  // namespace

extern "C" {

RC_API int32_t pwInit(void) {
    if (tableBase()) return 0;
    Ptr t = NewPtrClear(sizeof(PWorldEntry) * kPWorldCount);
    if (!t) return 1;
    SetAGlobal(kSlotPWorldTable, reinterpret_cast<intptr_t>(t));
    return 0;
}

RC_API void pwShutdown(void) {
    PWorldEntry* t = tableBase();
    if (!t) return;
    for (int i = 0; i < kPWorldCount; ++i)
        if (t[i].inUse) release(t[i]);
    DisposePtr(reinterpret_cast<Ptr>(t));
    SetAGlobal(kSlotPWorldTable, 0);
}

RC_API int32_t pwNew(PWorld* world, const FmRect* bounds, intptr_t object, int32_t kind) {
    if (world) *world = 0;
    if (!world || !tableBase()) return memFullErr;
    if (kind == kPWorldPixels) {
        if (firstFree() == 0) return 1;
        PPixHand pix = reinterpret_cast<PPixHand>(object);
        bool owns = false;
        if (!pix) {
            pix = ppixNew(bounds);
            if (!pix) return memFullErr;
            owns = true;
        }
        *world = claim(1, HandleToWord(pix), nullptr, owns, false, false);
        return 0;
    }
    if (kind == kPWorldWindow) {
        *world = claim(0, static_cast<uint32_t>(object), nullptr, false, true, false);
        return *world ? 0 : memFullErr;
    }
    if (kind == kPWorldPort) {
        *world = claim(0, 0, reinterpret_cast<FmDC>(object), false, false, true);
        return *world ? 0 : memFullErr;
    }
    return -50;
}

RC_API int32_t NewPWorld(PWorld* world, const FmRect* bounds) {
    return pwNew(world, bounds, 0, kPWorldPixels);
}

RC_API PWorld RegPWorldBits(PPixHand pix, int32_t owns) {
    if (!pix || !tableBase()) return 0;
    return claim(1, HandleToWord(pix), nullptr, owns != 0, false, false);
}

RC_API PWorld RegPWorldWnd(uint32_t window) {
    if (!tableBase()) return 0;
    return claim(0, window, nullptr, false, true, false);
}

RC_API int32_t pwDispose(PWorld world) {
    if (PWorldEntry* e = entry(world)) release(*e);
    return 0;
}

RC_API int32_t DisposePWorld(PWorld world) {
    return pwDispose(world);
}

RC_API PPixHand pwGetPPix(PWorld world) {
    PWorldEntry* e = entry(world);
    return e && e->isPixWorld ? WordToHandle(e->object) : nullptr;
}

RC_API PPixHand GetPWorldBits(PWorld world) {
    return pwGetPPix(world);
}

RC_API uint32_t pwGetWnd(PWorld world) {
    PWorldEntry* e = entry(world);
    return e && !e->isPixWorld && !e->offscreenWithPort ? e->object : 0;
}

RC_API int32_t pwGetDepth(PWorld world) {
    PWorldEntry* e = entry(world);
    if (!e) return 0;
    return e->isPixWorld ? 32 : screenDepth();
}

RC_API int32_t pwGetNeedsDoubleBuffering(PWorld world) {
    PWorldEntry* e = entry(world);
    return e ? e->needsDoubleBuffering : 1;
}

RC_API void pwGetOnscreenInfo(PWorld world, FmDC* context) {
    if (!context) return;
    PWorldEntry* e = entry(world);
    *context = e && !e->isPixWorld ? e->onscreen : nullptr;
}

RC_API void pwSetOnscreenInfo(PWorld world, const FmDC* context) {
    PWorldEntry* e = entry(world);
    if (e && !e->isPixWorld) e->onscreen = context ? *context : nullptr;
}

RC_API int32_t pwIsPixWorld(PWorld world) {
    PWorldEntry* e = entry(world);
    return e ? e->isPixWorld : 0;
}

RC_API int32_t pwIsOffscreenWithPort(PWorld world) {
    PWorldEntry* e = entry(world);
    return e ? e->offscreenWithPort : 0;
}

RC_API void pwGetBounds(PWorld world, FmRect* bounds) {
    if (!bounds) return;
    *bounds = FmRect{0, 0, 0, 0};
    PWorldEntry* e = entry(world);
    if (!e) return;
    if (e->isPixWorld) {
        ppixGetBounds(WordToHandle(e->object), bounds);
        return;
    }
    // A window's client rectangle is its surface; a port world's is its
    // context's target.
    rc::platform::Surface* s = nullptr;
    if (e->onscreen)
        s = e->onscreen->target;
    else if (!e->offscreenWithPort)
        s = rc::platform::surfaceForWindow(e->object);
    if (s) *bounds = FmRect{0, 0, s->width, s->height};
}

RC_API void pwFillRect(PWorld world, const FmRect* rect, uint32_t colour) {
    PWorldEntry* e = entry(world);
    if (!e) return;
    if (e->isPixWorld) {
        ppixFillRectTransparent(WordToHandle(e->object), rect, colour);
        return;
    }
    bool borrowed = false;
    FmDC dc = contextOf(*e, borrowed);
    if (!dc) return;
    FmRect area = rect ? *rect : FmRect{0, 0, dc->target->width, dc->target->height};
    rc::platform::fillSurfaceRect(dc, area, rc::pixels::pixelFromColour(colour, 0) & 0xFFFFFF);
    if (borrowed) rc::platform::releaseDC(dc);
}

RC_API int32_t PPixToWind(PPixHand pix, PWorld world, const FmRect* src, const FmRect* dst) {
    PWorldEntry* e = entry(world);
    if (!e || e->isPixWorld) return 1;
    bool borrowed = false;
    FmDC dc = contextOf(*e, borrowed);
    if (!dc) return 1;
    int32_t result = ppixToScreen(pix, dc, src, dst);
    if (borrowed) rc::platform::releaseDC(dc);
    return result;
}

RC_API int32_t pwPWorldToScreen(PWorld src, PWorld dst, const FmRect* srcRect,
                                const FmRect* dstRect) {
    PPixHand pix = pwGetPPix(src);
    if (!pix) return 1;
    return PPixToWind(pix, dst, srcRect, dstRect);
}

RC_API int32_t pwPWorldToWind(PWorld src, uint32_t window, const FmRect* srcRect,
                              const FmRect* dstRect) {
    PPixHand pix = pwGetPPix(src);
    if (!pix) return 1;
    PWorld w = RegPWorldWnd(window);
    if (w == 0) return memFullErr;
    int32_t result = PPixToWind(pix, w, srcRect, dstRect);
    pwDispose(w);
    return result;
}

}  // extern "C"
