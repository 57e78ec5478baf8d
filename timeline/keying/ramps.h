// The threshold/cutoff ramp shared by the brightness, screen and chroma keys.
#pragma once

#include <cstdint>

namespace rc::keying {

// factor[v] for key values 0 ... 255. With threshold t <= cutoff k, values up
// to t keep `keep`, values from k on get 0, and values between fall
// linearly; with t > k the ramp rises instead (values from t on keep, values
// up to k get 0). t = k is a hard step at k.
inline void buildRamp(uint8_t factor[256], int32_t t, int32_t k, uint32_t keep) {
    for (int32_t v = 0; v < 256; ++v) {
        uint32_t f;
        if (t <= k)
            f = v >= k ? 0 : v <= t ? keep : keep * uint32_t(k - v) / uint32_t(k - t);
        else
            f = v >= t ? keep : v <= k ? 0 : keep * uint32_t(v - k) / uint32_t(t - k);
        factor[v] = uint8_t(f);
    }
}

}  // namespace rc::keying
