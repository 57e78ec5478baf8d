// Step 8 of a frame: A and B under a transition.
#include <algorithm>
#include <cstring>

#include "timeline/render/render_hooks.h"
#include "timeline/render/render_internal.h"
#include "timeline/tracks_internal.h"

namespace rc::render {

void fillBlack(PPixHand pix) {
    const int32_t w = widthOf(pix), h = heightOf(pix);
    for (int32_t y = 0; y < h; ++y) {
        uint32_t* p = reinterpret_cast<uint32_t*>(rowOf(pix, y));
        std::fill(p, p + w, 0xFF000000u);
    }
}

void renderTransition(FmRenderContext* c, int32_t time, const TDB* tdb, int32_t flags,
                      int32_t options, const TrackItemRec& a, bool hasA, const TrackItemRec& b,
                      bool hasB, const TrackItemRec& transition, bool field, int32_t second) {
    (void)field;
    (void)second;
    // A into source 2 and B into source 1 when the settings' source and
    // reverse bytes are equal, otherwise the other way round.
    const bool same = transition.transition.source == transition.transition.reverse;
    PPixHand forA = same ? c->source2 : c->source1;
    PPixHand forB = same ? c->source1 : c->source2;
    auto render = [&](const TrackItemRec& item, bool present, PPixHand dst) {
        if (!present) {
            clearTransparent(dst);
            ppixSetPixelAspectRatio(dst, 0x10001);
            return;
        }
        const int32_t code = CalcInterp(&item, time, tdb, flags);
        MotionVideo(time, tdb, &item, dst, c->scratch, options, nullptr, flags, code);
    };
    render(a, hasA, forA);
    render(b, hasB, forB);
    // No transition host: the module cannot be called, which leaves black.
    fillBlack(c->destination);
}

}  // namespace rc::render
