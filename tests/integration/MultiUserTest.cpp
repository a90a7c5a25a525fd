// Two real local users against the real helper daemon and openvpn: one must not reach,
// steer or crowd out the other's VPN.
#include "Awaited.h"
#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "LoopbackServer.h"
#include "OpenVPNServer.h"
#include "Poll.h"
#include "helper/HelperConnection.h"

#include <algorithm>
#include <future>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr uid_t alice = 1000;
constexpr uid_t bob = 1001;

#ifndef QUOVANT_TEST_CLIENT
#error "QUOVANT_TEST_CLIENT must name the quovant-test-client program"
#endif

// Runs `body` in a child process as `uid` and returns what it returned. The body
// uses plain sockets only (no threads), as the child of a threaded test must.
std::string asUser(uid_t uid, const std::function<std::string()>& body) {
    int out[2];
    if (::pipe(out) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0)
            ::_exit(2);
        const std::string result = body();
        [[maybe_unused]] const ssize_t n = ::write(out[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string result;
    char chunk[512];
    pollfd fd{out[0], POLLIN, 0};
    while (::poll(&fd, 1, 60000) > 0) {
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        result.append(chunk, static_cast<size_t>(n));
    }
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    return result;
}

int connectTo(const sockaddr* address, socklen_t length, int family) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, address, length) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

int connectUnix(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return connectTo(reinterpret_cast<sockaddr*>(&address), sizeof address, AF_UNIX);
}

int connectManagement() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(1337);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connectTo(reinterpret_cast<sockaddr*>(&address), sizeof address, AF_INET);
}

// What arrives on `fd` within `timeout`; stops early at the connection's end, or once
// `until` has arrived when it is given.
std::string readFor(int fd, std::chrono::milliseconds timeout, bool* closed = nullptr,
                    std::string_view until = {}) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return text;
        char chunk[1024];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            if (closed)
                *closed = true;
            return text;
        }
        text.append(chunk, static_cast<size_t>(n));
        if (!until.empty() && text.find(until) != std::string::npos)
            return text;
    }
}

bool sendAll(int fd, const std::string& text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

class MultiUserTest : public testing::Test {
protected:
    OpenVPNServer server{std::vector<OpenVPNServer::Account>{{"alice@example.com", "alice pw"},
                                                             {"bob@example.com", "bob pw"}}};
    HelperDaemon daemon;
    TempDir profiles{"quovant-profiles"};

    void SetUp() override {
        ASSERT_TRUE(server.waitUntilReady()) << server.log();
        std::filesystem::permissions(profiles.path(), std::filesystem::perms(0755));
    }

    // A profile for this server, owned by `uid` and readable by it alone.
    std::string profileOf(uid_t uid) {
        const auto path = profiles.write(std::to_string(uid) + ".ovpn", server.clientProfile(),
                                         std::filesystem::perms(0600));
        std::filesystem::permissions(profiles.path(), std::filesystem::perms(0755));
        if (::chown(path.c_str(), uid, uid) != 0)
            ADD_FAILURE() << "chown failed";
        return path.string();
    }

    ChildProcess client(uid_t uid, std::vector<std::string> arguments, const std::string& output) {
        std::vector<std::string> argv{QUOVANT_TEST_CLIENT};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        ChildProcess::Options options;
        options.outputFile = output;
        options.uid = uid;
        return ChildProcess(argv, options);
    }

    // A client of `uid` that asks for a run and holds it; waits (bounded) until it started.
    ChildProcess holdARun(uid_t uid, const std::filesystem::path& output) {
        auto holder = client(
            uid,
            {"hold", daemon.socketPath(), profileOf(uid), daemon.upScript(), daemon.downScript()},
            output.string());
        waitForOutput(output, "started");
        return holder;
    }

    // Waits (bounded) until `file` holds `text`; returns its content.
    std::string waitForOutput(const std::filesystem::path& file, const std::string& text,
                              std::chrono::milliseconds timeout = 30s) {
        std::string content;
        pollUntil(
            [&] {
                content = std::filesystem::exists(file) ? readFile(file) : "";
                return content.find(text) != std::string::npos;
            },
            timeout);
        return content;
    }
};

TEST_F(MultiUserTest, AnotherUsersRunGetsNoneOfMyCredentials) {
    // Bob's openvpn runs and holds 127.0.0.1:1337.
    const auto bobOutput = profiles / "bob.out";
    auto bobClient = holdARun(bob, bobOutput);
    ASSERT_NE(readFile(bobOutput).find("started"), std::string::npos)
        << readFile(bobOutput) << daemon.log();

    // Alice connects: her run is refused with the reason, and nothing reaches bob's openvpn.
    const auto aliceOutput = profiles / "alice.out";
    auto aliceClient = client(alice,
                              {"connect", daemon.socketPath(), profileOf(alice), daemon.upScript(),
                               daemon.downScript(), "alice@example.com", "alice pw"},
                              aliceOutput.string());
    const std::string ended = waitForOutput(aliceOutput, "ended");
    EXPECT_NE(
        ended.find("ended NOPROCESS Another user's VPN connection is running on this computer."),
        std::string::npos)
        << ended;
    const std::string log = daemon.log();
    ASSERT_NE(log.find("MANAGEMENT: TCP Socket listening"), std::string::npos)
        << "bob's openvpn writes its log here";
    EXPECT_EQ(log.find("MANAGEMENT: Client connected"), std::string::npos)
        << "nobody reached bob's openvpn\n"
        << log;
    EXPECT_EQ(server.log().find("alice@example.com"), std::string::npos) << server.log();
    EXPECT_TRUE(bobClient.running()) << "bob's run goes on";
}

TEST_F(MultiUserTest, AnotherUserOnTheManagementPortCanNeitherReadNorStopMyRun) {
    auto connection = std::make_shared<HelperConnection>(daemon.socketPath());
    connection->resume();
    Awaited<std::string> started;
    Awaited<int32_t> ended;
    auto proxy = connection->proxy([&](const HelperError&) { ended.add(-1000); });
    proxy->runOpenVPN(
        profileOf(0), daemon.upScript(), daemon.downScript(),
        [&](const std::string& password) { started.add(password); },
        [&](int32_t status, const std::string&, bool) { ended.add(status); });
    const auto password = started.first(15s);
    ASSERT_TRUE(password) << daemon.log();

    // Bob gets there first and tries what an attacker would.
    const std::string seen = asUser(bob, [] {
        const int fd = connectManagement();
        if (fd < 0)
            return std::string("no connection");
        std::string text = readFor(fd, 500ms);
        for (const char* attempt : {"signal SIGTERM\n", "state\n", "log all\n", "\n"}) {
            sendAll(fd, attempt);
            text += readFor(fd, 300ms);
        }
        ::close(fd);
        return text;
    });
    EXPECT_EQ(seen.find("ENTER PASSWORD:"), 0u) << seen;
    for (const char* secret : {">STATE", ">LOG", ">PASSWORD", ">INFO", "SUCCESS"})
        EXPECT_EQ(seen.find(secret), std::string::npos) << secret << " in: " << seen;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(ended.count(), 0u) << "openvpn still runs\n" << daemon.log();

    // Its owner, with the run's password, is let in.
    const int fd = connectManagement();
    ASSERT_GE(fd, 0);
    EXPECT_NE(readFor(fd, 1s).find("ENTER PASSWORD:"), std::string::npos);
    sendAll(fd, *password + "\n");
    EXPECT_NE(readFor(fd, 1s).find("SUCCESS: password is correct"), std::string::npos);
    sendAll(fd, "signal SIGTERM\n");
    EXPECT_TRUE(ended.first(15s));
    ::close(fd);
}

TEST_F(MultiUserTest, OneUserCannotCrowdOutAnotherOrRoot) {
    const std::string socket = daemon.socketPath();
    // Bob fills his share with idle and half-sent connections and tries one more.
    auto crowd = std::async(std::launch::async, [&] {
        return asUser(bob, [socket] {
            std::vector<int> fds;
            for (size_t i = 0; i < 8; ++i) {
                const int fd = connectUnix(socket);
                if (fd < 0)
                    return std::string("connect failed");
                if (i % 2)
                    sendAll(fd, "{\"v\":1,\"id\":1,");
                fds.push_back(fd);
            }
            const int extra = connectUnix(socket);
            const std::string refusal = readFor(extra, 2s);
            ::close(extra);
            // The daemon closes every one of them once they have owed a request too long.
            int closed = 0;
            for (int fd : fds) {
                bool gone = false;
                readFor(fd, 15s, &gone);
                closed += gone;
                ::close(fd);
            }
            return refusal + "closed " + std::to_string(closed);
        });
    });
    pollUntil(
        [&] {
            return daemon.log().find("too many connections from this user") != std::string::npos;
        },
        10s);

    const std::string request = "{\"v\":1,\"id\":1,\"op\":\"getVersion\"}\n";
    const std::string aliceAnswer = asUser(alice, [socket, request] {
        const int fd = connectUnix(socket);
        sendAll(fd, request);
        const std::string answer = readFor(fd, 3s);
        ::close(fd);
        return answer;
    });
    EXPECT_NE(aliceAnswer.find("\"reply\":\"version\""), std::string::npos) << aliceAnswer;
    const int root = connectUnix(socket);
    sendAll(root, request);
    EXPECT_NE(readFor(root, 3s).find("\"reply\":\"version\""), std::string::npos);
    ::close(root);

    const std::string bobSaw = crowd.get();
    EXPECT_NE(bobSaw.find("\"reply\":\"busy\""), std::string::npos) << bobSaw;
    EXPECT_NE(bobSaw.find("closed 8"), std::string::npos) << bobSaw << daemon.log();
}

TEST_F(MultiUserTest, BusyHelperIsNotTakenForAMissingOne) {
    // Alice's own connections fill her share; her application's helper check must not
    // then ask for an administrator's password to reinstall a helper that is there.
    const std::string socket = daemon.socketPath();
    auto holder = std::async(std::launch::async, [&] {
        return asUser(alice, [socket] {
            std::vector<int> fds;
            for (size_t i = 0; i < 8; ++i) {
                fds.push_back(connectUnix(socket));
                sendAll(fds.back(), "{\"v\":1,\"id\":1,\"op\":\"getVersion\"}\n");
                readFor(fds.back(), 1s, nullptr, "\n");
            }
            readFor(fds.front(), 4s); // holds them while the check runs
            for (int fd : fds)
                ::close(fd);
            return std::string();
        });
    });
    auto requests = [&] {
        const std::string log = daemon.log();
        size_t count = 0;
        for (size_t at = log.find("request getVersion"); at != std::string::npos;
             at = log.find("request getVersion", at + 1))
            ++count;
        return count;
    };
    pollUntil([&] { return requests() >= 8; }, 10s);

    const auto output = profiles / "check.out";
    auto check = client(alice, {"check", socket, HelperDaemon::libexecDir()}, output.string());
    const std::string seen = waitForOutput(output, "verdict");
    EXPECT_NE(seen.find("The VPN helper is busy: too many connections from this user"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("verdict none"), std::string::npos) << "no reinstall: " << seen;
    holder.get();
}

bool guardTable() {
    return runCommand({"nft", "list", "table", "inet", "quovant_guard"}) == 0;
}

TEST_F(MultiUserTest, AUsersBlockGoesWithTheClientThatHeldItAndNoOtherUserLiftsIt) {
    const auto bobOutput = profiles / "bob.out";
    auto bobClient = holdARun(bob, bobOutput);
    ASSERT_NE(readFile(bobOutput).find("started"), std::string::npos)
        << readFile(bobOutput) << daemon.log();
    EXPECT_TRUE(guardTable()) << "bob's run blocks traffic outside its tunnel";

    const std::string socket = daemon.socketPath();
    asUser(alice, [socket] {
        const int fd = connectUnix(socket);
        sendAll(fd, "{\"v\":1,\"id\":1,\"op\":\"releaseBlock\"}\n");
        readFor(fd, 500ms);
        ::close(fd);
        return std::string();
    });
    EXPECT_TRUE(pollUntil(
        [&] {
            return daemon.log().find("refused releaseBlock from uid 1000") != std::string::npos;
        },
        5s))
        << daemon.log();
    EXPECT_TRUE(guardTable()) << "alice cannot lift bob's block";

    bobClient.signal(SIGKILL);
    EXPECT_TRUE(pollUntil([&] { return !guardTable(); }, 15s))
        << "bob's application went away: his run and its block end\n"
        << daemon.log();
}

TEST_F(MultiUserTest, ABlockThatOutlivedItsRunIsNotTakenOverNorEndedByAnotherUsersRun) {
    const auto bobOutput = profiles / "bob.out";
    auto bobClient = holdARun(bob, bobOutput);
    const auto pid = daemon.openVPNPid();
    ASSERT_TRUE(pid) << readFile(bobOutput) << daemon.log();
    ::kill(*pid, SIGKILL);
    EXPECT_NE(waitForOutput(bobOutput, "blocking").find("terminated 137"), std::string::npos)
        << readFile(bobOutput) << daemon.log();
    ASSERT_TRUE(guardTable()) << "bob's block holds after his openvpn died";

    // Alice's guarded run would take bob's block over; her unguarded one would end it.
    const std::string refusal = "Another user's VPN connection dropped and still blocks traffic "
                                "outside the VPN on this computer.";
    const auto aliceHold = profiles / "alice-hold.out";
    auto aliceHolder = client(
        alice,
        {"hold", daemon.socketPath(), profileOf(alice), daemon.upScript(), daemon.downScript()},
        aliceHold.string());
    EXPECT_NE(waitForOutput(aliceHold, "terminated").find("terminated -1 " + refusal),
              std::string::npos)
        << readFile(aliceHold) << daemon.log();
    const auto aliceConnect = profiles / "alice-connect.out";
    auto aliceConnecting =
        client(alice,
               {"connect", daemon.socketPath(), profileOf(alice), daemon.upScript(),
                daemon.downScript(), "alice@example.com", "alice pw"},
               aliceConnect.string());
    EXPECT_NE(waitForOutput(aliceConnect, "ended").find("ended NOPROCESS " + refusal),
              std::string::npos)
        << readFile(aliceConnect) << daemon.log();
    const std::string log = daemon.log();
    size_t starts = 0;
    for (size_t at = log.find("openvpn started"); at != std::string::npos;
         at = log.find("openvpn started", at + 1))
        ++starts;
    EXPECT_EQ(starts, 1u) << "only bob's run started\n" << log;
    EXPECT_TRUE(guardTable()) << "alice neither took bob's block over nor ended it\n" << log;

    // Bob's own new run takes it over.
    const auto bobAgain = profiles / "bob-again.out";
    auto bobReconnecting = holdARun(bob, bobAgain);
    EXPECT_NE(readFile(bobAgain).find("started"), std::string::npos)
        << readFile(bobAgain) << daemon.log();
    EXPECT_TRUE(guardTable());
    bobReconnecting.signal(SIGKILL);
    bobClient.signal(SIGKILL);
    EXPECT_TRUE(pollUntil([&] { return !guardTable(); }, 15s)) << daemon.log();
}

} // namespace
