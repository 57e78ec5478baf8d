// The processor pool: n - 1 worker threads created once, each sleeping on
// its start event; a job hands one band to each worker, runs the last band
// itself and waits for all done events together.
#include <atomic>
#include <new>
#include <thread>

#include "platform/profile.h"
#include "platform/threads.h"
#include "reelcore/globals.h"
#include "reelcore/memory.h"
#include "reelcore/mp.h"
#include "timeline/keying/keying_internal.h"

namespace {

using rc::platform::Event;

struct WorkerRecord {
    Event start;
    Event done;
    MPJobProc fn = nullptr;
    void* arg = nullptr;
    std::thread thread;
    Event* const* doneEvents = nullptr;
};

// Lives in one pointer block: the header, then the records in worker order.
struct WorkerTable {
    int32_t count = 0;  // workers running
    int32_t built = 0;  // records constructed
    WorkerRecord* workers = nullptr;
    Event* doneEvents[kMPMaxProcessors] = {};
};

// The lock belongs to a thread, so that only the job that took it gives it
// back. Slot 319 mirrors it for readers of the globals table.
std::atomic<std::thread::id> lockOwner{std::thread::id()};

WorkerTable* table() {
    return reinterpret_cast<WorkerTable*>(GetAGlobal(kSlotMPWorkers));
}

void workerLoop(WorkerRecord* w) {
    for (;;) {
        w->start.wait();
        w->start.reset();
        MPJobProc fn = w->fn;
        if (!fn) return;
        fn(w->arg);
        w->done.set();
    }
}

bool ownsLock() {
    return lockOwner.load(std::memory_order_acquire) == std::this_thread::get_id();
}

void releaseLock() {
    SetAGlobal(kSlotMPLock, 0);
    lockOwner.store(std::thread::id(), std::memory_order_release);
}

void freeTable(WorkerTable* t) {
    for (int32_t i = 0; i < t->count; ++i) {
        t->workers[i].fn = nullptr;
        t->workers[i].start.set();
    }
    for (int32_t i = 0; i < t->count; ++i) {
        if (t->workers[i].thread.joinable()) t->workers[i].thread.join();
    }
    for (int32_t i = 0; i < t->built; ++i) t->workers[i].~WorkerRecord();
    t->~WorkerTable();
    DisposePtr(reinterpret_cast<Ptr>(t));
}

}  // namespace

extern "C" {

RC_API void InitMP(void) {
    if (table()) TerminateMP();
    // the keys' tables of slots 62 and 63, unless the executable gave its own
    rc::keying::installApplicationTables();
    const char* path = reinterpret_cast<const char*>(GetAGlobal(kSlotSettingsFilePath));
    int32_t n = rc::platform::getPrivateProfileInt("override", "NumCPUs", -1, path);
    if (n < 0) n = rc::platform::processorCount();
    if (n > kMPMaxProcessors) n = kMPMaxProcessors;
    if (n < 1) n = 1;
    SetAGlobal(kSlotProcessorCount, n);
    SetAGlobal(kSlotMPWorkers, 0);
    if (n == 1) return;

    const int32_t workers = n - 1;
    Ptr block = NewPtrClear(sizeof(WorkerTable) + sizeof(WorkerRecord) * workers);
    if (!block) {
        SetAGlobal(kSlotProcessorCount, 1);
        return;
    }
    auto* t = new (block) WorkerTable();
    t->workers = reinterpret_cast<WorkerRecord*>(block + sizeof(WorkerTable));
    for (int32_t i = 0; i < workers; ++i) {
        WorkerRecord* w = new (&t->workers[i]) WorkerRecord();
        w->doneEvents = t->doneEvents;
        t->doneEvents[i] = &w->done;
        t->built = i + 1;
    }
    // A worker that cannot start leaves the pool smaller; the ones before it
    // serve as usual.
    for (int32_t i = 0; i < workers; ++i) {
        WorkerRecord* w = &t->workers[i];
        if (!rc::platform::startThread(w->thread, [w] { workerLoop(w); })) break;
        t->count = i + 1;
    }
    if (t->count == 0) {
        freeTable(t);
        SetAGlobal(kSlotProcessorCount, 1);
        return;
    }
    SetAGlobal(kSlotProcessorCount, t->count + 1);
    SetAGlobal(kSlotMPWorkers, reinterpret_cast<intptr_t>(t));
}

RC_API void TerminateMP(void) {
    WorkerTable* t = table();
    if (t) freeTable(t);
    SetAGlobal(kSlotMPWorkers, 0);
    SetAGlobal(kSlotProcessorCount, 1);
    releaseLock();
}

RC_API int32_t FmLockMP(int32_t bands) {
    intptr_t n = GetAGlobal(kSlotProcessorCount);
    if (bands <= 1 || n <= 1 || !table()) return 1;
    std::thread::id none;
    if (!lockOwner.compare_exchange_strong(none, std::this_thread::get_id(),
                                           std::memory_order_acq_rel))
        return 1;
    SetAGlobal(kSlotMPLock, 1);
    return bands < n ? bands : static_cast<int32_t>(n);
}

RC_API void FmExecuteMP(int32_t count, MPJobProc fn, void* blocks, int32_t stride) {
    if (count < 1 || !fn) {
        if (ownsLock()) releaseLock();
        return;
    }
    auto* base = static_cast<char*>(blocks);
    auto blockAt = [&](int32_t i) { return base + static_cast<intptr_t>(i) * stride; };
    WorkerTable* t = table();
    int32_t onWorkers = 0;
    const bool owner = ownsLock();
    if (count > 1 && owner && t) {
        onWorkers = count - 1 < t->count ? count - 1 : t->count;
        for (int32_t i = 0; i < onWorkers; ++i) {
            WorkerRecord& w = t->workers[i];
            w.fn = fn;
            w.arg = blockAt(i);
            w.done.reset();
            w.start.set();
        }
    }
    // Bands without a worker of their own, and the last band, run here.
    for (int32_t i = onWorkers; i < count; ++i) fn(blockAt(i));
    if (onWorkers > 0) rc::platform::waitAll(t->doneEvents, onWorkers);
    if (owner) releaseLock();
}

RC_API void FmCancelMP(void) {
    if (ownsLock()) releaseLock();
}

}  // extern "C"
