#include "platform/NotificationCenter.h"

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter;
    return *center;
}

void NotificationCenter::addObserver(std::string name, std::function<void()> observer) {
    std::lock_guard lock(mutex_);
    observers_.emplace_back(std::move(name), std::move(observer));
}

void NotificationCenter::post(const std::string& name) {
    std::vector<std::function<void()>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [observed, observer] : observers_)
            if (observed == name)
                matching.push_back(observer);
    }
    // Called outside the lock, so an observer may register further observers.
    for (const auto& observer : matching)
        observer();
}
