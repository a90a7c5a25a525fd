#pragma once

#include "helper/HelperProtocol.h"
#include "helper/HelperWire.h"
#include "platform/UserMessage.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HelperError {
    static constexpr int interrupted = 4097; // the connection broke while a reply was due
    static constexpr int invalid = 4099;     // no connection could be made, or it is gone
    static constexpr int busy = 4100; // the helper is there but would not serve this connection

    int code = invalid;
    UserMessage description; // what the user is told
};

// The application's connection to the helper daemon over its Unix socket. It has a
// thread of its own, "the connection's queue": connecting, sending, and every reply,
// error and invalidation handler run there, one at a time, in order.
class HelperConnection : public std::enable_shared_from_this<HelperConnection> {
public:
    using ErrorHandler = std::function<void(const HelperError&)>;

    explicit HelperConnection(std::string socketPath);
    // Ends the connection quietly: requests already made are still sent, but replies
    // still due are dropped and no error or invalidation handler runs, since the owner
    // let go (for one, the application quits). Safe to run from one of the connection's
    // own handlers.
    ~HelperConnection();
    HelperConnection(const HelperConnection&) = delete;
    HelperConnection& operator=(const HelperConnection&) = delete;

    // Runs on the queue, once, when the connection fails or breaks, after the error
    // handlers of every request still waiting. An empty handler removes it.
    void setInvalidationHandler(std::function<void()> handler);
    // Runs `handler` once the connection has failed or broken: on the queue, after the
    // invalidation handler, or at once on the calling thread if that has happened already.
    // For whoever keeps state that lives only as long as the connection; like the
    // invalidation handler, it does not run once the owner has let go.
    void whenInvalidated(std::function<void()> handler);
    // How many of those handlers wait for the connection to break: a long-lived connection
    // must not gather them.
    size_t invalidationWatchers() const;

    // Starts the queue, which connects; requests made before are sent once connected.
    void resume();

    // A HelperProtocol whose requests go over this connection; `errorHandler` runs
    // (instead of the reply) for each request that cannot be delivered or answered.
    std::shared_ptr<HelperProtocol> proxy(ErrorHandler errorHandler);

private:
    class Proxy;
    class Queue; // the state the queue thread works on; it outlives this handle while the thread
                 // runs

    std::shared_ptr<Queue> queue_;
    std::thread thread_;
    std::mutex threadMutex_;
};
