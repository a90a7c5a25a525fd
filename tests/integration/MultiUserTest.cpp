// Two real local users against the real helper daemon and openvpn: one must not reach,
// steer or crowd out the other's VPN.
#include "Awaited.h"
#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "LoopbackServer.h"
#include "OpenVPNServer.h"
#include "Poll.h"
#include "helper/FdPassing.h"
#include "helper/HelperConnection.h"
#include "helper/HelperPaths.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <grp.h>
#include <gtest/gtest.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <set>
#include <sys/mount.h>
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
std::string asUser(uid_t uid, const std::function<std::string()>& body,
                   std::chrono::milliseconds patience = 60s) {
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
    while (::poll(&fd, 1, static_cast<int>(patience.count())) > 0) {
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
    // Bob's openvpn runs, its management channel in bob's client's hands.
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
    ASSERT_NE(log.find("MANAGEMENT: unix domain socket listening"), std::string::npos)
        << "bob's openvpn writes its log here";
    const size_t first = log.find("MANAGEMENT: Client connected");
    EXPECT_EQ(log.find("MANAGEMENT: Client connected", first + 1), std::string::npos)
        << "nobody but the helper, for bob, reached bob's openvpn\n"
        << log;
    EXPECT_EQ(server.log().find("alice@example.com"), std::string::npos) << server.log();
    EXPECT_TRUE(bobClient.running()) << "bob's run goes on";
}

// What bob finds while he connects, again and again until told to stop, to every TCP
// port of 127.0.0.1 and to whatever he can reach in the helper's own directory: which
// TCP ports answered like a management interface, and which paths let him in at all.
std::string hammer(const std::string& runtimeDir, const std::vector<std::string>& sockets,
                   int stop) {
    std::set<std::string> found;
    int sweeps = 0;
    for (pollfd done{stop, POLLIN, 0}; ::poll(&done, 1, 0) == 0; ++sweeps) {
        for (int port = 1; port <= 65535; ++port) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const int fd =
                connectTo(reinterpret_cast<sockaddr*>(&address), sizeof address, AF_INET);
            if (fd < 0)
                continue;
            const std::string greeting = readFor(fd, 20ms);
            if (greeting.find("Management Interface") != std::string::npos ||
                greeting.find("ENTER PASSWORD") != std::string::npos)
                found.insert("management on tcp port " + std::to_string(port));
            ::close(fd);
        }
        if (DIR* dir = ::opendir(runtimeDir.c_str())) {
            found.insert("listed " + runtimeDir);
            ::closedir(dir);
        }
        for (const std::string& path : sockets) {
            const int fd = connectUnix(path);
            if (fd >= 0) {
                found.insert("connected to " + path);
                ::close(fd);
            }
        }
    }
    std::string report = "sweeps " + std::to_string(sweeps) + "\n";
    for (const std::string& line : found)
        report += line + "\n";
    return report;
}

TEST_F(MultiUserTest, AnotherUserHammeringEveryPortAndTheHelpersDirectoryCannotHoldUpMyConnects) {
    // Bob starts first, knowing where the management socket of alice's runs will be.
    const std::string runtimeDir = HelperPaths::runtimeDir;
    std::vector<std::string> sockets = {runtimeDir + "/management-" +
                                        std::to_string(daemon.process().pid()) + ".sock"};
    for (const auto& entry : std::filesystem::directory_iterator(runtimeDir))
        sockets.push_back(entry.path().string());
    int stop[2];
    ASSERT_EQ(::pipe2(stop, O_CLOEXEC), 0);
    auto bob_ = std::async(std::launch::async, [&] {
        return asUser(
            bob,
            [&] {
                ::close(stop[1]);
                return hammer(runtimeDir, sockets, stop[0]);
            },
            5min);
    });

    constexpr int connects = 20;
    const auto output = profiles / "alice.out";
    auto alice_ =
        client(alice,
               {"connect", daemon.socketPath(), profileOf(alice), daemon.upScript(),
                daemon.downScript(), "alice@example.com", "alice pw", std::to_string(connects)},
               output.string());

    const std::string done = waitForOutput(output, "\nended ", 5min);
    ::close(stop[1]);
    const std::string found = bob_.get();
    ::close(stop[0]);
    for (int round = 1; round < connects; ++round)
        EXPECT_NE(done.find("connected " + std::to_string(round) + " "), std::string::npos)
            << round << "\n"
            << done << daemon.log();
    EXPECT_NE(done.find("ended CONNECTED"), std::string::npos) << done;
    EXPECT_EQ(found.rfind("sweeps ", 0), 0u);
    EXPECT_EQ(found.find('\n'), found.size() - 1) << "bob found nothing to reach:\n" << found;
    EXPECT_EQ(found.find("sweeps 0\n"), std::string::npos) << "bob hammered while alice connected";
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

// A name server that hears every question and answers none: the helper's look-ups of
// this test program hang until the helper gives up on them. The test's mount namespace
// shows it (and the helper it starts) a resolv.conf of its own.
class SilentNameServer : public ::testing::Environment {
public:
    static constexpr const char* address = "127.0.0.53";
    void SetUp() override {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(53);
        ::inet_pton(AF_INET, address, &at.sin_addr);
        ASSERT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
        ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        const auto path = dir_.write("resolv.conf", std::string("nameserver ") + address +
                                                        "\noptions timeout:30 attempts:1\n");
        ::chmod(path.c_str(), 0644);
        ASSERT_EQ(::mount(path.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr), 0);
    }

private:
    int fd_ = -1;
    TempDir dir_{"quovant-resolver"};
};

const auto* silentNames = ::testing::AddGlobalTestEnvironment(new SilentNameServer);

// Sends a runOpenVPN request with the profile at `profile`, opened here, as its descriptor.
bool sendRun(int fd, uint64_t id, const std::string& profile, const std::string& up,
             const std::string& down, bool guarded) {
    const std::string line = "{\"v\":1,\"id\":" + std::to_string(id) +
                             ",\"op\":\"runOpenVPN\",\"client_up\":\"" + up +
                             "\",\"client_down\":\"" + down +
                             "\",\"block_leaks\":" + (guarded ? "true" : "false") + "}\n";
    const UniqueFd file(::open(profile.c_str(), O_RDONLY | O_CLOEXEC));
    return FdPassing::send(fd, line, file.get()) == static_cast<ssize_t>(line.size());
}

std::string versionRequest(uint64_t id) {
    return "{\"v\":1,\"id\":" + std::to_string(id) + ",\"op\":\"getVersion\"}\n";
}

size_t lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

// What the process `pid` has open: descriptor -> target.
std::map<int, std::string> descriptors(const std::filesystem::path& process) {
    std::map<int, std::string> fds;
    for (const auto& fd : std::filesystem::directory_iterator(process / "fd"))
        fds[std::stoi(fd.path().filename())] = std::filesystem::read_symlink(fd.path());
    return fds;
}

// The descriptors of the daemon's child that runs as `uid`, as "fd -> target" lines; a
// target the daemon holds too (but their pipe) is marked "(the daemon's)".
std::string childDescriptors(pid_t daemon, uid_t uid) {
    const auto daemonProcess = std::filesystem::path("/proc") / std::to_string(daemon);
    std::set<std::string> held;
    for (const auto& [fd, target] : descriptors(daemonProcess))
        held.insert(target);
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string status = readFile(entry.path() / "status");
        if (status.find("\nPPid:\t" + std::to_string(daemon) + "\n") == std::string::npos ||
            status.find("\nUid:\t" + std::to_string(uid) + "\t") == std::string::npos)
            continue;
        std::string out;
        for (const auto& [fd, target] : descriptors(entry.path())) {
            const bool pipe = target.rfind("pipe:", 0) == 0;
            // Sockets of its own (the resolver's queries) may come and go.
            if (!pipe && target.rfind("socket:", 0) == 0 && !held.count(target))
                continue;
            out += std::to_string(fd) + " -> " + (pipe ? "pipe" : target) +
                   (!pipe && target != "/dev/null" && held.count(target) ? " (the daemon's)" : "") +
                   "\n";
        }
        return out;
    }
    return "no such child";
}

// A client that asked for a run while another of its runs went on, then stopped reading
// its replies, ends the run it asked for: the reply the helper owes it cannot be
// delivered and the helper closes the connection in the middle of handling the request.
// It must go on serving (under AddressSanitizer, it once read the closed client's entry).
TEST_F(MultiUserTest, AClientThatDoesNotReadItsRepliesIsClosedWithoutHarmToTheHelper) {
    const std::string up = daemon.upScript(), down = daemon.downScript();
    const std::string open = profileOf(0);
    auto guarded = server.clientProfile();
    guarded.replace(guarded.find(std::string("remote ") + OpenVPNServer::linkAddress),
                    std::string("remote ").size() + std::string(OpenVPNServer::linkAddress).size(),
                    "remote hangs.quovant.test");
    const auto named = profiles.write("named.ovpn", guarded, std::filesystem::perms(0600));

    // How many replies fill the helper's side of a connection that is not read.
    const int probe = connectUnix(daemon.socketPath());
    std::string flood;
    for (uint64_t id = 1; id <= 3000; ++id)
        flood += versionRequest(id);
    sendAll(probe, flood);
    pollUntil([&] { return daemon.log().find("cannot deliver a reply") != std::string::npos; },
              10s);
    const size_t fit = lines(readFor(probe, 2s));
    ::close(probe);
    ASSERT_GT(fit, 10u);
    ASSERT_LT(fit, 3000u) << "the probe never filled its connection";

    const int fd = connectUnix(daemon.socketPath());
    sendRun(fd, 1, open, up, down, false);
    ASSERT_NE(readFor(fd, 15s, nullptr, "started").find("started"), std::string::npos)
        << daemon.log();
    sendRun(fd, 2, named.string(), up, down, true);
    ASSERT_TRUE(pollUntil(
        [&] { return daemon.log().find("looking up the server names") != std::string::npos; }, 15s))
        << daemon.log();
    // The look-up child, which runs as nobody, holds its pipe and nothing else of root's.
    EXPECT_EQ(childDescriptors(daemon.process().pid(), 65534),
              "0 -> /dev/null\n1 -> /dev/null\n2 -> /dev/null\n3 -> pipe\n");
    std::string pipelined;
    for (uint64_t id = 3; id < 3 + fit; ++id)
        pipelined += versionRequest(id);
    pipelined += "{\"v\":1,\"id\":" + std::to_string(3 + fit) + ",\"op\":\"killOpenVPN\"}\n";
    sendAll(fd, pipelined);
    EXPECT_TRUE(pollUntil(
        [&] {
            const std::string log = daemon.log();
            size_t n = 0;
            for (size_t at = log.find("cannot deliver a reply"); at != std::string::npos;
                 at = log.find("cannot deliver a reply", at + 1))
                ++n;
            return n >= 2;
        },
        15s))
        << daemon.log();
    ::close(fd);
    EXPECT_TRUE(daemon.running()) << daemon.log();
    const int other = connectUnix(daemon.socketPath());
    sendAll(other, versionRequest(1));
    EXPECT_NE(readFor(other, 5s, nullptr, "\n").find("\"version\""), std::string::npos)
        << daemon.log();
    ::close(other);
}

// One user pipelines heavy guarded runs (a profile of the largest size, ~10,000 server
// names) while another asks for the version: the second is answered between the first's
// requests, not after them. The figure is bench_helper_flood's.
TEST_F(MultiUserTest, AUserWhoFloodsTheHelperDoesNotHoldUpAnotherUsersAnswer) {
    std::string heavy = "client\ndev tun\nnobind\nauth-user-pass\nremote-cert-tls server\n";
    for (int i = 0; heavy.size() < 250 * 1024; ++i)
        heavy += "remote h" + std::to_string(i) + ".quovant.test 1194\n";
    const auto path = profiles.write("heavy.ovpn", heavy, std::filesystem::perms(0600));
    ASSERT_EQ(::chown(path.c_str(), alice, alice), 0);
    auto flooding = std::async(std::launch::async, [&] {
        return asUser(alice, [&] {
            const int fd = connectUnix(daemon.socketPath());
            for (int id = 1; id <= 60; ++id)
                sendRun(fd, static_cast<uint64_t>(id), path.string(), daemon.upScript(),
                        daemon.downScript(), true);
            return std::to_string(lines(readFor(fd, 30s, nullptr, "\"id\":60,")));
        });
    });
    ASSERT_TRUE(pollUntil(
        [&] { return daemon.log().find("request runOpenVPN from uid 1000") != std::string::npos; },
        10s));
    const std::string answer = asUser(bob, [&] {
        const int fd = connectUnix(daemon.socketPath());
        sendAll(fd, versionRequest(1));
        return readFor(fd, 5s, nullptr, "\n");
    });
    EXPECT_NE(answer.find("\"version\""), std::string::npos) << daemon.log();
    EXPECT_EQ(flooding.get(), "60") << "each of the flood's requests is answered";
}

// Descriptors sent unasked are closed away from the daemon's loop: a TCP socket with linger
// on and data its peer never reads would hold a close for the whole linger time. One with a
// request, and more than a message carries (the read takes them all: the kernel would close
// the rest in the daemon's thread).
TEST_F(MultiUserTest, LingeringSocketsSentUnaskedDoNotHoldUpAnotherUsersAnswer) {
    for (const int count : {1, 6}) {
        auto sending = std::async(std::launch::async, [&] {
            return asUser(alice, [&] {
                const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in address{};
                address.sin_family = AF_INET;
                address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                socklen_t length = sizeof address;
                const int small = 4096;
                ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
                if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
                    ::listen(listener, count) != 0 ||
                    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
                    return std::string("no listener");
                std::vector<int> lingering, peers;
                const std::string chunk(65536, 'x');
                const linger on{1, 4};
                for (int i = 0; i < count; ++i) {
                    lingering.push_back(
                        connectTo(reinterpret_cast<sockaddr*>(&address), length, AF_INET));
                    peers.push_back(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
                    while (::send(lingering.back(), chunk.data(), chunk.size(),
                                  MSG_DONTWAIT | MSG_NOSIGNAL) > 0) {
                    }
                    ::setsockopt(lingering.back(), SOL_SOCKET, SO_LINGER, &on, sizeof on);
                }
                const int fd = connectUnix(daemon.socketPath());
                const std::string line = versionRequest(1);
                iovec data{const_cast<char*>(line.data()), line.size()};
                std::vector<char> control(CMSG_SPACE(sizeof(int) * lingering.size()));
                msghdr message{};
                message.msg_iov = &data;
                message.msg_iovlen = 1;
                message.msg_control = control.data();
                message.msg_controllen = control.size();
                cmsghdr* header = CMSG_FIRSTHDR(&message);
                header->cmsg_level = SOL_SOCKET;
                header->cmsg_type = SCM_RIGHTS;
                header->cmsg_len = CMSG_LEN(sizeof(int) * lingering.size());
                std::memcpy(CMSG_DATA(header), lingering.data(), sizeof(int) * lingering.size());
                ::sendmsg(fd, &message, MSG_NOSIGNAL);
                // The daemon's copies are the last: their close is the one that would wait.
                for (int socket : lingering)
                    ::close(socket);
                const std::string reply = readFor(fd, 10s, nullptr, "\n");
                // The peers stay, never reading, until the linger would be over.
                ::usleep(5'000'000);
                return reply;
            });
        });
        const std::string handled =
            count == 1 ? "came unasked with the request" : "more descriptors than requests";
        ASSERT_TRUE(pollUntil([&] { return daemon.log().find(handled) != std::string::npos; }, 10s))
            << daemon.log();
        const auto asked = std::chrono::steady_clock::now();
        const std::string answer = asUser(bob, [&] {
            const int fd = connectUnix(daemon.socketPath());
            sendAll(fd, versionRequest(1));
            return readFor(fd, 10s, nullptr, "\n");
        });
        const auto waited = std::chrono::steady_clock::now() - asked;
        EXPECT_NE(answer.find("\"version\""), std::string::npos) << daemon.log();
        EXPECT_LT(waited, 100ms)
            << count << " socket(s): bob waited "
            << std::chrono::duration_cast<std::chrono::milliseconds>(waited).count() << " ms";
        EXPECT_EQ(sending.get().find("\"version\"") != std::string::npos, count == 1);
    }
}

} // namespace
