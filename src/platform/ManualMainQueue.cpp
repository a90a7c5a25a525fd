#include "platform/ManualMainQueue.h"

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

size_t ManualMainQueue::drain() {
    size_t count = 0;
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard lock(mutex_);
            if (work_.empty())
                return count;
            next = std::move(work_.front());
            work_.pop_front();
        }
        next();
        ++count;
    }
}

bool ManualMainQueue::drainUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drain();
        if (done())
            return true;
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !work_.empty(); }))
            break;
    }
    drain();
    return done();
}
