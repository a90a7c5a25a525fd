#pragma once

#include "installer/TrustedDir.h"

#include <chrono>
#include <string>
#include <vector>

// A helper daemon started without systemd, named by the pidfile it wrote. The pidfile
// may be stale and its number reused by any other process, so the process is held by
// a pidfd and signalled only when its executable is one of the helper's own paths.
class RunningHelper {
public:
    enum class Outcome { noneRunning, stopped, foreign };

    // Ends the helper named in `dir`/`pidfile` with SIGTERM and waits for it to exit.
    // Throws when it is still running after `patience`.
    static Outcome stop(const TrustedDir& dir, const std::string& pidfile,
                        const std::vector<std::string>& executables,
                        std::chrono::milliseconds patience);
};
