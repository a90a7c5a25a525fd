#pragma once

#include "platform/Result.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

// Why a socket operation failed: the kind decides what the caller does next, the
// description is for the log.
struct SocketError {
    enum class Kind { connectionClosed, notConnected, system };

    Kind kind;
    int systemError = 0;

    std::string description() const;
};

using SocketResult = Result<void, SocketError>;

struct ReadResult {
    enum class Status { data, timedOut, closed };
    Status status = Status::closed;
    std::string bytes;
};

// One open stream socket connection. Reading and sending may run on different threads at the
// same time; shutdown() from any thread wakes a blocked read, which then reports
// `closed`. The descriptors live as long as the last holder of the object.
class StreamConnection {
public:
    StreamConnection(int fd, int wakeFd);
    ~StreamConnection();
    StreamConnection(const StreamConnection&) = delete;
    StreamConnection& operator=(const StreamConnection&) = delete;

    SocketResult send(std::string_view data);

    // Up to `maxBytes`; `timeoutSeconds` < 0 waits until bytes arrive or the connection ends.
    ReadResult read(size_t maxBytes, double timeoutSeconds);
    // Waits like read() but takes nothing: `data` when a read would return at once with
    // bytes or with the connection's end.
    ReadResult::Status waitReadable(double timeoutSeconds);

    void shutdown();

private:
    const int fd_;
    const int wakeFd_;
    std::mutex sendMutex_;
};
