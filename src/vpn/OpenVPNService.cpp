#include "vpn/OpenVPNService.h"

namespace {

std::mutex sharedMutex;
OpenVPNService::Dependencies sharedDependencies;

} // namespace

OpenVPNService::OpenVPNService(Dependencies dependencies)
    : mainQueue_(dependencies.mainQueue ? *dependencies.mainQueue : MainQueue::main()),
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
    state_ = word;
    // Posting under the lock keeps the notifications in the order the words were stored.
    mainQueue_.async([&center = notifications_] { center.post(stateDidChangeNotification); });
}
