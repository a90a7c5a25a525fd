#pragma once

#include "platform/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// One openvpn process run from a private in-memory copy of an accepted profile,
// with the management interface, credential query and scripts the helper sets. Its
// output comes to the daemon through a pipe, line by line.
class OpenVPNRunner {
public:
    static constexpr const char* program = "/usr/sbin/openvpn";
    // openvpn's lines are short; a longer one reaches the log cut.
    static constexpr size_t maxOutputLine = 4096;

    struct Launch {
        std::string profile;
        // client.up, run as openvpn's route-up script; client.down as its down script.
        std::string upScript;
        std::string downScript;
        // The Unix socket openvpn's management interface listens on, in a directory only
        // root may enter: the helper connects to it and hands the connection on.
        std::string managementSocket;
        // The leak guard blocks all but the tunnel and openvpn's own transport, which
        // carries SO_MARK transportMark (0: none) so the guard can let it out.
        bool guarded = false;
        uint32_t transportMark = 0;
        // The tunnel device openvpn opens: "tun" or "tap", and its name.
        std::string tunnelType;
        std::string tunnelName;
        // openvpn's directory for temporary files, if not /tmp (which the helper's
        // sandbox keeps read-only).
        std::string tmpDir;
        // openvpn's end of the channel its route-up and down scripts report on, which they find
        // as descriptor 4; -1: none.
        int reportChannel = -1;
        // The account openvpn and its scripts run as, with the network's capability alone;
        // uid 0: root's, as where no account of its own is set up.
        uid_t uid = 0;
        gid_t gid = 0;
    };
    static constexpr int reportFd = 4;
    // openvpn says its management interface listens at verbosity 3 and up: the run's
    // verbosity is the profile's, but at least that.
    static constexpr int leastVerbosity = 3;
    static int verbosity(std::string_view profile);

    // Starts openvpn; fails with why it could not be started.
    Result<void> start(const Launch& launch);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Readable once the process has ended.
    int exitFd() const { return pidFd_; }
    // Readable while openvpn has output for the daemon; -1 once it closed its end.
    int outputFd() const { return outputFd_; }
    // The complete lines openvpn has written since the last call.
    std::vector<std::string> readOutput();

    void signal(int signalNumber);
    // Collects the ended process: its exit code, or 128 + the signal that ended it.
    std::optional<int32_t> reap();

private:
    void closeOutput();

    pid_t pid_ = -1;
    int pidFd_ = -1;
    int outputFd_ = -1;
    std::string partial_;
};
