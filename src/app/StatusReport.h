#pragma once

#include "platform/UserText.h"
#include "vpn/ConnectionStatus.h"

#include <chrono>
#include <string>

// The connection's status as `quovant status` prints it: the window's status line on one
// line, or one JSON object whose "text", "tooltip" and "class" a status bar can show as
// they are. Never a line feed inside a line.
namespace StatusReport {

struct Clocks {
    std::chrono::steady_clock::time_point steady;
    std::chrono::system_clock::time_point wall;
};

std::string text(const ConnectionStatus& status, Clocks now);
std::string json(const ConnectionStatus& status, Clocks now);
// What `status` says when no Quovant of this user's runs: `text`, in the caller's language.
std::string notRunning(bool json, const std::string& text);
constexpr const char* notRunningText = USER_TEXT("Messages", "Quovant is not running");

} // namespace StatusReport
