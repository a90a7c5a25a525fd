#include "platform/ManualMainQueue.h"

#include <algorithm>
#include <atomic>

namespace {
std::atomic<MainQueue*> installedMain{nullptr};
}

MainQueue& MainQueue::main() {
    if (auto* queue = installedMain.load())
        return *queue;
    static auto* fallback = new ManualMainQueue;
    MainQueue* expected = nullptr;
    installedMain.compare_exchange_strong(expected, fallback);
    return *installedMain.load();
}

void MainQueue::setMain(MainQueue& queue) {
    installedMain.store(&queue);
}

void ManualMainQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    posted_.notify_all();
}

void ManualMainQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        const auto now = time_ == Time::manual ? manualNow_ : Clock::now();
        timers_.push_back({now + delay, timerOrder_++, std::move(work)});
    }
    posted_.notify_all();
}

ManualMainQueue::Clock::time_point ManualMainQueue::now() const {
    std::lock_guard lock(mutex_);
    return time_ == Time::manual ? manualNow_ : Clock::now();
}

void ManualMainQueue::releaseDueTimers() {
    const auto now = time_ == Time::manual ? manualNow_ : Clock::now();
    std::vector<Timer> due;
    std::erase_if(timers_, [&](Timer& timer) {
        if (timer.due > now)
            return false;
        due.push_back(std::move(timer));
        return true;
    });
    std::sort(due.begin(), due.end(), [](const Timer& a, const Timer& b) {
        return a.due != b.due ? a.due < b.due : a.order < b.order;
    });
    for (auto& timer : due)
        work_.push_back(std::move(timer.work));
}

size_t ManualMainQueue::drain() {
    size_t count = 0;
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard lock(mutex_);
            if (work_.empty())
                releaseDueTimers();
            if (work_.empty())
                return count;
            next = std::move(work_.front());
            work_.pop_front();
        }
        next();
        ++count;
    }
}

void ManualMainQueue::advance(std::chrono::milliseconds by) {
    const Clock::time_point until = now() + by;
    // Step from timer to timer, so that work a timer posts runs before later timers.
    for (;;) {
        drain();
        std::lock_guard lock(mutex_);
        auto next = std::min_element(timers_.begin(), timers_.end(),
                                     [](const Timer& a, const Timer& b) { return a.due < b.due; });
        if (next == timers_.end() || next->due > until) {
            manualNow_ = until;
            break;
        }
        manualNow_ = std::max(manualNow_, next->due);
    }
    drain();
}

bool ManualMainQueue::drainUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        drain();
        if (done())
            return true;
        std::unique_lock lock(mutex_);
        auto wakeAt = deadline;
        for (const auto& timer : timers_)
            wakeAt = std::min(wakeAt, timer.due);
        posted_.wait_until(lock, wakeAt, [this] { return !work_.empty(); });
        if (Clock::now() >= deadline && work_.empty())
            break;
    }
    drain();
    return done();
}
