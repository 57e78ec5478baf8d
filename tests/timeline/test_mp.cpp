#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/alloc.h"
#include "platform/threads.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "timeline/mp_bands.h"

namespace {

class ProcessorPool : public ::testing::Test {
  protected:
    void SetUp() override {
        SetupGlobals();
        InitMemoryMgr();
        path_ = ::testing::TempDir() + "reel_mp_" + std::to_string(getpid()) + ".ini";
    }
    void TearDown() override {
        TerminateMP();
        rc::platform::failThreadStarts(0, 0);
        rc::platform::resetAllocationFaults();
        std::remove(path_.c_str());
    }
    // Starts the pool with "NumCPUs" set to the given text (null: no key).
    void initWith(const char* numCpus) {
        FILE* f = std::fopen(path_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "; test settings\n[Override]\n");
        if (numCpus) std::fprintf(f, "numcpus = %s\n", numCpus);
        std::fclose(f);
        SetAGlobal(kSlotSettingsFilePath, reinterpret_cast<intptr_t>(path_.c_str()));
        InitMP();
    }
    std::string path_;
};

struct Band {
    std::vector<uint32_t>* rows;  // one word per row
    int32_t first;
    int32_t count;
    std::thread::id ranOn;
};

void markRows(void* block) {
    auto* b = static_cast<Band*>(block);
    for (int32_t r = b->first; r < b->first + b->count; ++r) (*b->rows)[r] += 0x100 + r;
    b->ranOn = std::this_thread::get_id();
}

std::vector<Band> bandsOver(std::vector<uint32_t>& rows, int32_t count) {
    std::vector<Band> bands(count);
    int32_t each = static_cast<int32_t>(rows.size()) / count;
    for (int32_t i = 0; i < count; ++i)
        bands[i] = Band{&rows,
                        i * each,
                        i + 1 < count ? each : static_cast<int32_t>(rows.size()) - i * each,
                        {}};
    return bands;
}

void expectEveryRowOnce(const std::vector<uint32_t>& rows) {
    for (size_t r = 0; r < rows.size(); ++r) ASSERT_EQ(rows[r], 0x100 + r) << "row " << r;
}

TEST_F(ProcessorPool, ProcessorCountComesFromTheProfileAndIsCapped) {
    for (const char* value : {"0", "1"}) {
        initWith(value);
        EXPECT_EQ(GetAGlobal(kSlotProcessorCount), 1) << value;
        EXPECT_EQ(GetAGlobal(kSlotMPWorkers), 0) << value;
        EXPECT_EQ(FmLockMP(400), 1) << value;
        EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);
        TerminateMP();
    }
    initWith("32");
    EXPECT_EQ(GetAGlobal(kSlotProcessorCount), 16);
    EXPECT_NE(GetAGlobal(kSlotMPWorkers), 0);
    EXPECT_EQ(FmLockMP(400), 16);
    FmCancelMP();
    TerminateMP();

    const int expected = std::min(rc::platform::processorCount(), 16);
    for (const char* value : {static_cast<const char*>(nullptr), "-1"}) {
        initWith(value);
        EXPECT_EQ(GetAGlobal(kSlotProcessorCount), expected);
        TerminateMP();
    }
    // Without a settings file the system's count is used as well.
    SetAGlobal(kSlotSettingsFilePath, 0);
    InitMP();
    EXPECT_EQ(GetAGlobal(kSlotProcessorCount), expected);
}

TEST_F(ProcessorPool, LockIsOwnedByTheThreadThatTookIt) {
    initWith("4");
    EXPECT_EQ(FmLockMP(1), 1);
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);
    EXPECT_EQ(FmLockMP(3), 3);
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 1);
    FmCancelMP();
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);

    ASSERT_EQ(FmLockMP(100), 4);
    int32_t other = -1;
    std::thread([&] {
        other = FmLockMP(100);
        FmCancelMP();  // not the owner: must not release
        std::vector<uint32_t> rows(8, 0);
        auto bands = bandsOver(rows, 2);
        FmExecuteMP(2, markRows, bands.data(), sizeof(Band));  // runs here, serially
        expectEveryRowOnce(rows);
        EXPECT_EQ(bands[0].ranOn, std::this_thread::get_id());
    }).join();
    EXPECT_EQ(other, 1);
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 1);
    std::thread([&] { other = FmLockMP(100); }).join();
    EXPECT_EQ(other, 1);
    FmCancelMP();
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);
    EXPECT_EQ(FmLockMP(100), 4);
    FmCancelMP();
}

TEST_F(ProcessorPool, RowsAreSplitOnlyFromOneHundredSixtyOn) {
    initWith("4");
    std::mutex m;
    for (int32_t rows : {159, 160, 161}) {
        std::vector<std::tuple<int32_t, int32_t, std::thread::id>> seen;
        rc::mp::runRowBands(rows, kMPMinSplitRows, [&](int32_t first, int32_t count) {
            std::lock_guard<std::mutex> lock(m);
            seen.emplace_back(first, count, std::this_thread::get_id());
        });
        std::sort(seen.begin(), seen.end());
        if (rows == 159) {
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(std::get<1>(seen[0]), 159);
            EXPECT_EQ(std::get<2>(seen[0]), std::this_thread::get_id());
        } else {
            ASSERT_EQ(seen.size(), 4u) << rows;
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(std::get<0>(seen[i]), 40 * i);
                EXPECT_EQ(std::get<1>(seen[i]), 40);
            }
            EXPECT_EQ(std::get<0>(seen[3]), 120);
            EXPECT_EQ(std::get<1>(seen[3]), rows == 160 ? 40 : 41);
            // The last band runs on the caller, the others on three workers.
            EXPECT_EQ(std::get<2>(seen[3]), std::this_thread::get_id());
            std::set<std::thread::id> threads;
            for (auto& s : seen) threads.insert(std::get<2>(s));
            EXPECT_EQ(threads.size(), 4u);
        }
        EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);
    }
}

TEST_F(ProcessorPool, SurplusBandsAndSerialCallsRunOnTheCaller) {
    initWith("2");
    std::vector<uint32_t> rows(60, 0);
    auto bands = bandsOver(rows, 6);
    ASSERT_EQ(FmLockMP(6), 2);
    FmExecuteMP(6, markRows, bands.data(), sizeof(Band));  // six bands, one worker
    expectEveryRowOnce(rows);
    EXPECT_NE(bands[0].ranOn, std::this_thread::get_id());
    for (int i = 1; i < 6; ++i) EXPECT_EQ(bands[i].ranOn, std::this_thread::get_id());
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);

    // Without the lock every band runs here.
    std::fill(rows.begin(), rows.end(), 0);
    FmExecuteMP(6, markRows, bands.data(), sizeof(Band));
    expectEveryRowOnce(rows);
    for (auto& b : bands) EXPECT_EQ(b.ranOn, std::this_thread::get_id());

    // A single band just runs.
    std::vector<uint32_t> one(5, 0);
    Band b{&one, 0, 5, {}};
    FmExecuteMP(1, markRows, &b, sizeof(Band));
    expectEveryRowOnce(one);
}

TEST_F(ProcessorPool, SecondJobRunsAloneWhileTheFirstHoldsTheWorkers) {
    initWith("2");
    std::mutex m;
    std::condition_variable cv;
    bool secondDone = false;
    std::atomic<bool> firstRunning{false};
    std::vector<uint32_t> first(320, 0), second(320, 0);
    std::thread::id secondThread;
    std::set<std::thread::id> secondBandThreads;

    std::thread a([&] {
        rc::mp::runRowBands(320, kMPMinSplitRows, [&](int32_t f, int32_t n) {
            // Hold the workers until the second job has finished.
            firstRunning = true;
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return secondDone; });
            for (int32_t r = f; r < f + n; ++r) first[r] += 0x100 + r;
        });
    });
    while (!firstRunning) std::this_thread::yield();  // the first job owns the workers
    std::thread b([&] {
        secondThread = std::this_thread::get_id();
        rc::mp::runRowBands(320, kMPMinSplitRows, [&](int32_t f, int32_t n) {
            {
                std::lock_guard<std::mutex> lock(m);
                secondBandThreads.insert(std::this_thread::get_id());
            }
            for (int32_t r = f; r < f + n; ++r) second[r] += 0x100 + r;
        });
        std::lock_guard<std::mutex> lock(m);
        secondDone = true;
        cv.notify_all();
    });
    b.join();
    a.join();
    expectEveryRowOnce(first);
    expectEveryRowOnce(second);
    ASSERT_EQ(secondBandThreads.size(), 1u);
    EXPECT_EQ(*secondBandThreads.begin(), secondThread);
    EXPECT_EQ(GetAGlobal(kSlotMPLock), 0);
}

TEST_F(ProcessorPool, TerminateStopsWorkersAndInitStartsThemAgain) {
    initWith("3");
    std::vector<uint32_t> rows(300, 0);
    auto bands = bandsOver(rows, 3);
    ASSERT_EQ(FmLockMP(3), 3);
    FmExecuteMP(3, markRows, bands.data(), sizeof(Band));
    expectEveryRowOnce(rows);

    TerminateMP();
    EXPECT_EQ(GetAGlobal(kSlotProcessorCount), 1);
    EXPECT_EQ(GetAGlobal(kSlotMPWorkers), 0);
    EXPECT_EQ(FmLockMP(3), 1);
    TerminateMP();  // twice is harmless

    InitMP();
    EXPECT_EQ(GetAGlobal(kSlotProcessorCount), 3);
    std::fill(rows.begin(), rows.end(), 0);
    ASSERT_EQ(FmLockMP(3), 3);
    FmExecuteMP(3, markRows, bands.data(), sizeof(Band));
    expectEveryRowOnce(rows);
    EXPECT_NE(bands[0].ranOn, bands[2].ranOn);
    InitMP();  // re-initialising replaces the pool
    EXPECT_EQ(GetAGlobal(kSlotProcessorCount), 3);
}

TEST_F(ProcessorPool, StartFailuresShrinkThePoolInsteadOfHanging) {
    rc::platform::failThreadStarts(1, 1);  // the second worker cannot start
    initWith("4");
    EXPECT_EQ(GetAGlobal(kSlotProcessorCount), 2);
    std::vector<uint32_t> rows(400, 0);
    auto bands = bandsOver(rows, 4);
    ASSERT_EQ(FmLockMP(4), 2);
    FmExecuteMP(4, markRows, bands.data(), sizeof(Band));
    expectEveryRowOnce(rows);
    TerminateMP();

    rc::platform::failThreadStarts(0, 1);  // no worker at all
    InitMP();
    EXPECT_EQ(GetAGlobal(kSlotProcessorCount), 1);
    EXPECT_EQ(GetAGlobal(kSlotMPWorkers), 0);
    EXPECT_EQ(FmLockMP(4), 1);
    TerminateMP();

    rc::platform::failAllocationsAbove(64);  // no memory for the worker table
    InitMP();
    rc::platform::resetAllocationFaults();
    EXPECT_EQ(GetAGlobal(kSlotProcessorCount), 1);
    EXPECT_EQ(FmLockMP(4), 1);
}

// A deterministic per-row computation whose result must not depend on how
// the rows were banded.
std::vector<uint32_t> render() {
    std::vector<uint32_t> image(640 * 480);
    rc::mp::runRowBands(480, kMPMinSplitRows, [&](int32_t first, int32_t count) {
        for (int32_t y = first; y < first + count; ++y)
            for (int32_t x = 0; x < 640; ++x) {
                uint32_t v =
                    static_cast<uint32_t>(x * 2654435761u) ^ static_cast<uint32_t>(y * 40503u);
                image[static_cast<size_t>(y) * 640 + x] = v * v;
            }
    });
    return image;
}

// Workers spin for a while before they sleep. Back-to-back jobs must reach
// every band exactly once whether the workers sleep at once, catch every
// job while spinning, or run out of spin just as the next job is handed out.
TEST_F(ProcessorPool, JobsArriveWhetherWorkersSpinOrSleep) {
    const int saved = rc::platform::eventSpin();
    initWith("3");
    ASSERT_EQ(GetAGlobal(kSlotProcessorCount), 3);
    for (int spin : {0, 1, 3, 20000}) {
        rc::platform::setEventSpin(spin);
        EXPECT_EQ(rc::platform::eventSpin(), spin);
        for (int job = 0; job < 200; ++job) {
            std::vector<uint32_t> rows(96, 0);
            std::vector<Band> bands = bandsOver(rows, 3);
            ASSERT_EQ(FmLockMP(3), 3);
            FmExecuteMP(3, markRows, bands.data(), sizeof(Band));
            ASSERT_NO_FATAL_FAILURE(expectEveryRowOnce(rows)) << "spin " << spin << " job " << job;
            if (job % 50 == 49) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    rc::platform::setEventSpin(-5);
    EXPECT_EQ(rc::platform::eventSpin(), 0);
    rc::platform::setEventSpin(saved);
}

TEST_F(ProcessorPool, ResultsAreIdenticalWithOneAndTwoProcessors) {
    initWith("1");
    auto serial = render();
    TerminateMP();
    initWith("2");
    std::atomic<int> calls{0};
    rc::mp::runRowBands(480, kMPMinSplitRows, [&](int32_t, int32_t) { ++calls; });
    EXPECT_EQ(calls.load(), 2);
    auto parallel = render();
    EXPECT_EQ(serial, parallel);
}

}  // namespace
