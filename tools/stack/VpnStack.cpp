#include "VpnStack.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

VpnStack::VpnStack(std::vector<OpenVPNServer::Account> accounts, bool withHelper,
                   std::chrono::milliseconds startTimeout, bool blockLeaks)
    : server(std::move(accounts)) {
    if (!server.waitUntilReady())
        throw std::runtime_error("the test openvpn server did not start:\n" + server.log());
    helperClient = std::make_unique<HelperClient>(HelperClient::Dependencies{
        &mainQueue, HelperDaemon::libexecDir(), daemon.socketPath(),
        [] { throw std::logic_error("nothing in these tests may end the application"); }});
    OpenVPNService::Dependencies dependencies;
    dependencies.mainQueue = &mainQueue;
    dependencies.notifications = &notifications;
    dependencies.timing.start = startTimeout;
    if (withHelper)
        dependencies.helper = helperClient.get();
    const std::string scripts = daemon.installDir();
    dependencies.resourcePath = [scripts](const std::string& name) -> std::optional<std::string> {
        return scripts + "/" + name;
    };
    service = std::make_unique<OpenVPNService>(dependencies);
    service->setLeakBlock({blockLeaks, false});
    // The service tells of every stored word and every change of phase; a word is
    // recorded once for each time it comes after another.
    observation = notifications.addObserver(OpenVPNService::stateDidChangeNotification, [this] {
        if (seenStates.empty() || seenStates.back() != service->state())
            seenStates.push_back(service->state());
    });
}

void VpnStack::prepare(const std::string& username, const std::string& password) {
    service->config =
        dir.write("quovant.ovpn", server.clientProfile(), std::filesystem::perms(0600)).string();
    service->username = username;
    service->password = password;
}

std::string VpnStack::writeCredentials() const {
    return dir
        .write("credentials",
               service->username.value_or("") + "\n" + service->password.value_or("") + "\n",
               std::filesystem::perms(0600))
        .string();
}

bool VpnStack::waitForState(const std::string& word, std::chrono::milliseconds timeout) {
    return mainQueue.drainUntil([&] { return service->state() == word; }, timeout);
}

bool VpnStack::restartAndWaitForConnected(std::chrono::milliseconds timeout) {
    seenStates.clear();
    service->management().sendCommand("signal SIGUSR1\n");
    return mainQueue.drainUntil(
        [&] {
            return std::find(seenStates.begin(), seenStates.end(), "RECONNECTING") !=
                       seenStates.end() &&
                   service->state() == "CONNECTED";
        },
        timeout);
}
