#pragma once

#include "helperd/NumericRemotes.h"
#include "helperd/OpenVPNRunner.h"
#include "platform/Result.h"
#include "platform/UserMessage.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <variant>
#include <vector>

// The daemon's one run slot: at most one openvpn at a time, the look-up of a guarded
// run's server names before it, and the block of traffic outside the tunnel that may
// outlive it. Its state is one phase plus the data that phase needs, changed only by
// handle(), which takes one event at a time and acts through the Ports it was given.
//
//   idle --run--> resolving --looked up--> starting --listening--> running
//     ^             | (no names: starting)    |  \--ready time-out--\   |
//     |             v                         v                     v   v
//     +--------- refused/killed       exited <-- stopping <--kill/replace/client gone/failed
//                                        |
//   blockedAfterDrop: no openvpn, the block of an end nobody asked for holds until
//   its user (or root) releases it, runs again, or its connection goes away; or, once
//   that user has left the computer, until anyone allowed to change the network does.
//   A block's client that was told it holds is told when someone else ends it.
//
// Rules: a run's client gets exactly one end (`ended`), and `started` at most once
// before it; a run that replaces another waits until the old openvpn has ended; while
// a block holds no name is looked up (the query would leave outside the tunnel), so a
// guarded run of the block's user reuses the addresses the block began with.
class RunSupervisor {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto readyTimeout = std::chrono::seconds(10);
    // openvpn runs its down script and tells its server goodbye when asked to stop;
    // this is how long it gets before it is killed.
    static constexpr auto stopGrace = std::chrono::seconds(5);
    static constexpr auto lookupTimeout = std::chrono::seconds(5);

    enum class Phase { idle, resolving, starting, running, stopping, blockedAfterDrop };

    struct Owner {
        uint64_t client = 0;
        uint64_t requestId = 0;
        uid_t uid = 0;
    };
    struct Run {
        Owner owner;
        OpenVPNRunner::Launch launch;
        bool blockLeaks = false;
        bool allowLocalNetwork = false;
        // The host names of the profile's remotes, looked up before a guarded run.
        std::vector<std::string> names;
    };

    enum class Blocked { yes, unavailable, refused };
    class Ports {
    public:
        virtual ~Ports() = default;
        virtual Result<void> startLookup(const std::vector<std::string>& names) = 0;
        // Ends the look-up; what it found so far.
        virtual NumericRemotes::Addresses stopLookup() = 0;
        virtual std::optional<std::string> freeTunnel(const std::string& type) = 0;
        // Blocks everything outside `tunnel`: `unavailable` if there is no way to block
        // (the run goes on unguarded), `refused` if the run must not go on.
        virtual Blocked block(const std::string& tunnel, bool allowLocalNetwork) = 0;
        virtual void closeTunnel() = 0;
        virtual void unblock() = 0;
        // Starts openvpn, filling in where its management interface listens; fails with
        // the reason its client is given.
        virtual Result<void> startOpenVPN(OpenVPNRunner::Launch& launch) = 0;
        virtual void signalOpenVPN(int signalNumber) = 0;
        // Hands the run's client the connection to openvpn's management interface.
        virtual void started(const Owner& owner) = 0;
        virtual void ended(const Owner& owner, int32_t status, const UserMessage& reason,
                           bool blocking) = 0;
        // The block `owner` was told holds has been ended by someone else.
        virtual void lifted(const Owner& owner, const std::string& reason) = 0;
    };

    struct Admitted {
        Run run;
    };
    struct LookedUp {
        NumericRemotes::Addresses addresses;
    };
    struct Listening {};
    struct Exited {
        int32_t status = 0;
    };
    struct Kill {
        uid_t caller = 0;
        bool keepBlock = false;
        // Why the block is not kept although asked for: the run's client is told.
        std::string keepRefused;
    };
    struct Release {
        uid_t caller = 0;
        uint64_t client = 0;
        // The block's user has left the computer: anyone who got this far may end it.
        bool ownerAway = false;
    };
    // A run refused before it reached the slot: its client learns whether the block holds.
    struct Refused {
        Owner owner;
        std::string why;
        UserMessage reason;
    };
    struct ClientGone {
        uint64_t client = 0;
    };
    // The run cannot go on as it is (its DNS could not be applied, which openvpn would not
    // notice): openvpn is killed before it says it is connected, and its client told
    // `reason`; the block holds as after any end its user did not ask for.
    struct Failed {
        std::string why;
        std::string reason;
    };
    struct Tick {};
    struct Stop {};
    using Event = std::variant<Admitted, LookedUp, Listening, Exited, Kill, Release, Refused,
                               ClientGone, Failed, Tick, Stop>;

    explicit RunSupervisor(Ports& ports) : ports_(ports) {}

    void handle(Event event, Clock::time_point now);

    Phase phase() const { return phase_; }
    // When a Tick is due next, if any.
    std::optional<Clock::time_point> deadline() const { return deadline_; }
    // The uid whose run is being looked up or runs, and whose block holds.
    std::optional<uid_t> runUid() const;
    std::optional<uid_t> blockUid() const;
    bool openVPNRuns() const;
    // Whether the block outlives the run of `client`'s: the reply's `blocking`.
    bool blocksFor(uint64_t client) const;
    // Stopped, and nothing left to wait for.
    bool finished() const { return stopping_ && !openVPNRuns(); }
    bool stopRequested() const { return stopping_; }

    static const char* phaseName(Phase phase);

private:
    struct Current {
        Run run;
        // Why the daemon ended it, when that is its client's news.
        std::string endReason;
        // Its user asked for its end (or went away): the block goes with it. Any other
        // end keeps blocking until the user chooses.
        bool releaseAtEnd = false;
    };
    struct Block {
        Owner owner;
        // The addresses looked up when it began: a run that takes the block over
        // cannot look its names up through it.
        NumericRemotes::Addresses addresses;
        // The request whose `terminated` said the block holds: the one told when it ends.
        std::optional<uint64_t> toldRequest;
    };

    void admit(Run run, Clock::time_point now);
    void prepare(Run run, Clock::time_point now);
    void lookedUp(const NumericRemotes::Addresses& addresses, Clock::time_point now);
    void start(Run run, NumericRemotes::Addresses addresses, Clock::time_point now);
    void exited(int32_t status, Clock::time_point now);
    void kill(const Kill& kill, Clock::time_point now);
    void release(const Release& release);
    void clientGone(uint64_t client, Clock::time_point now);
    void fail(const Failed& failed);
    void tick(Clock::time_point now);
    void stop(Clock::time_point now);

    void stopOpenVPN(const std::string& why, Clock::time_point now);
    void refuse(const Owner& owner, const std::string& why, const UserMessage& reason);
    // Tells the run's client its end, and whether the block outlives it.
    void tellEnd(const Owner& owner, int32_t status, const UserMessage& reason);
    // `by`: the client whose request ends it; the block's own client is told when it was
    // told the block holds and someone else ends it.
    void releaseBlock(const std::string& why, std::optional<Owner> by = std::nullopt);
    // With no openvpn and no look-up left: idle, or the block that holds.
    void settle();

    Ports& ports_;
    Phase phase_ = Phase::idle;
    std::optional<Current> current_;
    // A run waiting for the openvpn it replaces to end.
    std::optional<Run> next_;
    std::optional<Block> block_;
    std::optional<Clock::time_point> deadline_;
    bool stopping_ = false;
};
