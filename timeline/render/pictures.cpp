// Picture helpers of the render core over 32-bit ppix buffers, the post
// steps, and the superimpose opacity.
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "reelcore/envelopes.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "timeline/mp_bands.h"
#include "timeline/render/render_internal.h"

namespace rc::render {

FmRenderContext* contextOf(Handle context) {
    if (!context || !*context || GetHandleSize(context) < sizeof(FmRenderContext)) return nullptr;
    return reinterpret_cast<FmRenderContext*>(*context);
}

int32_t widthOf(PPixHand pix) {
    if (!pix || !*pix) return 0;
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    return r->bounds.right - r->bounds.left;
}

int32_t heightOf(PPixHand pix) {
    if (!pix || !*pix) return 0;
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    return r->bounds.bottom - r->bounds.top;
}

uint8_t* rowOf(PPixHand pix, int32_t y) {
    const auto* r = reinterpret_cast<const PPixRecord*>(*pix);
    return reinterpret_cast<uint8_t*>(r->pixels) + int64_t(r->rowBytes) * (heightOf(pix) - 1 - y);
}

void forRows(int32_t rows, const std::function<void(int32_t y)>& row) {
    rc::mp::runRowBands(rows, kMPMinSplitRows, [&](int32_t first, int32_t count) {
        for (int32_t y = first; y < first + count; ++y) row(y);
    });
}

void clearTransparent(PPixHand pix) {
    const int32_t w = widthOf(pix), h = heightOf(pix);
    forRows(h, [&](int32_t y) { std::memset(rowOf(pix, y), 0, size_t(w) * 4); });
}

void copyPixels(PPixHand src, PPixHand dst) {
    if (!src || !dst || src == dst) return;
    const int32_t w = std::min(widthOf(src), widthOf(dst));
    const int32_t h = std::min(heightOf(src), heightOf(dst));
    forRows(h, [&](int32_t y) { std::memcpy(rowOf(dst, y), rowOf(src, y), size_t(w) * 4); });
}

void flickerFilter(PPixHand pix) {
    const int32_t w = widthOf(pix), h = heightOf(pix);
    if (h < 3) return;
    const size_t bytes = size_t(w) * 4;
    std::vector<uint8_t> above(rowOf(pix, 0), rowOf(pix, 0) + bytes), here(bytes);
    for (int32_t y = 1; y + 1 < h; ++y) {
        uint8_t* row = rowOf(pix, y);
        const uint8_t* below = rowOf(pix, y + 1);
        std::memcpy(here.data(), row, bytes);
        for (size_t i = 0; i < bytes; ++i)
            row[i] = uint8_t((above[i] + 2 * here[i] + below[i] + 2) >> 2);
        above.swap(here);
    }
}

void deinterlaceLowerField(PPixHand pix) {
    const int32_t w = widthOf(pix), h = heightOf(pix);
    const size_t bytes = size_t(w) * 4;
    for (int32_t y = 1; y < h; y += 2) {
        uint8_t* row = rowOf(pix, y);
        const uint8_t* up = rowOf(pix, y - 1);
        if (y + 1 >= h) {
            std::memcpy(row, up, bytes);
            continue;
        }
        const uint8_t* down = rowOf(pix, y + 1);
        for (size_t i = 0; i < bytes; ++i) row[i] = uint8_t((up[i] + down[i] + 1) >> 1);
    }
}

uint32_t projectAspect() {
    const uint32_t a = uint32_t(GetAGlobal(kSlotProjectAspect));
    return a ? a : 0x10001u;
}

int32_t superOpacity(const TrackItemRec* item, int32_t t) {
    Handle band = WordToHandle(item->gainBand);
    // An item without a fade band shows at full strength rather than not at all.
    const int64_t fade = band ? GetRubberValue(band, t - item->start, kBandFullFade) : 255;
    int64_t opacity = fade * 257;
    if (item->opacity) opacity = opacity * item->opacity / 100;
    return int32_t(std::clamp<int64_t>(opacity, 0, 65535));
}

}  // namespace rc::render
