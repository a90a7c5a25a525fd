#include "helperd/TunnelDevice.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t maxFdInfoBytes = 4096;

std::string readSmall(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return {};
    char buffer[maxFdInfoBytes];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

} // namespace

std::optional<std::string> TunnelDevice::fromFdInfo(const std::string& fdinfo) {
    static const std::string key = "\niff:\t";
    const size_t at = ("\n" + fdinfo).find(key);
    if (at == std::string::npos)
        return std::nullopt;
    const size_t start = at + key.size() - 1;
    const size_t end = fdinfo.find('\n', start);
    if (end == std::string::npos)
        return std::nullopt;
    std::string name = fdinfo.substr(start, end - start);
    if (name.empty())
        return std::nullopt;
    return name;
}

std::optional<std::string> TunnelDevice::heldBy(pid_t pid) {
    const std::string base = "/proc/" + std::to_string(pid);
    DIR* dir = ::opendir((base + "/fd").c_str());
    if (!dir)
        return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string name = entry->d_name;
        char target[64];
        const ssize_t n = ::readlink((base + "/fd/" + name).c_str(), target, sizeof target - 1);
        if (n <= 0 || std::string(target, static_cast<size_t>(n)) != "/dev/net/tun")
            continue;
        found = fromFdInfo(readSmall(base + "/fdinfo/" + name));
        if (found)
            break;
    }
    ::closedir(dir);
    return found;
}
