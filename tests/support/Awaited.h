#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

// Values handed over from another thread (a handler on a connection's queue), with
// bounded waits for them.
template <typename T> class Awaited {
public:
    void add(T value) {
        // Notified under the lock: the waiter may destroy this object as soon as it sees the value.
        std::lock_guard lock(mutex_);
        values_.push_back(std::move(value));
        changed_.notify_all();
    }
    // The first value, once there (empty on time-out).
    std::optional<T> first(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return !values_.empty(); }))
            return std::nullopt;
        return values_.front();
    }
    std::vector<T> all() {
        std::lock_guard lock(mutex_);
        return values_;
    }
    size_t count() {
        std::lock_guard lock(mutex_);
        return values_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<T> values_;
};
