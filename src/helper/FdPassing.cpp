#include "helper/FdPassing.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

ssize_t FdPassing::send(int socket, std::string_view bytes, int fd, int flags) {
    iovec data{const_cast<char*>(bytes.data()), bytes.size()};
    msghdr message{};
    message.msg_iov = &data;
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
    ssize_t n;
    do {
        n = ::sendmsg(socket, &message, flags | MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
}

FdPassing::Received FdPassing::receive(int socket, char* buffer, size_t size, int flags) {
    Received received;
    iovec data{buffer, size};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kernelMaxFds)];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    do {
        received.bytes = ::recvmsg(socket, &message, flags | MSG_CMSG_CLOEXEC);
    } while (received.bytes < 0 && errno == EINTR);
    if (received.bytes < 0)
        return received;
    received.truncated = (message.msg_flags & MSG_CTRUNC) != 0;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
            received.fds.emplace_back(fd);
        }
    }
    return received;
}
