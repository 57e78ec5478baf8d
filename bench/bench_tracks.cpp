// Track searches and envelope reads beside the plain-vector peers doing the
// same work: std::upper_bound over sorted (start, end) pairs for the time
// search, and std::upper_bound plus a linear interpolation for band values.
// Compare each benchmark with its peer of the same size in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "reelcore/envelopes.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/tracks.h"

namespace {

constexpr size_t kTimes = 4096;  // a power of two: indices wrap with a mask

void startLibrary() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
}

// Items of 1 to 20 ticks with gaps of 0 to 10, as the library's list and as
// the peer's vector, with random times over the whole span.
struct Track {
    Handle list = nullptr;
    std::vector<std::pair<int32_t, int32_t>> spans;
    std::vector<int32_t> times;
};

Track makeTrack(size_t count, uint32_t seed) {
    startLibrary();
    std::mt19937 rng(seed);
    Track t;
    t.list = NewHandle(uint32_t(count * 4));
    int32_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        at += int32_t(rng() % 11);
        const int32_t end = at + 1 + int32_t(rng() % 20);
        Handle item = NewHandleClear(sizeof(TrackItemRec));
        auto* r = reinterpret_cast<TrackItemRec*>(*item);
        r->start = at;
        r->end = end;
        const uint32_t word = HandleToWord(item);
        std::memcpy(*t.list + i * 4, &word, 4);
        t.spans.push_back({at, end});
        at = end;
    }
    for (size_t i = 0; i < kTimes; ++i) t.times.push_back(int32_t(rng() % uint32_t(at + 1)));
    return t;
}

const Track& track(size_t count) {
    static std::vector<std::pair<size_t, Track>> made;
    for (auto& m : made)
        if (m.first == count) return m.second;
    made.push_back({count, makeTrack(count, uint32_t(count))});
    return made.back().second;
}

void BM_FindTrackRecIndexAtTime(benchmark::State& state) {
    const int16_t mode = int16_t(state.range(0));
    const Track& t = track(size_t(state.range(1)));
    size_t i = 0;
    for (auto _ : state) {
        Boolean found;
        int32_t index;
        benchmark::DoNotOptimize(FindTrackRecIndexAtTime(t.list, t.times[i], mode, &found, &index));
        i = (i + 1) & (kTimes - 1);
    }
}
BENCHMARK(BM_FindTrackRecIndexAtTime)
    ->ArgNames({"mode", "items"})
    ->ArgsProduct({{1, 5, 6}, {10, 1000, 100000}});

// The peer: the last span starting at or before t, and whether it covers t.
void BM_UpperBoundPeer(benchmark::State& state) {
    const Track& t = track(size_t(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        const int32_t time = t.times[i];
        auto it = std::upper_bound(
            t.spans.begin(), t.spans.end(), time,
            [](int32_t v, const std::pair<int32_t, int32_t>& s) { return v < s.first; });
        int64_t index = -1;
        if (it != t.spans.begin() && time < (it - 1)->second) index = (it - 1) - t.spans.begin();
        benchmark::DoNotOptimize(index);
        i = (i + 1) & (kTimes - 1);
    }
}
BENCHMARK(BM_UpperBoundPeer)->ArgName("items")->Arg(10)->Arg(1000)->Arg(100000);

// Rendering asks every track what lies under a time: 24 tracks of 1,000 items.
struct Table {
    Handle table = nullptr;
    std::vector<const Track*> tracks;
};

const Table& table24() {
    static const Table t = [] {
        Table r;
        startLibrary();
        r.table = NewHandle(0);
        static std::vector<Track> own;
        own.reserve(24);  // the pointers below stay valid
        for (int i = 0; i < 24; ++i) {
            own.push_back(makeTrack(1000, uint32_t(100 + i)));
            AddTrackItem(own.back().list, kTrackTypeSuperimpose, r.table);
            r.tracks.push_back(&own.back());
        }
        return r;
    }();
    return t;
}

void BM_GetTrackSegPtr24Tracks(benchmark::State& state) {
    const Table& t = table24();
    size_t i = 0;
    for (auto _ : state) {
        const int32_t time = t.tracks[0]->times[i];
        for (int32_t n = 0; n < 24; ++n) {
            Handle item = nullptr;
            benchmark::DoNotOptimize(GetTrackSegPtr(kTrackAll, n, time, &item, t.table));
            benchmark::DoNotOptimize(item);
        }
        i = (i + 1) & (kTimes - 1);
    }
}
BENCHMARK(BM_GetTrackSegPtr24Tracks);

void BM_UpperBoundPeer24Tracks(benchmark::State& state) {
    const Table& t = table24();
    size_t i = 0;
    for (auto _ : state) {
        const int32_t time = t.tracks[0]->times[i];
        for (const Track* track : t.tracks) {
            const auto& spans = track->spans;
            auto it = std::upper_bound(
                spans.begin(), spans.end(), time,
                [](int32_t v, const std::pair<int32_t, int32_t>& s) { return v < s.first; });
            const bool covered = it != spans.begin() && time < (it - 1)->second;
            benchmark::DoNotOptimize(covered);
        }
        i = (i + 1) & (kTimes - 1);
    }
}
BENCHMARK(BM_UpperBoundPeer24Tracks);

// Bands of 4, 100 and 10,000 points.
struct Band {
    Handle band = nullptr;
    std::vector<RubberHandPt> points;
    std::vector<int32_t> times;
};

const Band& band(size_t count) {
    static std::vector<std::pair<size_t, Band>> made;
    for (auto& m : made)
        if (m.first == count) return m.second;
    startLibrary();
    std::mt19937 rng{uint32_t(count)};
    Band b;
    int32_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        const int16_t level = int16_t(rng() % 257);
        b.points.push_back({at, level, level});
        at += 1 + int32_t(rng() % 50);
    }
    b.band = NewHandleClear(uint32_t(8 + (count + 1) * 8));
    *reinterpret_cast<RubberHand*>(*b.band) = RubberHand{256, int16_t(count), 0, kBandGain};
    std::memcpy(*b.band + 8, b.points.data(), count * 8);
    for (size_t i = 0; i < kTimes; ++i)
        b.times.push_back(int32_t(rng() % uint32_t(b.points.back().position + 1)));
    made.push_back({count, std::move(b)});
    return made.back().second;
}

void BM_ValueAtPoint(benchmark::State& state) {
    const Band& b = band(size_t(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ValueAtPoint(b.times[i], 200, b.band));
        i = (i + 1) & (kTimes - 1);
    }
}
BENCHMARK(BM_ValueAtPoint)->ArgName("points")->Arg(4)->Arg(100)->Arg(10000);

void BM_ValueAtPointPeer(benchmark::State& state) {
    const Band& b = band(size_t(state.range(0)));
    size_t i = 0;
    for (auto _ : state) {
        const int32_t p = b.times[i];
        const auto& pts = b.points;
        auto it = std::upper_bound(pts.begin(), pts.end(), p,
                                   [](int32_t v, const RubberHandPt& q) { return v < q.position; });
        const RubberHandPt& a = *(it - 1);
        const RubberHandPt& c = it == pts.end() ? a : *it;
        int64_t level = a.level;
        if (c.position != a.position)
            level += int64_t(p - a.position) * (c.level - a.level) / (c.position - a.position);
        benchmark::DoNotOptimize(level * 200 / 256);
        i = (i + 1) & (kTimes - 1);
    }
}
BENCHMARK(BM_ValueAtPointPeer)->ArgName("points")->Arg(4)->Arg(100)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
