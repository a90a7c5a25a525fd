#pragma once

#include "ChildProcess.h"
#include "TempDir.h"

#include <memory>
#include <optional>
#include <string>

#ifndef QUOVANT_TEST_LIBEXEC_DIR
#error "QUOVANT_TEST_LIBEXEC_DIR must point at the build's libexec/quovant"
#endif

// The real helper daemon, running as root for a test: installed (helper and scripts)
// into a root-owned directory of its own, listening on a private socket path.
class HelperDaemon {
public:
    static std::string libexecDir() { return QUOVANT_TEST_LIBEXEC_DIR; }
    static std::string builtHelper() { return libexecDir() + "/com.quovant.macos.helper"; }

    explicit HelperDaemon(const std::string& helperCopy = builtHelper());
    ~HelperDaemon();

    std::string socketPath() const { return (dir_ / "helper.sock").string(); }
    std::string installDir() const { return (dir_ / "helper").string(); }
    std::string upScript() const { return installDir() + "/client.up"; }
    std::string downScript() const { return installDir() + "/client.down"; }
    std::filesystem::path logFile() const { return dir_ / "helper.log"; }
    // Where the daemon looks for the system bus (and polkit on it): nothing is there unless
    // a test starts a bus there.
    std::filesystem::path systemBusSocket() const { return dir_ / "system-bus"; }
    std::string log() const { return readFile(logFile()); }
    bool running() { return process_ && process_->running(); }
    // The pid of the openvpn the daemon started last, as its log says.
    std::optional<pid_t> openVPNPid() const;
    // Ends the daemon with `signalNumber` and waits (bounded) until it is gone.
    void kill(int signalNumber);
    // Starts the installed daemon again on the same socket path, as systemd would.
    void start();
    ChildProcess& process() { return *process_; }

private:
    TempDir dir_{"quovant-helper"};
    std::unique_ptr<ChildProcess> process_;
};
