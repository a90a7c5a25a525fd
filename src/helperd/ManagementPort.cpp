#include "helperd/ManagementPort.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr std::string_view listenState = "0A";
// The socket tables of a busy machine can be long; this bounds what is read of them.
constexpr size_t maxTableBytes = 4 * 1024 * 1024;

std::string readTable(const char* path) {
    std::string text;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char chunk[16384];
    ssize_t n;
    while (text.size() < maxTableBytes && (n = ::read(fd, chunk, sizeof chunk)) > 0)
        text.append(chunk, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

std::optional<uint64_t> number(std::string_view text, int base) {
    if (text.empty() || text.size() > 20)
        return std::nullopt;
    const std::string copy(text);
    char* end = nullptr;
    const unsigned long long value = std::strtoull(copy.c_str(), &end, base);
    if (*end != '\0')
        return std::nullopt;
    return value;
}

} // namespace

std::vector<ManagementPort::Listener> ManagementPort::parse(std::string_view table, int port) {
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid ..
    // timeout inode", local_address as hex address ":" hex port.
    std::vector<Listener> found;
    size_t start = table.find('\n');
    while (start != std::string_view::npos && start + 1 < table.size()) {
        const size_t end = table.find('\n', start + 1);
        const auto columns = fields(table.substr(
            start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1));
        start = end;
        if (columns.size() < 10 || columns[3] != listenState)
            continue;
        const size_t colon = columns[1].rfind(':');
        if (colon == std::string_view::npos)
            continue;
        const auto localPort = number(columns[1].substr(colon + 1), 16);
        const auto uid = number(columns[7], 10);
        const auto inode = number(columns[9], 10);
        if (localPort && uid && inode && *localPort == static_cast<uint64_t>(port))
            found.push_back({static_cast<uid_t>(*uid), *inode});
    }
    return found;
}

std::vector<ManagementPort::Listener> ManagementPort::listeners(int port) {
    auto found = parse(readTable("/proc/net/tcp"), port);
    for (const auto& listener : parse(readTable("/proc/net/tcp6"), port))
        found.push_back(listener);
    return found;
}

bool ManagementPort::listensFor(pid_t pid, int port) {
    const auto candidates = listeners(port);
    if (candidates.empty())
        return false;
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* dir = ::opendir(fdDir.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        char target[64];
        const std::string link = fdDir + "/" + entry->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        for (const auto& candidate : candidates)
            if (std::string(target) == "socket:[" + std::to_string(candidate.inode) + "]")
                found = true;
    }
    ::closedir(dir);
    return found;
}
