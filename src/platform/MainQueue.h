#pragma once

#include <chrono>
#include <functional>

// The main thread's queue: work posted here runs later, on the main thread, in
// the order it was posted. Safe to post from any thread.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    virtual void async(std::function<void()> work) = 0;
    // Runs `work` on the main thread once `delay` has passed: a time-out is an event
    // like any other, so whoever owns a state never waits on a clock of its own.
    virtual void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;

    // The process's main queue: the one the application installs at start-up, or,
    // in a process that installs none, a queue that only its owner drains.
    static MainQueue& main();
    static void setMain(MainQueue& queue);
};
