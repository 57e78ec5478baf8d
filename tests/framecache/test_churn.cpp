// Randomised churn against a reference most-recently-used list: adds, hits,
// misses, purges and evictions under a small pool, checking order, contents,
// CacheTotal and the index after every step.
#include <algorithm>
#include <list>
#include <random>

#include "cache_fixture.h"

namespace {

using namespace cachetest;

struct Key {
    int16_t kind;
    int32_t file, pos, a, b;  // audio: rate, flags; video: width, height
    bool operator==(const Key& o) const {
        return kind == o.kind && file == o.file && pos == o.pos && a == o.a && b == o.b;
    }
};

Key keyOf(FBlock blk) {
    const FrameCacheEntry* e = E(blk);
    if (e->kind == kCacheKindAudio)
        return Key{e->kind, e->file, e->position, e->heightOrRate, e->widthOrFormat};
    return Key{e->kind, e->file, e->position, e->widthOrFormat, e->heightOrRate};
}

struct Model {
    std::list<std::pair<Key, uint32_t>> order;  // newest first, with cost

    bool has(const Key& k) const {
        return std::any_of(order.begin(), order.end(), [&](auto& p) { return p.first == k; });
    }
    void touch(const Key& k) {
        auto it = std::find_if(order.begin(), order.end(), [&](auto& p) { return p.first == k; });
        order.splice(order.begin(), order, it);
    }
    // Forgets what the cache no longer holds (evicted or recycled); then the
    // two lists must be the same sequence.
    void sync(const std::vector<FBlock>& cached) {
        order.remove_if([&](auto& p) {
            return std::none_of(cached.begin(), cached.end(),
                                [&](FBlock b) { return keyOf(b) == p.first; });
        });
    }
    uint64_t total() const {
        uint64_t t = 0;
        for (auto& p : order) t += p.second;
        return t;
    }
};

void expectSame(const Model& m, const std::vector<FBlock>& cached, int step) {
    ASSERT_EQ(m.order.size(), cached.size()) << "step " << step;
    size_t i = 0;
    for (auto& p : m.order) ASSERT_TRUE(keyOf(cached[i++]) == p.first) << "step " << step;
}

TEST_F(CacheTest, RandomChurnAgreesWithAReferenceLRU) {
    startPool(1536u << 10);
    SetAGlobal(kSlotFrameCacheKindLimit, 40);
    std::mt19937 rng(20261207);
    Model model;
    size_t dropped = 0;  // entries an add pushed out (evicted or recycled)
    const int32_t sizes[] = {80, 160, 320};
    const int32_t rates[] = {44100, 3600};
    auto pick = [&](int n) { return int32_t(rng() % uint32_t(n)); };

    for (int step = 0; step < 6000; ++step) {
        const int op = pick(100);
        const bool video = pick(2) == 0;
        Key k{};
        if (video) {
            const int32_t w = sizes[pick(3)];
            k = Key{kCacheKindVideo, 1 + pick(3), pick(120), w, w * 3 / 4};
        } else {
            k = Key{kCacheKindAudio, 1 + pick(3), pick(120), rates[pick(2)], 0x300};
        }
        if (op < 45) {
            if (model.has(k)) continue;
            bool added;
            uint32_t cost;
            if (video) {
                added = addVideoEntry(k.file, k.pos, k.a, k.b, 32) != nullptr;
                cost = uint32_t(k.a * k.b * 4) + 40;
            } else {
                const int32_t n = k.a == 3600 ? 7200 : 44100 * 4 / 8 + pick(4) * 64;
                added = addAudio(k.file, k.pos, k.b, k.a, n);
                cost = uint32_t(n) + 40;
            }
            const size_t before = model.order.size();
            model.sync(listed());
            dropped += before - model.order.size();
            if (added) {
                ASSERT_FALSE(model.has(k));
                model.order.emplace_front(k, cost);
            }
        } else if (op < 85) {
            FBlock hit;
            if (video) {
                FmRect r{5, 7, 5 + k.a, 7 + k.b};
                hit = FindFrame(k.file, k.pos, &r, 32);
            } else {
                hit = FindAudioSec(k.file, k.pos, k.b, k.a);
            }
            ASSERT_EQ(hit != nullptr, model.has(k)) << "step " << step;
            if (hit) {
                ASSERT_TRUE(keyOf(hit) == k);
                model.touch(k);
            }
        } else if (op < 90) {
            std::vector<FBlock> now = listed();
            if (now.empty()) continue;
            PurgeFrame(now[size_t(pick(int(now.size())))]);
            model.sync(listed());
        } else if (op < 93) {
            PurgeFileFrames(k.file);
            model.order.remove_if([&](auto& p) { return p.first.file == k.file; });
        } else if (op < 97) {
            const uint32_t before = CacheTotal();
            const int32_t freed = RemoveLRUFrame(uint32_t(pick(400000)));
            ASSERT_EQ(uint32_t(freed), before - CacheTotal());
            model.sync(listed());
        } else {
            PurgeBigAudio();
            model.order.remove_if(
                [](auto& p) { return p.first.kind == kCacheKindAudio && p.first.a != 3600; });
        }
        std::vector<FBlock> now = listed();
        expectSame(model, now, step);
        ASSERT_EQ(CacheTotal(), model.total()) << "step " << step;
        ASSERT_EQ(rc::framecache::checkConsistency(), "") << "step " << step;
        if (step % 64 == 0) {
            for (FBlock b : now) ASSERT_TRUE(holdsPattern(b)) << "step " << step;
        }
    }
    for (FBlock b : listed()) ASSERT_TRUE(holdsPattern(b));
    // The pool was small enough for adds to push entries out.
    EXPECT_GT(dropped, 100u);
}

}  // namespace
