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
    // Qt's coarse timers may fire up to 5 % early.
    bool coarse = false;
    void startTimer(uint64_t run, RunTimer timer, std::chrono::milliseconds after) override {
        queue.asyncAfter(coarse ? after - after / 20 : after, [this, run, timer] {
            RunEvent event = RunEvent::of(Kind::timeout, run);
            event.timer = timer;
            machine->handle(event);
        });
    }
    // Counts each time the machine starts saying that the tunnel is still being remade.
    void statusChanged(bool) override {
        const bool still = machine->status().stillReconnecting;
        notices += still && !stillReconnecting;
        stillReconnecting = still;
    }
    bool stillReconnecting = false;
    int notices = 0;
    void trafficChanged() override { ++traffic; }
    int traffic = 0;
    void quitDone() override { ++quits; }
    void log(const std::string&) override {}
};

struct Fixture {
    Recorder effects;
    RunMachine machine{effects, RunTiming{}, [this] { return effects.queue.now(); }};
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
    // openvpn's log tells why the server is not reached.
    if (event == "log: refused" || event == "log: no route") {
        RunEvent e = RunEvent::of(Kind::connectProblem, f.run());
        e.code = static_cast<int>(event == "log: refused" ? ConnectAttempts::Problem::refused
                                                          : ConnectAttempts::Problem::unreachable);
        return f.machine.handle(e);
    }
    if (event.starts_with("attempt ")) // openvpn's log names the server it tries
        return f.machine.handle(RunEvent::of(Kind::attempt, f.run(), event.substr(8)));
    if (event.starts_with("after ")) // "after 59999 ms"
        return f.effects.queue.advance(std::chrono::milliseconds(std::stoll(event.substr(6))));
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

// A connection never up ends once openvpn has given up on every server of the profile,
// or once each has had openvpn's handshake window, whichever comes first; it ends with
// the way open and what openvpn said. Each row: the profile's servers, what happens
// after openvpn took the credentials, and the failure told once openvpn has ended.
TEST(RunMachine, AConnectionNeverUpEndsOnceEveryServerWasTriedOrItsTimeIsOver) {
    using Problem = ConnectAttempts::Problem;
    const std::string silent = ConnectAttempts::failure(Problem::none).plain();
    struct Case {
        size_t servers;
        std::vector<std::string> events;
        bool ended; // asked to end after the last event
        std::string failure;
    };
    // A name that resolves to hundreds of addresses, met at once.
    std::vector<std::string> hundreds;
    for (int i = 0; i < 200; ++i)
        hundreds.push_back("attempt [AF_INET]10.0." + std::to_string(i) + ".1:1194");
    const auto then = [&](const std::string& last) {
        std::vector<std::string> events = hundreds;
        events.push_back(last);
        return events;
    };
    const Case cases[] = {
        // No server ever answers (UDP dropped): each has its window.
        {1, {"WAIT", "after 59999"}, false, ""},
        {1, {"WAIT", "after 60000"}, true, silent},
        {3, {"WAIT", "after 179999"}, false, ""},
        {3, {"WAIT", "RECONNECTING,tls-error", "WAIT", "after 180000"}, true, silent},
        // openvpn gives up on each in turn; the last restart ends the run at once.
        {2,
         {"TCP_CONNECT", "log: refused", "RECONNECTING,connection-failed", "TCP_CONNECT",
          "log: refused", "RECONNECTING,connection-failed"},
         true,
         ConnectAttempts::failure(Problem::refused).plain()},
        {1,
         {"TCP_CONNECT", "log: no route", "RECONNECTING,connection-failed"},
         true,
         ConnectAttempts::failure(Problem::unreachable).plain()},
        // A handshake the server began and did not finish failed; one never answered
        // was a server not reached, even with openvpn's "tls-error".
        {2,
         {"TCP_CONNECT", "log: refused", "RECONNECTING,connection-failed", "WAIT", "AUTH",
          "RECONNECTING,tls-error"},
         true,
         ConnectAttempts::failure(Problem::tlsFailed).plain()},
        {1, {"WAIT", "RECONNECTING,tls-error"}, true, silent},
        {1,
         {"WAIT", "AUTH", "after 60000"},
         true,
         ConnectAttempts::failure(Problem::tlsFailed).plain()},
        // Past the handshake, a server that never sends the tunnel's settings was not
        // reached, whatever openvpn calls its restart.
        {1, {"WAIT", "AUTH", "GET_CONFIG", "after 60000"}, true, silent},
        {1, {"WAIT", "AUTH", "GET_CONFIG", "RECONNECTING,tls-error"}, true, silent},
        {1,
         {"WAIT", "log: no route", "RECONNECTING,tls-error"},
         true,
         ConnectAttempts::failure(Problem::unreachable).plain()},
        // What the last attempt said, not the one before.
        {2,
         {"TCP_CONNECT", "log: refused", "RECONNECTING,connection-failed", "WAIT",
          "RECONNECTING,tls-error"},
         true,
         silent},
        // A name that cannot be looked up is no server tried: openvpn goes on looking it
        // up, and connects once it can; only the time limit ends it.
        {1,
         {"RESOLVE", "RECONNECTING,Could not determine IPv4/IPv6 protocol", "RESOLVE",
          "RECONNECTING,Could not determine IPv4/IPv6 protocol", "RESOLVE", "after 59999", "WAIT",
          "CONNECTED"},
         false,
         ""},
        {1,
         {"RESOLVE", "RECONNECTING,Could not determine IPv4/IPv6 protocol", "RESOLVE",
          "after 60000"},
         true,
         silent},
        {2,
         {"RESOLVE", "RECONNECTING,Could not determine IPv4/IPv6 protocol", "TCP_CONNECT",
          "log: refused", "RECONNECTING,connection-failed"},
         false,
         ""},
        // A restart the run asked for (a way out came) tries no new server.
        {1, {"WAIT", "network came", "RECONNECTING,SIGUSR1", "WAIT"}, false, ""},
        {1, {"WAIT", "network came", "RECONNECTING,SIGUSR1", "after 60000"}, true, silent},
        // Where openvpn names the servers, it has tried them all once it comes back to the
        // first: a host name's addresses are tried in turn as well.
        {1,
         {"attempt [AF_INET]192.0.2.1:443", "log: refused", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.2:443", "log: refused", "RECONNECTING,connection-failed"},
         false,
         ""},
        {1,
         {"attempt [AF_INET]192.0.2.1:443", "log: refused", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.2:443", "log: refused", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.1:443"},
         true,
         ConnectAttempts::failure(Problem::refused).plain()},
        {2,
         {"attempt [AF_INET]192.0.2.1:443", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.1:443"},
         false,
         ""}, // the profile names it twice
        {1,
         {"attempt [AF_INET]192.0.2.1:443", "network came", "RECONNECTING,SIGUSR1",
          "attempt [AF_INET]192.0.2.2:443", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.2:443"},
         true,
         silent},
        // Each address of a name has a window of its own, and openvpn starts on the next one
        // only once the last one's is over: a live second address is reached.
        {1,
         {"attempt [AF_INET]10.214.0.3:1194", "WAIT", "after 60000", "RECONNECTING,tls-error",
          "after 1000", "attempt [AF_INET]10.214.0.2:1194", "WAIT", "after 500", "CONNECTED"},
         false,
         ""},
        {1,
         {"attempt [AF_INET]10.214.0.3:1194", "WAIT", "after 60000", "RECONNECTING,tls-error",
          "after 1000", "attempt [AF_INET]10.214.0.2:1194", "WAIT", "after 64999"},
         false,
         ""},
        {1,
         {"attempt [AF_INET]10.214.0.3:1194", "WAIT", "after 60000", "RECONNECTING,tls-error",
          "after 1000", "attempt [AF_INET]10.214.0.2:1194", "WAIT", "after 65000"},
         true,
         silent},
        {1, {"attempt [AF_INET]10.214.0.3:1194", "WAIT", "after 64999"}, false, ""},
        {1, {"attempt [AF_INET]10.214.0.3:1194", "WAIT", "after 65000"}, true, silent},
        // Addresses given up on at once leave their time to the ones after them.
        {1,
         {"attempt [AF_INET]192.0.2.1:443", "log: refused", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.2:443", "log: refused", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.3:443", "WAIT", "after 179999"},
         false,
         ""},
        {1,
         {"attempt [AF_INET]192.0.2.1:443", "log: refused", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.2:443", "log: refused", "RECONNECTING,connection-failed",
          "attempt [AF_INET]192.0.2.3:443", "WAIT", "after 180000"},
         true,
         silent},
        // Only so many addresses count.
        {1, then("after 3839999"), false, ""},
        {1, then("after 3840000"), true, silent},
        // Up once, the limit is gone: openvpn goes on remaking the tunnel.
        {1, {"CONNECTED", "RECONNECTING,ping-restart", "after 600000"}, false, ""},
        {1, {"CONNECTED", "RECONNECTING,ping-restart", "RECONNECTING,tls-error"}, false, ""},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.effects.serverCount = c.servers;
        f.bring(RunPhase::connecting);
        std::string where = std::to_string(c.servers) + " servers:";
        for (const std::string& event : c.events) {
            where += " " + event;
            apply(f, event);
        }
        EXPECT_EQ(f.phase() == RunPhase::stopping, c.ended) << where;
        if (!c.ended) {
            EXPECT_NE(f.phase(), RunPhase::idle) << where << ": ended unasked";
            continue;
        }
        EXPECT_EQ(f.effects.done.back(), "send signal SIGINT\n") << where;
        f.exit(0, true);
        EXPECT_EQ(f.phase(), RunPhase::idle) << where << ": the way is open";
        EXPECT_EQ(f.effects.done.back(), "release") << where;
        EXPECT_EQ(f.machine.status().failure, c.failure) << where;
    }

    // openvpn that gives up by itself (connect-retry-max) says why as well.
    Fixture f;
    f.bring(RunPhase::connecting);
    f.effects.serverCount = 2;
    apply(f, "log: no route");
    apply(f, "RECONNECTING,connection-failed");
    f.exit(1, true);
    EXPECT_EQ(f.machine.status().failure, ConnectAttempts::failure(Problem::unreachable));
}

// While openvpn connects the status says what it waits for, and why it tries again.
TEST(RunMachine, TheStatusSaysWhatOpenVPNIsWaitingFor) {
    Fixture f;
    f.effects.serverCount = 2;
    f.bring(RunPhase::connecting);
    const auto progress = [&] { return f.machine.status().progress.plain(); };
    for (const auto& [event, shown] : std::vector<std::pair<std::string, std::string>>{
             {"WAIT", "waiting for the server's answer"},
             {"log: no route", "waiting for the server's answer: the host is unreachable"},
             {"RECONNECTING,tls-error", "trying again: the host is unreachable"},
             {"TCP_CONNECT", "connecting to the server"},
             {"AUTH", "logging in to the server"},
             {"GET_CONFIG", "setting up the tunnel"},
             {"CONNECTED", ""},
             {"RECONNECTING,ping-restart", "trying again"},
         }) {
        apply(f, event);
        EXPECT_EQ(progress(), shown) << event;
    }
    apply(f, "disconnect");
    EXPECT_EQ(progress(), "") << "nothing is being waited for any more";
}

// A tunnel that was up and is being remade keeps the block; once it has been for the
// notice's time, the user is told so once, with both ways out, while openvpn goes on.
TEST(RunMachine, ATunnelRemadeForLongIsToldOnce) {
    const auto notice = RunTiming{}.reconnectNotice;
    {
        Fixture f;
        f.bring(RunPhase::reconnecting);
        f.effects.queue.advance(notice - 1ms);
        EXPECT_FALSE(f.machine.status().stillReconnecting);
        f.effects.queue.advance(1ms);
        EXPECT_TRUE(f.machine.status().stillReconnecting);
        for (int i = 0; i < 3; ++i) { // openvpn goes on trying
            apply(f, "RECONNECTING,tls-error");
            apply(f, "WAIT");
            f.effects.queue.advance(notice);
        }
        EXPECT_EQ(f.phase(), RunPhase::reconnecting);
        EXPECT_EQ(f.effects.notices, 1) << "told once, not again";
        EXPECT_TRUE(f.effects.done.empty()) << "nothing was sent to openvpn";
        apply(f, "reconnect"); // the first way out: openvpn starts over at once
        EXPECT_EQ(f.effects.done, std::vector<std::string>{"send signal SIGUSR1\n"});
        apply(f, "CONNECTED");
        EXPECT_FALSE(f.machine.status().stillReconnecting);
        // A new drop is news of its own.
        apply(f, "RECONNECTING,ping-restart");
        f.effects.queue.advance(notice);
        EXPECT_EQ(f.effects.notices, 2);
        apply(f, "disconnect"); // the second way out
        EXPECT_FALSE(f.machine.status().stillReconnecting);
        EXPECT_EQ(f.effects.done.back(), "send signal SIGINT\n");
    }
    {
        // Back up and down again in between: the time counts from the last drop.
        Fixture f;
        f.bring(RunPhase::reconnecting);
        f.effects.queue.advance(notice / 2);
        apply(f, "CONNECTED");
        apply(f, "RECONNECTING,ping-restart");
        f.effects.queue.advance(notice / 2);
        EXPECT_EQ(f.effects.notices, 0) << "the first drop's timer is not the second's";
        f.effects.queue.advance(notice / 2);
        EXPECT_EQ(f.effects.notices, 1);
    }
    {
        // A timer that fires early is no reason to tell early, nor to tell never.
        Fixture f;
        f.effects.coarse = true;
        f.bring(RunPhase::reconnecting);
        f.effects.queue.advance(notice - 1ms);
        EXPECT_EQ(f.effects.notices, 0);
        f.effects.queue.advance(1ms);
        EXPECT_EQ(f.effects.notices, 1);
    }
    {
        // Not once the user stopped, and not for a run the block does not guard.
        Fixture stopped;
        stopped.bring(RunPhase::reconnecting);
        apply(stopped, "disconnect");
        stopped.effects.queue.advance(notice);
        EXPECT_EQ(stopped.effects.notices, 0);

        Fixture unguarded;
        unguarded.machine.leakBlock.enabled = false;
        unguarded.bring(RunPhase::reconnecting);
        unguarded.effects.queue.advance(notice);
        EXPECT_EQ(unguarded.effects.notices, 0);
        EXPECT_EQ(unguarded.phase(), RunPhase::reconnecting);
    }
}

} // namespace
