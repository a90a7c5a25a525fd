#pragma once

#include <chrono>
#include <functional>

// Asks `done` every 20 ms until it holds or `timeout` passes (or `stop` says to give
// up). For what only shows outside this process: a log line, a file, a listening port.
bool pollUntil(
    const std::function<bool()>& done, std::chrono::milliseconds timeout,
    const std::function<bool()>& stop = [] { return false; });
