#pragma once

#include "platform/MainQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

// A main queue that nobody runs on its own: the thread that owns it (a test, or a
// process without an event loop) drains it. Posting is thread-safe.
class ManualMainQueue : public MainQueue {
public:
    void async(std::function<void()> work) override;

    // Runs everything queued, including work posted while draining; returns the count.
    size_t drain();

    // Drains until `done` holds or `timeout` passes; returns `done()`.
    bool drainUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> work_;
};
