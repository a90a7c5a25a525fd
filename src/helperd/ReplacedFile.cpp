#include "helperd/ReplacedFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes the new entry under a name mkostemp chose, then renames it over `path`.
template <typename Fill> Result<void> replace(const std::string& path, Fill fill) {
    std::string temporary = path + ".quovant.XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return Result<void>::failure("cannot write beside " + path + ": " + std::strerror(errno));
    const bool ok = fill(fd, temporary) && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        const std::string why = "cannot replace " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return Result<void>::failure(why);
    }
    return Result<void>::success();
}

} // namespace

Result<void> ReplacedFile::withBytes(const std::string& path, const std::string& bytes,
                                     mode_t mode) {
    return replace(path, [&](int fd, const std::string&) {
        size_t at = 0;
        bool ok = true;
        while (ok && at < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
            ok = n > 0 || (n < 0 && errno == EINTR);
            at += n > 0 ? static_cast<size_t>(n) : 0;
        }
        ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
        return ::close(fd) == 0 && ok;
    });
}

Result<void> ReplacedFile::withLink(const std::string& path, const std::string& target) {
    return replace(path, [&](int fd, const std::string& temporary) {
        ::close(fd);
        // The name is ours (mkostemp made it): the link takes its place.
        return ::unlink(temporary.c_str()) == 0 &&
               ::symlink(target.c_str(), temporary.c_str()) == 0;
    });
}
