#pragma once

#include <string>

// The desktop's notification bubbles. Each new one replaces the previous one, so
// Quovant never has more than one on screen; nothing is waited for.
class DesktopNotifications {
public:
    virtual ~DesktopNotifications() = default;
    virtual void notify(const std::string& summary, const std::string& body) = 0;
};
