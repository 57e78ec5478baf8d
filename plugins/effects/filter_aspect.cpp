// Square pixels for video filters: a filter that cannot cope with
// non-square pixels runs on copies of its pictures scaled to square pixels,
// and its result is scaled back into the real destination.
#include "plugins/effects/effect_host.h"
#include "reelcore/aspect.h"
#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/ppix.h"

namespace rc::effects {
namespace {

constexpr uint32_t kSquare = 0x10001;

// The module's ANIM filter flags declare that it copes with any aspect.
bool copesWithAnyAspect(int16_t fileID) {
    Handle pipl = GetPiPLHandle(fileID);
    if (!pipl) return false;
    RcAnimFilterInfo info;
    const bool declared = GetAnimFilterInfo(pipl, &info) &&
                          (info.flags & (kRcAnimAnyAspect | kRcAnimAnyAspectToo)) != 0;
    DisposeHandle(pipl);
    return declared;
}

bool wantsSquarePixels(int16_t fileID, OSType kind, int16_t selector, Handle record) {
    if (selector > kRcFilterSetup || GetAGlobal(kSlotSquarePixelMode) < 0) return false;
    const auto& r = *reinterpret_cast<const RcVideoFilterRecord*>(*record);
    Handle src = handleOf(r.source), dst = handleOf(r.destination);
    if (!src || !dst || !*src || !*dst) return false;
    const uint32_t aspect = ppixGetPixelAspectRatio(src);
    if (aspect <= 1 || aspect == kSquare) return false;
    if (copesWithAnyAspect(fileID)) return false;
    if (kind != kKindVideo) return false;
    const int16_t answer = callVersioned(fileID, kind, kRcFilterAspectQuery, record);
    return (answer & (selector == kRcFilterProcess ? 4 : 2)) != 0;
}

PPixHand squareCopyOf(PPixHand pix, uint32_t aspect, bool copyPixels) {
    FmRect b;
    ppixGetBounds(pix, &b);
    const int32_t width = FmPixelWidthScale(aspect, b.right - b.left);
    if (width <= 0) return nullptr;
    const FmRect square{0, 0, width, b.bottom - b.top};
    PPixHand out = ppixNew(&square);
    if (!out) return nullptr;
    ppixSetPixelAspectRatio(out, kSquare);
    if (copyPixels) ppixCopy(pix, out, nullptr, nullptr, 0, nullptr);
    return out;
}

}  // namespace

int16_t callVideoWithAspect(int16_t fileID, OSType kind, int16_t selector, bool aspectAllowed,
                            Handle record, RcFilterListEntry* entry) {
    if (!aspectAllowed || !wantsSquarePixels(fileID, kind, selector, record))
        return callFilterKind(fileID, kind, selector, record, entry);

    auto* r = reinterpret_cast<RcVideoFilterRecord*>(*record);
    const uint32_t srcWord = r->source, dstWord = r->destination;
    const uint32_t aspect = ppixGetPixelAspectRatio(handleOf(srcWord));
    PPixHand sqSrc = squareCopyOf(handleOf(srcWord), aspect, true);
    PPixHand sqDst = squareCopyOf(handleOf(dstWord), aspect, false);
    if (!sqSrc || !sqDst) {
        ppixDispose(sqSrc);
        ppixDispose(sqDst);
        return memFullErr;
    }
    r->source = HandleToWord(sqSrc);
    r->destination = HandleToWord(sqDst);
    const int16_t result = callFilterKind(fileID, kind, selector, record, entry);
    r = reinterpret_cast<RcVideoFilterRecord*>(*record);
    r->source = srcWord;
    r->destination = dstWord;
    if (result == noErr) ppixCopy(sqDst, handleOf(dstWord), nullptr, nullptr, 0, nullptr);
    ppixDispose(sqSrc);
    ppixDispose(sqDst);
    return result;
}

}  // namespace rc::effects
