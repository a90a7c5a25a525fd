#include "account/ProfileFile.h"

#include "platform/OwnDirectory.h"
#include "platform/PrivateDirectory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string withErrno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Replaces the content of the file opened as `fd`, if it is a regular file of the
// user's own with one name.
Result<void> replaceContent(int fd, const std::string& filePath, const std::string& text) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return Result<void>::failure(withErrno(filePath));
    if (!S_ISREG(st.st_mode))
        return Result<void>::failure(filePath + " is not a regular file");
    if (st.st_uid != ::geteuid())
        return Result<void>::failure(filePath + " belongs to another user");
    if (st.st_nlink != 1)
        return Result<void>::failure(filePath + " has other names (hard links)");
    if ((st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        return Result<void>::failure(withErrno(filePath));
    if (::ftruncate(fd, 0) != 0)
        return Result<void>::failure(withErrno(filePath));
    for (size_t written = 0; written < text.size();) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Result<void>::failure(withErrno(filePath));
        written += static_cast<size_t>(n);
    }
    return Result<void>::success();
}

} // namespace

std::string ProfileFile::defaultPath() {
    const std::string dir = PrivateDirectory::path();
    return dir.empty() ? "" : dir + "/" + fileName;
}

Result<void> ProfileFile::write(const std::string& filePath, const std::string& text) {
    if (filePath.empty())
        return Result<void>::failure("there is no private place for the profile: the session "
                                     "has no runtime directory and the user no home");
    const size_t slash = filePath.rfind('/');
    if (slash == std::string::npos || slash + 1 == filePath.size())
        return Result<void>::failure(filePath + " is not a file path");
    const Result<int> dir = OwnDirectory::open(slash == 0 ? "/" : filePath.substr(0, slash));
    if (!dir)
        return Result<void>::failure(dir.why());
    const std::string name = filePath.substr(slash + 1);
    const int fd =
        ::openat(dir.value(), name.c_str(),
                 O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    ::close(dir.value());
    if (fd < 0)
        return Result<void>::failure(errno == ELOOP ? filePath + " is a symbolic link"
                                                    : withErrno(filePath));
    const Result<void> written = replaceContent(fd, filePath, text);
    ::close(fd);
    return written;
}
