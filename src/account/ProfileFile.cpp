#include "account/ProfileFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Opens the file's directory, making it owner-only if it is missing; -1 with `refusal`
// set if it is a link, not a directory, or not the user's own.
int openOwnDirectory(const std::string& dir, std::string& refusal) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        refusal = failure(dir);
        return -1;
    }
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        refusal = errno == ELOOP || errno == ENOTDIR ? dir + " is not a directory of its own"
                                                     : failure(dir);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0)
        refusal = failure(dir);
    else if (st.st_uid != ::geteuid())
        refusal = dir + " belongs to another user";
    else if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0)
        refusal = failure(dir);
    if (!refusal.empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::string ProfileFile::defaultPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/quovant/" + fileName;
    return "/tmp/quovant-" + std::to_string(::geteuid()) + "/" + fileName;
}

std::string ProfileFile::write(const std::string& filePath, const std::string& text) {
    const size_t slash = filePath.rfind('/');
    if (slash == std::string::npos || slash + 1 == filePath.size())
        return filePath + " is not a file path";
    std::string refusal;
    const int dirFd = openOwnDirectory(slash == 0 ? "/" : filePath.substr(0, slash), refusal);
    if (dirFd < 0)
        return refusal;
    const std::string name = filePath.substr(slash + 1);
    const int fd =
        ::openat(dirFd, name.c_str(),
                 O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    ::close(dirFd);
    if (fd < 0)
        return errno == ELOOP ? filePath + " is a symbolic link" : failure(filePath);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        refusal = failure(filePath);
    else if (!S_ISREG(st.st_mode))
        refusal = filePath + " is not a regular file";
    else if (st.st_uid != ::geteuid())
        refusal = filePath + " belongs to another user";
    else if (st.st_nlink != 1)
        refusal = filePath + " has other names (hard links)";
    else if ((st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        refusal = failure(filePath);
    else if (::ftruncate(fd, 0) != 0)
        refusal = failure(filePath);
    for (size_t written = 0; refusal.empty() && written < text.size();) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            refusal = failure(filePath);
        else
            written += static_cast<size_t>(n);
    }
    ::close(fd);
    return refusal;
}
