// Helpers shared by the audio tests: a fresh runtime, random blocks, and the
// resample settings the tests choose.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>

#include <gtest/gtest.h>
#include <vector>

#include "audio/audio_internal.h"
#include "audio/resample_context.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/settings.h"

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

// DoResample reads the quality and dither of the global project settings.
inline void useSettings(int32_t quality, bool dither) {
    PsetBlock* block = psetGetBlock(InitProjectSettings());
    ASSERT_NE(block, nullptr);
    block->audio.resampleQ = quality;
    block->audio.dither = dither ? 1 : 0;
}

inline void resetRuntime() {
    rc::audio::disposeResamplerContext();
    SetupGlobals();
    InitMemoryMgr();
}

inline int16_t load16(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

}  // namespace audiotest
