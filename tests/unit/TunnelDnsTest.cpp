#include "helperd/TunnelDns.h"

#include <gtest/gtest.h>

namespace {

using Phase = TunnelDns::Phase;

// Records what the DNS state does, one short line per call.
struct FakePorts : TunnelDns::Ports {
    std::vector<std::string> calls;
    DnsPlan::Setup setupNow = DnsPlan::Setup::resolved;

    DnsPlan::Setup setup() override { return setupNow; }
    void apply(uint64_t change, const std::string& device, const DnsPlan& plan) override {
        calls.push_back("apply " + std::to_string(change) + " " + device + " " +
                        plan.servers.front().text + (plan.defaultRoute ? " full" : ""));
    }
    void revert(uint64_t change, const DnsRecord& record) override {
        calls.push_back("revert " + std::to_string(change) + " " + record.ifname);
    }
    void acknowledge(uint64_t run, bool applied) override {
        calls.push_back("ack " + std::to_string(run) + (applied ? " ok" : " failed"));
    }
};

DnsRecord recordOf(const std::string& device) {
    DnsRecord record;
    record.setup = DnsPlan::Setup::resolved;
    record.ifindex = 7;
    record.ifname = device;
    return record;
}

TunnelDns::Event up(uint64_t run, const std::string& server = "10.8.0.1") {
    return TunnelDns::Up{run, "tun0", {{"foreign_option_1", "dhcp-option DNS " + server}}, {}};
}
TunnelDns::Event down(uint64_t run) {
    return TunnelDns::Down{run};
}
TunnelDns::Event done(uint64_t change, std::string error = "") {
    return TunnelDns::Done{change, std::move(error), recordOf("tun0")};
}
// A revert's end, or an apply that failed before it changed anything.
TunnelDns::Event doneBare(uint64_t change, std::string error = "") {
    return TunnelDns::Done{change, std::move(error), std::nullopt};
}

struct Case {
    const char* name;
    std::vector<TunnelDns::Event> events;
    std::vector<std::string> calls;
    Phase phase;
    DnsPlan::Setup setup = DnsPlan::Setup::resolved;
};

TEST(TunnelDns, FollowsTheRunsReportsAndUndoesWhateverItChanged) {
    const Case cases[] = {
        {"applied, answered, undone at the down report",
         {up(1), done(1), down(1), doneBare(2)},
         {"apply 1 tun0 10.8.0.1", "ack 1 ok", "revert 2 tun0"},
         Phase::idle},
        {"the routes through the tunnel make it a full tunnel",
         {TunnelDns::Up{1,
                        "tun0",
                        {{"foreign_option_1", "dhcp-option DNS 10.8.0.1"}},
                        {*FullTunnel::parse("0.0.0.0/1"), *FullTunnel::parse("128.0.0.0/1")}},
          done(1)},
         {"apply 1 tun0 10.8.0.1 full", "ack 1 ok"},
         Phase::applied},
        {"nothing usable pushed: answered at once, nothing changed",
         {TunnelDns::Up{1, "tun0", {{"foreign_option_1", "dhcp-option DNS 10.0.0.1;reboot"}}, {}}},
         {"ack 1 ok"},
         Phase::idle},
        {"no way to change DNS here: answered, nothing changed",
         {up(1)},
         {"ack 1 ok"},
         Phase::idle,
         DnsPlan::Setup::none},
        {"servers pushed that resolv.conf cannot name: answered as failed, nothing changed",
         {TunnelDns::Up{1,
                        "tun0",
                        {{"dns_server_1_address_1", "10.213.0.1"}, {"dns_server_1_port_1", "5353"}},
                        {}}},
         {"ack 1 failed"},
         Phase::idle,
         DnsPlan::Setup::file},
        {"the same servers are resolved's to use",
         {TunnelDns::Up{1,
                        "tun0",
                        {{"dns_server_1_address_1", "10.213.0.1"}, {"dns_server_1_port_1", "5353"}},
                        {}},
          done(1)},
         {"apply 1 tun0 10.213.0.1", "ack 1 ok"},
         Phase::applied},
        {"a second up of the same run with nothing resolvconf can use: undone, failed",
         {up(1), done(1),
          TunnelDns::Up{1,
                        "tun0",
                        {{"dns_server_1_address_1", "10.9.0.1"}, {"dns_server_1_transport", "DoT"}},
                        {}},
          doneBare(2)},
         {"apply 1 tun0 10.8.0.1", "ack 1 ok", "ack 1 failed", "revert 2 tun0"},
         Phase::idle,
         DnsPlan::Setup::resolvconf},
        {"a failed apply is answered as failed and what it changed undone",
         {up(1), done(1, "resolved said no"), doneBare(2)},
         {"apply 1 tun0 10.8.0.1", "ack 1 failed", "revert 2 tun0"},
         Phase::idle},
        {"a failed apply that changed nothing leaves nothing to undo",
         {up(1), doneBare(1, "the tunnel tun0 is not there")},
         {"apply 1 tun0 10.8.0.1", "ack 1 failed"},
         Phase::idle},
        {"openvpn ends while applying: undone once the apply is over, no answer",
         {up(1), down(1), done(1)},
         {"apply 1 tun0 10.8.0.1", "revert 2 tun0"},
         Phase::reverting},
        {"a restart: down then up of the same run waits for the revert, then applies",
         {up(1), done(1), down(1), up(1, "10.8.0.9"), doneBare(2), done(3)},
         {"apply 1 tun0 10.8.0.1", "ack 1 ok", "revert 2 tun0", "apply 3 tun0 10.8.0.9",
          "ack 1 ok"},
         Phase::applied},
        {"a second up of the same run replaces the first",
         {up(1), done(1), up(1, "10.8.0.9"), doneBare(2), done(3)},
         {"apply 1 tun0 10.8.0.1", "ack 1 ok", "revert 2 tun0", "apply 3 tun0 10.8.0.9",
          "ack 1 ok"},
         Phase::applied},
        {"what a killed daemon left is undone first; a run's up waits for it",
         {TunnelDns::Leftover{recordOf("tun3")}, up(1), doneBare(1), done(2)},
         {"revert 1 tun3", "apply 2 tun0 10.8.0.1", "ack 1 ok"},
         Phase::applied},
        {"a late end of an earlier change is not taken for the current one",
         {up(1), down(1), done(1), doneBare(1), up(2)},
         {"apply 1 tun0 10.8.0.1", "revert 2 tun0"},
         Phase::reverting},
        {"a newer run's up: the waiting one is answered failed, the newer applied",
         {up(1), up(2, "10.9.0.1"), done(1), doneBare(2), done(3)},
         {"apply 1 tun0 10.8.0.1", "ack 1 failed", "revert 2 tun0", "apply 3 tun0 10.9.0.1",
          "ack 2 ok"},
         Phase::applied},
        {"a down of another run changes nothing",
         {up(2), done(1), down(1)},
         {"apply 1 tun0 10.8.0.1", "ack 2 ok"},
         Phase::applied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePorts ports;
        ports.setupNow = c.setup;
        TunnelDns dns(ports);
        for (const auto& event : c.events)
            dns.handle(event);
        EXPECT_EQ(ports.calls, c.calls);
        EXPECT_STREQ(TunnelDns::phaseName(dns.phase()), TunnelDns::phaseName(c.phase));
    }
}

} // namespace
