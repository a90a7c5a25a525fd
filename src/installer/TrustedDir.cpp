#include "installer/TrustedDir.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what);
}

[[noreturn]] void failErrno(const std::string& what) {
    fail(what + ": " + std::strerror(errno));
}

bool writableByOthers(const struct stat& st) {
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

void checkDirectory(int fd, const std::string& path) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        failErrno(path);
    if (!S_ISDIR(st.st_mode))
        fail(path + " is not a directory");
    if (st.st_uid != 0)
        fail(path + " is not owned by root");
    if (writableByOthers(st) && !(st.st_mode & S_ISVTX))
        fail(path + " is writable by others than root");
}

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int release() { return std::exchange(fd, -1); }
};

} // namespace

TrustedDir TrustedDir::open(const std::string& path, bool create) {
    if (path.empty() || path[0] != '/')
        fail("not an absolute path: " + path);
    Fd current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (current.fd < 0)
        failErrno("/");
    checkDirectory(current.fd, "/");
    std::string walked;
    size_t start = 1;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".")
            continue;
        if (name == "..")
            fail("a path with .. is not taken: " + path);
        walked += "/" + name;
        int next =
            ::openat(current.fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(current.fd, name.c_str(), 0755) != 0 && errno != EEXIST)
                failErrno("cannot make " + walked);
            next =
                ::openat(current.fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0)
            failErrno(errno == ENOTDIR || errno == ELOOP ? walked + " is a link or not a directory"
                                                         : walked);
        Fd nextFd(next);
        checkDirectory(nextFd.fd, walked);
        ::close(current.fd);
        current.fd = nextFd.release();
    }
    // The directory itself must not be a shared sticky one: what is in it is root's alone.
    struct stat st;
    if (::fstat(current.fd, &st) != 0 || writableByOthers(st))
        fail((walked.empty() ? "/" : walked) + " is writable by others than root");
    // Reopened for reading, as O_PATH descriptors cannot be fsynced.
    const int readable = ::openat(current.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0)
        failErrno(path);
    return TrustedDir(readable, walked.empty() ? "/" : walked);
}

TrustedDir::TrustedDir(TrustedDir&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

TrustedDir& TrustedDir::operator=(TrustedDir&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(path_, other.path_);
    return *this;
}

TrustedDir::~TrustedDir() {
    if (fd_ >= 0)
        ::close(fd_);
}

int TrustedDir::openTrustedFile(const std::string& name) const {
    const std::string where = path_ + "/" + name;
    Fd fd(::openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.fd < 0 && errno == ENOENT)
        fail(where + " is missing");
    if (fd.fd < 0)
        failErrno(errno == ELOOP ? where + " is a link" : where);
    struct stat st;
    if (::fstat(fd.fd, &st) != 0)
        failErrno(where);
    if (!S_ISREG(st.st_mode))
        fail(where + " is not a regular file");
    if (st.st_uid != 0)
        fail(where + " is not owned by root");
    if (writableByOthers(st))
        fail(where + " is writable by others than root");
    return fd.release();
}

bool TrustedDir::readSmallFile(const std::string& name, size_t limit, std::string& text) const {
    if (!exists(name))
        return false;
    Fd fd(openTrustedFile(name));
    text.assign(limit, '\0');
    size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::read(fd.fd, text.data() + got, limit - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    return true;
}

template <typename Fill>
void TrustedDir::writeAtomically(const std::string& name, mode_t mode, Fill fill) const {
    std::random_device random;
    const std::string temporary = "." + name + "." + std::to_string(random()) + ".new";
    const std::string where = path_ + "/" + name;
    Fd fd(::openat(fd_, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0600));
    if (fd.fd < 0)
        failErrno("cannot write " + where);
    try {
        fill(fd.fd);
        if (::fchown(fd.fd, 0, 0) != 0 || ::fchmod(fd.fd, mode) != 0 || ::fsync(fd.fd) != 0)
            failErrno("cannot write " + where);
        if (::renameat(fd_, temporary.c_str(), fd_, name.c_str()) != 0)
            failErrno("cannot put " + where + " in place");
    } catch (...) {
        ::unlinkat(fd_, temporary.c_str(), 0);
        throw;
    }
    ::fsync(fd_);
}

void TrustedDir::writeFileFrom(const std::string& name, int sourceFd, mode_t mode) const {
    writeAtomically(name, mode, [&](int out) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(sourceFd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                failErrno("cannot read the source of " + path_ + "/" + name);
            if (n == 0)
                return;
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0)
                    failErrno("cannot write " + path_ + "/" + name);
                done += w;
            }
        }
    });
}

void TrustedDir::writeFile(const std::string& name, const std::string& text, mode_t mode) const {
    writeAtomically(name, mode, [&](int out) {
        if (::write(out, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            failErrno("cannot write " + path_ + "/" + name);
    });
}

bool TrustedDir::remove(const std::string& name) const {
    if (::unlinkat(fd_, name.c_str(), 0) == 0)
        return true;
    if (errno != ENOENT)
        failErrno("cannot remove " + path_ + "/" + name);
    return false;
}

void TrustedDir::removeRootSocket(const std::string& name) const {
    struct stat st;
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(st.st_mode) &&
        st.st_uid == 0)
        remove(name);
}

bool TrustedDir::exists(const std::string& name) const {
    struct stat st;
    return ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

void TrustedDir::removeEmptyDirectory(const std::string& name) const {
    if (::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT && errno != ENOTEMPTY)
        failErrno("cannot remove " + path_ + "/" + name);
}
