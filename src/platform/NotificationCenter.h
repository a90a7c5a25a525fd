#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Named notifications without sender or payload. Observers run on the thread that
// posts, which in this system is always the main thread. An observer stays only as long
// as the Observation that addObserver() returned: whoever registers it lets it go with
// itself, so no observer outlives what it calls into.
class NotificationCenter {
    struct Observers;

public:
    class [[nodiscard]] Observation {
    public:
        Observation() = default;
        Observation(std::weak_ptr<Observers> observers, uint64_t id)
            : observers_(std::move(observers)), id_(id) {}
        Observation(Observation&& other) noexcept { *this = std::move(other); }
        Observation& operator=(Observation&& other) noexcept;
        ~Observation() { reset(); }
        void reset();

    private:
        std::weak_ptr<Observers> observers_;
        uint64_t id_ = 0;
    };

    static NotificationCenter& defaultCenter();

    Observation addObserver(std::string name, std::function<void()> observer);
    void post(const std::string& name);

private:
    struct Observers {
        mutable std::mutex mutex;
        uint64_t nextId = 1;
        struct Entry {
            uint64_t id;
            std::string name;
            std::shared_ptr<std::function<void()>> observer;
        };
        std::vector<Entry> entries;
    };
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
};
