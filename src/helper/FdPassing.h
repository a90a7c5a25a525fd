#pragma once

#include "platform/UniqueFd.h"

#include <cstddef>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Descriptors sent along with bytes over a Unix stream socket (SCM_RIGHTS). The kernel
// hands a descriptor to the receiver with the first read that reaches the bytes it was
// sent with, and ends that read with them: the last byte such a read returns is one of
// those bytes. Whoever cuts the stream into messages ties the descriptors to the message
// that byte belongs to (LineReader does).
class FdPassing {
public:
    // More than a message ever carries: a peer that sends more is not a client.
    static constexpr size_t maxFdsPerRead = 4;
    // What the kernel passes with one message at most (SCM_MAX_FD). A read takes them all: any
    // the reader had no room for, the kernel would close in the reader's thread as the read
    // returns, and a close may block (a lingering TCP socket whose last copy that is).
    static constexpr size_t kernelMaxFds = 253;

    struct Received {
        ssize_t bytes = -1; // as recv() returns it; errno tells why when negative
        // Close-on-exec, whatever the sender set.
        std::vector<UniqueFd> fds;
        // More descriptors came than there was room for (never, but from a kernel that
        // passes more than kernelMaxFds): the kernel closed the rest.
        bool truncated = false;
    };

    // Sends `bytes` with `fd` (none when negative) attached; returns what send() returns.
    // The descriptor stays the caller's: the receiver gets a copy.
    static ssize_t send(int socket, std::string_view bytes, int fd, int flags = 0);
    static Received receive(int socket, char* buffer, size_t size, int flags = 0);
};
