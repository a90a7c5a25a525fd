#pragma once

#include "platform/UniqueFd.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

// Closes the descriptors clients sent, away from the daemon's loop: a close may block for
// as long as the sender likes (a TCP socket lingering over data it cannot deliver, a file
// whose FUSE server never answers the flush), and the loop serves everyone. One worker
// thread closes them in turn, turning a socket's linger off first; the loop learns through
// fd() whose have been closed, and counts the ones still waiting per user, so that it can
// stop reading from a user whose descriptors pile up.
class DescriptorCloser {
public:
    // Beyond this many waiting, a user's connections are not read from.
    static constexpr size_t maxWaitingPerUser = 16;

    DescriptorCloser();
    ~DescriptorCloser();
    DescriptorCloser(const DescriptorCloser&) = delete;
    DescriptorCloser& operator=(const DescriptorCloser&) = delete;

    void close(uid_t sender, std::vector<UniqueFd> fds);
    // Readable once the worker has closed some; then collect().
    int fd() const { return wake_.get(); }
    void collect();
    size_t waiting(uid_t sender) const;
    bool backlogged(uid_t sender) const { return waiting(sender) >= maxWaitingPerUser; }

private:
    void work();

    UniqueFd wake_;
    // The loop's alone.
    std::map<uid_t, size_t> waiting_;
    // Shared with the worker, under mutex_.
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::pair<uid_t, int>> queue_;
    std::vector<uid_t> closed_;
    bool stopping_ = false;
    std::thread worker_;
};
