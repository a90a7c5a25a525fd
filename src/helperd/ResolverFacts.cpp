#include "helperd/ResolverFacts.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? resolved : "";
}

// An executable resolvconf of its own: systemd-resolved's package installs resolvectl
// under that name, which only speaks to resolved.
bool ownResolvconf(const std::string& path) {
    const std::string real = realPath(path);
    return !real.empty() && ::access(real.c_str(), X_OK) == 0 &&
           real.substr(real.rfind('/') + 1) != "resolvectl";
}

// Where a link leads, also when its target is not there (resolved's stub while resolved
// is stopped): a link to resolved must be known as one then too.
std::string linkTarget(const std::string& link) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::read_symlink(link, error);
    if (error)
        return "";
    if (target.is_relative())
        target = std::filesystem::path(link).parent_path() / target;
    return std::filesystem::weakly_canonical(target, error).string();
}

// Something listens on the socket: its file stays behind when resolved stops.
bool listening(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return false;
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const int connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    // A full backlog (EAGAIN) is a listener too.
    const bool there = connected == 0 || errno == EAGAIN;
    ::close(fd);
    return there;
}

} // namespace

DnsPlan::Facts ResolverFacts::read() const {
    DnsPlan::Facts facts;
    facts.resolvConfTarget = linkTarget(resolvConf);
    facts.resolvedRunning = listening(resolvedSocket);
    facts.resolvconfInstalled = ownResolvconf(resolvconf) || ownResolvconf(resolvconfSbin);
    return facts;
}

bool ResolverFacts::openresolv() const {
    for (const std::string& path : {resolvconf, resolvconfSbin}) {
        if (!ownResolvconf(path))
            continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        // The name stands near the script's top; a bounded read is enough.
        char buffer[16384];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        ::close(fd);
        return n > 0 &&
               std::string_view(buffer, static_cast<size_t>(n)).find("OPENRESOLV_VERSION") !=
                   std::string_view::npos;
    }
    return false;
}
