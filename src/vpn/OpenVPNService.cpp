#include "vpn/OpenVPNService.h"

#include "helper/HelperConnection.h"
#include "helper/HelperPaths.h"
#include "platform/Log.h"
#include "vpn/ConnectionState.h"
#include "vpn/LogText.h"
#include "vpn/ManagementCommand.h"
#include "vpn/SocketOwner.h"

#include <atomic>
#include <filesystem>
#include <thread>
#include <unistd.h>
#include <utility>

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
    {
        std::lock_guard lock(stateMutex_);
        // openvpn repeats these while re-applying its settings on a live tunnel; they do
        // not mean the tunnel went down.
        if (state_ == ConnectionState::connected &&
            (word == ConnectionState::assignIP || word == ConnectionState::addRoutes))
            return;
        storeLocked(word);
    }
    if (word != "RECONNECTING" || automaticReconnect_)
        return;
    // openvpn starts over by itself after a drop; the user chose not to have that.
    if (const auto run = currentRun(); run && wanted(*run))
        endConnection(run, "The VPN connection dropped and automatic reconnecting is off, so it "
                           "was ended.");
}

void OpenVPNService::storeLocked(const std::string& word) {
    stats_.stateStored(word, ConnectionStats::Clock::now());
    state_ = word;
    // Posting under the lock keeps the notifications in the order the words were stored.
    mainQueue_.async([&center = notifications_] { center.post(stateDidChangeNotification); });
}

void OpenVPNService::stateAddress(std::string_view address) {
    stats_.stateAddress(address);
}

void OpenVPNService::byteCount(uint64_t in, uint64_t out) {
    if (stats_.byteCount(in, out, ConnectionStats::Clock::now()))
        mainQueue_.async([&center = notifications_] { center.post(trafficDidChangeNotification); });
}

// One request to the helper and everything that belongs to it. Its fields are set
// before the request goes out, or are atomic, or are guarded by runMutex_.
struct OpenVPNService::Run {
    std::shared_ptr<HelperProtocol> proxy;        // runMutex_ held when it is set
    std::shared_ptr<HelperConnection> connection; // the one proxy's requests go over
    std::string config;
    std::string up;
    std::string down;
    std::string usernameCommand;
    std::string passwordCommand;
    HelperProtocol::LeakBlock block;
    std::atomic<bool> started{false}; // runMutex_ held when it is set
    std::atomic<bool> ended{false};
    std::atomic<bool> stopRequested{false}; // runMutex_ held when it is set
    // The user asked for the end, not the service: the block goes with the run.
    std::atomic<bool> userStopped{false}; // runMutex_ held when it is set
    std::atomic<bool> stopWatched{false};
    std::atomic<int> credentialPrompts{0};
    std::atomic<size_t> helperRetries{0}; // new runs asked since the helper went away
    std::string failure;                  // runMutex_
};

OpenVPNService::~OpenVPNService() {
    std::weak_ptr<bool> lifetime;
    {
        std::lock_guard lock(runMutex_);
        lifetime = std::exchange(lifetime_, nullptr);
    }
    while (!lifetime.expired())
        std::this_thread::yield(); // a helper connection's watch is in blockGone
    {
        std::lock_guard lock(runMutex_);
        if (run_)
            run_->ended = true; // ends a starter still trying to connect
    }
    runEnded_.notify_all();
    waitForWorkers();
    // Its read loop reports its end to this service, whose members go before it would;
    // a watch that report started ends at once, its run having ended.
    management_.reset();
    waitForWorkers();
}

void OpenVPNService::waitForWorkers() {
    // In this order: a retry may start a watch.
    retry_.waitUntilIdle();
    starter_.waitUntilIdle();
    watch_.waitUntilIdle();
}

void OpenVPNService::watch(const std::shared_ptr<Run>& run, std::chrono::milliseconds timeout,
                           std::function<bool()> settled, std::function<void()> onTimeout) {
    watch_.async(
        [this, run, timeout, settled = std::move(settled), onTimeout = std::move(onTimeout)] {
            std::unique_lock lock(runMutex_);
            if (runEnded_.wait_for(lock, timeout, [&] { return run->ended.load() || settled(); }))
                return;
            lock.unlock();
            onTimeout();
        });
}

void OpenVPNService::startOpenVPN() {
    // Refused before anything goes to the helper or openvpn, so a bad value can
    // neither start a tunnel nor be spliced into a management command.
    if (!config || !username || !password)
        return giveUp("cannot start openvpn: the profile or the credentials are missing",
                      "The VPN profile or the credentials are missing.");
    const auto usernameCommand = ManagementCommand::username(*username);
    const auto passwordCommand = ManagementCommand::password(*password);
    if (!usernameCommand || !passwordCommand)
        return giveUp(
            "cannot start openvpn: the user name or the password holds a control character",
            "The e-mail address or the password holds a control character.");
    auto resource =
        dependencies_.resourcePath ? dependencies_.resourcePath : [](const std::string& name) {
            const std::string path = HelperPaths::installedScript(name);
            return std::filesystem::exists(path) ? std::optional<std::string>(path) : std::nullopt;
        };
    const auto up = resource(HelperPaths::upScript);
    const auto down = resource(HelperPaths::downScript);
    if (!up || !down)
        return giveUp("cannot start openvpn: client.up or client.down is missing",
                      "The VPN helper's scripts are missing.");
    // One run at a time: a second would replace the first in the helper while this
    // client still talks to the first one's openvpn.
    if (runInProgress()) {
        Log::line("not starting openvpn: a connection is still being made or ended");
        return;
    }

    auto run = std::make_shared<Run>();
    run->config = *config;
    run->up = *up;
    run->down = *down;
    run->usernameCommand = *usernameCommand;
    run->passwordCommand = *passwordCommand;
    run->block = leakBlock();
    {
        // The new run takes an outliving block over, and says at its end whether it holds.
        std::lock_guard lock(runMutex_);
        blockedBy_.reset();
    }
    if (!requestRun(run))
        giveUp("cannot start openvpn: there is no helper connection", "No VPN helper answers.");
}

bool OpenVPNService::requestRun(const std::shared_ptr<Run>& run) {
    HelperConnectionProvider* helper = dependencies_.helper;
    std::shared_ptr<HelperConnection> connection = helper ? helper->helperConnection() : nullptr;
    if (!connection)
        return false;

    // The handlers hold the run weakly: the connection holds them, and the run holds the
    // connection, so anything stronger would keep both alive for good.
    const std::weak_ptr<Run> weakRun = run;
    auto proxy = connection->proxy([this, weakRun](const HelperError& error) {
        Log::line(LogText::helperError + error.description);
        const auto run = weakRun.lock();
        if (!run)
            return;
        // A connection that broke (rather than one never made) is a helper restarting;
        // while it restarts, there may be no connection to be had for a moment.
        const bool restarting = error.code == HelperError::interrupted ||
                                (error.code == HelperError::invalid && run->helperRetries > 0);
        if (restarting && retryThroughHelper(run))
            return;
        openVPNExited(run, HelperProtocol::refusedStatus,
                      error.code == HelperError::busy
                          ? error.description
                          : "The VPN helper could not be reached (" + error.description + ").");
    });
    run->connection = connection;
    {
        std::lock_guard lock(runMutex_);
        run_ = run;
        // A stop that came while a new run waited to be asked for ends it here.
        if (!run->stopRequested)
            run->proxy = proxy;
    }
    if (!run->proxy) {
        openVPNExited(run, 0, "");
        return true;
    }
    // Credentials go out only to the openvpn of this run, whose management interface
    // only this client can unlock.
    run->proxy->runOpenVPN(
        run->config, run->up, run->down,
        [this, weakRun](const std::string& managementPassword) {
            const auto run = weakRun.lock();
            if (!run)
                return;
            {
                std::lock_guard lock(runMutex_);
                run->started = true;
            }
            run->helperRetries = 0;
            runEnded_.notify_all();
            starter_.async(
                [this, run, managementPassword] { connectAndPrime(run, managementPassword); });
        },
        [this, weakRun](int32_t status, const std::string& reason, bool blocking) {
            Log::line(LogText::openVPNExited + std::to_string(status));
            const auto run = weakRun.lock();
            if (!run)
                return;
            if ((reason == HelperProtocol::helperStoppedReason ||
                 reason == HelperProtocol::helperStoppingReason) &&
                retryThroughHelper(run))
                return;
            openVPNExited(run, status, reason, blocking);
        },
        run->block);
    // A helper that takes the request and then hangs must not leave the window waiting.
    watch(
        run, dependencies_.startTimeout, [run] { return run->started.load(); },
        [this, run] {
            Log::line("the helper did not start openvpn in time; giving up");
            const std::string failure = "The VPN helper did not start the connection in time.";
            {
                std::lock_guard lock(runMutex_);
                run->stopRequested = true;
            }
            fail(run, failure);
            // Should it go on later, this ends that run at once. A helper that still
            // answers says whether the run's block holds; one that does not is waited
            // for no longer.
            run->proxy->killOpenVPN(!run->userStopped);
            watch(
                run, stopAnswerTimeout, [] { return false; },
                [this, run, failure] {
                    openVPNExited(run, HelperProtocol::refusedStatus, failure);
                });
        });
    return true;
}

bool OpenVPNService::retryThroughHelper(const std::shared_ptr<Run>& run) {
    const size_t retries = run->helperRetries;
    if (!automaticReconnect_ || run->stopRequested || retries >= std::size(helperRetryPauses))
        return false;
    if (run->ended.exchange(true))
        return true;
    management_->waitUntilReadingEnds(std::chrono::seconds(10)); // the old openvpn's last lines
    auto next = std::make_shared<Run>();
    next->config = run->config;
    next->up = run->up;
    next->down = run->down;
    next->usernameCommand = run->usernameCommand;
    next->passwordCommand = run->passwordCommand;
    next->block = run->block; // a restarted helper must not open the way the user closed
    next->helperRetries = retries + 1;
    {
        std::lock_guard lock(runMutex_);
        if (run_ == run)
            run_ = next;
    }
    runEnded_.notify_all();
    {
        // Not a word of openvpn's, which is gone: the window must not go on showing a
        // tunnel, nor the end of one, while a new run is on its way.
        std::lock_guard lock(stateMutex_);
        storeLocked("RECONNECTING");
    }
    const auto pause = helperRetryPauses[retries];
    Log::line("the VPN helper went away; asking it again in " + std::to_string(pause.count()) +
              " ms (attempt " + std::to_string(retries + 1) + " of " +
              std::to_string(std::size(helperRetryPauses)) + ")");
    retry_.async([this, next, pause] {
        {
            std::unique_lock lock(runMutex_);
            runEnded_.wait_for(lock, pause,
                               [&] { return next->ended.load() || next->stopRequested.load(); });
            if (next->ended)
                return;
        }
        if (!requestRun(next))
            openVPNExited(next, HelperProtocol::refusedStatus, "No VPN helper answers.");
    });
    return true;
}

void OpenVPNService::connectAndPrime(const std::shared_ptr<Run>& run,
                                     const std::string& managementPassword) {
    std::string alreadyRead;
    if (!connectManagement(run, managementPassword, alreadyRead)) {
        if (run->ended)
            return;
        Log::standardOutput(LogText::managementStartFailed);
        fail(run,
             "The VPN's control port 127.0.0.1:" + std::to_string(management_->socket().port()) +
                 " could not be reached, or another program holds it.");
        // Nobody can steer it; its end ends the run. The user did not ask for that end.
        run->proxy->killOpenVPN(!run->userStopped);
        return;
    }
    auto& management = *management_;
    management.sendCommand("state on\n");
    management.sendCommand("bytecount 1\n");
    management.sendCommand("log on\n");
    management.sendCommand(run->usernameCommand);
    management.sendCommand(run->passwordCommand);
    management.startReading(std::move(alreadyRead));
}

bool OpenVPNService::connectManagement(const std::shared_ptr<Run>& run,
                                       const std::string& managementPassword,
                                       std::string& alreadyRead) {
    auto trusted = dependencies_.trustManagementPeer
                       ? dependencies_.trustManagementPeer
                       : [](const TCPConnection& connection) {
                             const auto owner = SocketOwner::ofPeer(connection);
                             return owner && *owner == 0;
                         };
    TCPClient& socket = management_->socket();
    for (int attempt = 0; attempt < connectAttempts && !run->ended; ++attempt) {
        if (socket.connect(connectTimeoutSeconds)) {
            const auto connection = socket.connection();
            // Port 1337 is open to every local user: whoever holds it when openvpn
            // should is not openvpn, and must not see the credentials.
            const auto owner = connection ? SocketOwner::ofPeer(*connection) : std::nullopt;
            if (!connection || !trusted(*connection)) {
                Log::line(
                    "management port 127.0.0.1:" + std::to_string(socket.port()) + " is held by " +
                    (owner ? "uid " + std::to_string(*owner) : std::string("an unknown owner")) +
                    ", not root; not sending credentials there");
            } else if (auto rest =
                           management_->authenticate(managementPassword, connectTimeoutSeconds)) {
                alreadyRead = std::move(*rest);
                return true;
            } else {
                Log::line("the management interface on 127.0.0.1:" + std::to_string(socket.port()) +
                          " did not accept this run's password");
            }
            socket.close();
        }
        usleep(retryPauseMicroseconds);
    }
    return false;
}

void OpenVPNService::stopOpenVPN() {
    stopRun(currentRun(), true);
}

void OpenVPNService::stopRun(const std::shared_ptr<Run>& run, bool userAsked) {
    bool asked = true;
    if (run) {
        std::lock_guard lock(runMutex_);
        run->stopRequested = true;
        if (userAsked)
            run->userStopped = true;
        asked = run->proxy != nullptr;
    }
    if (!asked) {
        runEnded_.notify_all(); // a new run waiting to be asked for is not asked for
        return;
    }
    management_->sendCommand("signal SIGINT\n");
    if (!run || run->stopWatched.exchange(true))
        return;
    watch(
        run, stopAnswerTimeout, [] { return false; },
        [run] {
            Log::line("openvpn did not stop when asked; asking the helper to end it");
            run->proxy->killOpenVPN(!run->userStopped);
        });
}

bool OpenVPNService::blocked() const {
    std::lock_guard lock(runMutex_);
    return blockedBy_ != nullptr;
}

void OpenVPNService::setLeakBlock(HelperProtocol::LeakBlock block) {
    blockLeaks_ = block.enabled;
    allowLocalNetwork_ = block.allowLocalNetwork;
}

HelperProtocol::LeakBlock OpenVPNService::leakBlock() const {
    return {blockLeaks_, allowLocalNetwork_};
}

void OpenVPNService::releaseBlock() {
    std::shared_ptr<HelperProtocol> helper;
    {
        std::lock_guard lock(runMutex_);
        helper = std::exchange(blockedBy_, nullptr);
    }
    if (helper)
        helper->releaseBlock();
}

bool OpenVPNService::wanted(const Run& run) {
    return run.started && !run.ended && !run.stopRequested && management_->reading();
}

void OpenVPNService::networkChanged(const std::string& what, bool networkAppeared) {
    const auto run = currentRun();
    if (!run || !wanted(*run))
        return;
    // While openvpn makes its connection it moves routes itself; a change that brings
    // no new way out then is its own, or gives it nothing to start over for.
    if (!networkAppeared && state() != ConnectionState::connected) {
        Log::line(what + ": left to openvpn, which is connecting");
        return;
    }
    if (!automaticReconnect_)
        return endConnection(run, "The VPN connection was ended: " + what +
                                      ", and automatic reconnecting is off.");
    Log::line(what + ": restarting the tunnel");
    management_->sendCommand("signal SIGUSR1\n");
}

void OpenVPNService::endConnection(const std::shared_ptr<Run>& run, const std::string& failure) {
    Log::line("ending the VPN connection: automatic reconnecting is off");
    fail(run, failure);
    // The user wants the tunnel; an end without it is what the block is for.
    stopRun(run, false);
}

void OpenVPNService::managementClosed() {
    const auto run = currentRun();
    if (!run || !run->started || run->ended || run->stopRequested)
        return;
    // openvpn closes the connection as it exits, and the helper then reports the exit
    // at once. One that lives on without its management client can be neither steered
    // nor stopped from here.
    watch(
        run, managementLossGrace, [] { return false; },
        [this, run] {
            if (management_->reading())
                return; // a newer connection to the same run's openvpn
            Log::line("the management connection closed but openvpn runs on; asking the "
                      "helper to end it");
            fail(run, "The connection to the VPN's control port broke.");
            run->proxy->killOpenVPN(!run->userStopped);
        });
}

bool OpenVPNService::runInProgress() const {
    std::lock_guard lock(runMutex_);
    return run_ != nullptr;
}

std::shared_ptr<OpenVPNService::Run> OpenVPNService::currentRun() const {
    std::lock_guard lock(runMutex_);
    return run_;
}

std::string OpenVPNService::takeFailure() {
    std::lock_guard lock(stateMutex_);
    return std::exchange(failure_, {});
}

void OpenVPNService::fail(const std::shared_ptr<Run>& run, const std::string& failure) {
    std::lock_guard lock(runMutex_);
    if (run->failure.empty())
        run->failure = failure;
}

void OpenVPNService::passwordNotice(std::string_view payload) {
    auto run = currentRun();
    if (!run)
        return;
    if (payload.starts_with("Verification Failed: 'Auth'")) {
        fail(run, "The VPN server did not accept the e-mail address or password.");
    } else if (payload.starts_with("Need 'Auth' username/password") &&
               run->credentialPrompts.fetch_add(1) > 0) {
        // The opening commands answer the first prompt. openvpn asks again after a
        // reconnect when the profile tells it not to keep the credentials.
        management_->sendCommand(run->usernameCommand);
        management_->sendCommand(run->passwordCommand);
    }
}

void OpenVPNService::openVPNExited(const std::shared_ptr<Run>& run, int32_t status,
                                   const std::string& reason, bool blocking) {
    if (run->ended.exchange(true))
        return;
    // openvpn's last state lines ("EXITING") may still sit unread on the closed
    // management connection; stored after NOPROCESS they would claim a process that
    // is gone. The loop ends once it has read what is left on the closed connection.
    management_->waitUntilReadingEnds(std::chrono::seconds(10));
    std::string failure;
    bool watchConnection = false;
    std::weak_ptr<bool> lifetime;
    {
        std::lock_guard lock(runMutex_);
        if (!reason.empty())
            run->failure = reason;
        else if (run->failure.empty() && !run->stopRequested)
            run->failure = "The VPN connection ended unexpectedly (openvpn exit status " +
                           std::to_string(status) + ").";
        failure = run->failure;
    }
    {
        // One step for every observer: whoever sees that no run is in progress also sees
        // NOPROCESS and finds why the run ended. The notification is posted here too, even
        // when the word already is NOPROCESS: the window put on its connecting look for
        // this run, and learns here that the run is over.
        std::scoped_lock lock(runMutex_, stateMutex_);
        failure_ = failure;
        if (run_ == run)
            run_.reset();
        blockedBy_ = blocking && !run->userStopped ? run->proxy : nullptr;
        blockedOn_ = run->connection.get();
        watchConnection = blockedBy_ && watched_.lock() != run->connection;
        if (watchConnection) {
            watched_ = run->connection;
            lifetime = lifetime_;
        }
        storeLocked(ConnectionState::noProcess);
        // Under the lock: once an observer has seen the run end, it may destroy this
        // service, so nothing of it is touched after the lock is let go.
        runEnded_.notify_all();
    }
    // A run stopped while it waited for the helper to come back may have no helper.
    if (run->userStopped && run->proxy)
        run->proxy->releaseBlock();
    if (!watchConnection)
        return;
    // The block ends with the helper (it removes its table as it stops, the kernel when
    // it dies) and with the connection, which the helper takes as its client gone.
    run->connection->whenInvalidated(
        [service = this, lifetime, connection = run->connection.get()] {
            if (const auto alive = lifetime.lock())
                service->blockGone(connection);
        });
}

void OpenVPNService::blockGone(const HelperConnection* connection) {
    {
        std::scoped_lock lock(runMutex_, stateMutex_);
        // The watch is spent; a block claimed on this connection from now on needs another.
        if (watched_.lock().get() == connection)
            watched_.reset();
        if (!blockedBy_ || blockedOn_ != connection)
            return;
        blockedBy_.reset();
        failure_ = blockEndedWithHelper;
        storeLocked(ConnectionState::noProcess);
    }
    Log::line("the VPN helper went away: traffic outside the VPN is no longer blocked");
}

void OpenVPNService::giveUp(const std::string& why, const std::string& failure) {
    Log::line(why);
    std::lock_guard lock(stateMutex_);
    failure_ = failure;
    storeLocked(ConnectionState::noProcess);
}
