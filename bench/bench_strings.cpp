// Strings, templates and resources, each beside a standard-library peer
// doing the same work where one exists.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/resources.h"
#include "reelcore/strings.h"

namespace {

constexpr ResType kList = 0x4C697374;  // 'List'

void startResources() {
    static bool started = false;
    if (started) return;
    SetupGlobals();
    InitMemoryMgr();
    InitResMgr(nullptr);
    started = true;
}

void BM_GetResourceHit(benchmark::State& state) {
    startResources();
    Handle first = GetResource(kList, 1010);
    for (auto _ : state) {
        Handle h = GetResource(kList, 1010);
        benchmark::DoNotOptimize(h);
    }
    ReleaseResource(first);
}
BENCHMARK(BM_GetResourceHit);

// A miss: the resource is loaded from the module's container into a new
// handle each time.
void BM_GetResourceMiss(benchmark::State& state) {
    startResources();
    for (auto _ : state) {
        Handle h = GetResource(kList, 1105);
        benchmark::DoNotOptimize(h);
        ReleaseResource(h);
    }
}
BENCHMARK(BM_GetResourceMiss);

void BM_GetIndString(benchmark::State& state) {
    startResources();
    char text[256];
    int16_t item = 1;
    for (auto _ : state) {
        GetIndString(text, 1010, item);
        benchmark::DoNotOptimize(text);
        item = static_cast<int16_t>(item % 13 + 1);
    }
}
BENCHMARK(BM_GetIndString);

// The same templates for both sides: "Frame Rate: ^0fps" and friends against
// their printf forms.
struct TemplatePair {
    const char* reel;
    const char* printf;
};
constexpr TemplatePair kTemplates[] = {
    {"Frame Rate: ^0fps", "Frame Rate: %dfps"},
    {"Limit data rate to ^0K//second", "Limit data rate to %dK/second"},
    {"Copying /1 (^0 of ^2 frames) to /3", "Copying %s (%d of %d frames) to %s"},
};

void BM_DoExpandString(benchmark::State& state) {
    const char* name = "clip0042.avi";
    const char* dest = "/media/projects/out";
    const intptr_t args[] = {2997, reinterpret_cast<intptr_t>(name), 108000,
                             reinterpret_cast<intptr_t>(dest)};
    char out[kExpandStringMax];
    int32_t length;
    size_t i = 0;
    for (auto _ : state) {
        const char* t = kTemplates[i++ % 3].reel;
        DoExpandString(t, -1, out, &length, args, nullptr, 0);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_DoExpandString);

void BM_Snprintf(benchmark::State& state) {
    const char* name = "clip0042.avi";
    const char* dest = "/media/projects/out";
    char out[kExpandStringMax];
    size_t i = 0;
    for (auto _ : state) {
        switch (i++ % 3) {
            case 0:
                std::snprintf(out, sizeof out, kTemplates[0].printf, 2997);
                break;
            case 1:
                std::snprintf(out, sizeof out, kTemplates[1].printf, 2997);
                break;
            default:
                std::snprintf(out, sizeof out, kTemplates[2].printf, name, 2997, 108000, dest);
                break;
        }
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_Snprintf);

// A multi-megabyte text of 60-byte lines with CR LF endings, converted to CR.
std::string bigText() {
    std::string line(58, 'x');
    std::string text;
    text.reserve(8 << 20);
    while (text.size() < (8u << 20)) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void BM_FixLineEnding(benchmark::State& state) {
    const std::string text = bigText();
    std::vector<char> out(text.size() + 1);
    const bool toMac = state.range(0) == 1;
    for (auto _ : state) {
        int32_t length;
        FmFixLineEnding(text.c_str(), out.data(), toMac ? 'm' : 'w', &length);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    state.SetLabel(toMac ? "to CR" : "to CR LF (unchanged)");
}
BENCHMARK(BM_FixLineEnding)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

const char* const kPaths[] = {
    "C:\\Projects\\Wedding 2024\\Media\\clip0042.avi",
    "D:/renders/final.v2/output.mov",
    "relative\\dir\\name.with.dots.wav",
    "C:noext",
};

void BM_SplitPath(benchmark::State& state) {
    char dir[300];
    size_t i = 0;
    for (auto _ : state) {
        const char* p = kPaths[i++ % 4];
        benchmark::DoNotOptimize(FileNameFromPath(p));
        benchmark::DoNotOptimize(FindExtension(p));
        DirNameFromPath(p, dir);
        benchmark::DoNotOptimize(dir);
    }
}
BENCHMARK(BM_SplitPath);

// The peer: the same three parts through std::filesystem (generic form, so
// backslashes are converted first as a Windows path would need).
void BM_FilesystemPath(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        std::string s = kPaths[i++ % 4];
        for (char& c : s)
            if (c == '\\') c = '/';
        const std::filesystem::path p(s);
        benchmark::DoNotOptimize(p.filename());
        benchmark::DoNotOptimize(p.extension());
        benchmark::DoNotOptimize(p.parent_path());
    }
}
BENCHMARK(BM_FilesystemPath);

}  // namespace

BENCHMARK_MAIN();
