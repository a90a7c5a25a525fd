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

// What is missing above the directory is made owner-only, as the XDG base directory
// rules ask of a cache the user has never had; what exists is left as it is.
void makeParents(const std::string& dir) {
    for (size_t slash = dir.find('/', 1); slash != std::string::npos;
         slash = dir.find('/', slash + 1))
        ::mkdir(dir.substr(0, slash).c_str(), 0700);
}

} // namespace

Result<int> OwnDirectory::open(const std::string& dir) {
    makeParents(dir);
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
