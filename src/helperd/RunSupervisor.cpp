#include "helperd/RunSupervisor.h"

#include "helper/HelperProtocol.h"
#include "helperd/ClientPolicy.h"
#include "helperd/DaemonLog.h"
#include "helperd/ProfileChecker.h"
#include "helperd/TunnelDevice.h"
#include "platform/Overloaded.h"
#include "platform/UserText.h"

#include <algorithm>
#include <csignal>

namespace {

constexpr int32_t refusedStatus = HelperProtocol::refusedStatus;
constexpr const char* replacedReason =
    USER_TEXT("Messages", "A newer connection request replaced this one.");

std::string uidText(uid_t uid) {
    return "uid " + std::to_string(uid);
}

std::string liftedReason(uid_t by, uid_t owner) {
    if (by == owner)
        return USER_TEXT("Messages",
                         "Another program of yours ended the block of traffic outside the VPN.");
    if (by == 0)
        return USER_TEXT("Messages",
                         "An administrator ended the block of traffic outside the VPN.");
    return USER_TEXT("Messages",
                     "Another user of this computer ended the block of traffic outside the VPN.");
}

} // namespace

const char* RunSupervisor::phaseName(Phase phase) {
    switch (phase) {
    case Phase::idle:
        return "idle";
    case Phase::resolving:
        return "resolving";
    case Phase::starting:
        return "starting";
    case Phase::running:
        return "running";
    case Phase::stopping:
        return "stopping";
    case Phase::blockedAfterDrop:
        return "blockedAfterDrop";
    }
    return "?";
}

bool RunSupervisor::openVPNRuns() const {
    return phase_ == Phase::starting || phase_ == Phase::running || phase_ == Phase::stopping;
}

std::optional<uid_t> RunSupervisor::runUid() const {
    if (current_)
        return current_->run.owner.uid;
    return std::nullopt;
}

std::optional<uid_t> RunSupervisor::blockUid() const {
    if (block_)
        return block_->owner.uid;
    return std::nullopt;
}

void RunSupervisor::handle(Event event, Clock::time_point now) {
    std::visit(Overloaded{
                   [&](Admitted& e) { admit(std::move(e.run), now); },
                   [&](LookedUp& e) {
                       if (phase_ == Phase::resolving)
                           lookedUp(e.addresses, now);
                   },
                   [&](Listening&) {
                       if (phase_ != Phase::starting)
                           return;
                       phase_ = Phase::running;
                       deadline_.reset();
                       ports_.started(current_->run.owner);
                   },
                   [&](Exited& e) {
                       if (openVPNRuns())
                           exited(e.status, now);
                   },
                   [&](Kill& e) { kill(e, now); },
                   [&](Release& e) { release(e); },
                   [&](Refused& e) { refuse(e.owner, e.why, e.reason); },
                   [&](ClientGone& e) { clientGone(e.client, now); },
                   [&](Failed& e) { fail(e); },
                   [&](Tick&) { tick(now); },
                   [&](Stop&) { stop(now); },
               },
               event);
}

void RunSupervisor::admit(Run run, Clock::time_point now) {
    if (stopping_)
        return refuse(run.owner, "the helper is stopping", HelperProtocol::helperStoppingReason);
    if (phase_ == Phase::resolving) {
        ports_.stopLookup();
        DaemonLog::line("no longer looking up server names: a new run was requested");
        const Owner replaced = current_->run.owner;
        current_.reset();
        deadline_.reset();
        settle();
        ports_.ended(replaced, refusedStatus, replacedReason, false);
    }
    if (!openVPNRuns())
        return prepare(std::move(run), now);
    // One openvpn at a time: the running one ends first, then this one goes on.
    if (next_)
        ports_.ended(next_->owner, refusedStatus, replacedReason, false);
    next_ = std::move(run);
    current_->endReason = replacedReason;
    stopOpenVPN("a new run was requested", now);
}

void RunSupervisor::prepare(Run run, Clock::time_point now) {
    // Another user's run (root's, or one allowed because the block's user has left) does
    // not inherit that user's block and the addresses it looked up: it starts afresh.
    if (block_ && block_->owner.uid != run.owner.uid) {
        releaseBlock("a run of " + uidText(run.owner.uid) + " was admitted", run.owner);
        settle();
    } else if (block_ && block_->toldRequest && block_->owner.client != run.owner.client) {
        // Another program of the same user takes the block over: it is no longer the
        // first one's to show or to release.
        ports_.lifted({block_->owner.client, *block_->toldRequest, block_->owner.uid},
                      liftedReason(run.owner.uid, block_->owner.uid));
        block_->toldRequest.reset();
    }
    if (!run.blockLeaks || run.names.empty())
        return start(std::move(run), {}, now);
    if (block_) {
        // No query can leave while the block holds; the names looked up when it began
        // still stand for the servers the user was connected to.
        const auto& known = block_->addresses;
        const bool all = block_->owner.uid == run.owner.uid &&
                         std::all_of(run.names.begin(), run.names.end(),
                                     [&](const std::string& name) { return known.count(name); });
        if (!all)
            return refuse(
                run.owner, "its server names cannot be looked up while the block holds",
                USER_TEXT("Messages",
                          "The VPN server's name cannot be looked up while traffic outside the "
                          "VPN is blocked. Disconnect, then connect again."));
        return start(std::move(run), known, now);
    }
    if (const Result<void> started = ports_.startLookup(run.names); !started)
        return refuse(run.owner, started.why(),
                      USER_TEXT("Messages", "The VPN server's name could not be looked up."));
    DaemonLog::line("looking up the server names of the run of " + uidText(run.owner.uid));
    current_ = Current{std::move(run), {}, false};
    phase_ = Phase::resolving;
    deadline_ = now + lookupTimeout;
}

void RunSupervisor::lookedUp(const NumericRemotes::Addresses& addresses, Clock::time_point now) {
    Run run = std::move(current_->run);
    current_.reset();
    deadline_.reset();
    settle();
    start(std::move(run), addresses, now);
}

void RunSupervisor::start(Run run, NumericRemotes::Addresses addresses, Clock::time_point now) {
    if (!run.names.empty()) {
        const auto profile = NumericRemotes::rewrite(run.launch.profile, addresses);
        // What openvpn gets passes the same allowlist as what the user handed in.
        if (!profile || !ProfileChecker::check(*profile))
            return refuse(
                run.owner, "no address found for its servers",
                USER_TEXT("Messages", "The VPN server's address could not be looked up."));
        run.launch.profile = *profile;
    }
    // The daemon names the tunnel before openvpn opens it: the guard lets exactly this
    // tunnel through, and the tunnel's DNS goes on this link.
    run.launch.tunnelType = TunnelDevice::typeOf(run.launch.profile);
    const auto tunnel = ports_.freeTunnel(run.launch.tunnelType);
    if (!tunnel)
        return refuse(run.owner, "no free " + run.launch.tunnelType + " interface name",
                      USER_TEXT("Messages", "No tunnel interface is free on this computer."));
    run.launch.tunnelName = *tunnel;
    if (run.blockLeaks) {
        run.launch.guarded = true;
        switch (ports_.block(*tunnel, run.allowLocalNetwork)) {
        case Blocked::yes:
            block_ = Block{run.owner, std::move(addresses), std::nullopt};
            DaemonLog::line("blocking traffic outside the tunnel " + *tunnel + " for " +
                            uidText(run.owner.uid) +
                            (run.allowLocalNetwork ? ", the local network allowed" : ""));
            break;
        case Blocked::unavailable:
            break;
        case Blocked::refused:
            // The block itself holds, for this run's user, who may release it.
            block_ = Block{run.owner, std::move(addresses), std::nullopt};
            settle();
            return refuse(
                run.owner, "the local network could not be shut out",
                USER_TEXT("Messages",
                          "The block of traffic outside the VPN could not be changed to keep "
                          "the local network out."));
        }
    } else {
        // A run that does not block leaks ends any block an earlier run left.
        releaseBlock("a run without a block started", run.owner);
    }
    if (const Result<void> started = ports_.startOpenVPN(run.launch); !started) {
        settle();
        return refuse(run.owner, "openvpn could not be started", started.why());
    }
    current_ = Current{std::move(run), {}, false};
    phase_ = Phase::starting;
    deadline_ = now + readyTimeout;
}

void RunSupervisor::exited(int32_t status, Clock::time_point now) {
    DaemonLog::line("openvpn ended with status " + std::to_string(status));
    Current ended = std::move(*current_);
    current_.reset();
    deadline_.reset();
    ports_.closeTunnel();
    if (ended.releaseAtEnd && !next_)
        releaseBlock("its run was ended on request");
    else if (block_ && !next_)
        DaemonLog::line("still blocking traffic outside the tunnel for " +
                        uidText(block_->owner.uid) + " until released");
    settle();
    // After the block's fate is known: the reply says whether it outlives the run.
    tellEnd(ended.run.owner, status, ended.endReason);
    if (next_ && !stopping_) {
        Run run = std::move(*next_);
        next_.reset();
        prepare(std::move(run), now);
    }
}

void RunSupervisor::kill(const Kill& kill, Clock::time_point now) {
    if (phase_ == Phase::resolving && ClientPolicy::mayControl(kill.caller, runUid().value())) {
        ports_.stopLookup();
        const Owner owner = current_->run.owner;
        current_.reset();
        deadline_.reset();
        settle();
        return ports_.ended(owner, refusedStatus,
                            USER_TEXT("Messages", "The connection was ended before it started."),
                            false);
    }
    if (!openVPNRuns())
        return;
    if (!ClientPolicy::mayControl(kill.caller, runUid().value())) {
        DaemonLog::line("refused killOpenVPN from " + uidText(kill.caller) +
                        ": openvpn belongs to " + uidText(*runUid()));
        return;
    }
    // An end the application chose for a run its user still wants (a drop with
    // automatic reconnecting off, a management interface it lost) is no end the user
    // asked for: the block stays until they choose. Once asked, the release stands.
    const bool keep = kill.keepBlock && kill.keepRefused.empty();
    if (!keep)
        current_->releaseAtEnd = true;
    if (!kill.keepRefused.empty())
        current_->endReason = kill.keepRefused;
    stopOpenVPN(keep ? "killOpenVPN, keeping the block" : "killOpenVPN", now);
}

void RunSupervisor::release(const Release& release) {
    if (!block_)
        return;
    const uid_t caller = release.caller;
    if (!ClientPolicy::mayControl(caller, block_->owner.uid) && !release.ownerAway) {
        DaemonLog::line("refused releaseBlock from " + uidText(caller) + ": the block belongs to " +
                        uidText(block_->owner.uid));
        return;
    }
    // A running openvpn keeps its block: ending the run (killOpenVPN) releases both.
    if (phase_ != Phase::blockedAfterDrop) {
        DaemonLog::line("ignored releaseBlock from " + uidText(caller) + ": its run goes on");
        return;
    }
    releaseBlock("released by " + uidText(caller), Owner{release.client, 0, caller});
    settle();
}

void RunSupervisor::clientGone(uint64_t client, Clock::time_point now) {
    if (next_ && next_->owner.client == client)
        next_.reset();
    if (phase_ == Phase::resolving && current_->run.owner.client == client) {
        ports_.stopLookup();
        DaemonLog::line("no longer looking up server names: the client that asked went away");
        current_.reset();
        deadline_.reset();
        settle();
    } else if (openVPNRuns() && current_->run.owner.client == client) {
        current_->releaseAtEnd = true;
        stopOpenVPN("the client that started it went away", now);
    } else if (phase_ == Phase::blockedAfterDrop && block_->owner.client == client) {
        releaseBlock("the client it blocks for went away");
        settle();
    }
}

void RunSupervisor::tick(Clock::time_point now) {
    if (!deadline_ || now < *deadline_)
        return;
    switch (phase_) {
    case Phase::resolving:
        DaemonLog::line("server name look-up ran out of time");
        lookedUp(ports_.stopLookup(), now);
        break;
    case Phase::starting:
        current_->endReason =
            USER_TEXT("Messages", "openvpn did not open its management interface in time.");
        stopOpenVPN("its management interface did not open in time", now);
        break;
    case Phase::stopping:
        DaemonLog::line("openvpn did not stop in time; killing it");
        ports_.signalOpenVPN(SIGKILL);
        deadline_.reset();
        break;
    default:
        deadline_.reset();
    }
}

void RunSupervisor::fail(const Failed& failed) {
    if (phase_ != Phase::starting && phase_ != Phase::running)
        return;
    current_->endReason = failed.reason;
    // openvpn waits for its route-up script and, once that returns, says it is connected
    // whatever the script said, even with a SIGTERM pending: only SIGKILL ends it before.
    DaemonLog::line("killing openvpn: " + failed.why);
    ports_.signalOpenVPN(SIGKILL);
    phase_ = Phase::stopping;
    deadline_.reset();
}

void RunSupervisor::stop(Clock::time_point now) {
    stopping_ = true;
    if (next_)
        ports_.ended(next_->owner, refusedStatus, HelperProtocol::helperStoppingReason, false);
    next_.reset();
    if (phase_ == Phase::resolving) {
        ports_.stopLookup();
        const Owner owner = current_->run.owner;
        current_.reset();
        deadline_.reset();
        settle();
        ports_.ended(owner, refusedStatus, HelperProtocol::helperStoppingReason, false);
    }
    if (openVPNRuns()) {
        current_->endReason = HelperProtocol::helperStoppedReason;
        current_->releaseAtEnd = true;
        stopOpenVPN("the helper is stopping", now);
    }
    if (finished())
        releaseBlock("the helper is stopping");
}

void RunSupervisor::stopOpenVPN(const std::string& why, Clock::time_point now) {
    if (phase_ == Phase::stopping)
        return;
    DaemonLog::line("stopping openvpn: " + why);
    ports_.signalOpenVPN(SIGTERM);
    phase_ = Phase::stopping;
    deadline_ = now + stopGrace;
}

void RunSupervisor::refuse(const Owner& owner, const std::string& why, const UserMessage& reason) {
    DaemonLog::line("refused runOpenVPN of " + uidText(owner.uid) + ": " + why);
    tellEnd(owner, refusedStatus, reason);
}

void RunSupervisor::tellEnd(const Owner& owner, int32_t status, const UserMessage& reason) {
    const bool blocking = blocksFor(owner.client);
    if (blocking)
        block_->toldRequest = owner.requestId;
    ports_.ended(owner, status, reason, blocking);
}

void RunSupervisor::releaseBlock(const std::string& why, std::optional<Owner> by) {
    if (!block_)
        return;
    const Block ended = std::move(*block_);
    block_.reset();
    ports_.unblock();
    DaemonLog::line("no longer blocking traffic outside the tunnel: " + why);
    if (by && ended.toldRequest && by->client != ended.owner.client)
        ports_.lifted({ended.owner.client, *ended.toldRequest, ended.owner.uid},
                      liftedReason(by->uid, ended.owner.uid));
}

void RunSupervisor::settle() {
    phase_ = block_ ? Phase::blockedAfterDrop : Phase::idle;
}

bool RunSupervisor::blocksFor(uint64_t client) const {
    return block_ && block_->owner.client == client && !openVPNRuns() && !next_ &&
           phase_ != Phase::resolving;
}
