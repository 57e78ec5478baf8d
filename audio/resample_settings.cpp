// Where the resampler finds the project's resample quality and dither.
#include <atomic>

#include "audio/audio_internal.h"

namespace rc::audio {

namespace {

// The project settings' defaults: nearest sample, no dither.
ResampleSettings projectDefaults() {
    return {};
}

std::atomic<ResampleSettingsSource> gSource{projectDefaults};

}  // namespace

ResampleSettings resampleSettings() {
    return gSource.load()();
}

void setResampleSettingsSource(ResampleSettingsSource source) {
    gSource.store(source ? source : projectDefaults);
}

}  // namespace rc::audio
