// Project file throughput: writing and reading a synthetic 10 MB project of
// 100,000 mixed records (made once, before any timing), building the tag
// index. The ceilings beside them: a loop that looks at every byte of the
// text once (no reader can do less) and memcpy of the text (no writer can
// do less).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/project_stream.h"
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

const std::vector<Record>& records() {
    static const std::vector<Record> all = [] {
        std::vector<Record> v;
        v.reserve(kRecords);
        for (int i = 0; i < kRecords; ++i) v.push_back(sample(i));
        return v;
    }();
    return all;
}

// Writes the whole project into `block`; returns the bytes used.
size_t writeProject(std::vector<char>& block) {
    const std::vector<Record>& all = records();
    ProjBufHand out = CreateProjBufHandMemory(block.data(), int32_t(block.size()), kProjModeWrite);
    for (int i = 0; i < kRecords; ++i)
        WriteStruct(out, kTags[i % 8], kType, kNames, kPacking, &all[size_t(i)]);
    const size_t used = size_t(GetProjBufPosition(out));
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
    records();
    std::vector<char> block(32 << 20);
    size_t bytes = 0;
    for (auto _ : state) bytes += writeProject(block);
    state.SetBytesProcessed(int64_t(bytes));
}
BENCHMARK(BM_WriteStruct)->Unit(benchmark::kMillisecond);

void BM_ReadStruct(benchmark::State& state) {
    const std::string& text = projectText();
    std::vector<char> block(text.begin(), text.end());
    for (auto _ : state) {
        ProjBufHand in =
            CreateProjBufHandMemory(block.data(), int32_t(block.size()), kProjModeRead);
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
    std::vector<char> block(text.begin(), text.end());
    for (auto _ : state) {
        ProjBufHand in =
            CreateProjBufHandMemory(block.data(), int32_t(block.size()), kProjModeRead);
        int16_t found = SearchType(in, kTags[7]);
        benchmark::DoNotOptimize(found);
        CloseProjBufHand(in);
    }
    state.SetBytesProcessed(int64_t(text.size()) * state.iterations());
}
BENCHMARK(BM_SearchTypeIndex)->Unit(benchmark::kMillisecond);

// The reading ceiling: every byte of the text looked at once (line ends
// counted in a plain loop the compiler vectorises).
void BM_ByteCountLoop(benchmark::State& state) {
    const std::string& text = projectText();
    for (auto _ : state) {
        size_t lines = 0;
        for (char c : text) lines += c == '\n';
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(text.size()) * state.iterations());
}
BENCHMARK(BM_ByteCountLoop)->Unit(benchmark::kMillisecond);

// The writing ceiling: the finished text copied into the block.
void BM_MemcpyText(benchmark::State& state) {
    const std::string& text = projectText();
    std::vector<char> block(32 << 20);
    for (auto _ : state) {
        std::memcpy(block.data(), text.data(), text.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(text.size()) * state.iterations());
}
BENCHMARK(BM_MemcpyText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
