// Block operations on samples: halving, reversing, summing into the mixing
// accumulator, limiting it back, and the three-way mix.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "audio/audio_internal.h"
#include "audio/sample_simd.h"
#include "reelcore/audio.h"
#include "reelcore/globals.h"

namespace {

template <typename T>
void reverseCopy(const T* src, T* dst, int32_t count) {
    if (!src || !dst || count <= 0) return;
    for (int32_t i = 0; i < count; ++i) dst[i] = src[count - 1 - i];
}

template <typename T>
void reverseInPlace(T* buffer, int32_t count) {
    if (!buffer || count < 2) return;
    std::reverse(buffer, buffer + count);
}

// The AudioSum gain after the shift by 4, kept where g * sample stays
// inside 32 bits.
int32_t sumGain(int32_t gain) {
    return std::clamp(gain >> 4, -32768, 32767);
}

// Hundreds of full-scale tracks would overflow a word; they stick at its ends.
inline int32_t addSaturated(int32_t word, int32_t term) {
    return int32_t(std::clamp<int64_t>(int64_t(word) + term, INT32_MIN, INT32_MAX));
}

}  // namespace

RC_API void BlockMute(uint8_t* samples, int32_t count) {
    if (!samples) return;
    for (int32_t i = 0; i < count; ++i) samples[i] = uint8_t((samples[i] - 128) / 2 + 128);
}

RC_API void BlockMute16(int16_t* samples, int32_t count) {
    if (!samples) return;
    for (int32_t i = 0; i < count; ++i) samples[i] = int16_t(samples[i] / 2);
}

RC_API void BlockBackwards(const uint8_t* src, uint8_t* dst, int32_t count) {
    reverseCopy(src, dst, count);
}

RC_API void BlockBackwardsWord(const uint16_t* src, uint16_t* dst, int32_t count) {
    reverseCopy(src, dst, count);
}

RC_API void BlockBackwards_inplace(uint8_t* buffer, int32_t count) {
    reverseInPlace(buffer, count);
}

RC_API void BlockBackwardsWord_inplace(uint16_t* buffer, int32_t count) {
    reverseInPlace(buffer, count);
}

RC_API void BlockBackwardsLong_inplace(uint32_t* buffer, int32_t count) {
    reverseInPlace(buffer, count);
}

RC_API void AudioSum(const void* samples, int32_t* accumulator, int32_t byteCount, int32_t gain,
                     int32_t format) {
    if (!samples || !accumulator || byteCount <= 0) return;
    const int32_t g = sumGain(gain);
    const rc::audio::SampleKernels vec = rc::audio::sampleKernels();
    // (4096 * s) >> 8 is s * 16 and 4096 * (u - 128) is (u - 128) * 4096:
    // unity needs no separate path.
    if (format & kAudio16Bit) {
        const auto* s = static_cast<const int16_t*>(samples);
        const int32_t n = byteCount / 2;
        for (int32_t i = vec.sum16(s, accumulator, n, g); i < n; ++i)
            accumulator[i] = addSaturated(accumulator[i], (g * s[i]) >> 8);
    } else {
        const auto* s = static_cast<const uint8_t*>(samples);
        for (int32_t i = vec.sum8(s, accumulator, byteCount, g); i < byteCount; ++i)
            accumulator[i] = addSaturated(accumulator[i], g * (s[i] - 128));
    }
}

RC_API void AudioLimit(const int32_t* accumulator, void* dst, int32_t byteCount, int32_t format) {
    if (!accumulator || !dst || byteCount <= 0) return;
    const rc::audio::SampleKernels vec = rc::audio::sampleKernels();
    if (format & kAudio16Bit) {
        auto* out = static_cast<int16_t*>(dst);
        const int32_t n = byteCount / 2;
        // Clamping to the 20-bit range before the shift gives 32767 from
        // 0x80000 up and -32768 below -0x80000.
        for (int32_t i = vec.limit16(accumulator, out, n); i < n; ++i)
            out[i] = int16_t(std::clamp(accumulator[i], -0x80000, 0x7FFFF) >> 4);
    } else {
        auto* out = static_cast<uint8_t*>(dst);
        for (int32_t i = vec.limit8(accumulator, out, byteCount); i < byteCount; ++i)
            out[i] = uint8_t(std::clamp(accumulator[i] >> 12, -128, 127) + 128);
    }
}

RC_API void AudioMix(const void* src1, int32_t gain1, const void* src2, int32_t gain2,
                     const void* src3, int32_t gain3, int32_t byteCount, void* dst,
                     int32_t format) {
    if (!dst || byteCount <= 0) return;
    const std::pair<const void*, int32_t> inputs[3] = {{src1, gain1}, {src2, gain2}, {src3, gain3}};
    if (format & kAudio16Bit) {
        const int32_t n = byteCount / 2;
        auto* out = static_cast<int16_t*>(dst);
        for (int32_t i = 0; i < n; ++i) {
            int64_t sum = 0;
            for (const auto& [src, gain] : inputs)
                if (src) sum += int64_t(gain) * static_cast<const int16_t*>(src)[i] / 10000;
            out[i] = int16_t(std::clamp<int64_t>(sum, -32767, 32767));
        }
        return;
    }
    const rc::audio::MixTables tables = rc::audio::mixTables();
    const int16_t* rows[3];
    for (int k = 0; k < 3; ++k) {
        // Gains in tenths of unity, kept within the table's rows.
        const int32_t tenths = std::clamp(inputs[k].second / 1000, 0, kAudioMixGainRows - 1);
        rows[k] = tables.scale + (tenths << 8);
    }
    auto* out = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < byteCount; ++i) {
        int32_t sum = 0;
        for (int k = 0; k < 3; ++k)
            if (inputs[k].first) sum += rows[k][static_cast<const uint8_t*>(inputs[k].first)[i]];
        out[i] = tables.clip[std::clamp(sum + kAudioMixClipBias, 0, kAudioMixClipSize - 1)];
    }
}
