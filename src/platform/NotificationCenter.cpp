#include "platform/NotificationCenter.h"

#include <algorithm>
#include <utility>

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter;
    return *center;
}

NotificationCenter::Observation&
NotificationCenter::Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        reset();
        observers_ = std::move(other.observers_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void NotificationCenter::Observation::reset() {
    if (const auto observers = observers_.lock()) {
        std::lock_guard lock(observers->mutex);
        std::erase_if(observers->entries, [id = id_](const auto& entry) { return entry.id == id; });
    }
    observers_.reset();
    id_ = 0;
}

NotificationCenter::Observation NotificationCenter::addObserver(std::string name,
                                                                std::function<void()> observer) {
    std::lock_guard lock(observers_->mutex);
    const uint64_t id = observers_->nextId++;
    observers_->entries.push_back(
        {id, std::move(name), std::make_shared<std::function<void()>>(std::move(observer))});
    return Observation(observers_, id);
}

void NotificationCenter::post(const std::string& name) {
    std::vector<std::pair<uint64_t, std::shared_ptr<std::function<void()>>>> matching;
    {
        std::lock_guard lock(observers_->mutex);
        for (const auto& entry : observers_->entries)
            if (entry.name == name)
                matching.emplace_back(entry.id, entry.observer);
    }
    // Called outside the lock, so an observer may add or remove observers; one removed
    // by an earlier observer of this post is not called.
    for (const auto& [id, observer] : matching) {
        {
            std::lock_guard lock(observers_->mutex);
            const bool still = std::any_of(observers_->entries.begin(), observers_->entries.end(),
                                           [id = id](const auto& entry) { return entry.id == id; });
            if (!still)
                continue;
        }
        (*observer)();
    }
}
