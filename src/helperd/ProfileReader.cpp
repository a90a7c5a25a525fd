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

} // namespace

ProfileContents ProfileReader::read(const std::string& path, uid_t uid, gid_t gid,
                                    size_t maxBytes) {
    ProfileContents result;
    if (path.empty() || path[0] != '/') {
        result.refusal = "profile path is not absolute";
        return result;
    }
    const int fd = openAs(path, uid, gid);
    if (fd < 0) {
        result.refusal = errno == ELOOP
                             ? "profile is a symbolic link"
                             : std::string("cannot open profile: ") + std::strerror(errno);
        return result;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        result.refusal = "profile is not a regular file";
    else if (st.st_uid != uid)
        result.refusal = "profile is not owned by the requesting user";
    else if (st.st_mode & (S_IWGRP | S_IWOTH))
        result.refusal = "profile is writable by others";
    else if (static_cast<size_t>(st.st_size) > maxBytes)
        result.refusal = "profile is larger than " + std::to_string(maxBytes) + " bytes";
    if (!result.refusal.empty()) {
        ::close(fd);
        return result;
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
        result.refusal = "cannot read profile";
    else if (text.size() > maxBytes)
        result.refusal = "profile is larger than " + std::to_string(maxBytes) + " bytes";
    else
        result.text = std::move(text);
    return result;
}
