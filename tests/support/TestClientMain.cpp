// quovant-test-client: a client of the helper daemon that tests run as another local
// user (a second uid), the way a second user's Quovant would reach the helper.
//
//   quovant-test-client hold SOCKET PROFILE UP DOWN
//       asks for a run that blocks leaks and holds it: prints "started", later
//       "terminated STATUS REASON"; when the block outlives the run it also prints
//       "blocking" and keeps the connection (and so the block) until it is ended, or
//       until the helper says someone else ended the block ("lifted REASON")
//   quovant-test-client release SOCKET
//       asks the helper to end the block; prints "answered" once the helper has handled it
//   quovant-test-client check SOCKET LIBEXEC
//       the application's helper check at launch; prints "verdict install", "verdict
//       current" or, when it gives none within 3 s, "verdict none"
//   quovant-test-client connect SOCKET PROFILE UP DOWN USER PASSWORD [TIMES]
//       the application's whole start through OpenVPNService; prints the state it ends
//       in and why: "ended STATE FAILURE" once the run is over or connected. With TIMES,
//       connects and disconnects that many times in a row, printing "connected N MS"
//       (the connect's milliseconds) for each, and stops at the first that fails
//   quovant-test-client session SOCKET PROFILE UP DOWN USER PASSWORD
//       a guarded connection held until told otherwise: prints "connected", then takes
//       commands from standard input, one a line: "restart" (openvpn starts over as after
//       a network change; "connected" again once it is back) and "stop" (prints "ended
//       STATE" once the run is over)
//   quovant-test-client open-session SOCKET PROFILE UP DOWN USER PASSWORD
//       the same with the leak block off
#include "Awaited.h"
#include "helper/HelperClient.h"
#include "helper/HelperConnection.h"
#include "platform/ManualMainQueue.h"
#include "platform/NotificationCenter.h"
#include "vpn/OpenVPNService.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>

namespace {

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int hold(const std::string& socket, const std::string& profile, const std::string& up,
         const std::string& down) {
    auto connection = std::make_shared<HelperConnection>(socket);
    connection->resume();
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    auto finish = [&](const std::string& line) {
        say(line);
        std::lock_guard lock(mutex);
        done = true;
        ended.notify_all();
    };
    auto proxy = connection->proxy(
        [&](const HelperError& error) { finish("terminated error " + error.description.plain()); });
    proxy->runOpenVPN(
        std::make_shared<UniqueFd>(::open(profile.c_str(), O_RDONLY | O_CLOEXEC)), up, down,
        [](std::shared_ptr<UniqueFd>) { say("started"); },
        [&](int32_t status, const UserMessage& reason, bool blocking) {
            if (!blocking)
                return finish("terminated " + std::to_string(status) + " " + reason.plain());
            say("terminated " + std::to_string(status) + " " + reason.plain());
            say("blocking");
        },
        {true, false}, [&](const UserMessage& reason) { finish("lifted " + reason.plain()); });
    std::unique_lock lock(mutex);
    ended.wait_for(lock, std::chrono::minutes(2), [&] { return done; });
    return 0;
}

int release(const std::string& socket) {
    auto connection = std::make_shared<HelperConnection>(socket);
    connection->resume();
    Awaited<bool> answered;
    auto proxy = connection->proxy([&](const HelperError&) { answered.add(false); });
    proxy->releaseBlock();
    // Served in order: the version comes once the release has been handled.
    proxy->getVersion([&](const std::string&) { answered.add(true); });
    const auto done = answered.first(std::chrono::seconds(10));
    say(done && *done ? "answered" : "no answer");
    return 0;
}

class Provider : public HelperConnectionProvider {
public:
    explicit Provider(std::string socket) : socket_(std::move(socket)) {}
    std::shared_ptr<HelperConnection> helperConnection() override {
        if (!connection_) {
            connection_ = std::make_shared<HelperConnection>(socket_);
            connection_->resume();
        }
        return connection_;
    }

private:
    std::string socket_;
    std::shared_ptr<HelperConnection> connection_;
};

// The application's service for one profile and its credentials, driven by hand.
struct Service {
    ManualMainQueue mainQueue;
    NotificationCenter notifications;
    Provider provider;
    std::unique_ptr<OpenVPNService> service;

    Service(const std::string& socket, const std::string& profile, const std::string& up,
            const std::string& down, const std::string& user, const std::string& password)
        : provider(socket) {
        OpenVPNService::Dependencies dependencies;
        dependencies.mainQueue = &mainQueue;
        dependencies.notifications = &notifications;
        dependencies.helper = &provider;
        dependencies.resourcePath = [up, down](const std::string& name) {
            return std::optional<std::string>(name == "client.up" ? up : down);
        };
        service = std::make_unique<OpenVPNService>(dependencies);
        service->config = profile;
        service->username = user;
        service->password = password;
    }
    bool connected() const { return service->state() == "CONNECTED"; }
};

int connect(Service& s, int times) {
    using Clock = std::chrono::steady_clock;
    for (int round = 1; round < times; ++round) {
        const auto start = Clock::now();
        s.service->startOpenVPN();
        s.mainQueue.drainUntil([&] { return !s.service->runInProgress() || s.connected(); },
                               std::chrono::seconds(60));
        if (!s.connected())
            break;
        say("connected " + std::to_string(round) + " " +
            std::to_string(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                    .count()));
        s.service->stopOpenVPN();
        s.mainQueue.drainUntil([&] { return !s.service->runInProgress(); },
                               std::chrono::seconds(30));
    }
    s.service->startOpenVPN();
    s.mainQueue.drainUntil([&] { return !s.service->runInProgress() || s.connected(); },
                           std::chrono::seconds(60));
    s.mainQueue.drain();
    say("ended " + s.service->state() + " " + s.service->status().failure.plain());
    return 0;
}

int session(Service& s, bool guarded) {
    s.service->setLeakBlock({guarded, false});
    s.service->startOpenVPN();
    if (!s.mainQueue.drainUntil([&] { return s.connected(); }, std::chrono::seconds(60))) {
        say("ended " + s.service->state() + " " + s.service->status().failure.plain());
        return 1;
    }
    say("connected");
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        const std::string command(line);
        if (command == "restart\n") {
            s.service->management().sendCommand("signal SIGUSR1\n");
            s.mainQueue.drainUntil([&] { return !s.connected(); }, std::chrono::seconds(10));
            if (s.mainQueue.drainUntil([&] { return s.connected(); }, std::chrono::seconds(60)))
                say("connected");
        } else if (command == "stop\n") {
            s.service->stopOpenVPN();
            s.mainQueue.drainUntil([&] { return !s.service->runInProgress(); },
                                   std::chrono::seconds(30));
            break;
        }
    }
    s.mainQueue.drain();
    say("ended " + s.service->state());
    return 0;
}

int check(const std::string& socket, const std::string& libexec) {
    ManualMainQueue mainQueue;
    HelperClient installer(HelperClient::Dependencies{&mainQueue, libexec, socket,
                                                      [] { say("terminate requested"); }});
    Awaited<bool> verdict;
    installer.shouldInstallHelper([&](bool current) { verdict.add(current); });
    const auto current = verdict.first(std::chrono::seconds(3));
    say(std::string("verdict ") + (!current ? "none" : *current ? "current" : "install"));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "hold" && argc == 6)
        return hold(argv[2], argv[3], argv[4], argv[5]);
    if (mode == "release" && argc == 3)
        return release(argv[2]);
    if (mode == "check" && argc == 4)
        return check(argv[2], argv[3]);
    if ((mode == "connect" && (argc == 8 || argc == 9)) ||
        ((mode == "session" || mode == "open-session") && argc == 8)) {
        Service service(argv[2], argv[3], argv[4], argv[5], argv[6], argv[7]);
        return mode == "connect" ? connect(service, argc == 9 ? std::atoi(argv[8]) : 1)
                                 : session(service, mode == "session");
    }
    std::fprintf(stderr, "usage: see the comment at the top of TestClientMain.cpp\n");
    return 2;
}
