// Drawing-handler sample: media drawn by code rather than read by an
// importer. Files of its type show a horizontal gradient that brightens frame
// by frame and sound that is an 8-bit sawtooth. The handler answers every
// selector of "xDrawEntry" and counts the calls, which selector 9 (extra
// request 1) reports. The records it fills are the library's own (media
// information and 32-bit pixel buffers); only their layouts are used here.
#include <cstring>

#include "reelcore/filetable.h"
#include "reelcore/ppix.h"
#include "reelcore/sdk/module.h"

#ifndef RC_DRAW_ENTRY
#define RC_DRAW_ENTRY xDrawEntry
#endif

namespace {

constexpr int32_t kWidth = 64, kHeight = 48, kFrames = 100, kRate = 25, kAudioRate = 8000;
constexpr int32_t kSelectors = 12;
constexpr intptr_t kReportCounts = 1;

int32_t gCalls[kSelectors];

void describe(FmMediaInfo* info) {
    info->frame = FmRect{0, 0, kWidth, kHeight};
    info->video = TDB{kFrames, kRate, 1};
    info->audio = TDB{kAudioRate * kFrames / kRate, kAudioRate, 1};
    info->depth = 24;
    info->mediaFlags = 3;
    info->audioFormat = 0;  // 8-bit mono
    info->pixelAspect = 0x10001;
    info->timeFormat = kRate;
}

// The gradient of a frame in the buffer's rectangle (rows kept bottom-up).
int16_t draw(int32_t frame, PPixHand pix, const FmRect* rect) {
    if (!pix || !*pix || !rect) return 5;
    const auto* rec = reinterpret_cast<const PPixRecord*>(*pix);
    const int32_t height = rec->bounds.bottom - rec->bounds.top;
    const int32_t w = rect->right - rect->left;
    for (int32_t y = rect->top; y < rect->bottom; ++y) {
        auto* row =
            reinterpret_cast<uint8_t*>(rec->pixels + int64_t(rec->rowBytes) * (height - 1 - y));
        for (int32_t x = rect->left; x < rect->right; ++x) {
            uint8_t* p = row + int64_t(x) * 4;
            p[0] = uint8_t((x - rect->left) * 255 / (w > 1 ? w - 1 : 1));
            p[1] = uint8_t(frame * 2);
            p[2] = uint8_t(y - rect->top);
            p[3] = 255;
        }
    }
    return 0;
}

int16_t sound(const int64_t* offset, intptr_t length, void* dest, intptr_t add) {
    if (!offset || length < 0 || (!dest && length > 0)) return 5;
    auto* out = static_cast<uint8_t*>(dest);
    for (intptr_t i = 0; i < length; ++i) out[i] = uint8_t(*offset + i + add);
    return 0;
}

}  // namespace

RC_MODULE_ENTRY int16_t RC_DRAW_ENTRY(int32_t selector, intptr_t a1, intptr_t a2, intptr_t a3,
                                      intptr_t a4, intptr_t a5, intptr_t a6) {
    (void)a1;  // the FileID: every file of the type looks the same
    (void)a6;
    if (selector >= 0 && selector < kSelectors) ++gCalls[selector];
    switch (selector) {
        case 0:  // information: (FileID, information record)
            if (!a2) return 5;
            describe(reinterpret_cast<FmMediaInfo*>(a2));
            return 0;
        case 1:  // a frame: (FileID, frame, buffer, rectangle, flags)
            return draw(int32_t(a2), reinterpret_cast<PPixHand>(a3),
                        reinterpret_cast<const FmRect*>(a4));
        case 2:  // sound: (FileID, &offset, length, destination)
            return sound(reinterpret_cast<const int64_t*>(a2), a3, reinterpret_cast<void*>(a4), 0);
        case 8:  // sound through the audio plug-in chain: the chain word is added
            return sound(reinterpret_cast<const int64_t*>(a2), a3, reinterpret_cast<void*>(a4), a5);
        case 3:   // open
        case 4:   // close
        case 5:   // quiet
        case 10:  // start-up
        case 11:  // clean-up
            return 0;
        case 9:  // extra: (FileID, request, data)
            if (a2 != kReportCounts || !a3) return 2;
            std::memcpy(reinterpret_cast<void*>(a3), gCalls, sizeof gCalls);
            return 0;
        default:
            return 2;
    }
}
