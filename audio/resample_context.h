// The resampler's context: one relocatable block in entry 10 of the handle
// table of slot 174, holding the dither state, two scratch buffers, the
// 8-bit expansion table, the current filter preset and the filter cache.
#pragma once

#include <cstdint>

#include "reelcore/types.h"

namespace rc::audio {

constexpr int kFilterCacheEntries = 5;

struct FilterCacheEntry {
    int32_t coefCount;  // key: coefficients per wing,
    double rolloff;     //      roll-off
    double beta;        //      and Kaiser beta
    Handle coefs;       // 16-bit coefficients, null when the entry is empty
    uint32_t scale;     // output scale
};

struct FilterPreset {
    double rolloff;
    double beta;
    int32_t nmult;  // zero crossings
    uint8_t dither;
};

struct ResamplerContext {
    uint32_t ditherState;
    Handle scratchIn;   // 16-bit copy of the input
    Handle scratchOut;  // 16-bit output
    int16_t expand[256];
    FilterPreset preset;
    uint32_t clipped;  // output samples clipped by the last call
    FilterCacheEntry cache[kFilterCacheEntries];
};

// Locks the context for one call, making it on first use; unlocking makes
// the scratch buffers purgeable and releases the filters' locks. `get()` is
// null when the context could not be made.
class ContextLock {
  public:
    ContextLock();
    ~ContextLock();
    ContextLock(const ContextLock&) = delete;
    ContextLock& operator=(const ContextLock&) = delete;
    ResamplerContext* get() const { return context_; }

  private:
    Handle handle_ = nullptr;
    ResamplerContext* context_ = nullptr;
};

// A scratch buffer of at least `bytes` bytes, locked until the context is
// unlocked; re-made when purged or too small. Null when out of memory.
void* lockScratch(Handle& scratch, uint64_t bytes);

// The filter for the key, from the cache or designed in front of it; its
// coefficients stay locked until the context is unlocked. 0, -50 (bad
// filter limits) or -108 (no memory).
int32_t findFilter(ResamplerContext& context, int32_t coefCount, double rolloff, double beta,
                   const int16_t** coefs, uint32_t* scale);

// Releases the context and everything it holds (slot 174 entry 10 emptied).
void disposeResamplerContext();

}  // namespace rc::audio
