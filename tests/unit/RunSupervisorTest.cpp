#include "helperd/RunSupervisor.h"

#include <gtest/gtest.h>

namespace {

using Phase = RunSupervisor::Phase;
using namespace std::chrono_literals;

constexpr uid_t alice = 1000;
constexpr uint64_t aliceClient = 1;

// Records what the supervisor does, one short line per call.
struct FakePorts : RunSupervisor::Ports {
    std::vector<std::string> calls;
    NumericRemotes::Addresses found = {{"vpn.example.com", {"192.0.2.7"}}};
    RunSupervisor::Blocked blocks = RunSupervisor::Blocked::yes;
    bool startFails = false;

    Result<void> startLookup(const std::vector<std::string>&) override {
        calls.push_back("lookup");
        return Result<void>::success();
    }
    NumericRemotes::Addresses stopLookup() override {
        calls.push_back("stop lookup");
        return found;
    }
    std::optional<std::string> freeTunnel(const std::string& type) override { return type + "0"; }
    RunSupervisor::Blocked block(const std::string& tunnel, bool) override {
        calls.push_back("block " + tunnel);
        return blocks;
    }
    void closeTunnel() override {}
    void unblock() override { calls.push_back("unblock"); }
    Result<void> startOpenVPN(OpenVPNRunner::Launch& launch) override {
        calls.push_back("start" + (launch.profile.find("192.0.2.7") != std::string::npos
                                       ? std::string(" 192.0.2.7")
                                       : ""));
        if (startFails)
            return Result<void>::failure("openvpn could not be started: no.");
        return Result<void>::success();
    }
    void signalOpenVPN(int signalNumber) override {
        calls.push_back("signal " + std::to_string(signalNumber));
    }
    void started(const RunSupervisor::Owner& owner) override {
        calls.push_back("started " + std::to_string(owner.requestId));
    }
    void ended(const RunSupervisor::Owner& owner, int32_t status, const UserMessage& reason,
               bool blocking) override {
        calls.push_back("ended " + std::to_string(owner.requestId) + " " + std::to_string(status) +
                        (blocking ? " blocking" : "") +
                        (reason.empty() ? "" : " " + reason.plain()));
    }
    void lifted(const RunSupervisor::Owner& owner, const std::string& reason) override {
        calls.push_back("lifted " + std::to_string(owner.requestId) + " " + reason);
    }
};

const std::string profile = "client\ndev tun\nnobind\nauth-user-pass\nremote vpn.example.com\n";

RunSupervisor::Run makeRun(uint64_t request, bool guarded, uid_t uid = alice,
                           uint64_t client = aliceClient, std::string name = "vpn.example.com") {
    RunSupervisor::Run run;
    run.owner = {client, request, uid};
    run.launch.profile = "client\ndev tun\nnobind\nauth-user-pass\nremote " + name + "\n";
    run.blockLeaks = guarded;
    if (guarded)
        run.names = {name};
    return run;
}

// A supervisor brought into a phase, with a clock that moves only when told.
struct Harness {
    FakePorts ports;
    RunSupervisor supervisor{ports};
    RunSupervisor::Clock::time_point now{};

    void on(RunSupervisor::Event event) { supervisor.handle(std::move(event), now); }
    void later(std::chrono::seconds by) {
        now += by;
        on(RunSupervisor::Tick{});
    }

    // `guarded`: the run blocks leaks (and looks its server's name up first).
    void enter(Phase phase, bool guarded) {
        if (phase == Phase::idle)
            return;
        on(RunSupervisor::Admitted{makeRun(1, guarded)});
        if (phase == Phase::resolving)
            return;
        if (guarded)
            on(RunSupervisor::LookedUp{ports.found});
        if (phase == Phase::starting)
            return;
        on(RunSupervisor::Listening{});
        if (phase == Phase::running)
            return;
        if (phase == Phase::stopping)
            return on(RunSupervisor::Kill{alice, true, {}});
        on(RunSupervisor::Exited{1}); // a crash: the block holds
    }
};

struct Row {
    const char* what;
    Phase from;
    bool guarded;
    std::function<void(Harness&)> event;
    Phase to;
    std::vector<std::string> calls;
};

TEST(RunSupervisor, EachPhaseAnswersEachEventAsItsRulesSay) {
    using E = RunSupervisor;
    const Row rows[] = {
        {"unguarded run starts at once",
         Phase::idle,
         false,
         [](Harness& h) { h.on(E::Admitted{makeRun(2, false)}); },
         Phase::starting,
         {"start"}},
        {"guarded run looks its names up first",
         Phase::idle,
         true,
         [](Harness& h) { h.on(E::Admitted{makeRun(2, true)}); },
         Phase::resolving,
         {"lookup"}},
        {"stray events change nothing",
         Phase::idle,
         false,
         [](Harness& h) {
             h.on(E::Listening{});
             h.on(E::Exited{0});
             h.on(E::Kill{alice, false, {}});
             h.on(E::Release{alice, aliceClient, false});
             h.on(E::Failed{"no DNS", "DNS failed."});
             h.later(60s);
         },
         Phase::idle,
         {}},
        {"a run whose DNS could not be applied ends with the reason, the block held",
         Phase::running,
         true,
         [](Harness& h) {
             h.on(E::Failed{"its DNS could not be applied", "DNS failed."});
             h.on(E::Exited{0});
         },
         Phase::blockedAfterDrop,
         {"signal 9", "ended 1 0 blocking DNS failed."}},
        {"a failure while it already stops changes nothing",
         Phase::stopping,
         true,
         [](Harness& h) {
             h.on(E::Failed{"its DNS could not be applied", "DNS failed."});
         },
         Phase::stopping,
         {}},
        {"names found: blocked through the named tunnel, started with the address",
         Phase::resolving,
         true,
         [](Harness& h) { h.on(E::LookedUp{h.ports.found}); },
         Phase::starting,
         {"block tun0", "start 192.0.2.7"}},
        {"no address found: refused",
         Phase::resolving,
         true,
         [](Harness& h) { h.on(E::LookedUp{}); },
         Phase::idle,
         {"ended 1 -1 The VPN server's address could not be looked up."}},
        {"look-up out of time goes on with what it found",
         Phase::resolving,
         true,
         [](Harness& h) { h.later(5s); },
         Phase::starting,
         {"stop lookup", "block tun0", "start 192.0.2.7"}},
        {"killed before it started",
         Phase::resolving,
         true,
         [](Harness& h) {
             h.on(E::Kill{alice, false, {}});
         },
         Phase::idle,
         {"stop lookup", "ended 1 -1 The connection was ended before it started."}},
        {"another user cannot kill the look-up",
         Phase::resolving,
         true,
         [](Harness& h) {
             h.on(E::Kill{1001, false, {}});
         },
         Phase::resolving,
         {}},
        {"its client gone: no one to answer",
         Phase::resolving,
         true,
         [](Harness& h) { h.on(E::ClientGone{aliceClient}); },
         Phase::idle,
         {"stop lookup"}},
        {"a newer run replaces the look-up",
         Phase::resolving,
         true,
         [](Harness& h) { h.on(E::Admitted{makeRun(2, true)}); },
         Phase::resolving,
         {"stop lookup", "ended 1 -1 A newer connection request replaced this one.", "lookup"}},
        {"listening: its client alone learns the password",
         Phase::starting,
         false,
         [](Harness& h) { h.on(E::Listening{}); },
         Phase::running,
         {"started 1"}},
        {"no management interface in time: stopped",
         Phase::starting,
         false,
         [](Harness& h) {
             h.later(9s);
             h.later(1s);
         },
         Phase::stopping,
         {"signal 15"}},
        {"ended while starting: answered once",
         Phase::starting,
         false,
         [](Harness& h) { h.on(E::Exited{1}); },
         Phase::idle,
         {"ended 1 1"}},
        {"its user ends it",
         Phase::running,
         false,
         [](Harness& h) {
             h.on(E::Kill{alice, false, {}});
         },
         Phase::stopping,
         {"signal 15"}},
        {"another user cannot end it",
         Phase::running,
         false,
         [](Harness& h) {
             h.on(E::Kill{1001, false, {}});
         },
         Phase::running,
         {}},
        {"root can end it",
         Phase::running,
         false,
         [](Harness& h) {
             h.on(E::Kill{0, false, {}});
         },
         Phase::stopping,
         {"signal 15"}},
        {"its client gone: stopped",
         Phase::running,
         false,
         [](Harness& h) { h.on(E::ClientGone{aliceClient}); },
         Phase::stopping,
         {"signal 15"}},
        {"another client gone: nothing",
         Phase::running,
         false,
         [](Harness& h) { h.on(E::ClientGone{9}); },
         Phase::running,
         {}},
        {"a newer run waits for the old openvpn's end",
         Phase::running,
         false,
         [](Harness& h) {
             h.on(E::Admitted{makeRun(2, false)});
             h.on(E::Exited{0});
         },
         Phase::starting,
         {"signal 15", "ended 1 0 A newer connection request replaced this one.", "start"}},
        {"not stopped in time: killed",
         Phase::stopping,
         false,
         [](Harness& h) { h.later(5s); },
         Phase::stopping,
         {"signal 9"}},
        {"a guarded run ended as asked takes its block along",
         Phase::stopping,
         true,
         [](Harness& h) {
             h.on(E::Kill{alice, false, {}});
             h.on(E::Exited{0});
         },
         Phase::idle,
         {"unblock", "ended 1 0"}},
        {"an end nobody asked for keeps the block",
         Phase::running,
         true,
         [](Harness& h) { h.on(E::Exited{1}); },
         Phase::blockedAfterDrop,
         {"ended 1 1 blocking"}},
        {"its user releases the block",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) {
             h.on(E::Release{alice, aliceClient, false});
         },
         Phase::idle,
         {"unblock"}},
        {"another user cannot release it",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) {
             h.on(E::Release{1001, 5, false});
         },
         Phase::blockedAfterDrop,
         {}},
        {"once its user has left, anyone let through ends it, and its client is told",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) {
             h.on(E::Release{1001, 5, true});
         },
         Phase::idle,
         {"unblock", "lifted 1 Another user of this computer ended the block of traffic outside "
                     "the VPN."}},
        {"another user's run ends the block first and looks its names up afresh",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) { h.on(E::Admitted{makeRun(2, true, 1001, 5)}); },
         Phase::resolving,
         {"unblock",
          "lifted 1 Another user of this computer ended the block of traffic outside the VPN.",
          "lookup"}},
        {"another program of its user's takes it over: the first is told",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) { h.on(E::Admitted{makeRun(2, true, alice, 7)}); },
         Phase::starting,
         {"lifted 1 Another program of yours ended the block of traffic outside the VPN.",
          "block tun0", "start 192.0.2.7"}},
        {"a refusal before the slot says the block holds",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) {
             h.on(E::Refused{{aliceClient, 2, alice}, "polkit", "Not you."});
         },
         Phase::blockedAfterDrop,
         {"ended 2 -1 blocking Not you."}},
        {"keeping the block not allowed: it ends with the run, which says why",
         Phase::running,
         true,
         [](Harness& h) {
             h.on(E::Kill{alice, true, "Not you."});
             h.on(E::Exited{0});
         },
         Phase::idle,
         {"signal 15", "unblock", "ended 1 0 Not you."}},
        {"a running openvpn keeps its block",
         Phase::running,
         true,
         [](Harness& h) {
             h.on(E::Release{alice, aliceClient, false});
         },
         Phase::running,
         {}},
        {"the block goes with its client",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) { h.on(E::ClientGone{aliceClient}); },
         Phase::idle,
         {"unblock"}},
        {"a reconnect takes the block over without a look-up",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) { h.on(E::Admitted{makeRun(2, true)}); },
         Phase::starting,
         {"block tun0", "start 192.0.2.7"}},
        {"a name not looked up for the block is refused, the block holds",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) { h.on(E::Admitted{makeRun(2, true, alice, aliceClient, "b.example")}); },
         Phase::blockedAfterDrop,
         {"ended 2 -1 blocking The VPN server's name cannot be looked up while traffic outside "
          "the VPN is blocked. Disconnect, then connect again."}},
        {"an unguarded run ends the block",
         Phase::blockedAfterDrop,
         true,
         [](Harness& h) { h.on(E::Admitted{makeRun(2, false)}); },
         Phase::starting,
         {"unblock", "start"}},
        {"the helper stops: its run ends and the block with it",
         Phase::running,
         true,
         [](Harness& h) {
             h.on(E::Stop{});
             h.on(E::Admitted{makeRun(2, false)});
             h.on(E::Exited{0});
         },
         Phase::idle,
         {"signal 15", "ended 2 -1 The VPN helper is stopping.", "unblock",
          "ended 1 0 The VPN helper stopped."}},
        {"the helper stops during a look-up",
         Phase::resolving,
         true,
         [](Harness& h) { h.on(E::Stop{}); },
         Phase::idle,
         {"stop lookup", "ended 1 -1 The VPN helper is stopping."}},
    };
    for (const Row& row : rows) {
        Harness h;
        h.enter(row.from, row.guarded);
        ASSERT_EQ(h.supervisor.phase(), row.from) << row.what;
        h.ports.calls.clear();
        row.event(h);
        EXPECT_EQ(RunSupervisor::phaseName(h.supervisor.phase()), RunSupervisor::phaseName(row.to))
            << row.what;
        EXPECT_EQ(h.ports.calls, row.calls) << row.what;
    }
}

TEST(RunSupervisor, RefusalsOnTheWayToStartingLeaveTheSlotAsItWas) {
    struct Case {
        const char* what;
        RunSupervisor::Blocked blocks;
        bool startFails;
        Phase to;
        std::string ended;
    };
    const Case cases[] = {
        {"no way to block: the run goes on unguarded", RunSupervisor::Blocked::unavailable, false,
         Phase::starting, ""},
        {"the local network cannot be shut out: refused, the block holds",
         RunSupervisor::Blocked::refused, false, Phase::blockedAfterDrop,
         "ended 1 -1 blocking The block of traffic outside the VPN could not be changed to keep "
         "the local network out."},
        {"openvpn does not start: refused, the block holds", RunSupervisor::Blocked::yes, true,
         Phase::blockedAfterDrop, "ended 1 -1 blocking openvpn could not be started: no."},
    };
    for (const Case& c : cases) {
        Harness h;
        h.ports.blocks = c.blocks;
        h.ports.startFails = c.startFails;
        h.enter(Phase::resolving, true);
        h.on(RunSupervisor::LookedUp{h.ports.found});
        EXPECT_EQ(h.supervisor.phase(), c.to) << c.what;
        EXPECT_EQ(h.ports.calls.back(), c.ended.empty() ? "start 192.0.2.7" : c.ended) << c.what;
    }
}

} // namespace
