// The resampler reads its quality and dither from the global project
// settings.
#include "audio/audio_internal.h"
#include "reelcore/settings.h"

namespace rc::audio {

ResampleSettings resampleSettings() {
    return {psetGetResampleQuality(nullptr), psetGetDither(nullptr) != 0};
}

}  // namespace rc::audio
