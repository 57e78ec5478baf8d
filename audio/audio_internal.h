// Internal interfaces of the audio family: sample conversion helpers, the
// 8-bit mixing tables and the resampler's view of the project settings.
#pragma once

#include <cstdint>

namespace rc::audio {

inline int32_t frameBytes(int32_t format) {
    return ((format & 0x200) ? 2 : 1) * ((format & 0x100) ? 2 : 1);
}

// Fills `frames` frames of `format` with silence (0 or 128).
void writeSilence(void* dst, int32_t frames, int32_t format);

// The 8-bit mixing tables AudioMix uses: those of slots 65 and 66, or the
// library's own, which are put in the slots when they are empty.
struct MixTables {
    const int16_t* scale;  // kAudioMixGainRows rows of 256
    const uint8_t* clip;   // kAudioMixClipSize entries, index = sum + bias
};
MixTables mixTables();
// The library's tables, built once.
const int16_t* libraryMixScaleTable();
const uint8_t* libraryMixClipTable();

// Resample quality (0 nearest sample, 1, 2) and dither of the global
// project settings.
struct ResampleSettings {
    int32_t quality = 0;
    bool dither = false;
};
ResampleSettings resampleSettings();

}  // namespace rc::audio
