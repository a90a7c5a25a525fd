#include "helperd/DescriptorCloser.h"

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A TCP connection on loopback whose peer never reads, its send queue full and linger on
// for `seconds`: the last close of it waits that long for the queue to drain.
struct LingeringSocket {
    UniqueFd listener{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    UniqueFd peer;
    UniqueFd socket{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};

    explicit LingeringSocket(int seconds) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        const int small = 4096;
        ::setsockopt(listener.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        EXPECT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(listener.get(), 1), 0);
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
        EXPECT_EQ(::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
        peer.reset(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        const std::string chunk(65536, 'x');
        while (::send(socket.get(), chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0) {
        }
        const linger on{1, seconds};
        EXPECT_EQ(::setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, &on, sizeof on), 0);
    }
};

TEST(DescriptorCloser, ALingeringSocketIsClosedWithoutWaitingAndCountedPerUser) {
    DescriptorCloser closer;
    LingeringSocket lingering(30);
    int pipes[2];
    ASSERT_EQ(::pipe2(pipes, O_CLOEXEC), 0);
    std::vector<UniqueFd> sent;
    sent.emplace_back(lingering.socket.release());
    sent.emplace_back(pipes[0]);
    const auto start = std::chrono::steady_clock::now();
    closer.close(1001, std::move(sent));
    EXPECT_EQ(closer.waiting(1001), 2u);
    EXPECT_EQ(closer.waiting(1000), 0u);
    // Both are closed long before the linger would have ended; the pipe's reader with them.
    while (closer.waiting(1001) > 0 && std::chrono::steady_clock::now() - start < 20s) {
        pollfd p{closer.fd(), POLLIN, 0};
        if (::poll(&p, 1, 1000) > 0)
            closer.collect();
    }
    EXPECT_EQ(closer.waiting(1001), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    pollfd writer{pipes[1], POLLOUT, 0};
    ASSERT_EQ(::poll(&writer, 1, 0), 1);
    EXPECT_TRUE(writer.revents & POLLERR) << "the pipe's reader is closed";
    ::close(pipes[1]);
}

TEST(DescriptorCloser, AUserWhoseDescriptorsPileUpIsBackloggedAlone) {
    DescriptorCloser closer;
    std::vector<UniqueFd> many;
    for (size_t i = 0; i < DescriptorCloser::maxWaitingPerUser; ++i)
        many.emplace_back(::dup(STDERR_FILENO));
    closer.close(1001, std::move(many));
    // Counted until the loop collects: the loop's view changes only in the loop.
    EXPECT_TRUE(closer.backlogged(1001));
    EXPECT_FALSE(closer.backlogged(1000));
    const auto start = std::chrono::steady_clock::now();
    while (closer.backlogged(1001) && std::chrono::steady_clock::now() - start < 10s) {
        pollfd p{closer.fd(), POLLIN, 0};
        if (::poll(&p, 1, 1000) > 0)
            closer.collect();
    }
    EXPECT_FALSE(closer.backlogged(1001));
}

} // namespace
