// Threads and events for the processor pool: a manual-reset event, a
// combined wait on several of them, thread start-up that reports failure
// instead of throwing, and the number of processors this process may use.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace rc::platform {

// Manual-reset event: stays signalled until reset. A waiter first spins for
// a bounded time (see setEventSpin), then sleeps until the event is set.
class Event {
  public:
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const { return state_.load(std::memory_order_acquire) != 0; }
    void wait() const;

  private:
    std::atomic<uint32_t> state_{0};
};

// How long a waiter spins before it sleeps, in microseconds (default 50;
// 0 sleeps at once). The pool's bands are handed out microseconds apart, so a
// worker that spins picks up the next band without a wake-up; the bound keeps
// an idle pool from holding a processor.
void setEventSpin(int micros);
int eventSpin();

// Returns when every event of the list is signalled (no time-out).
void waitAll(Event* const* events, int count);

// Starts a thread running `body`. False when the system refuses (the
// thread object is left empty).
bool startThread(std::thread& thread, std::function<void()> body);

// Number of processors in this process's affinity mask (at least 1).
int processorCount();

// Test hook: after `after` more successful starts, the next `count` calls
// of startThread fail (count 0 switches it off).
void failThreadStarts(int after, int count);

}  // namespace rc::platform
