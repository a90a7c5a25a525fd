#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Named notifications without sender or payload. Observers run on the thread that
// posts, which in this system is always the main thread.
class NotificationCenter {
public:
    static NotificationCenter& defaultCenter();

    void addObserver(std::string name, std::function<void()> observer);
    void post(const std::string& name);

private:
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::function<void()>>> observers_;
};
