#include "Poll.h"

#include <thread>

bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               const std::function<bool()>& stop) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (stop() || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
