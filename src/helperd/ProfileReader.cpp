#include "helperd/ProfileReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

std::string tooLarge(size_t maxBytes) {
    return "profile is larger than " + std::to_string(maxBytes) + " bytes";
}

Result<void> acceptable(int fd, uid_t uid, size_t maxBytes) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY || (flags & O_PATH))
        return Result<void>::failure("profile is not open for reading");
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return Result<void>::failure("profile is not a regular file");
    if (st.st_uid != uid)
        return Result<void>::failure("profile is not owned by the requesting user");
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return Result<void>::failure("profile is writable by others");
    if (static_cast<size_t>(st.st_size) > maxBytes)
        return Result<void>::failure(tooLarge(maxBytes));
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0 || fs.f_type == FUSE_SUPER_MAGIC)
        return Result<void>::failure("profile is on a file system served by a user process");
    return Result<void>::success();
}

} // namespace

Result<std::string> ProfileReader::read(int fd, uid_t uid, size_t maxBytes) {
    using Read = Result<std::string>;
    if (const Result<void> file = acceptable(fd, uid, maxBytes); !file)
        return Read::failure(file.why());
    // From the start, whatever the caller's offset in the shared open file is.
    std::string text;
    char chunk[16384];
    ssize_t n;
    while ((n = ::pread(fd, chunk, sizeof chunk, static_cast<off_t>(text.size()))) > 0 ||
           (n < 0 && errno == EINTR)) {
        if (n > 0)
            text.append(chunk, static_cast<size_t>(n));
        if (text.size() > maxBytes)
            break; // the file grew after the size check
    }
    if (n < 0)
        return Read::failure(std::string("cannot read profile: ") + std::strerror(errno));
    if (text.size() > maxBytes)
        return Read::failure(tooLarge(maxBytes));
    return Read::success(std::move(text));
}
