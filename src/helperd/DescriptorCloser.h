#pragma once

#include "platform/UniqueFd.h"

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

// Closes the descriptors clients sent, away from the daemon's loop: a close may block for
// as long as the sender likes (a TCP socket lingering over data it cannot deliver, a file
// whose FUSE server never answers the flush that every close sends), and the loop serves
// everyone. Each sender's descriptors are closed in turn on a thread of that sender's, which
// ends once it has none left, so one whose close never returns holds up no one else's; a
// socket's linger is turned off first. The loop learns through fd() whose have been closed,
// and counts the ones still waiting per sender, so that it can stop reading from a sender
// whose descriptors pile up.
class DescriptorCloser {
public:
    // Beyond this many waiting, a sender's connections are not read from.
    static constexpr size_t maxWaitingPerUser = 16;

    DescriptorCloser();
    // A thread stuck in a close is left to the process's end.
    ~DescriptorCloser();
    DescriptorCloser(const DescriptorCloser&) = delete;
    DescriptorCloser& operator=(const DescriptorCloser&) = delete;

    void close(uid_t sender, std::vector<UniqueFd> fds);
    // Readable once some have been closed; then collect().
    int fd() const;
    void collect();
    size_t waiting(uid_t sender) const;
    bool backlogged(uid_t sender) const { return waiting(sender) >= maxWaitingPerUser; }

private:
    // What the loop and the senders' threads share, under its mutex; a thread keeps it alive.
    struct Shared {
        std::mutex mutex;
        UniqueFd wake;
        struct Lane {
            std::deque<int> queue;
            std::thread thread;
            bool running = false;
        };
        std::map<uid_t, Lane> lanes;
        std::vector<uid_t> closed;
    };
    static void work(const std::shared_ptr<Shared>& shared, uid_t sender);

    std::shared_ptr<Shared> shared_;
    // The loop's alone.
    std::map<uid_t, size_t> waiting_;
};
