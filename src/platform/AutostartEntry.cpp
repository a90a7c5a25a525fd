#include "platform/AutostartEntry.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An Exec argument in the quoting of the desktop entry format: in double quotes, the
// characters that stay special inside them escaped with a backslash, which the string
// escaping of the file then doubles (so a backslash itself becomes four), and "%"
// doubled, since field codes start with it.
std::string quotedArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '\\')
            quoted += "\\\\\\\\";
        else if (c == '"' || c == '`' || c == '$')
            quoted += std::string("\\\\") + c;
        else if (c == '%')
            quoted += "%%";
        else
            quoted += c;
    }
    return quoted + "\"";
}

} // namespace

std::filesystem::path AutostartEntry::defaultPath() {
    std::filesystem::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        config = std::filesystem::path(home) / ".config";
    else
        return {};
    return config / "autostart" / "quovant.desktop";
}

std::string AutostartEntry::contentFor(const std::string& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quovant\n"
           "Comment=VPN client\n"
           "Exec=" +
           quotedArgument(executable) +
           "\n"
           "Icon=quovant\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool AutostartEntry::exists() const {
    std::error_code error;
    return !path_.empty() && std::filesystem::is_regular_file(path_, error);
}

bool AutostartEntry::write() const {
    // A line break would end the Exec line and start another key.
    if (path_.empty() || executable_.find_first_of("\r\n") != std::string::npos)
        return false;
    std::error_code error;
    std::filesystem::create_directories(path_.parent_path(), error);
    const std::string temporary = path_.string() + ".new";
    ::unlink(temporary.c_str());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::string content = contentFor(executable_);
    const bool written =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path_.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool AutostartEntry::remove() const {
    if (path_.empty())
        return true;
    return ::unlink(path_.c_str()) == 0 || errno == ENOENT;
}
