#include "account/ProfileFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::string ProfileFile::write(const std::string& filePath, const std::string& text) {
    const int fd =
        ::open(filePath.c_str(),
               O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return errno == ELOOP ? filePath + " is a symbolic link"
                              : filePath + ": " + std::strerror(errno);
    std::string refusal;
    struct stat st;
    if (::fstat(fd, &st) != 0)
        refusal = filePath + ": " + std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        refusal = filePath + " is not a regular file";
    else if (st.st_uid != ::geteuid())
        refusal = filePath + " belongs to another user";
    else if (st.st_nlink != 1)
        refusal = filePath + " has other names (hard links)";
    else if ((st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        refusal = filePath + ": " + std::strerror(errno);
    else if (::ftruncate(fd, 0) != 0)
        refusal = filePath + ": " + std::strerror(errno);
    for (size_t written = 0; refusal.empty() && written < text.size();) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            refusal = filePath + ": " + std::strerror(errno);
        else
            written += static_cast<size_t>(n);
    }
    ::close(fd);
    return refusal;
}
