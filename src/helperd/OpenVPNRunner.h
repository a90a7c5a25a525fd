#pragma once

#include "helper/HelperPaths.h"
#include "platform/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

// One openvpn process run from a private in-memory copy of an accepted profile,
// with the management interface, credential query and scripts the helper sets.
class OpenVPNRunner {
public:
    static constexpr const char* program = "/usr/sbin/openvpn";
    static constexpr int managementPort = HelperPaths::managementPort;

    struct Launch {
        std::string profile;
        std::string upScript;
        std::string downScript;
        // What openvpn's management interface demands before it serves anyone.
        std::string managementPassword;
        // SO_MARK of openvpn's own transport socket, so the leak guard can let it out.
        uint32_t transportMark = 0;
        // The tunnel device openvpn opens: "tun" or "tap", and its name.
        std::string tunnelType;
        std::string tunnelName;
    };

    // Starts openvpn; fails with why it could not be started.
    Result<void> start(const Launch& launch);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Readable once the process has ended.
    int exitFd() const { return pidFd_; }

    void signal(int signalNumber);
    // Collects the ended process: its exit code, or 128 + the signal that ended it.
    std::optional<int32_t> reap();

private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
};
