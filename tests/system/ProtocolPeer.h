// A client of the helper written from docs/helper-protocol.md alone, for the system tests
// that judge who may act: JSON lines over the Unix socket, the profile as SCM_RIGHTS.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class ProtocolPeer {
public:
    ~ProtocolPeer() {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool connect(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        return fd_ >= 0 &&
               ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    // Sends one request, with `fd` as its descriptor when it is not negative.
    bool send(const std::string& members, int fd = -1) {
        const std::string line = "{\"v\":1,\"id\":" + std::to_string(++id_) + "," + members + "}\n";
        iovec part{const_cast<char*>(line.data()), line.size()};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        if (fd >= 0) {
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            cmsghdr* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_RIGHTS;
            header->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
        }
        return ::sendmsg(fd_, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    }

    // The next reply line within `timeout`; descriptors that come with it are closed.
    std::optional<std::string> reply(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const size_t end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char chunk[4096];
            iovec part{chunk, sizeof chunk};
            alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t n = ::recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
            if (n <= 0)
                return std::nullopt;
            for (cmsghdr* h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h))
                if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_RIGHTS)
                    for (size_t i = 0; i < (h->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++i) {
                        int passed;
                        std::memcpy(&passed, CMSG_DATA(h) + i * sizeof(int), sizeof passed);
                        ::close(passed);
                    }
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    // The reply of a kind, skipping others, within `timeout`.
    std::optional<std::string> replyOf(const std::string& kind, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (auto line = reply(std::chrono::duration_cast<std::chrono::milliseconds>(
                   deadline - std::chrono::steady_clock::now())))
            if (line->find("\"reply\":\"" + kind + "\"") != std::string::npos)
                return line;
        return std::nullopt;
    }

    // A string member of a reply, its escapes but \" and \\ left as they are.
    static std::string member(const std::string& line, const std::string& name) {
        const std::string key = "\"" + name + "\":\"";
        size_t at = line.find(key);
        if (at == std::string::npos)
            return {};
        std::string value;
        for (at += key.size(); at < line.size() && line[at] != '"'; ++at) {
            if (line[at] == '\\' && at + 1 < line.size())
                ++at;
            value += line[at];
        }
        return value;
    }

    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::string buffer_;
    uint64_t id_ = 0;
};
