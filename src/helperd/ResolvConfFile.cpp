#include "helperd/ResolvConfFile.h"

#include "helperd/ReplacedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

Result<ResolvConfFile::Original> ResolvConfFile::read() const {
    Original original;
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return Result<Original>::success(original);
        return Result<Original>::failure(failed("cannot look at " + path_));
    }
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = ::readlink(path_.c_str(), target, sizeof target);
        if (n < 0 || static_cast<size_t>(n) >= sizeof target)
            return Result<Original>::failure("cannot read the link " + path_);
        original.kind = Original::Kind::link;
        original.content.assign(target, static_cast<size_t>(n));
        return Result<Original>::success(original);
    }
    if (!S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) > maxBytes)
        return Result<Original>::failure(path_ + " is no small file");
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return Result<Original>::failure(failed("cannot open " + path_));
    char buffer[maxBytes + 1];
    size_t total = 0;
    for (ssize_t n;
         total <= maxBytes && (n = ::read(fd, buffer + total, sizeof buffer - total)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const std::string why = failed("cannot read " + path_);
            ::close(fd);
            return Result<Original>::failure(why);
        }
        total += static_cast<size_t>(n);
    }
    ::close(fd);
    if (total > maxBytes)
        return Result<Original>::failure(path_ + " is no small file");
    original.kind = Original::Kind::file;
    original.content.assign(buffer, total);
    original.mode = st.st_mode & 07777;
    return Result<Original>::success(original);
}

Result<void> ResolvConfFile::put(const Original& what) const {
    if (what.kind == Original::Kind::absent) {
        if (::unlink(path_.c_str()) != 0 && errno != ENOENT)
            return Result<void>::failure(failed("cannot remove " + path_));
        return Result<void>::success();
    }
    if (what.kind == Original::Kind::link)
        return ReplacedFile::withLink(path_, what.content);
    return ReplacedFile::withBytes(path_, what.content, what.mode);
}

Result<ResolvConfFile::Original> ResolvConfFile::replace(const std::string& text) const {
    auto original = read();
    if (!original)
        return original;
    if (auto written = put({Original::Kind::file, text, 0644}); !written)
        return Result<Original>::failure(written.why());
    return original;
}

Result<bool> ResolvConfFile::restore(const Original& original, const std::string& written) const {
    const auto now = read();
    if (!now)
        return Result<bool>::failure(now.why());
    if (now.value() != Original{Original::Kind::file, written, 0644})
        return Result<bool>::success(false);
    if (auto put = this->put(original); !put)
        return Result<bool>::failure(put.why());
    return Result<bool>::success(true);
}
