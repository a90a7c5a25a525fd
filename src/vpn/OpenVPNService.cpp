#include "vpn/OpenVPNService.h"

#include "helper/HelperConnection.h"
#include "helper/HelperPaths.h"
#include "platform/Log.h"
#include "platform/UserText.h"
#include "vpn/LogText.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

using Kind = RunEvent::Kind;

// Hands events from any thread to the service on the main thread, or drops them once the
// service has gone.
struct Poster {
    std::weak_ptr<OpenVPNService*> service;
    MainQueue* queue;
    void operator()(RunEvent event, void (OpenVPNService::*dispatch)(RunEvent)) const {
        queue->async([service = service, dispatch, event = std::move(event)]() mutable {
            if (const auto alive = service.lock())
                ((*alive)->*dispatch)(std::move(event));
        });
    }
};

} // namespace

// What the management read loop of one run reads, posted as that run's events. Used on
// the loop's thread only.
class OpenVPNService::RunSink : public StateSink {
public:
    RunSink(std::function<void(RunEvent)> post, uint64_t run) : post_(std::move(post)), run_(run) {}

    void updateState(const std::string& word) override {
        RunEvent event = RunEvent::of(Kind::stateLine, run_, word);
        event.detail = std::exchange(description_, {});
        event.extra = std::exchange(address_, {});
        post_(std::move(event));
    }
    void stateAddress(std::string_view address) override { address_ = address; }
    void stateDescription(std::string_view description) override { description_ = description; }
    void passwordNotice(std::string_view payload) override {
        post_(RunEvent::of(Kind::passwordNotice, run_, std::string(payload)));
    }
    void byteCount(uint64_t in, uint64_t out) override {
        RunEvent event = RunEvent::of(Kind::byteCount, run_);
        event.in = in;
        event.out = out;
        post_(std::move(event));
    }
    void managementClosed() override { post_(RunEvent::of(Kind::managementClosed, run_)); }
    // Only the few lines that tell which server is tried and why it is not reached go to
    // the main thread.
    void logLine(std::string_view payload) override {
        if (const std::string_view server = ConnectAttempts::attemptedServer(payload);
            !server.empty())
            return post_(RunEvent::of(Kind::attempt, run_, std::string(server)));
        const ConnectAttempts::Problem problem = ConnectAttempts::inLog(payload);
        if (problem == ConnectAttempts::Problem::none)
            return;
        RunEvent event = RunEvent::of(Kind::connectProblem, run_);
        event.code = static_cast<int>(problem);
        post_(std::move(event));
    }

private:
    std::function<void(RunEvent)> post_;
    const uint64_t run_;
    std::string address_;
    std::string description_;
};

OpenVPNService::OpenVPNService(Dependencies dependencies)
    : dependencies_(std::move(dependencies)),
      mainQueue_(dependencies_.mainQueue ? *dependencies_.mainQueue : MainQueue::main()),
      notifications_(dependencies_.notifications ? *dependencies_.notifications
                                                 : NotificationCenter::defaultCenter()),
      machine_(*this, dependencies_.timing) {
    // Lines read outside a run (none in this service) go nowhere.
    static RunSink nowhere([](RunEvent) {}, 0);
    management_ = std::make_unique<OpenVPNManagement>(nowhere);
}

OpenVPNService::~OpenVPNService() {
    self_.reset(); // nothing still on its way to the main queue reaches this any more
    if (dependencies_.profiles && status().phase == RunPhase::preparing)
        dependencies_.profiles->cancel();
    // Wakes the read loop, which ends; its queue is joined as it goes.
    management_->socket().close();
}

void OpenVPNService::post(RunEvent event) {
    Poster{self_, &mainQueue_}(std::move(event), &OpenVPNService::dispatch);
}

void OpenVPNService::dispatch(RunEvent event) {
    if (inHandle_) {
        // An effect of the event being handled led back here: it comes next, in order.
        handling_.push_back(std::move(event));
        return;
    }
    inHandle_ = true;
    handling_.push_back(std::move(event));
    while (!handling_.empty()) {
        RunEvent next = std::move(handling_.front());
        handling_.pop_front();
        if (next.kind == Kind::helperStarted && next.run == machine_.currentRun())
            handedOver_ = std::exchange(next.descriptor, nullptr);
        machine_.handle(next);
        // attach() took it, or the run had moved on: either way none is kept.
        handedOver_.reset();
    }
    inHandle_ = false;
}

void OpenVPNService::connect(const Credentials& credentials) {
    RunEvent event = RunEvent::of(Kind::connect);
    event.credentials = credentials;
    dispatch(std::move(event));
}

void OpenVPNService::startOpenVPN() {
    RunEvent event = RunEvent::of(Kind::startRun, 0, config && username && password ? *config : "");
    event.credentials = {username.value_or(""), password.value_or(""), false};
    dispatch(std::move(event));
}

void OpenVPNService::stopOpenVPN() {
    dispatch(RunEvent::of(Kind::disconnect));
}

void OpenVPNService::reconnect() {
    dispatch(RunEvent::of(Kind::reconnect));
}

void OpenVPNService::releaseBlock() {
    if (blocked())
        stopOpenVPN();
}

void OpenVPNService::shutdown(std::function<void()> done) {
    shutdownDone_ = std::move(done);
    dispatch(RunEvent::of(Kind::quit));
}

void OpenVPNService::setLeakBlock(LeakBlock block) {
    machine_.leakBlock = block;
    if (!block.enabled)
        dispatch(RunEvent::of(Kind::leakBlockOff));
}

void OpenVPNService::networkChanged(const std::string& what, bool networkAppeared) {
    RunEvent event = RunEvent::of(Kind::networkChanged, 0, what);
    event.flag = networkAppeared;
    post(std::move(event));
}

void OpenVPNService::fetchProfile(uint64_t run, const Credentials& credentials) {
    if (!dependencies_.profiles)
        return post(RunEvent::told(Kind::profileFailed, run,
                                   USER_TEXT("Messages", "No account service is set up.")));
    dependencies_.profiles->fetch(credentials, [poster = Poster{self_, &mainQueue_},
                                                run](const ProfileSource::Outcome& outcome) {
        poster(outcome.profilePath ? RunEvent::of(Kind::profileReady, run, *outcome.profilePath)
                                   : RunEvent::told(Kind::profileFailed, run, outcome.failure),
               &OpenVPNService::dispatch);
    });
}

void OpenVPNService::cancelProfile() {
    if (dependencies_.profiles)
        dependencies_.profiles->cancel();
}

std::optional<std::pair<std::string, std::string>> OpenVPNService::scripts() {
    auto resource =
        dependencies_.resourcePath ? dependencies_.resourcePath : [](const std::string& name) {
            const std::string path = HelperPaths::installedScript(name);
            return std::filesystem::exists(path) ? std::optional<std::string>(path) : std::nullopt;
        };
    auto up = resource(HelperPaths::upScript);
    auto down = resource(HelperPaths::downScript);
    if (!up || !down)
        return std::nullopt;
    return std::pair{std::move(*up), std::move(*down)};
}

size_t OpenVPNService::servers(const std::string& config) {
    // The profile this process wrote; the helper takes none larger.
    constexpr std::streamsize most = 256 * 1024;
    std::ifstream file(config, std::ios::binary);
    std::string text(most, '\0');
    file.read(text.data(), most);
    text.resize(static_cast<size_t>(file.gcount()));
    return ConnectAttempts::servers(text);
}

void OpenVPNService::askHelper(uint64_t run, const RunRequest& request) {
    HelperConnectionProvider* helper = dependencies_.helper;
    std::shared_ptr<HelperConnection> connection = helper ? helper->helperConnection() : nullptr;
    if (!connection) {
        RunEvent refused = RunEvent::told(Kind::helperEnded, run, RunMachine::noHelper);
        refused.status = HelperProtocol::refusedStatus;
        return post(std::move(refused));
    }
    const Poster poster{self_, &mainQueue_};
    // The handlers run on the connection's thread and only post: the run's state is the
    // main thread's.
    auto proxy = connection->proxy([poster, run](const HelperError& error) {
        Log::line(LogText::helperError + error.description.plain());
        RunEvent event = RunEvent::told(Kind::helperFailed, run, error.description);
        event.code = error.code;
        poster(std::move(event), &OpenVPNService::dispatch);
    });
    // The helper reads the profile from what this process can open, by nothing else.
    auto profile = std::make_shared<UniqueFd>(
        ::open(request.config.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    if (!profile->valid()) {
        RunEvent refused =
            RunEvent::told(Kind::helperEnded, run,
                           {USER_TEXT("Messages", "The VPN profile could not be opened: %1."),
                            {std::strerror(errno)}});
        refused.status = HelperProtocol::refusedStatus;
        return post(std::move(refused));
    }
    // Only the links of the current run and of a run whose block holds are still of use.
    std::erase_if(links_, [&](const auto& link) { return link.first != run && !blocked(); });
    links_[run] = {proxy, connection};
    proxy->runOpenVPN(
        std::move(profile), request.up, request.down,
        [poster, run](std::shared_ptr<UniqueFd> management) {
            RunEvent event = RunEvent::of(Kind::helperStarted, run);
            event.descriptor = std::move(management);
            poster(std::move(event), &OpenVPNService::dispatch);
        },
        [poster, run](int32_t status, const UserMessage& reason, bool blocking) {
            Log::line(LogText::openVPNExited + std::to_string(status));
            RunEvent event = RunEvent::told(Kind::helperEnded, run, reason);
            event.status = status;
            event.flag = blocking;
            poster(std::move(event), &OpenVPNService::dispatch);
        },
        request.block,
        [poster, run](const UserMessage& reason) {
            poster(RunEvent::told(Kind::blockLifted, run, reason), &OpenVPNService::dispatch);
        });
}

void OpenVPNService::attach(uint64_t run) {
    const auto handedOver = std::exchange(handedOver_, nullptr);
    if (handedOver && handedOver->valid() && management_->socket().adopt(std::move(*handedOver)))
        return post(RunEvent::of(Kind::attached, run));
    Log::standardOutput(LogText::managementStartFailed);
    post(RunEvent::told(
        Kind::attachFailed, run,
        USER_TEXT("Messages", "The VPN helper did not hand over the connection to openvpn.")));
}

void OpenVPNService::startReading(uint64_t run) {
    const Poster poster{self_, &mainQueue_};
    management_->startReading(std::make_shared<RunSink>(
        [poster](RunEvent event) { poster(std::move(event), &OpenVPNService::dispatch); }, run));
}

void OpenVPNService::send(const std::string& command) {
    management_->sendCommand(command);
}

void OpenVPNService::kill(uint64_t run, bool keepBlock) {
    if (const auto link = links_.find(run); link != links_.end())
        link->second.proxy->killOpenVPN(keepBlock);
}

void OpenVPNService::releaseBlock(uint64_t run) {
    if (const auto link = links_.find(run); link != links_.end())
        link->second.proxy->releaseBlock();
}

void OpenVPNService::watchBlock(uint64_t run) {
    const auto link = links_.find(run);
    if (link == links_.end())
        return;
    const auto& connection = link->second.connection;
    // One watch per connection, not one more for each of its runs that ends blocked.
    if (watched_.lock() == connection)
        return;
    watched_ = connection;
    // The block ends with the helper (it removes its table as it stops, the kernel when it
    // dies) and with the connection, which the helper takes as its client gone.
    connection->whenInvalidated(
        [service = std::weak_ptr(self_), queue = &mainQueue_, broken = connection.get()] {
            queue->async([service, broken] {
                const auto alive = service.lock();
                if (!alive)
                    return;
                OpenVPNService& self = **alive;
                if (self.watched_.lock().get() == broken)
                    self.watched_.reset();
                const uint64_t run = self.machine_.currentRun();
                const auto link = self.links_.find(run);
                if (link != self.links_.end() && link->second.connection.get() == broken)
                    self.dispatch(RunEvent::of(Kind::helperGone, run));
            });
        });
}

void OpenVPNService::startTimer(uint64_t run, RunTimer timer, std::chrono::milliseconds after) {
    mainQueue_.asyncAfter(after, [service = std::weak_ptr(self_), run, timer] {
        if (const auto alive = service.lock()) {
            RunEvent event = RunEvent::of(Kind::timeout, run);
            event.timer = timer;
            (*alive)->dispatch(std::move(event));
        }
    });
}

void OpenVPNService::statusChanged(bool wordStored) {
    // Each stored word on a line of its own, as the log has always had them.
    if (wordStored)
        Log::line(status().state);
    mainQueue_.async([&center = notifications_, service = std::weak_ptr(self_)] {
        if (service.lock())
            center.post(stateDidChangeNotification);
    });
}

void OpenVPNService::trafficChanged() {
    mainQueue_.async([&center = notifications_, service = std::weak_ptr(self_)] {
        if (service.lock())
            center.post(trafficDidChangeNotification);
    });
}

void OpenVPNService::quitDone() {
    if (auto done = std::exchange(shutdownDone_, nullptr))
        mainQueue_.async(std::move(done));
}

void OpenVPNService::log(const std::string& line) {
    Log::line(line);
}
