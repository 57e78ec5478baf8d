// Helpers shared by the audio tests: a fresh runtime, random blocks, and the
// resample settings the tests choose.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "audio/audio_internal.h"
#include "audio/resample_context.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace audiotest {

inline std::mt19937& rng() {
    static std::mt19937 gen(4242);
    return gen;
}

inline std::vector<uint8_t> randomBytes(size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng()() >> 24);
    return v;
}

inline std::vector<int16_t> randomSamples(size_t n) {
    std::vector<int16_t> v(n);
    for (auto& s : v) s = int16_t(rng()() >> 16);
    return v;
}

// The settings DoResample reads, chosen by the test.
inline rc::audio::ResampleSettings& chosenSettings() {
    static rc::audio::ResampleSettings s;
    return s;
}

inline void useSettings(int32_t quality, bool dither) {
    chosenSettings() = {quality, dither};
    rc::audio::setResampleSettingsSource([] { return chosenSettings(); });
}

inline void resetRuntime() {
    rc::audio::disposeResamplerContext();
    rc::audio::setResampleSettingsSource(nullptr);
    SetupGlobals();
    InitMemoryMgr();
}

inline int16_t load16(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

}  // namespace audiotest
