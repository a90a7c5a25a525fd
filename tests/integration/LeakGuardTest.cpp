#include "ChildProcess.h"
#include "Poll.h"
#include "TrafficProbe.h"
#include "VpnStack.h"
#include "helper/HelperConnection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <map>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using namespace TrafficProbe;
using Accounts = std::vector<OpenVPNServer::Account>;

// A name server on the far side of the veth, outside the tunnel, as a home router's
// would be: it knows one name, the VPN server's, and counts the questions it gets.
class TinyNameServer {
public:
    static constexpr const char* address = "10.215.0.53";
    static constexpr const char* serverName = "vpn.quovant.test";

    explicit TinyNameServer(const OpenVPNServer& server) {
        const std::string pid = std::to_string(server.namespacePid());
        if (runCommand({"nsenter", "-t", pid, "-n", "ip", "addr", "add",
                        std::string(address) + "/32", "dev", "qv-server"}) != 0 ||
            runCommand({"ip", "route", "add", address, "via", OpenVPNServer::linkAddress}) != 0)
            return;
        const std::string ns = "/proc/" + pid + "/ns/net";
        std::thread([&] {
            const int nsFd = ::open(ns.c_str(), O_RDONLY | O_CLOEXEC);
            if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0)
                return;
            ::close(nsFd);
            const Address at = addressOf(address, 53);
            fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (::bind(fd_, at.get(), at.size) != 0) {
                ::close(fd_);
                fd_ = -1;
            }
        }).join();
        if (fd_ >= 0)
            thread_ = std::thread([this] { serve(); });
    }
    ~TinyNameServer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ready() const { return fd_ >= 0; }
    int questions() const { return questions_; }

private:
    void serve() {
        while (!stop_) {
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, 100) != 1)
                continue;
            unsigned char query[512];
            sockaddr_storage from{};
            socklen_t fromSize = sizeof from;
            const ssize_t n = ::recvfrom(fd_, query, sizeof query, 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (n < 17)
                continue;
            ++questions_;
            // The question: labels up to the root, then its type and class.
            size_t end = 12;
            std::string name;
            while (end < static_cast<size_t>(n) && query[end] != 0) {
                const size_t length = query[end];
                name.append(name.empty() ? "" : ".")
                    .append(reinterpret_cast<const char*>(query + end + 1),
                            std::min(length, static_cast<size_t>(n) - end - 1));
                end += length + 1;
            }
            end += 5;
            if (end > static_cast<size_t>(n))
                continue;
            const bool known = name == serverName;
            const bool typeA = query[end - 4] == 0 && query[end - 3] == 1;
            std::string answer(reinterpret_cast<const char*>(query), end);
            answer[2] = '\x81';
            answer[3] = known ? '\x80' : '\x83'; // NXDOMAIN for any other name
            answer[6] = answer[7] = answer[8] = answer[9] = answer[10] = answer[11] = 0;
            if (known && typeA) {
                answer[7] = 1;
                in_addr a{};
                ::inet_pton(AF_INET, OpenVPNServer::linkAddress, &a);
                answer += std::string("\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04", 12);
                answer.append(reinterpret_cast<const char*>(&a), 4);
            }
            ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     fromSize);
        }
    }

    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> questions_{0};
    std::thread thread_;
};

// The test process and its helper look names up through the tiny name server alone: a
// mount namespace of the test's own shows them their own resolv.conf and nsswitch.conf.
class PrivateResolverConfig : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        for (const auto& [file, text] :
             {std::pair{"resolv.conf", "nameserver " + std::string(TinyNameServer::address) +
                                           "\noptions timeout:1 attempts:1\n"},
              std::pair{"nsswitch.conf", std::string("hosts: files dns\n")}}) {
            const std::string path = dir_.write(file, text).string();
            ::chmod(path.c_str(), 0644);
            ASSERT_EQ(::mount(path.c_str(), ("/etc/" + std::string(file)).c_str(), nullptr, MS_BIND,
                              nullptr),
                      0)
                << file;
        }
    }

private:
    TempDir dir_{"quovant-resolver"};
};

const auto* privateResolver = ::testing::AddGlobalTestEnvironment(new PrivateResolverConfig);

struct Guarded : ::testing::Test {
    VpnStack vpn{Accounts{{"alice@example.com", "pw"}}, true, RunTiming{}.start, true};
    bool withIPv6 = addIPv6(vpn.server);
    FarSide far{vpn.server};

    // The server's profile with its address replaced by `name`.
    void nameTheServer(const std::string& name) {
        std::string profile = vpn.server.clientProfile();
        const std::string address = std::string("remote ") + OpenVPNServer::linkAddress + " ";
        profile.replace(profile.find(address), address.size(), "remote " + name + " ");
        vpn.service->config =
            vpn.dir.write("quovant.ovpn", profile, std::filesystem::perms(0600)).string();
    }

    void connect() {
        ASSERT_TRUE(withIPv6);
        ASSERT_TRUE(far.ready());
        if (!vpn.service->config)
            vpn.prepare("alice@example.com", "pw");
        vpn.service->startOpenVPN();
        ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state() << vpn.daemon.log();
        ASSERT_TRUE(pollUntil(
            [&] {
                return vpn.daemon.log().find("blocking traffic outside the tunnel tun") !=
                       std::string::npos;
            },
            5s))
            << vpn.daemon.log();
    }
    // Connects, then kills openvpn as a crash would.
    void connectAndCrash() {
        connect();
        const auto pid = vpn.daemon.openVPNPid();
        ASSERT_TRUE(pid);
        ::kill(*pid, SIGKILL);
        ASSERT_TRUE(vpn.waitForState("NOPROCESS", 15s));
        EXPECT_NE(vpn.service->status().failure, "");
        EXPECT_TRUE(tableExists());
    }
};

TEST_F(Guarded, WhileConnectedOnlyTheTunnelCarriesANormalUsersTrafficEvenAfterAForeignFlush) {
    ASSERT_TRUE(far.ready());
    EXPECT_TRUE(outsideArrives(far)) << "without a run nothing is blocked";
    EXPECT_FALSE(tableExists());

    connect();
    EXPECT_TRUE(tableExists());
    EXPECT_TRUE(onlyTheTunnelCarries(far));

    // Someone else's firewall tool: a flush of everything, and a table that accepts all.
    EXPECT_EQ(runCommand({"nft", "flush", "ruleset"}), 0);
    EXPECT_NE(runCommand({"nft", "delete", "table", "inet", guardTable}), 0)
        << "nobody but the helper may delete its table";
    EXPECT_EQ(runCommand({"nft", "add table inet open; add chain inet open out { type filter hook "
                                 "output priority -10; policy accept; }; add rule inet open out "
                                 "accept"}),
              0);
    EXPECT_TRUE(tableExists());
    EXPECT_TRUE(onlyTheTunnelCarries(far));
    EXPECT_EQ(vpn.service->state(), "CONNECTED") << "openvpn's own transport still passes";

    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.waitForState("NOPROCESS", 20s));
    EXPECT_TRUE(pollUntil([] { return !tableExists(); }, 5s)) << "a disconnect opens the way";
    EXPECT_TRUE(outsideArrives(far));
}

TEST_F(Guarded, KilledOpenVPNKeepsTheBlockUntilItsUserReleasesIt) {
    connectAndCrash();
    EXPECT_TRUE(blocked(far)) << "a crash leaves nothing open";

    // Another user may not open it: the run was root's.
    const pid_t other = ::fork();
    if (other == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(normalUser, normalUser, normalUser) != 0 ||
            ::setresuid(normalUser, normalUser, normalUser) != 0)
            ::_exit(2);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = vpn.daemon.socketPath();
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            ::_exit(3);
        const char request[] = "{\"v\":1,\"id\":1,\"op\":\"releaseBlock\"}\n";
        if (::write(fd, request, sizeof request - 1) != static_cast<ssize_t>(sizeof request - 1))
            ::_exit(4);
        char byte;
        // The helper keeps the connection open; the parent ends this process.
        [[maybe_unused]] const ssize_t n = ::read(fd, &byte, 1);
        ::_exit(0);
    }
    EXPECT_TRUE(pollUntil(
        [&] { return vpn.daemon.log().find("refused releaseBlock") != std::string::npos; }, 5s))
        << vpn.daemon.log();
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    EXPECT_TRUE(tableExists());
    EXPECT_TRUE(blocked(far));

    vpn.service->releaseBlock();
    EXPECT_TRUE(pollUntil([] { return !tableExists(); }, 5s)) << vpn.daemon.log();
    EXPECT_TRUE(outsideArrives(far));
}

TEST_F(Guarded, EndsTheUserDidNotAskForKeepTheBlockAndSayWhyUntilTheUserDisconnects) {
    connect();
    vpn.service->setAutomaticReconnect(false);
    // What openvpn does by itself when its pings stop coming back: the service ends the run.
    vpn.service->management().sendCommand("signal SIGUSR1\n");
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 15s));
    EXPECT_EQ(vpn.service->status().failure,
              "The VPN connection dropped and automatic reconnecting is off, so it was ended.");
    EXPECT_TRUE(vpn.service->blocked()) << vpn.daemon.log();
    EXPECT_TRUE(tableExists());
    EXPECT_TRUE(blocked(far)) << "the drop the block is for";
    vpn.service->releaseBlock(); // the user's disconnect
    EXPECT_TRUE(pollUntil([] { return !tableExists(); }, 5s)) << vpn.daemon.log();
    EXPECT_TRUE(outsideArrives(far));

    // The application's own kill of a run it can no longer steer.
    vpn.service->setAutomaticReconnect(true);
    connect();
    vpn.service->management().socket().close();
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 15s));
    EXPECT_EQ(vpn.service->status().failure, "The connection to the VPN's control port broke.");
    EXPECT_NE(vpn.daemon.log().find("killOpenVPN, keeping the block"), std::string::npos)
        << vpn.daemon.log();
    EXPECT_TRUE(vpn.service->blocked());
    EXPECT_TRUE(tableExists());
    EXPECT_TRUE(blocked(far));
}

TEST_F(Guarded, AHelperThatGoesAwayWhileBlockingLeavesNoBlockClaimed) {
    // Each run takes the block over and ends with it held, all over one connection, which
    // keeps one watch for them rather than one per run.
    for (int run = 0; run < 3; ++run)
        connectAndCrash();
    ASSERT_TRUE(vpn.service->blocked());
    EXPECT_EQ(vpn.helperClient->helperConnection()->invalidationWatchers(), 1u);
    vpn.mainQueue.drain();
    vpn.seenStates.clear();
    vpn.daemon.kill(SIGKILL);
    EXPECT_TRUE(vpn.mainQueue.drainUntil(
        [&] { return !vpn.service->blocked() && !vpn.seenStates.empty(); }, 10s))
        << "the window is told";
    EXPECT_EQ(vpn.service->status().failure, RunMachine::blockEndedWithHelper);
    EXPECT_FALSE(tableExists());
    EXPECT_TRUE(outsideArrives(far));
}

TEST_F(Guarded, AServiceThatIsGoneIsNotToldThatItsBlockWentWithTheHelper) {
    connectAndCrash();
    ASSERT_TRUE(vpn.service->blocked());
    const auto connection = vpn.helperClient->helperConnection();
    vpn.service.reset();
    vpn.daemon.kill(SIGKILL);
    // The connection's watch for the block runs on its queue once the helper is gone; it
    // must not reach into the service (AddressSanitizer would report it).
    EXPECT_TRUE(pollUntil([&] { return connection->invalidationWatchers() == 0; }, 10s));
    std::this_thread::sleep_for(200ms);
}

TEST_F(Guarded, ReconnectingKeepsTheBlockAndTheNewRunTakesItOver) {
    connectAndCrash();

    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.daemon.log();
    EXPECT_TRUE(onlyTheTunnelCarries(far));
    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.waitForState("NOPROCESS", 20s));
    EXPECT_TRUE(pollUntil([] { return !tableExists(); }, 5s));
}

TEST_F(Guarded, ARestartOfTheConnectionReopensTheSameTunnelThroughTheBlock) {
    connect();
    // As after a network change: openvpn closes the tunnel, reaches its server again over
    // its marked transport and opens the tunnel of the same name.
    ASSERT_TRUE(vpn.restartAndWaitForConnected()) << vpn.service->state() << "\n"
                                                  << vpn.daemon.log();
    EXPECT_TRUE(tableExists());
    EXPECT_TRUE(onlyTheTunnelCarries(far));
}

TEST_F(Guarded, IPv6OutsideATunnelThatCarriesNoneIsDropped) {
    ASSERT_TRUE(far.ready());
    EXPECT_TRUE(outsideArrives(far, linkAddress6)) << "without a run IPv6 goes out";
    connect();
    EXPECT_TRUE(blocked(far, linkAddress6));
    EXPECT_TRUE(onlyTheTunnelCarries(far));
}

TEST_F(Guarded, AStoppedHelperLeavesNoTable) {
    connect();
    vpn.daemon.process().signal(SIGTERM);
    EXPECT_TRUE(pollUntil([] { return !tableExists(); }, 10s)) << vpn.daemon.log();
    EXPECT_TRUE(vpn.waitForState("NOPROCESS", 20s)) << "the service has seen the run end";
    EXPECT_NE(vpn.daemon.log().find("no longer blocking traffic outside the tunnel"),
              std::string::npos)
        << "it removes its table itself";
    EXPECT_TRUE(outsideArrives(far));
}

TEST_F(Guarded, ADeadHelperLeavesNoTable) {
    connect();
    vpn.daemon.process().signal(SIGKILL);
    EXPECT_TRUE(pollUntil([] { return !tableExists(); }, 5s))
        << "the kernel removes the table with its owner";
    EXPECT_TRUE(vpn.waitForState("NOPROCESS", 20s)) << "the service has seen the run end";
    EXPECT_TRUE(outsideArrives(far));
}

TEST_F(Guarded, AllowingTheLocalNetworkLetsPrivateAddressesThroughButNeitherTheInternetNorDNS) {
    // An address on the far side that is no private one: the internet.
    constexpr const char* internet = "198.51.100.2";
    const std::string pid = std::to_string(vpn.server.namespacePid());
    ASSERT_EQ(runCommand({"nsenter", "-t", pid, "-n", "ip", "addr", "add",
                          std::string(internet) + "/32", "dev", "qv-server"}),
              0);
    ASSERT_EQ(runCommand({"ip", "route", "add", internet, "via", OpenVPNServer::linkAddress}), 0);
    FarSide beyond(vpn.server, {internet});
    ASSERT_TRUE(beyond.ready());
    EXPECT_TRUE(outsideArrives(beyond, internet)) << "without a run nothing is blocked";

    vpn.service->setLeakBlock({true, true});
    connect();
    for (const char* local : {OpenVPNServer::linkAddress, linkAddress6})
        for (Kind kind : {Kind::tcp, Kind::udp}) {
            sendAsNormalUser(local, kind);
            EXPECT_TRUE(far.arrived(local, kind, 5s)) << nameOf(kind) << " to " << local;
        }
    sendAsNormalUser(OpenVPNServer::linkAddress, Kind::dns);
    EXPECT_FALSE(far.arrived(OpenVPNServer::linkAddress, Kind::dns, 1s))
        << "DNS to the local network would show every name looked up";
    EXPECT_TRUE(blocked(beyond, internet));

    // A new run without the local network takes the block over and shuts it out again.
    vpn.service->setLeakBlock({true, false});
    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.waitForState("NOPROCESS", 20s));
    connect();
    EXPECT_TRUE(onlyTheTunnelCarries(far));
}

// A second link of this machine's, as to a home router: a veth pair whose far end is
// in a namespace of its own with dnsmasq handing out IPv4 leases and advertising an IPv6
// prefix, and a fixed link-local address (fe80::1) to reach as a neighbour.
// Runs `step` in a child process as `uid`; whether it succeeded.
bool runAs(uid_t uid, const std::function<bool()>& step) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (uid != 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 ||
                         ::setresuid(uid, uid, uid) != 0))
            ::_exit(2);
        ::_exit(step() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class RouterLink {
    static constexpr const char* probeRules =
        "table inet probe {\n"
        " counter dhcp {}\n counter own_mld {}\n counter other_mld {}\n"
        " chain in {\n  type filter hook prerouting priority -300;\n"
        "  udp dport { 67, 547 } @th,64,32 0x71766c6b counter name dhcp\n"
        "  icmpv6 type mld2-listener-report @th,96,104 0xff0200000000000000000001ff "
        "counter name own_mld\n"
        "  icmpv6 type mld2-listener-report @th,96,104 != 0xff0200000000000000000001ff "
        "counter name other_mld\n"
        " }\n}\n";

public:
    static constexpr const char* device = "qv-dhcp";
    static constexpr const char* routerDevice = "qv-router";
    static constexpr const char* routerAddress = "10.216.0.1";
    static constexpr const char* routerLinkLocal = "fe80::1";
    static constexpr const char* prefix = "fd21:6::";

    RouterLink() {
        const std::filesystem::path ownNamespace =
            std::filesystem::read_symlink("/proc/self/ns/net");
        if (!pollUntil(
                [&] {
                    std::error_code error;
                    const auto theirs = std::filesystem::read_symlink(
                        "/proc/" + std::to_string(holder_.pid()) + "/ns/net", error);
                    return !error && theirs != ownNamespace;
                },
                5s))
            return;
        const std::string pid = std::to_string(holder_.pid());
        auto there = [&](std::vector<std::string> argv) {
            argv.insert(argv.begin(), {"nsenter", "-t", pid, "-n"});
            return runCommand(argv) == 0;
        };
        // The link comes up later, under the block, so that its router solicitation and
        // duplicate address detection go out through it.
        ready_ =
            runCommand(
                {"ip", "link", "add", device, "type", "veth", "peer", "name", routerDevice}) == 0 &&
            runCommand({"ip", "link", "set", routerDevice, "netns", pid}) == 0 &&
            there({"ip", "link", "set", "lo", "up"}) &&
            there({"ip", "addr", "add", std::string(routerAddress) + "/24", "dev", routerDevice}) &&
            there({"ip", "-6", "addr", "add", std::string(routerLinkLocal) + "/64", "dev",
                   routerDevice, "nodad"}) &&
            there({"ip", "-6", "addr", "add", std::string(prefix) + "1/64", "dev", routerDevice,
                   "nodad"}) &&
            there({"ip", "link", "set", routerDevice, "up"}) &&
            there({"nft", "-f", dir_.write("probe.nft", probeRules).string()});
        if (!ready_)
            return;
        ChildProcess::Options options;
        options.outputFile = (dir_ / "dnsmasq.out").string();
        dnsmasq_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{
                "nsenter", "-t", pid, "-n", "dnsmasq", "--keep-in-foreground", "--no-resolv",
                "--no-hosts", "--port=0", "--interface=" + std::string(routerDevice),
                "--bind-interfaces", "--dhcp-range=10.216.0.50,10.216.0.60,2m", "--enable-ra",
                "--dhcp-range=" + std::string(prefix) + ",ra-only", "--no-ping",
                "--log-facility=" + (dir_ / "dnsmasq.log").string(),
                "--dhcp-leasefile=" + (dir_ / "leases").string(),
                "--pid-file=" + (dir_ / "dnsmasq.pid").string(), "--user=root"},
            options);
        ready_ = pollUntil([&] { return log().find("DHCP, IP range") != std::string::npos; }, 5s);
    }
    ~RouterLink() { runCommand({"ip", "link", "del", device}); }

    bool ready() const { return ready_; }
    // What arrived at the router: datagrams to the DHCP server ports carrying `marker`,
    // and MLD reports that begin with a solicited-node group or with another.
    static constexpr uint32_t marker = 0x71766c6b;
    int arrived(const std::string& counter) const {
        std::string listed;
        runCommand({"nsenter", "-t", std::to_string(holder_.pid()), "-n", "nft", "list", "counter",
                    "inet", "probe", counter},
                   &listed);
        const size_t at = listed.find("packets ");
        return at == std::string::npos ? -1 : std::atoi(listed.c_str() + at + 8);
    }
    std::string log() const {
        return std::filesystem::exists(dir_ / "dnsmasq.log") ? readFile(dir_ / "dnsmasq.log") : "";
    }
    // This machine's side of the link: its addresses and its IPv6 neighbours.
    static std::string addresses() { return outputOf({"ip", "addr", "show", "dev", device}); }
    static std::string neighbours() {
        return outputOf({"ip", "-6", "neigh", "show", "dev", device});
    }

private:
    static std::string outputOf(const std::vector<std::string>& argv) {
        std::string output;
        runCommand(argv, &output);
        return output;
    }

    TempDir dir_{"quovant-router"};
    ChildProcess holder_{{"unshare", "--net", "sleep", "600"}};
    std::unique_ptr<ChildProcess> dnsmasq_;
    bool ready_ = false;
};

TEST_F(Guarded, OnlyTheSystemsOwnDhcpNeighbourDiscoveryAndMldPassTheBlock) {
    RouterLink link;
    ASSERT_TRUE(link.ready()) << link.log();
    connect();
    ASSERT_EQ(runCommand({"sysctl", "-q", "-w",
                          "net.ipv6.conf." + std::string(RouterLink::device) + ".accept_dad=0"}),
              0);
    ASSERT_EQ(runCommand({"ip", "link", "set", RouterLink::device, "up"}), 0);

    // A DHCP client that takes the address it is given and notes each event.
    TempDir dir("quovant-dhcp-client");
    const auto events = dir / "events";
    const auto script = dir.write("script",
                                  "#!/bin/sh\necho \"$1 $ip\" >> " + events.string() +
                                      "\ncase \"$1\" in bound|renew) ip addr replace \"$ip/$mask\" "
                                      "dev \"$interface\" ;; esac\n",
                                  std::filesystem::perms(0755));
    ChildProcess::Options options;
    options.outputFile = (dir / "udhcpc.out").string();
    // Up to 3 s for each answer, the unicast renewal's included, before it tries again.
    ChildProcess client({"busybox", "udhcpc", "-f", "-i", RouterLink::device, "-s", script.string(),
                         "-t", "10", "-T", "3", "-n"},
                        options);
    auto eventsSay = [&](const std::string& text) {
        return pollUntil(
            [&] {
                return std::filesystem::exists(events) &&
                       readFile(events).find(text) != std::string::npos;
            },
            20s);
    };
    ASSERT_TRUE(eventsSay("bound 10.216.0.")) << readFile(dir / "udhcpc.out") << link.log();
    const std::string bound = readFile(events);
    const std::string address =
        bound.substr(bound.find("bound ") + 6,
                     bound.find('\n', bound.find("bound ")) - bound.find("bound ") - 6);
    // The script notes the event before it sets the address.
    ASSERT_TRUE(pollUntil(
        [&] {
            return RouterLink::addresses().find("inet " + address + "/24") != std::string::npos;
        },
        5s))
        << RouterLink::addresses();

    // A renewal leaves as a plain UDP datagram from this machine's address to the server's:
    // it passes the block, and the address is kept. This client falls back to a broadcast
    // through a packet socket (which no firewall sees; other clients do not) when no answer
    // to the unicast reaches it, which also happens now and then with the block's rules not
    // involved (the answer comes in, where the block does not look). So what is checked is
    // the server's side: it heard more requests than the client broadcast, in a few tries.
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    bool unicastArrived = false;
    for (int attempt = 1; attempt <= 3 && !unicastArrived; ++attempt) {
        const size_t before = readFile(dir / "udhcpc.out").size();
        const size_t requestsBefore = count(link.log(), "DHCPREQUEST(");
        client.signal(SIGUSR1);
        ASSERT_TRUE(pollUntil(
            [&] {
                return readFile(dir / "udhcpc.out").find("lease of " + address, before) !=
                       std::string::npos;
            },
            20s))
            << readFile(dir / "udhcpc.out") << link.log();
        const std::string said = readFile(dir / "udhcpc.out").substr(before);
        // The server notes a request as it answers; its answer to the last one may still be on
        // its way to the log when the client has its lease.
        unicastArrived = said.find("sending renew to server") != std::string::npos &&
                         pollUntil(
                             [&] {
                                 return count(link.log(), "DHCPREQUEST(") - requestsBefore >
                                        count(said, "broadcasting renew");
                             },
                             2s);
    }
    EXPECT_TRUE(unicastArrived) << readFile(dir / "udhcpc.out") << link.log();
    EXPECT_TRUE(eventsSay("renew " + address)) << readFile(events);
    EXPECT_NE(RouterLink::addresses().find("inet " + address + "/24"), std::string::npos);
    EXPECT_EQ(readFile(events).find("deconfig", bound.size()), std::string::npos)
        << readFile(events);

    // IPv6: the router solicited and answered, an address from its prefix; the router's
    // link-local address resolved through neighbour solicitation and advertisement, for a
    // datagram of the kind the block lets out (DHCPv6, from port 546 to 547).
    EXPECT_TRUE(pollUntil(
        [] { return RouterLink::addresses().find(RouterLink::prefix) != std::string::npos; }, 10s))
        << RouterLink::addresses();
    ASSERT_EQ(runCommand({"ip", "-6", "neigh", "flush", "dev", RouterLink::device}), 0);
    Address router = addressOf(RouterLink::routerLinkLocal, 547);
    reinterpret_cast<sockaddr_in6*>(&router.storage)->sin6_scope_id =
        ::if_nametoindex(RouterLink::device);
    const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const Address from = addressOf("::", 546);
    ASSERT_EQ(::bind(fd, from.get(), from.size), 0);
    EXPECT_EQ(::sendto(fd, "x", 1, 0, router.get(), router.size), 1);
    ::close(fd);
    EXPECT_TRUE(pollUntil(
        [] {
            const std::string neighbours = "\n" + RouterLink::neighbours();
            const size_t line =
                neighbours.find("\n" + std::string(RouterLink::routerLinkLocal) + " ");
            return line != std::string::npos &&
                   neighbours.substr(line, neighbours.find('\n', line + 1) - line)
                           .find(" REACHABLE") != std::string::npos;
        },
        5s))
        << RouterLink::neighbours();

    // Where unprivileged processes may bind the DHCP client ports, a normal user's datagram
    // from them does not pass; root's does (the positive control, sent after it on the same
    // link, so the user's would have arrived first).
    ASSERT_EQ(runCommand({"sysctl", "-q", "-w", "net.ipv4.ip_unprivileged_port_start=0"}), 0);
    struct Send {
        int family;
        const char* to;
        uint16_t from, port;
    };
    const Send sends[] = {{AF_INET, RouterLink::routerAddress, 68, 67},
                          {AF_INET, "255.255.255.255", 68, 67},
                          {AF_INET6, "ff02::1:2", 546, 547},
                          {AF_INET6, RouterLink::routerLinkLocal, 546, 547}};
    auto send = [&](const Send& what, uid_t uid) {
        return runAs(uid, [&] {
            Address to = addressOf(what.to, what.port);
            if (what.family == AF_INET6)
                reinterpret_cast<sockaddr_in6*>(&to.storage)->sin6_scope_id =
                    ::if_nametoindex(RouterLink::device);
            const int fd = ::socket(what.family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
            ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, RouterLink::device,
                         std::strlen(RouterLink::device));
            const Address from = addressOf(what.family == AF_INET ? "0.0.0.0" : "::", what.from);
            const uint32_t payload[2] = {htonl(RouterLink::marker), 0};
            if (::bind(fd, from.get(), from.size) != 0)
                return false;
            // The block turns the user's datagram away (EPERM); root's must leave.
            return ::sendto(fd, payload, sizeof payload, 0, to.get(), to.size) == sizeof payload ||
                   ::getuid() != 0;
        });
    };
    int expected = link.arrived("dhcp");
    for (const Send& what : sends) {
        EXPECT_TRUE(send(what, normalUser)) << what.to << " (the user's send itself is allowed)";
        ASSERT_TRUE(send(what, 0)) << what.to;
        ++expected;
        EXPECT_TRUE(pollUntil([&] { return link.arrived("dhcp") >= expected; }, 5s)) << what.to;
        EXPECT_EQ(link.arrived("dhcp"), expected) << "from a normal user to " << what.to;
    }

    // The kernel's report of a new address's solicited-node group leaves; when a normal
    // user joins many groups, none of the reports the kernel makes for them does.
    const int own = link.arrived("own_mld");
    const int other = link.arrived("other_mld");
    ASSERT_EQ(runCommand({"ip", "-6", "addr", "add", std::string(RouterLink::prefix) + "99/64",
                          "dev", RouterLink::device, "nodad"}),
              0);
    EXPECT_TRUE(pollUntil([&] { return link.arrived("own_mld") > own; }, 5s));
    EXPECT_TRUE(runAs(normalUser, [] {
        const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ipv6_mreq group{};
        group.ipv6mr_interface = ::if_nametoindex(RouterLink::device);
        bool joined = true;
        for (int i = 1; i <= 50; ++i) {
            ::inet_pton(AF_INET6, ("ff05::71:" + std::to_string(i)).c_str(),
                        &group.ipv6mr_multiaddr);
            joined = joined &&
                     ::setsockopt(fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &group, sizeof group) == 0;
        }
        return joined;
    }));
    EXPECT_FALSE(pollUntil([&] { return link.arrived("other_mld") > other; }, 2s))
        << "the user's groups were reported";
}

struct GuardedByName : Guarded {
    TinyNameServer names{vpn.server};

    void SetUp() override {
        ASSERT_TRUE(names.ready());
        vpn.prepare("alice@example.com", "pw");
        nameTheServer(TinyNameServer::serverName);
    }
};

TEST_F(GuardedByName, AServerNamedByHostIsLookedUpBeforeTheBlockAndKeptForAReconnect) {
    connect();
    EXPECT_NE(vpn.daemon.log().find("looking up the server names"), std::string::npos);
    EXPECT_GE(names.questions(), 1) << "the helper asked the name server outside the tunnel";
    EXPECT_TRUE(onlyTheTunnelCarries(far));

    // After a crash nothing leaves, the name server included; the new run connects to the
    // address the helper found for the run it takes over.
    const auto pid = vpn.daemon.openVPNPid();
    ASSERT_TRUE(pid);
    ::kill(*pid, SIGKILL);
    ASSERT_TRUE(vpn.waitForState("NOPROCESS", 15s));
    EXPECT_TRUE(vpn.service->blocked()) << "the helper said the block holds";
    const int asked = names.questions();
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state() << vpn.daemon.log();
    EXPECT_EQ(names.questions(), asked) << "no question while the block holds";
    EXPECT_TRUE(onlyTheTunnelCarries(far));

    vpn.service->stopOpenVPN();
    ASSERT_TRUE(vpn.waitForState("NOPROCESS", 20s));
    EXPECT_TRUE(pollUntil([] { return !tableExists(); }, 5s));
    EXPECT_FALSE(vpn.service->blocked());
}

TEST_F(GuardedByName, ANameWithNoAddressOrNoneThatCanBeLookedUpUnderTheBlockIsRefusedClearly) {
    nameTheServer("nowhere.quovant.test");
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 20s));
    EXPECT_EQ(vpn.service->status().failure, "The VPN server's address could not be looked up.");
    EXPECT_FALSE(tableExists()) << "nothing was started, nothing blocks";

    // Blocked after a crash, a profile naming a server not looked up for this block.
    nameTheServer(TinyNameServer::serverName);
    connectAndCrash();
    nameTheServer("other.quovant.test");
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.mainQueue.drainUntil([&] { return !vpn.service->runInProgress(); }, 20s));
    EXPECT_NE(
        vpn.service->status().failure.plain().find("cannot be looked up while traffic outside"),
        std::string::npos);
    EXPECT_TRUE(tableExists()) << "the refusal keeps the block";
    EXPECT_TRUE(vpn.service->blocked());
}

} // namespace
