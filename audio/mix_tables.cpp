// The 8-bit mixing tables of slots 65 and 66 and silence of a format.
#include <algorithm>
#include <array>
#include <cstring>

#include "audio/audio_internal.h"
#include "reelcore/audio.h"
#include "reelcore/globals.h"

namespace rc::audio {

namespace {

struct LibraryTables {
    std::array<int16_t, kAudioMixGainRows * 256> scale;
    std::array<uint8_t, kAudioMixClipSize> clip;

    LibraryTables() {
        for (int32_t g = 0; g < kAudioMixGainRows; ++g)
            for (int32_t u = 0; u < 256; ++u) scale[g * 256 + u] = int16_t((u - 128) * g / 10);
        for (int32_t i = 0; i < kAudioMixClipSize; ++i)
            clip[i] = uint8_t(std::clamp(i - kAudioMixClipBias + 128, 0, 255));
    }
};

const LibraryTables& library() {
    static const LibraryTables tables;
    return tables;
}

}  // namespace

const int16_t* libraryMixScaleTable() {
    return library().scale.data();
}

const uint8_t* libraryMixClipTable() {
    return library().clip.data();
}

MixTables mixTables() {
    if (GetAGlobal(kSlotAudioMixScale) == 0)
        SetAGlobal(kSlotAudioMixScale, reinterpret_cast<intptr_t>(libraryMixScaleTable()));
    if (GetAGlobal(kSlotAudioMixClip) == 0)
        SetAGlobal(kSlotAudioMixClip, reinterpret_cast<intptr_t>(libraryMixClipTable()));
    return {reinterpret_cast<const int16_t*>(GetAGlobal(kSlotAudioMixScale)),
            reinterpret_cast<const uint8_t*>(GetAGlobal(kSlotAudioMixClip))};
}

void writeSilence(void* dst, int32_t frames, int32_t format) {
    if (!dst || frames <= 0) return;
    std::memset(dst, (format & kAudio16Bit) ? 0 : 128, size_t(frames) * frameBytes(format));
}

}  // namespace rc::audio
