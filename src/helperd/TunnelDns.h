#pragma once

#include "helperd/DnsPlan.h"
#include "helperd/DnsRecord.h"
#include "helperd/FullTunnel.h"
#include "helperd/PushedDns.h"
#include "platform/UserText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The tunnel's DNS on this machine: applied when a run's route-up script reports what the
// server pushed (full or split by the routes openvpn set up through the tunnel by then), undone
// when its down script reports, when its openvpn ends however it ends, and at the daemon's start
// for what a killed daemon left (its record). One change at a time, each finished (Done) before the
// next begins; of what is asked meanwhile only the latest counts. Events name the run they belong
// to, changes the change they finish, so that nothing late from an earlier one is taken for the
// current one.
//
//   idle --up--> applying --done--> applied --down/ended--> reverting --done--> idle
//                   | (failed: what it changed is reverted)       ^
//                   +---------------------------------------------+
class TunnelDns {
public:
    enum class Phase { idle, applying, applied, reverting };

    // What the client of a run whose DNS could not be applied is told.
    static constexpr const char* notAppliedReason =
        USER_TEXT("Messages", "The VPN's DNS settings could not be applied on this computer.");

    class Ports {
    public:
        virtual ~Ports() = default;
        // Which way DNS is changed on this machine now.
        virtual DnsPlan::Setup setup() = 0;
        // Begins applying `plan` to `device`; Done{change} follows, posted, with the record
        // of what it may have changed (kept on disk before anything changed).
        virtual void apply(uint64_t change, const std::string& device, const DnsPlan& plan) = 0;
        // Begins undoing `record`; Done{change} follows, posted, once the record is gone.
        virtual void revert(uint64_t change, const DnsRecord& record) = 0;
        // Tells the run's route-up script whether its DNS is in place; a run whose DNS
        // could not be applied is told so here, and ends.
        virtual void acknowledge(uint64_t run, bool applied) = 0;
    };

    // What the daemon found recorded at its start.
    struct Leftover {
        DnsRecord record;
    };
    struct Up {
        uint64_t run = 0;
        std::string device;
        PushedDns::Environment environment;
        // The routes of the main table through `device` when the script reported.
        std::vector<FullTunnel::Prefix> routes;
    };
    // The run's down script reported, or its openvpn ended.
    struct Down {
        uint64_t run = 0;
    };
    struct Done {
        uint64_t change = 0;
        // Empty: done.
        std::string error;
        // After an apply: what may have changed, to be undone later.
        std::optional<DnsRecord> record;
    };
    using Event = std::variant<Leftover, Up, Down, Done>;

    explicit TunnelDns(Ports& ports) : ports_(ports) {}

    void handle(Event event);
    Phase phase() const { return phase_; }

    static const char* phaseName(Phase phase);

private:
    struct Wish {
        uint64_t run = 0;
        std::string device;
        DnsPlan plan;
    };

    void up(Up up);
    void done(Done done);
    void converge();

    Ports& ports_;
    Phase phase_ = Phase::idle;
    // What the latest run that is up wants.
    std::optional<Wish> wanted_;
    // What is changed on the machine, and for which run (none: a leftover, or a failed apply).
    std::optional<DnsRecord> changed_;
    std::optional<uint64_t> changedFor_;
    // The run whose apply is under way.
    uint64_t applying_ = 0;
    // The run whose up script waits for its answer.
    std::optional<uint64_t> waiting_;
    uint64_t change_ = 0;
};
