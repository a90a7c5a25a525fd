#pragma once

#include "platform/MainQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// A main queue that nobody runs on its own: the thread that owns it (a test, or a
// process without an event loop) drains it. Posting is thread-safe. Its clock is the
// steady clock, or, for a test that drives time by hand, one that moves only with
// advance().
class ManualMainQueue : public MainQueue {
public:
    using Clock = std::chrono::steady_clock;
    enum class Time { real, manual };

    explicit ManualMainQueue(Time time = Time::real) : time_(time) {}

    void async(std::function<void()> work) override;
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) override;

    // Runs everything queued and every timer that is due, including work posted while
    // draining; returns the count.
    size_t drain();

    // Drains until `done` holds or `timeout` passes; returns `done()`. Real time only.
    bool drainUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // A manual clock: moves it on by `by` and drains, timers in the order they fall due.
    void advance(std::chrono::milliseconds by);
    Clock::time_point now() const;

private:
    struct Timer {
        Clock::time_point due;
        uint64_t order;
        std::function<void()> work;
    };
    // Moves the timers due by now to the back of the queue; the caller holds mutex_.
    void releaseDueTimers();

    const Time time_;
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> work_;
    std::vector<Timer> timers_;
    uint64_t timerOrder_ = 0;
    Clock::time_point manualNow_{};
};
