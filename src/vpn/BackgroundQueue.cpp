#include "vpn/BackgroundQueue.h"

#include <utility>

BackgroundQueue::~BackgroundQueue() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        thread = std::move(thread_);
    }
    changed_.notify_all();
    if (thread.joinable())
        thread.join();
}

void BackgroundQueue::async(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        // While the queue ends, its thread still runs what a last task gives it.
        if (!thread_.joinable() && !ending_)
            thread_ = std::thread([this] { run(); });
    }
    changed_.notify_all();
}

void BackgroundQueue::waitUntilIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return tasks_.empty() && !busy_; });
}

void BackgroundQueue::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !tasks_.empty() || ending_; });
        if (tasks_.empty())
            return;
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        busy_ = true;
        lock.unlock();
        task();
        // Its captures go before the queue counts as idle: a waiter may then destroy
        // what they point to.
        task = nullptr;
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}
