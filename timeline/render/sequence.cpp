// A run of frames: the context's pictures (SequenceSetup, SequenceCleanup),
// the data kept between frames, the frame-callback data checks and the wipe
// code window.
#include <cstring>
#include <initializer_list>

#include "reelcore/clips.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "timeline/render/render_hooks.h"
#include "timeline/render/render_internal.h"

namespace {

void disposePictures(FmRenderContext& c) {
    for (PPixHand* p : {&c.source1, &c.source2, &c.destination, &c.scratch, &c.matte}) {
        if (*p) ppixDispose(*p);
        *p = nullptr;
    }
}

}  // namespace

RC_API OSErr SequenceSetup(Handle context, PPixHand* scratch, const FmRect* rect) {
    if (scratch) *scratch = nullptr;
    if (!context || !*context || !rect) return -50;
    const int32_t w = rect->right - rect->left, h = rect->bottom - rect->top;
    if (w <= 0 || h <= 0) return -50;
    if (GetHandleSize(context) < sizeof(FmRenderContext)) {
        SetHandleSize(context, sizeof(FmRenderContext));
        if (MemError()) return memFullErr;
    }
    FmRenderContext made{};
    made.frame = FmRect{0, 0, w, h};
    // The scratch receives a whole 32-bit frame (the filtered source of a
    // moving item), so it is a picture of the frame's size, not w x h bytes.
    for (PPixHand* p :
         {&made.source1, &made.source2, &made.destination, &made.scratch, &made.matte}) {
        *p = ppixNew(&made.frame);
        if (!*p) {
            disposePictures(made);
            return memFullErr;
        }
        ppixSetPixelAspectRatio(*p, rc::render::projectAspect());
    }
    made.running = 1;
    *rc::render::contextOf(context) = made;
    if (scratch) *scratch = made.scratch;
    PMSendMessage(kHandlerHIDE, kMsgHideSequence, 1, 0, nullptr, 0);
    return noErr;
}

RC_API void SequenceCleanup(Handle context, PPixHand scratch) {
    FmRenderContext* c = rc::render::contextOf(context);
    if (c) {
        // The scratch handed back may have been swapped for another picture.
        if (scratch && scratch != c->scratch) ppixDispose(scratch);
        disposePictures(*c);
        c->running = 0;
    } else if (scratch) {
        ppixDispose(scratch);
    }
    ReleaseCompileData();
    PMSendMessage(kHandlerHIDE, kMsgHideSequence, 0, 0, nullptr, 0);
}

RC_API void ReleaseCompileData(void) {
    rc::render::releaseSequenceData();
}

RC_API int16_t GetWipeCodes(int32_t n) {
    intptr_t block[kMessageBlockWords] = {kMsgWipeCodes, n};
    return HDLRSendMessage(kHandlerWIPS, block);
}

RC_API int16_t EditWipeCodes(void) {
    return rc::render::hooks().newWindow(kHandlerWIPS);
}
