#pragma once

#include "helper/HelperWire.h"
#include "helperd/LeakGuard.h"
#include "helperd/NameResolver.h"
#include "helperd/OpenVPNRunner.h"
#include "helperd/RunSupervisor.h"
#include "helperd/ScriptReport.h"
#include "platform/UniqueFd.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the run slot's decisions do to the machine: the name look-up child, the leak
// guard, openvpn itself (its output read for its word that it listens, its management
// interface connected to then and handed to the run's client) and the replies to the run's
// client. The daemon's loop watches the descriptors this hands out and reports what they say.
class RunEffects : public RunSupervisor::Ports {
public:
    struct Settings {
        // Where openvpn's management interface listens, in a directory only root may
        // enter; empty: there is none, and no openvpn is started.
        std::string managementSocket;
        // Blocks traffic outside the tunnel of a run; none: runs are not guarded.
        LeakGuard* guard = nullptr;
        // openvpn's directory for temporary files; empty: its own choice.
        std::string tmpDir;
        // The account openvpn runs as; uid 0: root's.
        uid_t openVPNUid = 0;
        gid_t openVPNGid = 0;
        // Sends a reply to a client, if it is still there, with `fd` unless negative.
        std::function<void(uint64_t client, const HelperReply& reply, int fd)> send;
    };

    explicit RunEffects(Settings settings);

    const OpenVPNRunner& openVPN() const { return runner_; }
    const NameResolver& lookup() const { return resolver_; }
    // Logs what openvpn wrote; true once it said its management interface listens and
    // the helper connected to it.
    bool openVPNSaid();
    // openvpn's status once it has ended, after its last words are logged.
    std::optional<int32_t> openVPNEnded();
    // What the look-up found, once it is done.
    std::optional<NumericRemotes::Addresses> lookedUp();

    // The channel the current openvpn's scripts report on (-1 once closed), and the run
    // (counted from 1 by openvpn started) and tunnel it belongs to.
    int reportFd() const { return report_.get(); }
    uint64_t run() const { return run_; }
    const std::string& tunnel() const { return tunnel_; }
    // The reports the scripts completed; the channel is closed at its end or at the first
    // malformed report.
    std::vector<ScriptReport::Report> readReports();
    // Answers the up script of `run`, if that run's channel is still open.
    void acknowledge(uint64_t run, bool applied);

    Result<void> startLookup(const std::vector<std::string>& names) override;
    NumericRemotes::Addresses stopLookup() override;
    std::optional<std::string> freeTunnel(const std::string& type) override;
    RunSupervisor::Blocked block(const std::string& tunnel, bool allowLocalNetwork) override;
    void closeTunnel() override;
    void unblock() override;
    Result<void> startOpenVPN(OpenVPNRunner::Launch& launch) override;
    void signalOpenVPN(int signalNumber) override;
    void started(const RunSupervisor::Owner& owner) override;
    void ended(const RunSupervisor::Owner& owner, int32_t status, const UserMessage& reason,
               bool blocking) override;
    void lifted(const RunSupervisor::Owner& owner, const std::string& reason) override;

private:
    Settings settings_;
    OpenVPNRunner runner_;
    NameResolver resolver_;
    // Whether the openvpn that starts said its management interface listens.
    bool listening_ = false;
    // The helper's connection to it, until the run's client has it.
    UniqueFd management_;
    UniqueFd report_;
    ScriptReport reports_;
    uint64_t run_ = 0;
    std::string tunnel_;
};
