#include "platform/threads.h"

#include <sched.h>

#include <system_error>

namespace rc::platform {

namespace {
std::atomic<int> threadStartFailures{0};
constexpr int kSpinRounds = 2000;
}  // namespace

void Event::set() {
    state_.store(1, std::memory_order_release);
    state_.notify_all();
}

void Event::reset() { state_.store(0, std::memory_order_release); }

void Event::wait() const {
    for (int i = 0; i < kSpinRounds; ++i) {
        if (isSet()) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    while (state_.load(std::memory_order_acquire) == 0) state_.wait(0, std::memory_order_acquire);
}

void waitAll(Event* const* events, int count) {
    // Manual-reset events stay set once set, so waiting on each in turn
    // returns exactly when all of them are signalled.
    for (int i = 0; i < count; ++i) events[i]->wait();
}

bool startThread(std::thread& thread, std::function<void()> body) {
    int pending = threadStartFailures.load();
    while (pending > 0) {
        if (threadStartFailures.compare_exchange_weak(pending, pending - 1)) return false;
    }
    try {
        thread = std::thread(std::move(body));
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

void failNextThreadStarts(int n) { threadStartFailures.store(n > 0 ? n : 0); }

}  // namespace rc::platform
