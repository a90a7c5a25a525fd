#include "HelperDaemon.h"

#include "Awaited.h"
#include "ChildProcess.h"
#include "LoopbackServer.h"
#include "OpenVPNServer.h"
#include "Poll.h"
#include "helper/BundleInfo.h"
#include "helper/HelperConnection.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct Outcome {
    std::optional<int32_t> status;
    std::optional<int> error;
    std::string reason;
};

std::shared_ptr<UniqueFd> openFile(const std::string& path, int flags = O_RDONLY) {
    return std::make_shared<UniqueFd>(::open(path.c_str(), flags | O_CLOEXEC));
}

// Runs `proxy.runOpenVPN` and collects whatever answers it: the management connection
// when it has started, then the status or an error.
struct RunWatch {
    Awaited<std::shared_ptr<UniqueFd>> started;
    Awaited<Outcome> outcomes;
    std::shared_ptr<HelperProtocol> proxy;

    RunWatch(HelperConnection& connection, std::shared_ptr<UniqueFd> profile, const std::string& up,
             const std::string& down) {
        proxy = connection.proxy([this](const HelperError& e) {
            outcomes.add({std::nullopt, e.code, e.description.plain()});
        });
        proxy->runOpenVPN(
            std::move(profile), up, down,
            [this](std::shared_ptr<UniqueFd> management) { started.add(std::move(management)); },
            [this](int32_t status, const UserMessage& reason, bool) {
                outcomes.add({status, std::nullopt, reason.plain()});
            });
    }
    RunWatch(HelperConnection& connection, const std::string& profile, const std::string& up,
             const std::string& down)
        : RunWatch(connection, openFile(profile), up, down) {}
};

// Whether the openvpn the daemon started last still runs (the daemon reaps it at once).
bool openVPNRuns(const HelperDaemon& daemon) {
    const auto pid = daemon.openVPNPid();
    return pid && ::kill(*pid, 0) == 0;
}

class HelperDaemonTest : public testing::Test {
protected:
    HelperDaemon daemon;
    std::shared_ptr<HelperConnection> connection =
        std::make_shared<HelperConnection>(daemon.socketPath());
    TempDir profiles{"quovant-profile"};

    void SetUp() override { connection->resume(); }

    std::string profile(const std::string& text, const std::string& name = "quovant.ovpn") {
        return profiles.write(name, text, std::filesystem::perms(0600)).string();
    }
};

TEST_F(HelperDaemonTest, AnswersWithTheVersionEmbeddedInItsExecutable) {
    Awaited<std::string> version;
    auto proxy = connection->proxy(
        [&](const HelperError& e) { version.add("error " + e.description.plain()); });
    proxy->getVersion([&](const std::string& v) { version.add(v); });
    EXPECT_EQ(version.first(),
              BundleInfo::read(HelperDaemon::builtHelper())->at("CFBundleVersion"));
}

TEST_F(HelperDaemonTest, RunsOpenVPNAndRepliesOnceWhenItEnds) {
    OpenVPNServer server(std::vector<OpenVPNServer::Account>{{"a@example.com", "pw"}});
    ASSERT_TRUE(server.waitUntilReady());
    RunWatch run(*connection, profile(server.clientProfile()), daemon.upScript(),
                 daemon.downScript());
    const auto management = run.started.first(15s);
    ASSERT_TRUE(management && *management && (*management)->valid()) << daemon.log();
    EXPECT_TRUE(openVPNRuns(daemon)) << "started is sent once openvpn listens";
    // The channel is openvpn's management interface itself, with no password before it,
    // and this process's exec does not pass it on.
    EXPECT_EQ(::fcntl((*management)->get(), F_GETFD), FD_CLOEXEC);
    std::string greeting;
    char chunk[512];
    timeval timeout{5, 0};
    ::setsockopt((*management)->get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    while (greeting.find('\n') == std::string::npos) {
        const ssize_t n = ::recv((*management)->get(), chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        greeting.append(chunk, static_cast<size_t>(n));
    }
    EXPECT_EQ(greeting.rfind(">INFO:OpenVPN Management Interface", 0), 0u) << greeting;
    EXPECT_FALSE(LoopbackServer::reachable(1337)) << "no TCP port";
    EXPECT_EQ(run.outcomes.count(), 0u) << "no final reply while openvpn runs";
    const auto pid = daemon.openVPNPid();
    ASSERT_TRUE(pid) << daemon.log();
    const std::string status = readFile("/proc/" + std::to_string(*pid) + "/status");
    EXPECT_NE(status.find("\nCapBnd:\t0000000000001000\n"), std::string::npos)
        << "of root's capabilities only the network's: " << status;
    EXPECT_NE(status.find("\nNoNewPrivs:\t1\n"), std::string::npos);

    run.proxy->killOpenVPN();
    const auto outcome = run.outcomes.first(15s);
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->status) << "error " << *outcome->error;
    EXPECT_FALSE(openVPNRuns(daemon));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(run.outcomes.count(), 1u) << "exactly one reply";
}

TEST_F(HelperDaemonTest, ClientGoingAwayEndsItsOpenVPN) {
    OpenVPNServer server(std::vector<OpenVPNServer::Account>{{"a@example.com", "pw"}});
    ASSERT_TRUE(server.waitUntilReady());
    std::atomic<int> invalidations = 0;
    connection->setInvalidationHandler([&] { ++invalidations; });
    {
        RunWatch run(*connection, profile(server.clientProfile()), daemon.upScript(),
                     daemon.downScript());
        ASSERT_TRUE(run.started.first(15s)) << daemon.log();
        run.proxy.reset();
        connection.reset(); // the application quit or crashed
        EXPECT_EQ(run.outcomes.count(), 0u) << "letting go is no failure: no handler runs";
        EXPECT_EQ(invalidations, 0);
    }
    EXPECT_TRUE(pollUntil([&] { return !openVPNRuns(daemon); }, 15s)) << daemon.log();
    EXPECT_NE(daemon.log().find("the client that started it went away"), std::string::npos);
}

TEST_F(HelperDaemonTest, SecondRunEndsTheFirst) {
    OpenVPNServer server(std::vector<OpenVPNServer::Account>{{"a@example.com", "pw"}});
    ASSERT_TRUE(server.waitUntilReady());
    const std::string path = profile(server.clientProfile());
    RunWatch first(*connection, path, daemon.upScript(), daemon.downScript());
    ASSERT_TRUE(first.started.first(15s)) << daemon.log();
    auto other = std::make_shared<HelperConnection>(daemon.socketPath());
    other->resume();
    RunWatch second(*other, path, daemon.upScript(), daemon.downScript());
    const auto ended = first.outcomes.first(15s);
    ASSERT_TRUE(ended && ended->status) << daemon.log();
    EXPECT_TRUE(second.started.first(15s)) << "the second openvpn runs\n" << daemon.log();
    EXPECT_EQ(second.outcomes.count(), 0u);
    second.proxy->killOpenVPN();
    EXPECT_TRUE(second.outcomes.first(15s));
}

TEST_F(HelperDaemonTest, RefusesUntrustedRunRequests) {
    const std::string good = "client\ndev tun\nremote 10.213.0.2 1194\nauth-user-pass\n";
    const std::string ownedByOther = profile(good, "other.ovpn");
    ASSERT_EQ(::chown(ownedByOther.c_str(), 1000, 1000), 0);
    const std::string writableByAll = profile(good, "shared.ovpn");
    std::filesystem::permissions(writableByAll, std::filesystem::perms(0666));
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    const auto pipeIn = std::make_shared<UniqueFd>(pipeEnds[0]);
    const UniqueFd pipeOut(pipeEnds[1]);
    ASSERT_EQ(::write(pipeOut.get(), good.data(), good.size()), ssize_t(good.size()));
    TempDir forged;
    const auto forgedUp =
        forged.write("client.up", "#!/bin/sh\ntouch /tmp/pwned\n", std::filesystem::perms(0755));

    struct Case {
        const char* why;
        std::shared_ptr<UniqueFd> profile;
        std::string up;
        std::string down;
    };
    const std::string up = daemon.upScript(), down = daemon.downScript();
    const Case cases[] = {
        {"no profile descriptor", nullptr, up, down},
        {"profile owned by another user", openFile(ownedByOther), up, down},
        {"profile writable by everybody", openFile(writableByAll), up, down},
        {"directory as profile", openFile(profiles.path().string(), O_DIRECTORY), up, down},
        {"pipe as profile", pipeIn, up, down},
        {"profile open only for writing", openFile(profile(good, "w.ovpn"), O_WRONLY), up, down},
        {"profile opened as a path only", openFile(profile(good, "p.ovpn"), O_PATH), up, down},
        {"directive that runs a program", openFile(profile(good + "up /bin/sh\n", "up.ovpn")), up,
         down},
        {"directive that loads a library",
         openFile(profile(good + "plugin /tmp/x.so\n", "plugin.ovpn")), up, down},
        {"file argument", openFile(profile(good + "ca /etc/shadow\n", "ca.ovpn")), up, down},
        {"forged up script", openFile(profile(good)), forgedUp.string(), down},
        {"scripts swapped", openFile(profile(good)), down, up},
        {"script path through a dot-dot", openFile(profile(good)),
         daemon.installDir() + "/../helper/client.up", down},
    };
    for (const auto& c : cases) {
        RunWatch run(*connection, c.profile, c.up, c.down);
        const auto outcome = run.outcomes.first(5s);
        ASSERT_TRUE(outcome) << c.why;
        EXPECT_EQ(outcome->status, -1) << c.why;
        EXPECT_FALSE(outcome->reason.empty()) << c.why << ": the refusal says why";
        EXPECT_EQ(run.started.count(), 0u) << c.why;
        EXPECT_FALSE(daemon.openVPNPid()) << c.why << ": no openvpn may start";
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/pwned"));
    // Still serving afterwards.
    Awaited<std::string> version;
    connection->proxy([&](const HelperError&) { version.add("error"); })
        ->getVersion([&](const std::string& v) { version.add(v); });
    EXPECT_NE(version.first(), "error");
}

// Sends raw bytes on a fresh connection; true if the daemon then closed it.
bool closesAfter(const std::string& socketPath, const std::string& bytes) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char buffer[256];
    ssize_t n;
    std::string received;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        received.append(buffer, static_cast<size_t>(n));
    const bool reset = n < 0 && errno == ECONNRESET; // closed with our bytes still unread
    ::close(fd);
    return n == 0 || reset;
}

TEST_F(HelperDaemonTest, ClosesConnectionsThatSendGarbageAndKeepsServing) {
    const std::string versionRequest = "{\"v\":1,\"id\":5,\"op\":\"getVersion\"}\n";
    const std::pair<const char*, std::string> cases[] = {
        {"not JSON", "hello\n"},
        {"binary", std::string("\x00\xff\xfe\n", 4)},
        {"wrong protocol version", "{\"v\":9,\"id\":1,\"op\":\"getVersion\"}\n"},
        {"unknown operation", "{\"v\":1,\"id\":1,\"op\":\"rm\"}\n"},
        {"reply sent as a request", "{\"v\":1,\"id\":1,\"reply\":\"version\",\"version\":\"x\"}\n"},
        {"ids out of order", versionRequest + versionRequest},
        {"oversized message", std::string(70 * 1024, 'x')},
        {"oversized line with a line feed", "{\"v\":1,\"id\":1,\"op\":\"getVersion\",\"x\":\"" +
                                                std::string(70 * 1024, 'y') + "\"}\n"},
    };
    for (const auto& [why, bytes] : cases)
        EXPECT_TRUE(closesAfter(daemon.socketPath(), bytes)) << why;
    EXPECT_TRUE(daemon.running());
    Awaited<std::string> version;
    connection->proxy([&](const HelperError&) { version.add("error"); })
        ->getVersion([&](const std::string& v) { version.add(v); });
    EXPECT_NE(version.first(), "error");
}

TEST_F(HelperDaemonTest, RefusesSystemAccounts) {
    // A process running as nobody sends a valid request: the daemon hangs up on it.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(closesAfter(daemon.socketPath(), "{\"v\":1,\"id\":1,\"op\":\"getVersion\"}\n") ? 0
                                                                                               : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(daemon.log().find("refused connection from uid 65534"), std::string::npos)
        << daemon.log();
}

TEST(HelperDaemonStop, RemovesTheSocketFileItMadeUnlessANewerHelperTookThePath) {
    {
        HelperDaemon daemon;
        EXPECT_EQ(daemon.process().stop(), 0);
        EXPECT_FALSE(std::filesystem::exists(daemon.socketPath())) << daemon.log();
    }
    HelperDaemon older;
    const auto inode = [&] {
        struct stat st {};
        return ::lstat(older.socketPath().c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const ino_t olderInode = inode();
    // A newer helper takes over the path, as a reinstallation does, then the older one stops.
    ChildProcess newer(
        {older.installDir() + "/com.quovant.macos.helper", "--socket", older.socketPath()});
    ASSERT_TRUE(pollUntil([&] { return inode() != 0 && inode() != olderInode; }, 15s));
    older.process().signal(SIGINT);
    ASSERT_EQ(older.process().waitFor(10s), 0);
    auto connection = std::make_shared<HelperConnection>(older.socketPath());
    connection->resume();
    Awaited<std::string> version;
    connection->proxy([&](const HelperError& e) { version.add("error " + e.description.plain()); })
        ->getVersion([&](const std::string& v) { version.add(v); });
    EXPECT_EQ(version.first(), QUOVANT_TEST_PROJECT_VERSION) << "the newer helper still answers";
    EXPECT_EQ(newer.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(older.socketPath()));
}

TEST(HelperDaemonActivation, ServesTheSocketSystemdHandsOver) {
    // As systemd's socket unit does: the listening socket is fd 3, LISTEN_PID names the daemon.
    TempDir dir("quovant-activation");
    const std::string path = (dir / "activated.sock").string();
    const std::string log = (dir / "helper.log").string();
    // Bound and listening before the daemon starts, as systemd does it: clients may
    // connect at once and wait in the queue.
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening, 4), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(listening, 3);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT, 0644);
        ::dup2(out, STDERR_FILENO);
        ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
        ::setenv("LISTEN_FDS", "1", 1);
        // No --socket: without the handed-over socket it would try the system path.
        ::execl(HelperDaemon::builtHelper().c_str(), "com.quovant.macos.helper",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(listening);
    auto connection = std::make_shared<HelperConnection>(path);
    connection->resume();
    Awaited<std::string> version;
    connection->proxy([&](const HelperError& e) { version.add("error " + e.description.plain()); })
        ->getVersion([&](const std::string& v) { version.add(v); });
    EXPECT_EQ(version.first(), QUOVANT_TEST_PROJECT_VERSION) << readFile(log);
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a clean stop on SIGTERM";
    EXPECT_TRUE(std::filesystem::exists(path)) << "the handed-over socket is systemd's to remove";
}

} // namespace
