#pragma once

#include "platform/UniqueFd.h"
#include "platform/UserMessage.h"
#include "platform/UserText.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What the helper lets through while a run blocks: nothing outside the tunnel, or, with
// `allowLocalNetwork`, the private address ranges too.
struct LeakBlock {
    bool enabled = false;
    bool allowLocalNetwork = false;
};

// What the privileged helper does for the application. The daemon implements it;
// the application reaches it through a HelperConnection proxy.
class HelperProtocol {
public:
    // The termination status of a run the helper refused: nothing was started.
    static constexpr int32_t refusedStatus = -1;
    // The reasons of the runs a stopping helper ends or refuses: the helper itself is
    // going away (restarted or upgraded), not the run's openvpn.
    static constexpr const char* helperStoppedReason =
        USER_TEXT("Messages", "The VPN helper stopped.");
    static constexpr const char* helperStoppingReason =
        USER_TEXT("Messages", "The VPN helper is stopping.");

    using VersionHandler = std::function<void(const std::string& version)>;
    // The run has started: `management` is the helper's connection to its openvpn's
    // management interface, handed to the client that asked for the run and nobody else.
    using StartedHandler = std::function<void(std::shared_ptr<UniqueFd> management)>;
    // `reason` says why the helper refused the run (status -1) or ended it itself (a newer
    // run replaced it, the helper stopped); empty when openvpn ended on its own. `blocking`:
    // the run's block of traffic outside the tunnel holds on until it is released.
    using TerminationHandler =
        std::function<void(int32_t terminationStatus, const UserMessage& reason, bool blocking)>;
    // The block a termination said holds was ended by someone else (another program of the
    // user's, root, or another user once this one had left the computer); `reason` says who.
    using BlockLiftedHandler = std::function<void(const UserMessage& reason)>;
    using LeakBlock = ::LeakBlock;

    virtual ~HelperProtocol() = default;

    virtual void getVersion(VersionHandler reply) = 0;
    // Returns at once. The helper reads the profile from `profile`, a descriptor of the
    // file open for reading, never by a path. `startedHandler` runs at most once, when
    // openvpn is ready for its management client; `terminationHandler` runs once, when
    // that openvpn has ended or the run was refused. With `block` enabled the helper lets
    // no traffic leave outside the tunnel during the run (and after an end the user did
    // not ask for, until released).
    virtual void runOpenVPN(std::shared_ptr<UniqueFd> profile, const std::string& clientUp,
                            const std::string& clientDown, StartedHandler startedHandler,
                            TerminationHandler terminationHandler, LeakBlock block = {},
                            BlockLiftedHandler blockLiftedHandler = {}) = 0;
    // Ends the running openvpn. Its block of traffic outside the tunnel ends with it when
    // the user asked; with `keepBlock` (the application ends a run its user still wants,
    // say after a drop with automatic reconnecting off) it holds on until released.
    virtual void killOpenVPN(bool keepBlock = false) = 0;
    // Ends the helper's block of traffic outside the tunnel, which outlives a run that
    // ended without its user asking. Allowed to that run's user and root, and to anyone
    // allowed to change the network once that user has left the computer.
    virtual void releaseBlock() = 0;
};
