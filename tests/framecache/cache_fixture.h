// Shared set-up for the frame cache tests: a fresh frame pool and cache per
// test, and helpers that build entries through the public calls.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/memory_hooks.h"
#include "pixels/frame_cache_index.h"
#include "reelcore/framecache.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"

namespace cachetest {

inline FrameCacheEntry* E(FBlock b) {
    return reinterpret_cast<FrameCacheEntry*>(b->address);
}

// Entries from the newest to the oldest.
inline std::vector<FBlock> listed() {
    std::vector<FBlock> out;
    FBlock h = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheHead));
    FBlock t = reinterpret_cast<FBlock>(GetAGlobal(kSlotFrameCacheTail));
    if (!h) return out;
    for (FBlock b = E(h)->next; b && b != t; b = E(b)->next) out.push_back(b);
    return out;
}

// A byte pattern that depends on the key, so a moved or mixed-up block shows.
inline uint8_t patternByte(int32_t file, int32_t pos, size_t i) {
    return uint8_t((uint32_t(file) * 131u + uint32_t(pos) * 31u + uint32_t(i) * 7u) >> 1);
}

inline std::vector<uint8_t> pattern(int32_t file, int32_t pos, size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = patternByte(file, pos, i);
    return v;
}

inline bool holdsPattern(FBlock entry) {
    const FrameCacheEntry* e = E(entry);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(e->data->address);
    for (int32_t i = 0; i < e->dataLength; ++i)
        if (p[i] != patternByte(e->file, e->position, size_t(i))) return false;
    return true;
}

// A video entry made by hand (as a caller holding its own pixels would):
// its data holds the key's pattern. Null when the pool is out of room.
inline FBlock addVideoEntry(int32_t file, int32_t frame, int32_t width, int32_t height,
                            int16_t depth) {
    const int32_t n = width * height * (depth / 8);
    FBlock entry = NewFBlockClear(sizeof(FrameCacheEntry));
    if (!entry) return nullptr;
    FBlock data = NewFBlock(uint32_t(n));
    if (!data) {
        DisposeFBlock(entry);
        return nullptr;
    }
    FrameCacheEntry* e = E(entry);
    e->kind = kCacheKindVideo;
    e->file = file;
    e->position = frame;
    e->widthOrFormat = width;
    e->heightOrRate = height;
    e->depth = depth;
    e->data = data;
    e->dataLength = n;
    std::vector<uint8_t> bytes = pattern(file, frame, size_t(n));
    std::memcpy(data->address, bytes.data(), bytes.size());
    InsertFrame(entry);
    return entry;
}

inline bool addAudio(int32_t file, int32_t second, int32_t flags, int32_t rate, int32_t n) {
    std::vector<uint8_t> bytes = pattern(file, second, size_t(n));
    return AddAudioSec(file, second, flags, rate, bytes.data(), n) != 0;
}

class CacheTest : public ::testing::Test {
  protected:
    static constexpr uint32_t kPool = 8u << 20;
    void startPool(uint32_t bytes) {
        if (GetAGlobal(kSlotFrameCacheHead)) KillFrameQueue();
        KillFMem();
        ASSERT_EQ(InitFMem(bytes), 0);
        ASSERT_EQ(InitFrameQueue(), 0);
    }
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        ASSERT_EQ(InitFMem(kPool), 0);
        ASSERT_EQ(InitFrameQueue(), 0);
    }
    void TearDown() override {
        EXPECT_EQ(rc::framecache::checkConsistency(), "");
        KillFrameQueue();
        KillFMem();
    }
};

}  // namespace cachetest
