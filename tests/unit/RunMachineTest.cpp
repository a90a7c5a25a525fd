// The connection's life as a table: each phase, each event, and what follows (the next
// phase, what is done to the helper, openvpn and the user, and what the user is told).
// Time is a manual clock: time-outs fire only when the test moves it.
#include "vpn/RunMachine.h"

#include "helper/HelperConnection.h"
#include "platform/ManualMainQueue.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Kind = RunEvent::Kind;

struct Recorder : RunEffects {
    ManualMainQueue queue{ManualMainQueue::Time::manual};
    RunMachine* machine = nullptr;
    std::vector<std::string> done;
    bool haveScripts = true;
    int quits = 0;

    void fetchProfile(uint64_t, const Credentials& c) override {
        done.push_back("fetch " + c.email);
    }
    void cancelProfile() override { done.push_back("cancel"); }
    std::optional<std::pair<std::string, std::string>> scripts() override {
        if (!haveScripts)
            return std::nullopt;
        return std::pair<std::string, std::string>{"/up", "/down"};
    }
    size_t servers(const std::string&) override { return serverCount; }
    size_t serverCount = 1;
    void askHelper(uint64_t, const RunRequest& r) override {
        done.push_back("ask " + r.config + (r.block.enabled ? " blocked" : ""));
    }
    void attach(uint64_t) override { done.push_back("attach"); }
    void startReading(uint64_t) override { done.push_back("read"); }
    void send(const std::string& command) override {
        done.push_back("send " + command.substr(0, command.find(' ', 9)));
    }
    void kill(uint64_t, bool keepBlock) override {
        done.push_back(keepBlock ? "kill keeping the block" : "kill");
    }
    void releaseBlock(uint64_t) override { done.push_back("release"); }
    void watchBlock(uint64_t) override { done.push_back("watch"); }
    void startTimer(uint64_t run, RunTimer timer, std::chrono::milliseconds after) override {
        queue.asyncAfter(after, [this, run, timer] {
            RunEvent event = RunEvent::of(Kind::timeout, run);
            event.timer = timer;
            machine->handle(event);
        });
    }
    void statusChanged(bool) override {}
    void trafficChanged() override { ++traffic; }
    int traffic = 0;
    void quitDone() override { ++quits; }
    void log(const std::string&) override {}
};

struct Fixture {
    Recorder effects;
    RunMachine machine{effects};
    Fixture() {
        effects.machine = &machine;
        machine.leakBlock = {true, false};
    }
    uint64_t run() const { return machine.currentRun(); }
    RunPhase phase() const { return machine.status().phase; }
    // `text` is also the message the events that tell the user something carry.
    void send(Kind kind, std::string text = {}) {
        RunEvent event = RunEvent::told(kind, run(), text);
        event.text = std::move(text);
        machine.handle(event);
    }
    void state(const std::string& word, const std::string& description = {}) {
        RunEvent event = RunEvent::of(Kind::stateLine, run(), word);
        event.detail = description;
        machine.handle(event);
    }
    void ended(int32_t status, bool blocking, const std::string& reason = {}) {
        RunEvent event = RunEvent::told(Kind::helperEnded, run(), reason);
        event.status = status;
        event.flag = blocking;
        machine.handle(event);
    }
    // openvpn exits: its management connection closes, and the helper tells.
    void exit(int32_t status, bool blocking) {
        send(Kind::managementClosed);
        ended(status, blocking);
    }
    void helperFailed(int code) {
        RunEvent event = RunEvent::told(Kind::helperFailed, run(), "Broken pipe");
        event.code = code;
        machine.handle(event);
    }
    // Drives the machine the usual way into `target`.
    void bring(RunPhase target) {
        const RunPhase path[] = {RunPhase::preparing, RunPhase::requesting, RunPhase::attaching,
                                 RunPhase::connecting, RunPhase::connected};
        for (RunPhase step : path) {
            if (phase() == target)
                break;
            switch (step) {
            case RunPhase::preparing: {
                RunEvent connect = RunEvent::of(Kind::connect);
                connect.credentials = {"a@example.com", "pw", true};
                machine.handle(connect);
                break;
            }
            case RunPhase::requesting:
                send(Kind::profileReady, "/p.ovpn");
                break;
            case RunPhase::attaching:
                send(Kind::helperStarted);
                break;
            case RunPhase::connecting:
                send(Kind::attached);
                break;
            default:
                state("CONNECTED");
            }
        }
        if (target == RunPhase::reconnecting)
            state("RECONNECTING");
        if (target == RunPhase::stopping)
            send(Kind::disconnect);
        if (target == RunPhase::blocked) {
            send(Kind::managementClosed);
            ended(1, true);
        }
        ASSERT_EQ(phase(), target);
        effects.done.clear();
    }
};

struct Row {
    RunPhase from;
    std::string event;
    RunPhase to;
    std::vector<std::string> done; // in order
    std::string failure;           // newly told, if any
};

void apply(Fixture& f, const std::string& event) {
    if (event == "connect") {
        RunEvent e = RunEvent::of(Kind::connect);
        e.credentials = {"b@example.com", "pw2", false};
        return f.machine.handle(e);
    }
    if (event == "disconnect")
        return f.machine.handle(RunEvent::of(Kind::disconnect));
    if (event == "reconnect")
        return f.machine.handle(RunEvent::of(Kind::reconnect));
    if (event == "quit")
        return f.machine.handle(RunEvent::of(Kind::quit));
    if (event == "leak block off")
        return f.machine.handle(RunEvent::of(Kind::leakBlockOff));
    if (event == "network gone" || event == "network came") {
        RunEvent e = RunEvent::of(Kind::networkChanged, 0, "a link went down");
        e.flag = event == "network came";
        return f.machine.handle(e);
    }
    if (event == "profile failed")
        return f.send(Kind::profileFailed, "Network connection failed");
    if (event == "started")
        return f.send(Kind::helperStarted);
    if (event == "attach failed")
        return f.send(Kind::attachFailed, "The VPN's control port could not be reached.");
    // openvpn's management connection closes as it exits, before the helper says so.
    if (event == "ended" || event == "refused" || event == "helper stopped")
        f.send(Kind::managementClosed);
    if (event == "ended")
        return f.ended(0, false);
    if (event == "crashed, blocking")
        return f.ended(139, true);
    if (event == "refused")
        return f.ended(-1, false, "Another user's VPN connection is running on this computer.");
    if (event == "helper stopped")
        return f.ended(-1, false, HelperProtocol::helperStoppedReason);
    if (event == "helper broke")
        return f.helperFailed(HelperError::interrupted);
    if (event == "helper busy")
        return f.helperFailed(HelperError::busy);
    if (event == "helper gone")
        return f.send(Kind::helperGone);
    if (event == "block lifted")
        return f.send(Kind::blockLifted, "Another program of yours ended the block.");
    if (event == "management closed")
        return f.send(Kind::managementClosed);
    if (event == "verification failed")
        return f.send(Kind::passwordNotice, "Verification Failed: 'Auth'");
    if (event == "second prompt") {
        f.send(Kind::passwordNotice, "Need 'Auth' username/password");
        return f.send(Kind::passwordNotice, "Need 'Auth' username/password");
    }
    if (event.starts_with("timeout ")) {
        f.effects.queue.advance(event == "timeout start" ? 20s : 3s); // the first answer due
        return;
    }
    // A state line: "WORD" or "WORD,description".
    const size_t comma = event.find(',');
    f.state(event.substr(0, comma), comma == std::string::npos ? "" : event.substr(comma + 1));
}

TEST(RunMachine, PhaseByEvent) {
    using P = RunPhase;
    const std::string wrong = RunMachine::wrongVpnCredentials;
    const Row table[] = {
        // Connecting, and cancelling at every step.
        {P::idle, "connect", P::preparing, {"fetch b@example.com"}, ""},
        {P::idle, "disconnect", P::idle, {}, ""},
        {P::preparing, "disconnect", P::idle, {"cancel"}, ""},
        {P::preparing, "connect", P::preparing, {}, ""},
        {P::preparing, "profile failed", P::idle, {}, "Network connection failed"},
        {P::requesting, "started", P::attaching, {"attach"}, ""},
        {P::requesting, "disconnect", P::stopping, {"kill"}, ""},
        {P::requesting,
         "refused",
         P::idle,
         {},
         "Another user's VPN connection is running on this computer."},
        {P::requesting, "timeout start", P::stopping, {"kill"}, ""},
        {P::attaching, "attach failed", P::stopping, {"kill"}, ""},
        {P::attaching, "disconnect", P::stopping, {"kill"}, ""},
        {P::connecting, "CONNECTED", P::connected, {}, ""},
        {P::connecting, "WAIT", P::connecting, {}, ""},
        {P::connecting, "disconnect", P::stopping, {"send signal SIGINT\n"}, ""},
        // Wrong VPN credentials: never up, so the block goes and the user is told why.
        {P::connecting, "verification failed", P::connecting, {}, ""},
        {P::connecting, "crashed, blocking", P::connecting, {}, ""}, // waits for the last lines
        {P::attaching,
         "crashed, blocking",
         P::idle,
         {"release"},
         "The VPN connection ended unexpectedly (openvpn exit status 139)."},
        {P::connecting,
         "second prompt",
         P::connecting,
         {"send username 'Auth'", "send password 'Auth'"},
         ""},
        // Up: openvpn's own restarts, and what the network and sleep do.
        {P::connected, "ASSIGN_IP", P::connected, {}, ""},
        {P::connected, "RECONNECTING", P::reconnecting, {}, ""},
        {P::connected, "SOMETHING_NEW", P::connected, {}, ""},
        {P::connected, "EXITING", P::connected, {}, ""},
        {P::connected, "network gone", P::connected, {"send signal SIGUSR1\n"}, ""},
        {P::connecting, "network gone", P::connecting, {}, ""},
        {P::connecting, "network came", P::connecting, {"send signal SIGUSR1\n"}, ""},
        {P::reconnecting, "CONNECTED", P::connected, {}, ""},
        {P::connected, "disconnect", P::stopping, {"send signal SIGINT\n"}, ""},
        {P::connected, "management closed", P::connected, {}, ""},
        {P::connected, "helper stopped", P::requesting, {}, ""}, // after the last lines were read
        {P::connected, "helper broke", P::requesting, {}, ""},
        {P::connected, "helper busy", P::idle, {}, "Broken pipe"},
        // Stopping: openvpn that does not answer is ended by the helper; a helper that does
        // not answer is given up on.
        {P::stopping, "ended", P::idle, {"release"}, ""},
        {P::stopping, "timeout stop", P::stopping, {"kill"}, ""},
        {P::stopping, "connect", P::stopping, {}, ""},
        {P::stopping, "quit", P::stopping, {}, ""},
        // Blocked after a drop: both ways out, and a helper that takes its block along.
        {P::blocked, "reconnect", P::requesting, {"ask /p.ovpn blocked"}, ""},
        {P::blocked, "connect", P::requesting, {"ask /p.ovpn blocked"}, ""},
        {P::blocked, "disconnect", P::idle, {"release"}, ""},
        {P::blocked, "leak block off", P::idle, {"release"}, ""},
        {P::blocked, "quit", P::idle, {"release"}, ""},
        {P::blocked, "helper gone", P::idle, {}, RunMachine::blockEndedWithHelper},
        {P::blocked, "block lifted", P::idle, {}, "Another program of yours ended the block."},
        {P::connected, "block lifted", P::connected, {}, ""},
        {P::blocked, "CONNECTED", P::blocked, {}, ""}, // a line of the run that ended
        {P::idle, "quit", P::idle, {}, ""},
    };
    for (const Row& row : table) {
        Fixture f;
        f.bring(row.from);
        const uint64_t told = f.machine.status().failureCount;
        apply(f, row.event);
        const std::string where = std::string(phaseName(row.from)) + " + " + row.event;
        EXPECT_EQ(f.phase(), row.to) << where << " -> " << phaseName(f.phase());
        EXPECT_EQ(f.effects.done, row.done) << where;
        const bool toldNew = f.machine.status().failureCount != told;
        EXPECT_EQ(toldNew ? f.machine.status().failure : "", row.failure) << where;
    }
}

// A run that was never up ends with the way open, whichever way openvpn says the
// password was wrong; a drop after it was up keeps the block and asks.
TEST(RunMachine, ABlockProtectsOnlyWhatWasUp) {
    for (const auto& [how, connectedFirst, blocked, failure] :
         std::vector<std::tuple<std::string, bool, bool, std::string>>{
             {"verification failed", false, false, RunMachine::wrongVpnCredentials},
             {"EXITING,auth-failure", false, false, RunMachine::wrongVpnCredentials},
             {"EXITING,auth-failure", true, true, RunMachine::wrongVpnCredentials},
             {"crash", true, true,
              "The VPN connection ended unexpectedly (openvpn exit status 1)."},
             {"crash", false, false,
              "The VPN connection ended unexpectedly (openvpn exit status 1)."},
         }) {
        Fixture f;
        f.bring(connectedFirst ? RunPhase::connected : RunPhase::connecting);
        if (how != "crash")
            apply(f, how);
        f.ended(1, true);
        EXPECT_TRUE(f.machine.status().running()) << how << ": the last lines are read first";
        f.send(Kind::managementClosed);
        EXPECT_EQ(f.phase(), blocked ? RunPhase::blocked : RunPhase::idle) << how;
        EXPECT_EQ(f.machine.status().failure, failure) << how;
        EXPECT_EQ(f.effects.done.back(), blocked ? "watch" : "release") << how;
        EXPECT_EQ(f.machine.status().state, "NOPROCESS") << how;
    }
}

TEST(RunMachine, TimeOutsAreEventsOfTheirRun) {
    Fixture f;
    f.bring(RunPhase::connected);
    f.send(Kind::disconnect);
    f.effects.queue.advance(2999ms);
    EXPECT_EQ(f.effects.done, std::vector<std::string>{"send signal SIGINT\n"});
    f.effects.queue.advance(1ms);
    EXPECT_EQ(f.effects.done.back(), "kill") << "openvpn did not answer: the helper ends it";
    f.effects.queue.advance(8s);
    EXPECT_EQ(f.phase(), RunPhase::idle) << "nor did the helper: given up on";
    EXPECT_EQ(f.machine.status().failure, RunMachine::helperSilent);

    // A timer of a run that has ended does nothing to the next one.
    Fixture g;
    g.bring(RunPhase::requesting);
    g.ended(-1, false, "refused");
    g.bring(RunPhase::requesting);
    g.effects.queue.advance(19s);
    g.send(Kind::helperStarted, "x");
    g.effects.queue.advance(10s);
    EXPECT_EQ(g.phase(), RunPhase::attaching);
}

TEST(RunMachine, AHelperThatWentAwayIsAskedAgainAfterGrowingPauses) {
    Fixture f;
    f.bring(RunPhase::connected);
    for (auto pause : RunMachine::helperRetryPauses) {
        apply(f, "helper stopped");
        ASSERT_EQ(f.phase(), RunPhase::requesting);
        EXPECT_EQ(f.machine.status().state, "RECONNECTING");
        f.effects.done.clear();
        f.effects.queue.advance(pause - 1ms);
        EXPECT_TRUE(f.effects.done.empty());
        f.effects.queue.advance(1ms);
        EXPECT_EQ(f.effects.done, std::vector<std::string>{"ask /p.ovpn blocked"});
    }
    apply(f, "helper stopped");
    EXPECT_EQ(f.phase(), RunPhase::idle) << "asked often enough";
    EXPECT_EQ(f.machine.status().failure, HelperProtocol::helperStoppedReason);
}

TEST(RunMachine, SettingsDecideHowDropsEnd) {
    Fixture f;
    f.machine.automaticReconnect = false;
    f.bring(RunPhase::connected);
    apply(f, "RECONNECTING");
    EXPECT_EQ(f.phase(), RunPhase::stopping);
    EXPECT_EQ(f.effects.done.back(), "send signal SIGINT\n");
    apply(f, "timeout stop");
    EXPECT_EQ(f.effects.done.back(), "kill keeping the block") << "the user still wants the tunnel";
    f.exit(0, true);
    EXPECT_EQ(f.phase(), RunPhase::blocked);

    Fixture off;
    off.bring(RunPhase::connected);
    off.machine.leakBlock.enabled = false; // switched off while the guarded run went on
    off.exit(9, true);
    EXPECT_EQ(off.phase(), RunPhase::idle);
    EXPECT_EQ(off.effects.done.back(), "release");

    Fixture g;
    g.machine.automaticReconnect = false;
    g.bring(RunPhase::connected);
    apply(g, "network gone");
    EXPECT_EQ(g.phase(), RunPhase::stopping);
    EXPECT_EQ(g.machine.status().failure, "");
    g.exit(0, false);
    EXPECT_EQ(g.machine.status().failure,
              "The VPN connection was ended: a link went down, and automatic reconnecting is off.");

    // Ended unasked, and neither openvpn nor the helper answers: the block is assumed to hold,
    // with both ways out, rather than left behind silently.
    Fixture silent;
    silent.machine.automaticReconnect = false;
    silent.bring(RunPhase::connected);
    apply(silent, "network gone");
    silent.effects.queue.advance(3s + 8s);
    EXPECT_EQ(silent.phase(), RunPhase::blocked);
    EXPECT_EQ(silent.machine.status().failure,
              "The VPN connection was ended: a link went down, and automatic reconnecting is off.")
        << "what the application found out comes before the helper's words";
}

TEST(RunMachine, StateWordsFollowOpenVPNWithTheConnectedRule) {
    Fixture f;
    EXPECT_EQ(f.machine.status().state, "NOPROCESS");
    f.bring(RunPhase::connected);
    for (const auto& [word, stored] :
         std::vector<std::pair<std::string, std::string>>{{"ASSIGN_IP", "CONNECTED"},
                                                          {"ADD_ROUTES", "CONNECTED"},
                                                          {"", ""},
                                                          {"ASSIGN_IP", "ASSIGN_IP"},
                                                          {"CONNECTED", "CONNECTED"},
                                                          {"NEW_WORD", "NEW_WORD"}}) {
        f.state(word);
        EXPECT_EQ(f.machine.status().state, stored) << word;
    }
}

TEST(RunMachine, AConnectWhileTheLastRunEndsFollowsItsEnd) {
    Fixture f;
    f.bring(RunPhase::stopping);
    apply(f, "connect");
    f.exit(0, false);
    EXPECT_EQ(f.phase(), RunPhase::preparing);
    EXPECT_EQ(f.effects.done.back(), "fetch b@example.com");

    Fixture g;
    g.effects.haveScripts = false;
    g.bring(RunPhase::preparing);
    g.send(Kind::profileReady, "/p.ovpn");
    EXPECT_EQ(g.phase(), RunPhase::idle);
    EXPECT_EQ(g.machine.status().failure, "The VPN helper's scripts are missing.");

    Fixture h;
    h.bring(RunPhase::connected);
    apply(h, "quit");
    h.exit(0, false);
    EXPECT_EQ(h.effects.quits, 1);
}

TEST(RunMachine, TrafficIsToldOnlyWhenTheShownFiguresChange) {
    Fixture f;
    f.bring(RunPhase::connecting);
    RunEvent line = RunEvent::of(Kind::stateLine, f.run(), "CONNECTED");
    line.extra = "10.0.0.1";
    f.machine.handle(line);
    for (uint64_t i = 0; i < 50; ++i) {
        RunEvent count = RunEvent::of(Kind::byteCount, f.run());
        count.in = 4096 + i;
        count.out = 1024;
        f.machine.handle(count);
    }
    EXPECT_EQ(f.effects.traffic, 1) << "fifty counts, one change of what is shown";
    const auto& stats = f.machine.status().stats;
    EXPECT_EQ(stats.server, "10.0.0.1");
    EXPECT_EQ(stats.bytesIn, 4096u + 49);
    f.state("EXITING");
    EXPECT_FALSE(f.machine.status().stats.connected);
}

} // namespace
