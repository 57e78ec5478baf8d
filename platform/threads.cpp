#include "platform/threads.h"

#include <sched.h>

#include <mutex>
#include <system_error>

namespace rc::platform {

namespace {
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
    // atomic::wait spins briefly, then yields, then sleeps on a futex:
    // short pool jobs are picked up without a system call, and a longer
    // spin of our own only steals the processor from the thread we wait for.
    while (state_.load(std::memory_order_acquire) == 0) state_.wait(0, std::memory_order_acquire);
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
