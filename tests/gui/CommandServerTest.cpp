// The instance's side of `quovant COMMAND` over real socket pairs, against a connection
// whose status the test sets; and the command line's words, which both sides parse.
#include "app/CommandServer.h"

#include "QtWait.h"
#include "platform/SettingsPasswordStore.h"
#include "vpn/OpenVPNService.h"

#include <gtest/gtest.h>
#include <map>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using CommandLine::Verb;

struct Defaults : KeyValueStore {
    std::map<std::string, std::string> values;
    std::optional<std::string> string(const std::string& key) override {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    void set(const std::string& key, const std::string& value) override { values[key] = value; }
    void remove(const std::string& key) override { values.erase(key); }
};

struct Vpn : ConnectionControl {
    ConnectionStatus now;
    std::vector<std::string> calls;
    const ConnectionStatus& status() const override { return now; }
    void connect(const Credentials& credentials) override {
        calls.push_back("connect " + credentials.email + " " + credentials.password);
        now.phase = RunPhase::preparing;
    }
    void stopOpenVPN() override { calls.push_back("stop"); }
    void reconnect() override { calls.push_back("reconnect"); }
    void releaseBlock() override { calls.push_back("release"); }
};

class CommandServerTest : public testing::Test {
protected:
    Vpn vpn;
    NotificationCenter center;
    Defaults defaults;
    SettingsPasswordStore passwords{defaults};
    int reopens = 0, quits = 0;
    QByteArray activation;
    CommandServer server{{&vpn, &center, &defaults, &passwords,
                          [this](const QByteArray& token) {
                              ++reopens;
                              activation = token;
                          },
                          [this] { vpn.stopOpenVPN(); }, [this] { ++quits; }}};
    std::vector<int> mine;

    ~CommandServerTest() override {
        for (int fd : mine)
            ::close(fd);
    }

    // A client connection that has sent `request`; its end of the pair.
    int ask(const std::string& request) {
        int pair[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair), 0);
        server.take(pair[0]);
        // A refused client finds its connection closed at once.
        ::send(pair[1], request.data(), request.size(), MSG_NOSIGNAL);
        mine.push_back(pair[1]);
        return pair[1];
    }
    // What came on `fd` until the server closed it (or, with `toEnd` false, until now).
    std::string answer(int fd, bool toEnd = true) {
        std::string got;
        bool closed = false;
        waitUntil(
            [&] {
                char chunk[4096];
                ssize_t n;
                while ((n = ::recv(fd, chunk, sizeof chunk, 0)) > 0)
                    got.append(chunk, size_t(n));
                closed = n == 0;
                return closed || !toEnd;
            },
            3s);
        return closed || !toEnd ? got : got + "(still open)";
    }
    void publish(RunPhase phase, const std::string& state, const std::string& failure = {}) {
        vpn.now.phase = phase;
        vpn.now.state = state;
        if (!failure.empty()) {
            vpn.now.failure = failure;
            ++vpn.now.failureCount;
        }
        center.post(OpenVPNService::stateDidChangeNotification);
    }
};

TEST_F(CommandServerTest, AnswersEachCommandFromTheStatusAndWhatHappensNext) {
    const std::string refused = "The VPN server did not accept the e-mail address or password.";
    struct Case {
        const char* request;
        RunPhase phase;
        bool remembered;
        std::function<void()> then;
        std::string answer;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"status\n", RunPhase::idle, true, {}, "out Niet verbonden\nexit 0\n", {}},
        {"connect\n", RunPhase::idle, false, {}, "", {}},
        {"connect --wait\n",
         RunPhase::idle,
         true,
         [&] { publish(RunPhase::connected, "CONNECTED"); },
         "exit 0\n",
         {"connect demo@quovant.test secret"}},
        {"connect --wait\n",
         RunPhase::idle,
         true,
         [&] { publish(RunPhase::idle, "NOPROCESS", refused); },
         "err " + refused + "\nexit 1\n",
         {"connect demo@quovant.test secret"}},
        {"connect --wait\n",
         RunPhase::connecting,
         true,
         [&] { publish(RunPhase::idle, "NOPROCESS"); },
         "err The connection was ended before it was up.\nexit 1\n",
         {}},
        {"connect\n", RunPhase::blocked, true, {}, "exit 0\n", {"reconnect"}},
        {"disconnect --wait\n",
         RunPhase::blocked,
         true,
         [&] { publish(RunPhase::idle, "NOPROCESS"); },
         "exit 0\n",
         {"stop"}},
        {"disconnect\n", RunPhase::idle, true, {}, "exit 0\n", {}},
        {"status --tray\n",
         RunPhase::idle,
         true,
         {},
         "err status takes no \"--tray\"\nexit 2\n",
         {}},
        {"reopen\n", RunPhase::idle, true, {}, "", {}},
        {"reopen 1a2b_TOKEN\n", RunPhase::idle, true, {}, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        vpn.calls.clear();
        vpn.now = {};
        vpn.now.phase = c.phase;
        defaults.values.clear();
        if (c.remembered)
            defaults.values = {{"email", "demo@quovant.test"}, {"password", "secret"}};
        const int fd = ask(c.request);
        waitUntil([&] { return vpn.now.phase != c.phase || !vpn.calls.empty(); }, 100ms);
        if (c.then)
            c.then();
        const std::string got = answer(fd);
        if (std::string(c.request) == "connect\n" && !c.remembered)
            EXPECT_EQ(got.rfind("err No credentials are remembered.", 0), 0u) << got;
        else
            EXPECT_EQ(got, c.answer);
        EXPECT_EQ(vpn.calls, c.calls);
        EXPECT_EQ(server.clients(), 0u);
    }
    EXPECT_EQ(reopens, 2);
    EXPECT_EQ(activation, "1a2b_TOKEN") << "a later start's activation token is passed on";
    const int quitting = ask("quit\n");
    EXPECT_TRUE(waitUntil([&] { return quits == 1; }, 3s));
    EXPECT_EQ(answer(quitting, false), "") << "answered by the application's end";
}

TEST_F(CommandServerTest, AFollowerGetsEachChangeOnceAndIsDroppedWhenItStopsReading) {
    vpn.now.phase = RunPhase::connecting;
    const int reader = ask("status --json --follow\n");
    std::string got;
    waitUntil([&] { return !(got += answer(reader, false)).empty(); }, 3s);
    publish(RunPhase::connecting, "WAIT"); // the same look and phase, another word
    publish(RunPhase::connecting, "WAIT");
    publish(RunPhase::connected, "CONNECTED");
    got += answer(reader, false);
    EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 3) << got;
    EXPECT_NE(got.find("\"state\":\"CONNECTED\""), std::string::npos) << got;

    // One that reads nothing fills its socket and is let go; the server never waits.
    const int stalled = ask("status --follow\n");
    const int small = 4096;
    ::setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    spin(100ms);
    vpn.now.phase = RunPhase::connected;
    for (uint64_t bytes = 0; server.clients() == 2 && bytes < 100000; ++bytes) {
        vpn.now.stats.bytesIn = bytes * 1000;
        center.post(OpenVPNService::trafficDidChangeNotification);
    }
    EXPECT_EQ(server.clients(), 1u);
    EXPECT_EQ(answer(reader, false).find("exit"), std::string::npos) << "the reader stays";
}

TEST_F(CommandServerTest, ABoundedNumberOfClientsEachWithABoundedRequest) {
    ask(std::string(CommandServer::maxRequest + 10, 'x'));
    EXPECT_EQ(answer(mine.back()), "") << "a request too long is dropped unanswered";
    for (size_t i = 0; i < CommandServer::maxClients; ++i)
        ask("status --follow\n");
    EXPECT_EQ(answer(ask("status\n")), "") << "one more than the bound is refused";
    EXPECT_EQ(server.clients(), CommandServer::maxClients);
}

TEST(CommandLine, ParsesTheCommandsAndSendsTheirWords) {
    struct Case {
        std::vector<std::string> args;
        Verb verb;
        std::string request; // empty: a start, help, or an error
        bool error = false;
    };
    const Case cases[] = {
        {{}, Verb::start, ""},
        {{"-platform", "offscreen", "--tray"}, Verb::start, ""},
        {{"--help"}, Verb::help, ""},
        {{"connect", "--wait"}, Verb::connect, "connect --wait"},
        {{"status", "-j", "-f"}, Verb::status, "status --json --follow"},
        {{"quit"}, Verb::quit, "quit"},
        {{"status", "--wait"}, Verb::start, "", true},
        {{"conect"}, Verb::start, "", true},
    };
    for (const Case& c : cases) {
        const CommandLine::Parsed parsed = CommandLine::parse(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(!parsed.error.empty(), c.error);
        EXPECT_EQ(parsed.command.verb, c.verb);
        if (c.request.empty())
            continue;
        EXPECT_EQ(CommandLine::request(parsed.command), c.request);
        const CommandLine::Parsed back = CommandLine::parseRequest(c.request);
        EXPECT_EQ(CommandLine::request(back.command), c.request);
    }
    EXPECT_TRUE(CommandLine::parse({"-platform", "offscreen", "--tray"}).command.hidden);
    EXPECT_FALSE(CommandLine::parseRequest("--tray").error.empty());
}

} // namespace
