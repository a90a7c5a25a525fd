#include "helperd/DnsRecordFile.h"

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

Result<void> DnsRecordFile::save(const DnsRecord& record) const {
    return ReplacedFile::withBytes(path_, record.text(), 0600);
}

Result<std::optional<DnsRecord>> DnsRecordFile::load() const {
    using Loaded = Result<std::optional<DnsRecord>>;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? Loaded::success(std::nullopt)
                               : Loaded::failure(failed("cannot open " + path_));
    struct stat st {};
    std::string text;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
              static_cast<size_t>(st.st_size) <= DnsRecord::maxBytes;
    if (ok) {
        text.resize(static_cast<size_t>(st.st_size));
        ok = ::read(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    ::close(fd);
    if (!ok)
        return Loaded::failure(path_ + " is not a record this daemon wrote");
    auto record = DnsRecord::parse(text);
    if (!record)
        return Loaded::failure(path_ + " holds no record");
    return Loaded::success(std::move(record));
}

Result<void> DnsRecordFile::remove() const {
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT)
        return Result<void>::failure(failed("cannot remove " + path_));
    return Result<void>::success();
}
