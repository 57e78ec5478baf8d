// Handler messages: a round trip to a built-in handler, and finding the
// first window of a type among many open windows.
#include <benchmark/benchmark.h>

#include <cstring>

#include "platform/window.h"
#include "reelcore/globals.h"
#include "reelcore/handlers.h"
#include "reelcore/memory.h"

namespace {

constexpr OSType kTypeBench = 0x42454E43;  // 'BENC'

int16_t answer(FmWindow, intptr_t* block) {
    return int16_t(block[1] + 1);
}

FmWindow handlerWindow(FmWindow parent, OSType type) {
    FmRect r{0, 0, 0, 0};
    FmWindow w = FmWndCreate(parent, &r, "", nullptr, 0);
    Handle data = NewWData(w);
    std::memcpy(*data + 4, &type, 4);
    return w;
}

// An interface with a main window, `windows` children of one type and a
// handler table of a few types.
struct Interface {
    Handle table;
    FmWindow main;

    explicit Interface(int windows) {
        SetupGlobals();
        InitMemoryMgr();
        rc::platform::destroyAllWindows();
        table = FmNewHandle(0);
        SetAGlobal(kSlotMethodTable, reinterpret_cast<intptr_t>(table));
        void* procs[8] = {nullptr, nullptr, reinterpret_cast<void*>(answer)};
        for (OSType t : {OSType(kHandlerPROJ), OSType(kHandlerCOMP), kTypeBench,
                         OSType(kHandlerPBAR), OSType(kHandlerHIDE)})
            AddMethod(t, procs, table, 0);
        main = handlerWindow(0, kHandlerHIDE);
        SetAGlobal(kSlotMainWnd, main);
        // The wanted window lies at the bottom, below the others.
        handlerWindow(main, kTypeBench);
        for (int i = 1; i < windows; ++i) handlerWindow(main, kHandlerPROJ);
    }
    ~Interface() {
        rc::platform::destroyAllWindows();
        SetAGlobal(kSlotMainWnd, 0);
        SetAGlobal(kSlotMethodTable, 0);
        FmDisposeHandle(table);
    }
};

void BM_MessageRoundTrip(benchmark::State& state) {
    Interface ui(1);
    intptr_t block[9] = {72, 1};
    for (auto _ : state) {
        benchmark::DoNotOptimize(Message(ui.main, block));
    }
}
BENCHMARK(BM_MessageRoundTrip);

void BM_PMSendMessageToMain(benchmark::State& state) {
    Interface ui(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(PMSendMessage(kHandlerHIDE, 105, 0, 0, nullptr, 0));
    }
}
BENCHMARK(BM_PMSendMessageToMain);

void BM_GetFirstWind(benchmark::State& state) {
    Interface ui(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetFirstWind(kTypeBench));
    }
}
BENCHMARK(BM_GetFirstWind)->Arg(100);

}  // namespace

BENCHMARK_MAIN();
