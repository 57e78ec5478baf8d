// Transition icons and the settings thumbnail: the transition drawn between
// two stock pictures, and the hit-testing of the thumbnail's start and end
// points.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "reelcore/depthcon.h"
#include "reelcore/globals.h"
#include "timeline/render/render_internal.h"

namespace rc::render {

namespace {

constexpr int32_t kIconSide = 32;
constexpr int32_t kThumbWidth = 117, kThumbHeight = 87;
constexpr int32_t kHitDistance = 4;

// The stock pictures: a blue field with a white block (the outgoing side)
// and an orange field with dark stripes (the incoming side).
PPixHand makeStockIcon(bool second) {
    const FmRect b{0, 0, kIconSide, kIconSide};
    PPixHand pix = ppixNew(&b);
    if (!pix) return nullptr;
    for (int32_t y = 0; y < kIconSide; ++y) {
        uint8_t* row = rowOf(pix, y);
        for (int32_t x = 0; x < kIconSide; ++x) {
            uint8_t* p = row + 4 * x;
            if (!second) {
                const bool block = x >= 10 && x < 22 && y >= 10 && y < 22;
                p[0] = block ? 255 : 200, p[1] = block ? 255 : 80, p[2] = block ? 255 : 40;
            } else {
                const bool stripe = (y / 4) % 2 == 1;
                p[0] = stripe ? 20 : 30, p[1] = stripe ? 70 : 140, p[2] = stripe ? 120 : 230;
            }
            p[3] = 255;
        }
    }
    return pix;
}

PPixHand slotPicture(int32_t slot, bool second) {
    PPixHand pix = reinterpret_cast<PPixHand>(GetAGlobal(slot));
    if (!pix) {
        pix = makeStockIcon(second);
        SetAGlobal(slot, reinterpret_cast<intptr_t>(pix));
    }
    return pix;
}

PWorld slotWorld(int32_t slot, int32_t w, int32_t h) {
    PWorld world = PWorld(GetAGlobal(slot));
    if (!world || !pwGetPPix(world)) {
        const FmRect b{0, 0, w, h};
        world = 0;
        if (NewPWorld(&world, &b) != 0) return 0;
        SetAGlobal(slot, world);
    }
    return world;
}

void drawMark(PPixHand pix, FmPoint at, uint8_t value) {
    for (int32_t y = at.y - 2; y <= at.y + 2; ++y)
        for (int32_t x = at.x - 2; x <= at.x + 2; ++x) {
            if (x < 0 || y < 0 || x >= widthOf(pix) || y >= heightOf(pix)) continue;
            uint8_t* p = rowOf(pix, y) + 4 * x;
            p[0] = p[1] = p[2] = value;
            p[3] = 255;
        }
}

}  // namespace

}  // namespace rc::render

using namespace rc::render;

RC_API PPixHand MakeFXIcon(int16_t fileID, int32_t part, int32_t total,
                           const TransitionSettings* settings, uint8_t arrowFlags) {
    PPixHand icon1 = slotPicture(kSlotStockIcon1, false);
    PPixHand icon2 = slotPicture(kSlotStockIcon2, true);
    const PWorld w1 = slotWorld(kSlotIconWorld1, kIconSide, kIconSide);
    const PWorld w2 = slotWorld(kSlotIconWorld2, kIconSide, kIconSide);
    const PWorld wd = slotWorld(kSlotIconWorldDst, kIconSide, kIconSide);
    if (!icon1 || !icon2 || !w1 || !w2 || !wd || !settings) return nullptr;
    ppixCopy(icon1, pwGetPPix(w1), nullptr, nullptr, 0, nullptr);
    ppixCopy(icon2, pwGetPPix(w2), nullptr, nullptr, 0, nullptr);
    DoEffect(fileID, part, total, w1, w2, wd, arrowFlags, settings, 1, GetCurrentTimeBase(0));
    const FmRect b{0, 0, kIconSide, kIconSide};
    PPixHand out = ppixNew(&b);
    if (out) copyPixels(pwGetPPix(wd), out);
    return out;
}

RC_API PPixHand DrawFX(int16_t fileID, const TransitionSettings* settings, uint8_t arrowFlags) {
    if (!settings) return nullptr;
    PPixHand icon1 = slotPicture(kSlotStockIcon1, false);
    PPixHand icon2 = slotPicture(kSlotStockIcon2, true);
    const PWorld thumb = slotWorld(kSlotThumbWorld, kThumbWidth, kThumbHeight);
    const FmRect b{0, 0, kThumbWidth, kThumbHeight};
    PWorld w1 = 0, w2 = 0;
    PPixHand out = nullptr;
    if (icon1 && icon2 && thumb && NewPWorld(&w1, &b) == 0 && NewPWorld(&w2, &b) == 0) {
        ppixCopy(icon1, pwGetPPix(w1), nullptr, nullptr, 0, nullptr);
        ppixCopy(icon2, pwGetPPix(w2), nullptr, nullptr, 0, nullptr);
        DoEffect(fileID, 5000, 10000, w1, w2, thumb, arrowFlags, settings, 1,
                 GetCurrentTimeBase(0));
        out = ppixNew(&b);
        if (out) {
            copyPixels(pwGetPPix(thumb), out);
            const FmPoint start = settings->startPoint, end = settings->endPoint;
            drawMark(out, start, 255);
            drawMark(out, end, 0);
        }
    }
    if (w1) DisposePWorld(w1);
    if (w2) DisposePWorld(w2);
    return out;
}

RC_API int32_t FXClick(TransitionSettings* settings, const FmPoint* down, const FmPoint* to) {
    if (!settings || !down) return 0;
    auto near = [&](const FmPoint& p) {
        return std::abs(int64_t(p.x) - down->x) <= kHitDistance &&
               std::abs(int64_t(p.y) - down->y) <= kHitDistance;
    };
    const FmPoint start = settings->startPoint, end = settings->endPoint;
    const int32_t hit = near(start) ? 1 : near(end) ? 2 : 0;
    if (hit && to) {
        const FmPoint moved{std::clamp(to->x, 0, kThumbWidth - 1),
                            std::clamp(to->y, 0, kThumbHeight - 1)};
        if (hit == 1)
            settings->startPoint = moved;
        else
            settings->endPoint = moved;
    }
    return hit;
}
