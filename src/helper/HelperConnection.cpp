#include "helper/HelperConnection.h"

#include "helper/FdPassing.h"
#include "helper/HelperPaths.h"
#include "helper/LineReader.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class HelperConnection::Queue {
public:
    using ReplyHandler = std::function<void(const HelperReply&, std::shared_ptr<UniqueFd>)>;
    struct Outgoing {
        HelperRequest request;
        ReplyHandler onReply;
        ErrorHandler onError;
        std::shared_ptr<UniqueFd> fd; // sent with the request's line
    };

    explicit Queue(std::string socketPath)
        : socketPath_(std::move(socketPath)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Queue() {
        if (socketFd_ >= 0)
            ::close(socketFd_);
        ::close(wakeFd_);
    }

    void submit(Outgoing outgoing) {
        {
            std::lock_guard lock(mutex_);
            outgoing_.push_back(std::move(outgoing));
        }
        wake();
    }
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake();
    }
    void setInvalidationHandler(std::function<void()> handler) {
        std::lock_guard lock(mutex_);
        invalidationHandler_ = std::move(handler);
    }
    void whenInvalidated(std::function<void()> handler) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            if (!invalidated_) {
                watchers_.push_back(std::move(handler));
                return;
            }
        }
        handler();
    }
    size_t watcherCount() {
        std::lock_guard lock(mutex_);
        return watchers_.size();
    }
    void run();

private:
    struct Waiting {
        HelperRequest::Operation operation;
        ReplyHandler onReply;
        ErrorHandler onError;
        bool started = false;
        bool blocking = false; // its terminated said the block holds: blockLifted may follow
    };
    // Whether `reply` may answer the request `waiting` is for: a version answers
    // getVersion; a run gets at most one started, then exactly one terminated, and after a
    // terminated that said the block holds, at most one blockLifted.
    static bool fits(const HelperReply& reply, const Waiting& waiting) {
        switch (reply.kind) {
        case HelperReply::Kind::version:
            return waiting.operation == HelperRequest::Operation::getVersion;
        case HelperReply::Kind::started:
            return waiting.operation == HelperRequest::Operation::runOpenVPN && !waiting.started;
        case HelperReply::Kind::terminated:
            return waiting.operation == HelperRequest::Operation::runOpenVPN && !waiting.blocking;
        case HelperReply::Kind::blockLifted:
            return waiting.blocking;
        }
        return false;
    }

    void wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
    void send(Outgoing outgoing);
    // What broke a send: a daemon that turned this connection away has left its busy
    // notice unread on the socket; anything else is an invalid connection.
    HelperError sendFailure();
    void readReplies(LineReader& lines);
    void breakWith(const HelperError& error);
    // The owner let go: nothing broke and no one waits for the replies still due, so
    // neither their error handlers nor the invalidation handler run.
    void endForOwner();
    static HelperError busyError(const std::string& reason) {
        return {HelperError::busy, {USER_TEXT("Messages", "The VPN helper is busy: %1"), {reason}}};
    }
    static HelperError invalidError() {
        return {HelperError::invalid,
                {USER_TEXT("Messages", "The connection to service named %1 was invalidated."),
                 {HelperPaths::label}}};
    }

    const std::string socketPath_;
    const int wakeFd_;
    int socketFd_ = -1;
    // Touched only on the queue thread.
    bool broken_ = false;
    HelperError brokenBy_; // what broke the connection, told to every later request
    uint64_t nextId_ = 1;
    std::map<uint64_t, Waiting> waiting_;
    // Shared with the callers' threads.
    std::mutex mutex_;
    std::deque<Outgoing> outgoing_;
    std::function<void()> invalidationHandler_;
    std::vector<std::function<void()>> watchers_; // see whenInvalidated
    bool invalidated_ = false;
    bool stopping_ = false;
};

class HelperConnection::Proxy : public HelperProtocol {
public:
    Proxy(std::shared_ptr<HelperConnection> connection, ErrorHandler onError)
        : connection_(std::move(connection)), onError_(std::move(onError)) {}

    void getVersion(VersionHandler reply) override {
        HelperRequest request;
        request.operation = HelperRequest::Operation::getVersion;
        connection_->queue_->submit(
            {request, [reply](const HelperReply& r, auto) { reply(r.version); }, onError_, {}});
    }

    void runOpenVPN(std::shared_ptr<UniqueFd> profile, const std::string& clientUp,
                    const std::string& clientDown, StartedHandler startedHandler,
                    TerminationHandler terminationHandler, LeakBlock block,
                    BlockLiftedHandler blockLiftedHandler) override {
        HelperRequest request;
        request.operation = HelperRequest::Operation::runOpenVPN;
        request.clientUp = clientUp;
        request.clientDown = clientDown;
        request.blockLeaks = block.enabled;
        request.allowLocalNetwork = block.allowLocalNetwork;
        connection_->queue_->submit(
            {request,
             [startedHandler, terminationHandler,
              blockLiftedHandler](const HelperReply& r, std::shared_ptr<UniqueFd> management) {
                 if (r.kind == HelperReply::Kind::started) {
                     if (startedHandler)
                         startedHandler(std::move(management));
                 } else if (r.kind == HelperReply::Kind::terminated) {
                     terminationHandler(r.status, r.reason, r.blocking);
                 } else if (blockLiftedHandler) {
                     blockLiftedHandler(r.reason);
                 }
             },
             onError_, std::move(profile)});
    }

    void killOpenVPN(bool keepBlock) override {
        HelperRequest request;
        request.operation = HelperRequest::Operation::killOpenVPN;
        request.keepBlock = keepBlock;
        submitWithoutReply(request);
    }
    void releaseBlock() override {
        HelperRequest request;
        request.operation = HelperRequest::Operation::releaseBlock;
        submitWithoutReply(request);
    }

private:
    void submitWithoutReply(const HelperRequest& request) {
        connection_->queue_->submit({request, nullptr, onError_, {}});
    }

    std::shared_ptr<HelperConnection> connection_;
    ErrorHandler onError_;
};

HelperConnection::HelperConnection(std::string socketPath)
    : queue_(std::make_shared<Queue>(std::move(socketPath))) {}

HelperConnection::~HelperConnection() {
    queue_->stop();
    std::lock_guard lock(threadMutex_);
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach(); // let go from one of our own handlers: the queue ends by itself
    else
        thread_.join();
}

void HelperConnection::setInvalidationHandler(std::function<void()> handler) {
    queue_->setInvalidationHandler(std::move(handler));
}

void HelperConnection::whenInvalidated(std::function<void()> handler) {
    queue_->whenInvalidated(std::move(handler));
}

size_t HelperConnection::invalidationWatchers() const {
    return queue_->watcherCount();
}

void HelperConnection::resume() {
    std::lock_guard lock(threadMutex_);
    if (!thread_.joinable())
        thread_ = std::thread([queue = queue_] { queue->run(); });
}

std::shared_ptr<HelperProtocol> HelperConnection::proxy(ErrorHandler errorHandler) {
    return std::make_shared<Proxy>(shared_from_this(), std::move(errorHandler));
}

void HelperConnection::Queue::run() {
    socketFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketFd_ < 0 || socketPath_.size() >= sizeof address.sun_path) {
        breakWith(invalidError());
    } else {
        std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
        if (::connect(socketFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            breakWith(
                {HelperError::invalid,
                 {USER_TEXT("Messages", "Couldn't communicate with a helper application. (%1)"),
                  {std::strerror(errno)}}});
    }

    LineReader lines(HelperWire::maxLineBytes);
    for (;;) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {broken_ ? -1 : socketFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents) {
            uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
        bool stopping = false;
        for (;;) {
            Outgoing next;
            {
                std::lock_guard lock(mutex_);
                stopping = stopping_;
                if (outgoing_.empty())
                    break;
                next = std::move(outgoing_.front());
                outgoing_.pop_front();
            }
            send(std::move(next));
        }
        if (stopping) {
            endForOwner();
            return;
        }
        if (!broken_ && fds[1].revents)
            readReplies(lines);
    }
}

void HelperConnection::Queue::readReplies(LineReader& lines) {
    char chunk[4096];
    auto received = FdPassing::receive(socketFd_, chunk, sizeof chunk);
    const ssize_t n = received.bytes;
    if (n <= 0) {
        breakWith({HelperError::interrupted,
                   {USER_TEXT("Messages", "The connection to service named %1 was interrupted."),
                    {HelperPaths::label}}});
        return;
    }
    lines.append(std::string_view(chunk, static_cast<size_t>(n)), std::move(received.fds));
    if (lines.overflowed()) {
        breakWith({HelperError::interrupted,
                   USER_TEXT("Messages", "The helper sent an overlong reply.")});
        return;
    }
    // A helper sends one descriptor with a reply at most; more are not held on to.
    if (lines.heldFds() > FdPassing::maxFdsPerRead) {
        breakWith({HelperError::interrupted,
                   USER_TEXT("Messages", "The helper sent descriptors that fit no reply.")});
        return;
    }
    while (auto line = lines.next()) {
        if (auto busy = HelperWire::decodeBusy(*line)) {
            breakWith(busyError(*busy));
            return;
        }
        auto reply = HelperWire::decodeReply(*line);
        auto waiting = reply ? waiting_.find(reply->id) : waiting_.end();
        if (waiting == waiting_.end() || !fits(*reply, waiting->second)) {
            breakWith(
                {HelperError::interrupted,
                 USER_TEXT("Messages", "The helper sent a reply that does not fit any request.")});
            return;
        }
        // Only a started reply carries a descriptor, its first; any other is closed here.
        auto fds = lines.takeFds();
        if (reply->kind == HelperReply::Kind::started) {
            waiting->second.started = true;
            auto handler = waiting->second.onReply; // the run's final reply is still due
            handler(*reply,
                    fds.empty() ? nullptr : std::make_shared<UniqueFd>(std::move(fds.front())));
            continue;
        }
        if (reply->kind == HelperReply::Kind::terminated) {
            // The helper tells only the latest run whose end said the block holds when it
            // goes: earlier runs wait for nothing more.
            std::erase_if(waiting_, [&](const auto& entry) {
                return entry.second.blocking && entry.first < reply->id;
            });
            waiting = waiting_.find(reply->id);
        }
        if (reply->kind == HelperReply::Kind::terminated && reply->blocking) {
            waiting->second.blocking = true;
            auto handler = waiting->second.onReply;
            handler(*reply, nullptr);
            continue;
        }
        auto handler = std::move(waiting->second.onReply);
        waiting_.erase(waiting);
        handler(*reply, nullptr);
    }
}

void HelperConnection::Queue::send(Outgoing outgoing) {
    if (broken_) {
        if (outgoing.onError)
            outgoing.onError(brokenBy_);
        return;
    }
    outgoing.request.id = nextId_++;
    const std::string line = HelperWire::encode(outgoing.request);
    size_t sent = 0;
    while (sent < line.size()) {
        // The descriptor goes with the line's first bytes, so the helper finds it with them.
        const int fd = sent == 0 && outgoing.fd ? outgoing.fd->get() : -1;
        const ssize_t n = FdPassing::send(socketFd_, std::string_view(line).substr(sent), fd);
        if (n <= 0) {
            const HelperError error = sendFailure();
            if (outgoing.onError)
                outgoing.onError(error);
            breakWith(error);
            return;
        }
        sent += static_cast<size_t>(n);
    }
    outgoing.fd.reset(); // the helper has its copy
    if (outgoing.onReply)
        waiting_[outgoing.request.id] = {outgoing.request.operation, std::move(outgoing.onReply),
                                         std::move(outgoing.onError), false};
}

void HelperConnection::Queue::endForOwner() {
    if (socketFd_ >= 0)
        ::shutdown(socketFd_, SHUT_RDWR);
    waiting_.clear();
}

HelperError HelperConnection::Queue::sendFailure() {
    char chunk[4096];
    const ssize_t n = ::recv(socketFd_, chunk, sizeof chunk, MSG_DONTWAIT);
    LineReader lines(HelperWire::maxLineBytes);
    if (n > 0)
        lines.append(std::string_view(chunk, static_cast<size_t>(n)));
    while (auto line = lines.next())
        if (auto busy = HelperWire::decodeBusy(*line))
            return busyError(*busy);
    return invalidError();
}

void HelperConnection::Queue::breakWith(const HelperError& error) {
    if (broken_)
        return;
    broken_ = true;
    brokenBy_ = error;
    if (socketFd_ >= 0)
        ::shutdown(socketFd_, SHUT_RDWR);
    auto waiting = std::move(waiting_);
    waiting_.clear();
    // A run that has ended owes nothing; its block ends with the connection (whenInvalidated).
    for (auto& [id, w] : waiting)
        if (w.onError && !w.blocking)
            w.onError(error);
    std::function<void()> handler;
    std::vector<std::function<void()>> watchers;
    {
        // An owner that let go (perhaps from one of the handlers just run) is no longer
        // told: what its handler reaches may already be gone.
        std::lock_guard lock(mutex_);
        invalidated_ = true;
        watchers = std::move(watchers_);
        watchers_.clear();
        if (!stopping_)
            handler = invalidationHandler_;
        else
            watchers.clear();
    }
    if (handler)
        handler();
    for (const auto& watcher : watchers)
        watcher();
}
