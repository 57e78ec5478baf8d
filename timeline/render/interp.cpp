// CalcInterp: the field-processing code of an item's frame fetch, from the
// item's field options, the render flags and the clip's speed; and what the
// fetch does with each code.
#include <cmath>
#include <cstring>
#include <vector>

#include "reelcore/clips.h"
#include "timeline/render/render_internal.h"
#include "timeline/tracks_internal.h"

namespace {

// The field a slow-motion source shows: -1 at normal speed or faster, else
// 0 or 1 by the parity of the field reached at the clip's speed.
int32_t slowMotionParity(const TrackItemRec* item, int32_t time, const TDB* tdb, int32_t flags,
                         const FmClipRecord* clip) {
    const double speed = clip ? std::fabs(double(clip->rate)) : 100.0;
    if (!clip || speed == 0 || speed >= 100) return -1;
    const int32_t samp = tdb && tdb->samp > 0 ? tdb->samp : 1;
    const int64_t frame = GetLocalFrame(time, tdb, item, false) / samp;
    const double x = double(frame) * speed * 0.02;
    int32_t p = int32_t((int64_t(std::floor(x)) + (clip->backwards ? 1 : 0)) & 1);
    if (flags & kRenderLowerField) p ^= 1;
    return p;
}

int32_t fieldRendering(int32_t F, int32_t u, int32_t p, bool backwards) {
    int32_t k = u ? 3 : 4;
    if (F & kItemFieldRate) {
        k = 1 - u;
        if (F & (kItemFieldA | kItemFieldB)) k = u ? 11 : 12;
    } else if (F & kItemFieldBlend) {
        k = (F & kItemFieldSwap) ? 7 : 6;
    } else if (F & kItemFieldB) {
        k = p == -1 ? 8 : p == 0 ? 9 : 10;
    } else if (F & kItemFieldA) {
        k = p == -1 ? 13 : p == 0 ? 9 : 10;
    } else if (!(F & kItemFieldProcess)) {
        k = (F & kItemNoFieldSwap) ? -1 : p;
    }
    if (F & kItemFieldSwap) {
        switch (k) {
            case 0:
                k = 1;
                break;
            case 1:
                k = 0;
                break;
            case 3:
                k = 4;
                break;
            case 4:
                k = 3;
                break;
            case 9:
                k = 10;
                break;
            case 10:
                k = 9;
                break;
            case 11:
                k = 12;
                break;
            case 12:
                k = 11;
                break;
            case -1:
                k = 2;
                break;
            default:
                break;
        }
    }
    if (backwards) {
        switch (k) {
            case 0:
                k = 1;
                break;
            case 1:
                k = 0;
                break;
            case 2:
                k = -1;
                break;
            case 3:
                k = 4;
                break;
            case 4:
                k = 3;
                break;
            case -1:
                k = 2;
                break;
            default:
                break;
        }
    }
    return k;
}

int32_t frameRendering(int32_t F, int32_t u, int32_t p, bool backwards) {
    int32_t k = u ? 3 : 4;
    if (F & kItemFieldRate) {
        k = 1 - u;
        if (F & (kItemFieldA | kItemFieldB)) k = u ? 11 : 12;
        if (F & kItemFieldSwap) {
            if (k == 0 || k == 1)
                k ^= 1;
            else if (k == 11)
                k = 12;
            else if (k == 12)
                k = 11;
        }
    } else if (F & kItemFieldBlend) {
        k = 6;
    } else if (F & kItemFieldB) {
        k = 8;
    } else if (F & kItemFieldA) {
        k = 13;
    } else if (!(F & kItemFieldProcess)) {
        if (F & kItemNoFieldSwap)
            k = -1;
        else
            k = (F & kItemFieldSwap) && p >= 0 ? p ^ 1 : p;
    } else if (F & kItemFieldSwap) {
        k = 3 + u;
    }
    if (backwards) {
        if (k == 0)
            k = 1;
        else if (k == 1)
            k = 0;
        else if (k != 6 && k != 8 && k != 13)
            k = 5;
    }
    return k;
}

void averageRows(uint8_t* a, const uint8_t* b, int32_t bytes) {
    for (int32_t i = 0; i < bytes; ++i) a[i] = uint8_t((a[i] + b[i] + 1) >> 1);
}

}  // namespace

RC_API int32_t CalcInterp(const TrackItemRec* item, int32_t time, const TDB* tdb, int32_t flags) {
    if (!item) return -1;
    const FmClipRecord* clip = rc::timeline::itemClip(item);
    const int32_t F = item->flags;
    const int32_t u = (flags & kRenderLowerField) ? 0 : 1;
    const bool backwards = clip && clip->backwards;
    const int32_t p = slowMotionParity(item, time, tdb, flags, clip);
    const bool fields = flags & (kRenderUpperField | kRenderLowerField);
    const int32_t k =
        fields ? fieldRendering(F, u, p, backwards) : frameRendering(F, u, p, backwards);
    if (k == -1) return -1;
    return int32_t(uint32_t(k) | uint32_t(uint8_t(item->holdRate)) << 24);
}

namespace rc::render {

void applyFieldCode(PPixHand pix, int32_t code) {
    if (code == -1) return;
    const int32_t k = code & 0xFFFFFF;
    const int32_t w = widthOf(pix), h = heightOf(pix);
    if (w <= 0 || h < 2) return;
    const int32_t bytes = w * 4;
    switch (k) {
        case 0:
        case 9:
        case 11:  // the upper field, line-doubled
            for (int32_t y = 0; y + 1 < h; y += 2)
                std::memcpy(rowOf(pix, y + 1), rowOf(pix, y), size_t(bytes));
            break;
        case 1:
        case 10:
        case 12:  // the lower field, line-doubled
            for (int32_t y = 0; y + 1 < h; y += 2)
                std::memcpy(rowOf(pix, y), rowOf(pix, y + 1), size_t(bytes));
            break;
        case 2:
        case 5:
        case 7: {  // fields swapped
            std::vector<uint8_t> tmp(static_cast<size_t>(bytes));
            for (int32_t y = 0; y + 1 < h; y += 2) {
                std::memcpy(tmp.data(), rowOf(pix, y), size_t(bytes));
                std::memcpy(rowOf(pix, y), rowOf(pix, y + 1), size_t(bytes));
                std::memcpy(rowOf(pix, y + 1), tmp.data(), size_t(bytes));
            }
            break;
        }
        case 6:  // fields blended
            for (int32_t y = 0; y + 1 < h; y += 2) {
                averageRows(rowOf(pix, y), rowOf(pix, y + 1), bytes);
                std::memcpy(rowOf(pix, y + 1), rowOf(pix, y), size_t(bytes));
            }
            break;
        default:  // whole frame
            break;
    }
}

}  // namespace rc::render
