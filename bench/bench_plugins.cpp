// AddPlugins over folders of 10, 100 and 1,000 generated video filters:
// cold (no cache: every module's resources are read) and warm (every module
// registered from the cache). Peers in the same run: walking the folder and
// taking each file's size and time (what a warm start must do at least), and
// walking it and reading every file whole (what a cold start must do at
// least). Counters: modules whose code was loaded (0), read, and cached.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "media/file_table_internal.h"
#include "platform/window.h"
#include "reelcore/filetable.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"
#include "reelcore/plugins.h"
#include "reelcore/resources.h"
#include "reelcore/windows.h"
#include "tests/plugins/module_writer.h"

namespace {

using namespace plugtest;

std::map<std::pair<uint32_t, intptr_t>, Bytes> gStore;

// The main window keeps the stored cache in memory.
int16_t hideMessage(FmWindow, intptr_t* block) {
    const auto key = std::make_pair(uint32_t(block[1]), block[2]);
    auto* data = reinterpret_cast<uint8_t*>(block[3]);
    const size_t size = size_t(block[4]);
    if (block[0] == 103) {
        gStore[key] = Bytes(data, data + size);
        return 0;
    }
    if (block[0] != 104) return 0;
    auto it = gStore.find(key);
    if (it == gStore.end()) return 1;
    std::memset(data, 0, size);
    std::memcpy(data, it->second.data(), std::min(size, it->second.size()));
    return 0;
}

struct Folders {
    std::string root;
    std::map<int, std::string> bySize;

    Folders() {
        SetupGlobals();
        InitMemoryMgr();
        InitResMgr(nullptr);
        SetAGlobal(kSlotOpenFileBudget, 200);
        InitFileQueue();
        Handle table = FmNewHandle(0);
        SetAGlobal(kSlotMethodTable, reinterpret_cast<intptr_t>(table));
        void* procs[kHandlerProcCount] = {nullptr, nullptr, reinterpret_cast<void*>(hideMessage)};
        AddMethod(kHandlerHIDE, procs, table, 0);
        FmRect r{0, 0, 10, 10};
        FmWindow main = FmWndCreate(0, &r, "", nullptr, 0);
        Handle data = NewWData(main);
        const OSType hide = kHandlerHIDE;
        std::memcpy(*data + 4, &hide, 4);
        SetAGlobal(kSlotMainWnd, main);

        char tmpl[] = "/tmp/reelbenchplugXXXXXX";
        root = mkdtemp(tmpl);
        for (int n : {10, 100, 1000}) {
            const std::string dir = root + "/" + std::to_string(n);
            mkdir(dir.c_str(), 0755);
            for (int i = 0; i < n; ++i) {
                const std::string name = "filter" + std::to_string(i);
                writeModule(dir + "/" + name + ".fmx", {{cc("PiPL"), 16000,
                                                         Pipl()
                                                             .kind(cc("VFlt"))
                                                             .name(name)
                                                             .matchName("ORVK " + name)
                                                             .version(3)
                                                             .build()}});
            }
            bySize[n] = dir;
        }
    }
    ~Folders() { std::filesystem::remove_all(root); }
};

Folders& folders() {
    static Folders f;
    return f;
}

// A new process as far as the registry cares: an empty file table and type
// tables; the stored cache stays unless `cold`.
void freshStart(bool cold) {
    rc::media::disposeFileTable();
    InitFileQueue();
    for (int slot : {kSlotXrefTable, kSlotTypeTextTable, kSlotOverrideTable}) {
        FmDisposeHandle(reinterpret_cast<Handle>(GetAGlobal(slot)));
        SetAGlobal(slot, 0);
    }
    if (cold) gStore.clear();
}

void report(benchmark::State& state) {
    int32_t loaded = 0, read = 0, cached = 0;
    FmGetPluginScanCounts(&loaded, &read, &cached);
    state.counters["loaded"] = loaded;
    state.counters["read"] = read;
    state.counters["cached"] = cached;
}

void BM_AddPluginsCold(benchmark::State& state) {
    const std::string& dir = folders().bySize[int(state.range(0))];
    SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(dir.c_str()));
    for (auto _ : state) {
        state.PauseTiming();
        freshStart(true);
        state.ResumeTiming();
        AddPlugins();
    }
    report(state);
}
BENCHMARK(BM_AddPluginsCold)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_AddPluginsWarm(benchmark::State& state) {
    const std::string& dir = folders().bySize[int(state.range(0))];
    SetAGlobal(kSlotPluginFolder, reinterpret_cast<intptr_t>(dir.c_str()));
    freshStart(true);
    AddPlugins();  // fills the cache
    for (auto _ : state) {
        state.PauseTiming();
        freshStart(false);
        state.ResumeTiming();
        AddPlugins();
    }
    report(state);
}
BENCHMARK(BM_AddPluginsWarm)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Peer of the warm start: walk the folder, size and time of each file.
void BM_PeerFolderWalkStat(benchmark::State& state) {
    const std::string& dir = folders().bySize[int(state.range(0))];
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
            if (!e.is_regular_file()) continue;
            sum += e.file_size() + uint64_t(e.last_write_time().time_since_epoch().count());
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_PeerFolderWalkStat)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Peer of the cold start: walk the folder and read every file whole.
void BM_PeerFolderWalkRead(benchmark::State& state) {
    const std::string& dir = folders().bySize[int(state.range(0))];
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
            if (!e.is_regular_file()) continue;
            std::ifstream in(e.path(), std::ios::binary);
            while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0)
                sum += uint64_t(in.gcount()) + uint8_t(buffer[0]);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_PeerFolderWalkRead)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
