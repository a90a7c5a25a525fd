#include "vpn/OpenVPNService.h"

#include "helper/HelperConnection.h"
#include "helper/HelperPaths.h"
#include "platform/Log.h"
#include "vpn/ManagementCommand.h"
#include "vpn/SocketOwner.h"

#include <filesystem>
#include <unistd.h>

namespace {

std::mutex sharedMutex;
OpenVPNService::Dependencies sharedDependencies;

} // namespace

OpenVPNService::OpenVPNService(Dependencies dependencies)
    : dependencies_(dependencies),
      mainQueue_(dependencies.mainQueue ? *dependencies.mainQueue : MainQueue::main()),
      notifications_(dependencies.notifications ? *dependencies.notifications
                                                : NotificationCenter::defaultCenter()),
      management_(std::make_unique<OpenVPNManagement>(*this, dependencies.managementPort)) {}

OpenVPNService& OpenVPNService::shared() {
    // Never destroyed: read loops and helper replies may still reach it while the
    // process exits.
    static OpenVPNService* service = [] {
        std::lock_guard lock(sharedMutex);
        return new OpenVPNService(sharedDependencies);
    }();
    return *service;
}

void OpenVPNService::configureShared(Dependencies dependencies) {
    std::lock_guard lock(sharedMutex);
    sharedDependencies = std::move(dependencies);
}

std::string OpenVPNService::state() const {
    std::lock_guard lock(stateMutex_);
    return state_;
}

void OpenVPNService::setState(std::string word) {
    std::lock_guard lock(stateMutex_);
    state_ = std::move(word);
}

void OpenVPNService::updateState(const std::string& word) {
    std::lock_guard lock(stateMutex_);
    // openvpn repeats these while re-applying its settings on a live tunnel; they do
    // not mean the tunnel went down.
    if (state_ == "CONNECTED" && (word == "ASSIGN_IP" || word == "ADD_ROUTES"))
        return;
    storeLocked(word);
}

void OpenVPNService::storeLocked(const std::string& word) {
    state_ = word;
    // Posting under the lock keeps the notifications in the order the words were stored.
    mainQueue_.async([&center = notifications_] { center.post(stateDidChangeNotification); });
}

void OpenVPNService::startOpenVPN() {
    // Refused before anything goes to the helper or openvpn, so a bad value can
    // neither start a tunnel nor be spliced into a management command.
    if (!config || !username || !password)
        return giveUp("cannot start openvpn: the profile or the credentials are missing");
    const auto usernameCommand = ManagementCommand::username(*username);
    const auto passwordCommand = ManagementCommand::password(*password);
    if (!usernameCommand || !passwordCommand)
        return giveUp(
            "cannot start openvpn: the user name or the password holds a control character");
    auto resource =
        dependencies_.resourcePath ? dependencies_.resourcePath : [](const std::string& name) {
            const std::string path = HelperPaths::installedScript(name);
            return std::filesystem::exists(path) ? std::optional<std::string>(path) : std::nullopt;
        };
    const auto up = resource("client.up");
    const auto down = resource("client.down");
    if (!up || !down)
        return giveUp("cannot start openvpn: client.up or client.down is missing");

    HelperConnectionProvider* delegate =
        dependencies_.delegate ? dependencies_.delegate() : nullptr;
    std::shared_ptr<HelperConnection> connection =
        delegate ? delegate->helperConnection() : nullptr;
    if (connection) {
        auto proxy = connection->proxy(
            [](const HelperError& error) { Log::line("XPCService error: " + error.description); });
        proxy->runOpenVPN(*config, *up, *down, [this](int32_t status) { openVPNExited(status); });
    }

    if (!connectManagement()) {
        Log::standardOutput("error while starting mgmt interface");
        updateState("NOPROCESS");
        return;
    }
    auto& management = *management_;
    management.sendCommand("state on\n");
    management.sendCommand("bytecount 1\n");
    management.sendCommand("log on\n");
    management.sendCommand(*usernameCommand);
    management.sendCommand(*passwordCommand);
    management.startReading();
}

bool OpenVPNService::connectManagement() {
    auto trusted = dependencies_.trustManagementPeer
                       ? dependencies_.trustManagementPeer
                       : [](const TCPConnection& connection) {
                             const auto owner = SocketOwner::ofPeer(connection);
                             return owner && *owner == 0;
                         };
    TCPClient& socket = management_->socket();
    for (int attempt = 0; attempt < connectAttempts; ++attempt) {
        if (socket.connect(connectTimeoutSeconds).isSuccess()) {
            const auto connection = socket.connection();
            if (connection && trusted(*connection))
                return true;
            // Port 1337 is open to every local user: whoever holds it when openvpn
            // should is not openvpn, and must not see the credentials.
            const auto owner = connection ? SocketOwner::ofPeer(*connection) : std::nullopt;
            Log::line("management port 127.0.0.1:" + std::to_string(socket.port()) +
                      " is held by " +
                      (owner ? "uid " + std::to_string(*owner) : std::string("an unknown owner")) +
                      ", not root; not sending credentials there");
            socket.close();
        }
        usleep(retryPauseMicroseconds);
    }
    return false;
}

void OpenVPNService::stopOpenVPN() {
    management_->sendCommand("signal SIGINT\n");
}

void OpenVPNService::openVPNExited(int32_t status) {
    Log::line("OpenVPN exited: termiationStatus=" + std::to_string(status));
    // openvpn's last state lines ("EXITING") may still sit unread on the closed
    // management connection; stored after NOPROCESS they would claim a process that
    // is gone. The loop ends once it has read what is left on the closed connection.
    management_->waitUntilReadingEnds(std::chrono::seconds(10));
    std::lock_guard lock(stateMutex_);
    if (state_ != "NOPROCESS")
        storeLocked("NOPROCESS");
}

void OpenVPNService::giveUp(const std::string& why) {
    Log::line(why);
    updateState("NOPROCESS");
}
