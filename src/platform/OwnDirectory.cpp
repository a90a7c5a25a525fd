#include "platform/OwnDirectory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string withErrno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The directory held open as `fd` must be the user's own and owner-only.
Result<void> ownDirectory(int fd, const std::string& dir) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return Result<void>::failure(withErrno(dir));
    if (st.st_uid != ::geteuid())
        return Result<void>::failure(dir + " belongs to another user");
    if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0)
        return Result<void>::failure(withErrno(dir));
    return Result<void>::success();
}

} // namespace

Result<int> OwnDirectory::open(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return Result<int>::failure(withErrno(dir));
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Result<int>::failure(errno == ELOOP || errno == ENOTDIR
                                        ? dir + " is not a directory of its own"
                                        : withErrno(dir));
    const Result<void> own = ownDirectory(fd, dir);
    if (!own) {
        ::close(fd);
        return Result<int>::failure(own.why());
    }
    return Result<int>::success(fd);
}
