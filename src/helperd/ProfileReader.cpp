#include "helperd/ProfileReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens with the caller's fsuid/fsgid, so the daemon reaches no file the caller
// could not. The daemon is single-threaded, which makes the switch safe.
int openAs(const std::string& path, uid_t uid, gid_t gid) {
    const auto oldGid = static_cast<gid_t>(::setfsgid(gid));
    const auto oldUid = static_cast<uid_t>(::setfsuid(uid));
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    const int err = errno;
    ::setfsuid(oldUid);
    ::setfsgid(oldGid);
    errno = err;
    return fd;
}

std::string tooLarge(size_t maxBytes) {
    return "profile is larger than " + std::to_string(maxBytes) + " bytes";
}

// The open file `fd` must be a regular file of `uid`'s that nobody else may write.
Result<void> acceptable(int fd, uid_t uid, size_t maxBytes) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return Result<void>::failure("profile is not a regular file");
    if (st.st_uid != uid)
        return Result<void>::failure("profile is not owned by the requesting user");
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return Result<void>::failure("profile is writable by others");
    if (static_cast<size_t>(st.st_size) > maxBytes)
        return Result<void>::failure(tooLarge(maxBytes));
    return Result<void>::success();
}

} // namespace

Result<std::string> ProfileReader::read(const std::string& path, uid_t uid, gid_t gid,
                                        size_t maxBytes) {
    using Read = Result<std::string>;
    if (path.empty() || path[0] != '/')
        return Read::failure("profile path is not absolute");
    const int fd = openAs(path, uid, gid);
    if (fd < 0)
        return Read::failure(errno == ELOOP
                                 ? "profile is a symbolic link"
                                 : std::string("cannot open profile: ") + std::strerror(errno));
    if (const Result<void> file = acceptable(fd, uid, maxBytes); !file) {
        ::close(fd);
        return Read::failure(file.why());
    }
    std::string text;
    char chunk[16384];
    ssize_t n;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            text.append(chunk, static_cast<size_t>(n));
        if (text.size() > maxBytes)
            break; // the file grew after the size check
    }
    ::close(fd);
    if (n < 0)
        return Read::failure("cannot read profile");
    if (text.size() > maxBytes)
        return Read::failure(tooLarge(maxBytes));
    return Read::success(std::move(text));
}
