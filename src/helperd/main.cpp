// com.quovant.macos.helper: the privileged helper daemon. Runs as root, started by
// systemd socket activation or by the installer, and serves the Quovant application.
#include "helper/BundleInfo.h"
#include "helper/HelperPaths.h"
#include "helperd/HelperServer.h"
#include "helperd/OpenVPNAccount.h"
#include "platform/Log.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <string>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int systemdFirstFd = 3;

// The socket systemd hands over, if it started us for our socket unit.
int activatedSocket() {
    const char* pid = std::getenv("LISTEN_PID");
    const char* fds = std::getenv("LISTEN_FDS");
    if (!pid || !fds || std::strtol(pid, nullptr, 10) != ::getpid() ||
        std::strtol(fds, nullptr, 10) < 1)
        return -1;
    int listening = 0;
    socklen_t length = sizeof listening;
    if (::getsockopt(systemdFirstFd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 ||
        !listening)
        return -1;
    ::fcntl(systemdFirstFd, F_SETFD, FD_CLOEXEC);
    return systemdFirstFd;
}

// Listens on a socket file made at `path`; `made` identifies that file.
int listenOn(const std::string& path, struct stat& made) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path[0] != '/' || path.size() >= sizeof address.sun_path) {
        Log::line("unusable socket path " + path);
        return -1;
    }
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0) {
        // Only a stale socket of ours is removed; anything else at the path is left alone.
        if (!S_ISSOCK(st.st_mode) || st.st_uid != 0) {
            Log::line(path + " exists and is not a socket of root's");
            return -1;
        }
        ::unlink(path.c_str());
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const mode_t oldMask = ::umask(0);
    const bool ok = fd >= 0 &&
                    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::chmod(path.c_str(), 0666) == 0 && ::lstat(path.c_str(), &made) == 0 &&
                    ::listen(fd, 16) == 0;
    ::umask(oldMask);
    if (!ok) {
        Log::line("cannot listen on " + path + ": " + std::strerror(errno));
        return -1;
    }
    return fd;
}

// Where no system log runs (no systemd, no syslog daemon), the helper's lines go to a
// file of root's. It is opened without following a link, must be a regular file of
// root's with one name, and becomes standard output and error.
bool logTo(const std::string& path) {
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != 0 ||
        st.st_nlink != 1 || ::fchmod(fd, 0600) != 0) {
        Log::line("cannot log to " + path);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
    return true;
}

// Removes the socket file listenOn made, unless it has since been replaced: a newer
// helper that took over the path keeps its socket.
void removeSocketFile(const std::string& path, const struct stat& made) {
    struct stat now;
    if (::lstat(path.c_str(), &now) == 0 && S_ISSOCK(now.st_mode) && now.st_dev == made.st_dev &&
        now.st_ino == made.st_ino)
        ::unlink(path.c_str());
}

// Root's directory for the helper's openvpn and scripts: made unless the unit made it,
// and used only if it is a directory of root's that nobody else may enter (openvpn's
// management interface listens in it).
std::string runtimeDir() {
    const char* path = HelperPaths::runtimeDir;
    ::mkdir(path, 0700);
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    const bool usable = fd >= 0 && ::fstat(fd, &st) == 0 && st.st_uid == 0 &&
                        ((st.st_mode & 0077) == 0 || ::fchmod(fd, 0700) == 0);
    if (fd >= 0)
        ::close(fd);
    if (!usable) {
        Log::line(std::string("cannot use ") + path +
                  "; openvpn keeps its temporary files in /tmp, and no run can start");
        return {};
    }
    return path;
}

std::string executableDir() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

} // namespace

int main(int argc, char** argv) {
    Log::setIdentity(HelperPaths::label);
    if (::geteuid() != 0) {
        Log::line("the helper must run as root");
        return 1;
    }
    // Nothing the daemon or its openvpn opens may be found relative to wherever it was
    // started from.
    if (::chdir("/") != 0) {
        Log::line(std::string("cannot change to /: ") + std::strerror(errno));
        return 1;
    }
    std::string socketPath = HelperPaths::defaultSocket;
    std::string pidFile;
    std::string logFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--socket" && i + 1 < argc)
            socketPath = argv[++i];
        else if (arg == "--pidfile" && i + 1 < argc)
            pidFile = argv[++i];
        else if (arg == "--log" && i + 1 < argc)
            logFile = argv[++i];
        else {
            Log::line("usage: " + std::string(HelperPaths::label) +
                      " [--socket PATH] [--pidfile PATH] [--log FILE]");
            return 2;
        }
    }
    if (!logFile.empty() && !logTo(logFile))
        return 1;

    const auto version = BundleInfo::version("/proc/self/exe");
    if (!version) {
        Log::line("cannot read the helper's own version");
        return 1;
    }

    // A socket that systemd handed over is systemd's to remove.
    int listenFd = activatedSocket();
    std::optional<struct stat> made;
    if (listenFd < 0) {
        made.emplace();
        listenFd = listenOn(socketPath, *made);
    }
    if (listenFd < 0)
        return 1;

    ::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    ::sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);

    if (!pidFile.empty())
        std::ofstream(pidFile) << ::getpid() << "\n";

    LeakGuard guard;
    HelperServer::Settings settings;
    settings.listenFd = listenFd;
    settings.signalFd = signalFd;
    settings.version = *version;
    settings.scriptDir = executableDir();
    settings.guard = &guard;
    settings.tmpDir = runtimeDir();
    // One name per helper: helpers of tests may share the directory.
    if (!settings.tmpDir.empty()) {
        settings.dnsRecord = settings.tmpDir + "/dns-record";
        if (const auto account = OpenVPNAccount::prepare()) {
            settings.openVPNUid = account->uid;
            settings.openVPNGid = account->gid;
            settings.tmpDir = account->dir;
        }
        settings.managementSocket =
            settings.tmpDir + "/management-" + std::to_string(::getpid()) + ".sock";
    }
    HelperServer server(std::move(settings));
    const int code = server.run();
    if (made)
        removeSocketFile(socketPath, *made);
    if (!pidFile.empty())
        ::unlink(pidFile.c_str());
    return code;
}
