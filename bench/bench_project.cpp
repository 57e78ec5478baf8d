// Project file throughput: writing and reading a synthetic 10 MB project of
// 100,000 mixed records, building the tag index, against a plain memchr line
// scan of the same text (the ceiling for any line-based reader).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "project/stream_internal.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/struct_codec.h"

namespace {

constexpr int kRecords = 100000;
constexpr const char* kType = "LLSC[48]DFXTB[4]R";
constexpr const char* kNames = "clipID,fileID,users,title,rate,speed,fixed,kind,flags,frame";
constexpr OSType kTags[] = {0x434C4950, 0x46494C45, 0x46444154, 0x54524B49,
                            0x50524A4C, 0x434C5041, 0x464E414D, 0x4D52434B};  // CLIP FILE ...

#pragma pack(push, 1)
struct Record {
    int32_t clipID, fileID;
    int16_t users;
    char title[48];
    double rate;
    float speed;
    uint32_t fixed;
    OSType kind;
    uint8_t flags[4];
    FmRect frame;
};
#pragma pack(pop)
const int32_t kPacking[] = {4, 4, 2, 48, 8, 4, 4, 4, 4, 16, 0};

void setUp() {
    static bool done = false;
    if (done) return;
    done = true;
    SetupGlobals();
    InitMemoryMgr();
}

Record sample(int i) {
    Record r{};
    r.clipID = i;
    r.fileID = i * 7 % 3000;
    r.users = int16_t(i % 5);
    std::snprintf(r.title, sizeof r.title, "Reel %d, take %d", i, i % 13);
    r.rate = 100.0 + i % 17 * 0.25;
    r.speed = float(i % 100) / 3.0f;
    r.fixed = 0x10000u + uint32_t(i);
    r.kind = 0x41564956;
    r.flags[0] = uint8_t(i);
    r.frame = FmRect{0, 0, 720 + i % 3, 480};
    return r;
}

// Writes the whole project into `block`; returns the bytes used.
size_t writeProject(std::vector<char>& block) {
    ProjBufHand out = CreateProjBufHandMemory(block.data(), int32_t(block.size()), kProjModeWrite);
    for (int i = 0; i < kRecords; ++i) {
        Record r = sample(i);
        WriteStruct(out, kTags[i % 8], kType, kNames, kPacking, &r);
    }
    size_t used = size_t(rc::project::rec(out)->pub.cursor - rc::project::rec(out)->pub.buffer);
    CloseProjBufHand(out);
    return used;
}

const std::string& projectText() {
    static std::string text;
    if (text.empty()) {
        setUp();
        std::vector<char> block(32 << 20);
        text.assign(block.data(), writeProject(block));
    }
    return text;
}

void BM_WriteStruct(benchmark::State& state) {
    setUp();
    std::vector<char> block(32 << 20);
    size_t bytes = 0;
    for (auto _ : state) bytes += writeProject(block);
    state.SetBytesProcessed(int64_t(bytes));
}
BENCHMARK(BM_WriteStruct)->Unit(benchmark::kMillisecond);

void BM_ReadStruct(benchmark::State& state) {
    const std::string& text = projectText();
    rc::project::MemorySource source{reinterpret_cast<const uint8_t*>(text.data()),
                                     int32_t(text.size())};
    for (auto _ : state) {
        ProjBufHand in = rc::project::createSourceStream(&source, kProjBufSize);
        Record r;
        int read = 0;
        for (int i = 0; i < kRecords; ++i)
            read += ReadStruct(in, kTags[i % 8], kType, kPacking, &r) == noErr;
        CloseProjBufHand(in);
        if (read != kRecords) state.SkipWithError("records missing");
        benchmark::DoNotOptimize(r);
    }
    state.SetBytesProcessed(int64_t(text.size()) * state.iterations());
}
BENCHMARK(BM_ReadStruct)->Unit(benchmark::kMillisecond);

void BM_SearchTypeIndex(benchmark::State& state) {
    const std::string& text = projectText();
    rc::project::MemorySource source{reinterpret_cast<const uint8_t*>(text.data()),
                                     int32_t(text.size())};
    for (auto _ : state) {
        ProjBufHand in = rc::project::createSourceStream(&source, kProjBufSize);
        int16_t found = SearchType(in, kTags[7]);
        benchmark::DoNotOptimize(found);
        CloseProjBufHand(in);
    }
    state.SetBytesProcessed(int64_t(text.size()) * state.iterations());
}
BENCHMARK(BM_SearchTypeIndex)->Unit(benchmark::kMillisecond);

// The ceiling: find every line end with memchr.
void BM_MemchrLineScan(benchmark::State& state) {
    const std::string& text = projectText();
    for (auto _ : state) {
        const char* p = text.data();
        const char* end = p + text.size();
        size_t lines = 0;
        while (const char* q = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)))) {
            ++lines;
            p = q + 1;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(text.size()) * state.iterations());
}
BENCHMARK(BM_MemchrLineScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
