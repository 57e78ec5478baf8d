#include "platform/threads.h"

#include <sched.h>

#include <chrono>
#include <mutex>
#include <system_error>

namespace rc::platform {

namespace {
std::atomic<int> spinMicros{50};

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Spins until `state` is non-zero or the spin time runs out; true when set.
bool spinUntilSet(const std::atomic<uint32_t>& state) {
    const int micros = spinMicros.load(std::memory_order_relaxed);
    if (micros <= 0) return state.load(std::memory_order_acquire) != 0;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(micros);
    for (;;) {
        // the clock is read once per 64 pauses, a fraction of a microsecond
        for (int i = 0; i < 64; ++i) {
            if (state.load(std::memory_order_acquire) != 0) return true;
            relax();
        }
        if (Clock::now() >= deadline) return false;
    }
}

std::mutex faultMutex;
int startsBeforeFault = 0;
int startFaults = 0;

bool injectedFault() {
    std::lock_guard<std::mutex> lock(faultMutex);
    if (startFaults == 0) return false;
    if (startsBeforeFault > 0) {
        --startsBeforeFault;
        return false;
    }
    --startFaults;
    return true;
}
}  // namespace

void Event::set() {
    state_.store(1, std::memory_order_release);
    state_.notify_all();
}

void Event::reset() {
    state_.store(0, std::memory_order_release);
}

void Event::wait() const {
    if (spinUntilSet(state_)) return;
    // then sleep on a futex; set() wakes every sleeper
    while (state_.load(std::memory_order_acquire) == 0) state_.wait(0, std::memory_order_acquire);
}

void setEventSpin(int micros) {
    spinMicros.store(micros > 0 ? micros : 0, std::memory_order_relaxed);
}

int eventSpin() {
    return spinMicros.load(std::memory_order_relaxed);
}

void waitAll(Event* const* events, int count) {
    // Manual-reset events stay set once set, so waiting on each in turn
    // returns exactly when all of them are signalled.
    for (int i = 0; i < count; ++i) events[i]->wait();
}

bool startThread(std::thread& thread, std::function<void()> body) {
    if (injectedFault()) return false;
    try {
        // A local lambda keeps the thread's state type private to the library.
        thread = std::thread([run = std::move(body)] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

int processorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    unsigned hw = std::thread::hardware_concurrency();
    return hw > 0 ? static_cast<int>(hw) : 1;
}

void failThreadStarts(int after, int count) {
    std::lock_guard<std::mutex> lock(faultMutex);
    startsBeforeFault = after > 0 ? after : 0;
    startFaults = count > 0 ? count : 0;
}

}  // namespace rc::platform
