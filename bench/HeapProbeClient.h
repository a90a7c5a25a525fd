#pragma once

#include "TempDir.h"

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

// The bench's side of the heap probe (HeapProbe.cpp): the environment that preloads it
// into one process, and the live heap bytes that process holds, asked for through the
// probe's socket in a private directory of the measured user.
class HeapProbeClient {
public:
    HeapProbeClient(const std::string& library, uid_t user) : library_(library) {
        if (::chown(dir_.path().c_str(), user, user) != 0)
            throw std::runtime_error("cannot hand the probe's directory to the user");
        std::filesystem::permissions(dir_.path(), std::filesystem::perms(0700));
    }

    // "NAME=value" entries to add to the measured process's environment.
    std::vector<std::string> environment() const {
        return {"LD_PRELOAD=" + library_, "QUOVANT_BENCH_HEAP_PROBE=" + socketPath()};
    }

    // Bytes of heap in use in the process; none when the probe does not answer in 5 s.
    std::optional<long long> liveBytes() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return std::nullopt;
        const timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = socketPath();
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        std::string reply;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::write(fd, "?", 1) == 1) {
            char buffer[64];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0 && reply.size() < 64;)
                reply.append(buffer, static_cast<size_t>(n));
        }
        ::close(fd);
        if (reply.empty() || reply.back() != '\n')
            return std::nullopt;
        return std::atoll(reply.c_str());
    }

private:
    std::string socketPath() const { return (dir_ / "heap").string(); }

    TempDir dir_{"quovant-heap-probe"};
    const std::string library_;
};
