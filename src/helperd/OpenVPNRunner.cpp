#include "helperd/OpenVPNRunner.h"

#include "helperd/ProfileLines.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <linux/close_range.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int profileFd = 3;

// A private, sealed in-memory file: openvpn reads what the helper wrote and nothing
// else, whatever happens to any file on disk.
int makeSealedCopy(const char* name, const std::string& text) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        written += static_cast<size_t>(n);
    }
    ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

void say(const char* text, size_t length) {
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text, length);
}

// In the child, before exec: the account's uid and gid, no other group, and of root's
// capabilities the network's alone, as an ambient one that openvpn and the programs it
// runs keep (it needs it for the tunnel, its routes and its transport's mark, also when
// it starts over after a network change). Only async-signal-safe calls.
bool becomeAccount(uid_t uid, gid_t gid, pid_t parent) {
    static constexpr char failed[] = "cannot run openvpn as its own account\n";
    ::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    data[0].effective = data[0].permitted = data[0].inheritable = 1u << CAP_NET_ADMIN;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
        ::setresuid(uid, uid, uid) != 0 || ::syscall(SYS_capset, &header, data) != 0 ||
        ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_ADMIN, 0, 0) != 0) {
        say(failed, sizeof failed - 1);
        return false;
    }
    // Its management socket: the helper reaches it through the group.
    ::umask(007);
    // A change of user clears the parent-death signal.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    return ::getppid() == parent;
}

} // namespace

Result<void> OpenVPNRunner::start(const Launch& launch) {
    const int copy = makeSealedCopy("quovant-profile", launch.profile);
    if (copy < 0)
        return Result<void>::failure(std::string("cannot make the profile copy: ") +
                                     std::strerror(errno));
    // Everything the child needs is prepared before fork: only async-signal-safe
    // calls happen between fork and exec.
    const std::string config = "/proc/self/fd/" + std::to_string(profileFd);
    // The socket's directory keeps everyone but root out; openvpn checks the peer too.
    std::vector<std::string> argv = {program,
                                     "--config",
                                     config,
                                     "--management",
                                     launch.managementSocket,
                                     "unix",
                                     "--management-client-user",
                                     "root",
                                     "--management-query-passwords",
                                     "--script-security",
                                     "2",
                                     "--route-up",
                                     launch.upScript,
                                     "--down",
                                     launch.downScript};
    argv.insert(argv.end(), {"--verb", std::to_string(verbosity(launch.profile))});
    if (!launch.tmpDir.empty())
        argv.insert(argv.end(), {"--tmp-dir", launch.tmpDir});
    if (launch.transportMark != 0)
        argv.insert(argv.end(), {"--mark", std::to_string(launch.transportMark)});
    if (!launch.tunnelName.empty())
        argv.insert(argv.end(), {"--dev-type", launch.tunnelType, "--dev", launch.tunnelName});
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char lang[] = "LANG=C.UTF-8";
    char* environment[] = {path, lang, nullptr};
    const pid_t parent = ::getpid();

    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        const std::string why = std::string("pipe failed: ") + std::strerror(errno);
        ::close(copy);
        return Result<void>::failure(why);
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        const std::string why = std::string("fork failed: ") + std::strerror(errno);
        ::close(copy);
        ::close(output[0]);
        ::close(output[1]);
        return Result<void>::failure(why);
    }
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::setsid();
        // If the helper dies, its openvpn must not outlive it unattended.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        // Both move above their places first, so that neither lands on the other's; dup2
        // then leaves each open across exec.
        const int profile = ::fcntl(copy, F_DUPFD_CLOEXEC, reportFd + 1);
        const int report = launch.reportChannel >= 0
                               ? ::fcntl(launch.reportChannel, F_DUPFD_CLOEXEC, reportFd + 1)
                               : -1;
        ::dup2(profile, profileFd);
        if (report >= 0)
            ::dup2(report, reportFd);
        ::syscall(SYS_close_range, launch.reportChannel >= 0 ? reportFd + 1 : profileFd + 1, ~0U,
                  0);
        // Of root's capabilities openvpn and its scripts keep only the network's, and can
        // gain no other through anything they run.
        bool narrowed = true;
        for (int capability = 0; capability < 64; ++capability)
            if (capability != CAP_NET_ADMIN && ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 &&
                errno != EINVAL)
                narrowed = false;
        if (!narrowed) {
            static constexpr char warning[] = "cannot narrow openvpn's capabilities\n";
            say(warning, sizeof warning - 1);
        }
        if (launch.uid != 0 && !becomeAccount(launch.uid, launch.gid, parent))
            ::_exit(126);
        ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
        ::execve(program, args.data(), environment);
        ::_exit(127);
    }
    ::close(copy);
    ::close(output[1]);
    ::fcntl(output[0], F_SETFL, O_NONBLOCK);
    outputFd_ = output[0];
    partial_.clear();
    pid_ = pid;
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidFd_ < 0) {
        const std::string why = std::string("pidfd_open failed: ") + std::strerror(errno);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid_ = -1;
        closeOutput();
        return Result<void>::failure(why);
    }
    return Result<void>::success();
}

void OpenVPNRunner::signal(int signalNumber) {
    if (pid_ > 0)
        ::kill(pid_, signalNumber);
}

std::optional<int32_t> OpenVPNRunner::reap() {
    if (pid_ <= 0)
        return std::nullopt;
    int raw = 0;
    const pid_t r = ::waitpid(pid_, &raw, WNOHANG);
    if (r != pid_)
        return std::nullopt;
    ::close(pidFd_);
    pidFd_ = -1;
    pid_ = -1;
    closeOutput();
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

std::vector<std::string> OpenVPNRunner::readOutput() {
    std::vector<std::string> lines;
    if (outputFd_ < 0)
        return lines;
    char chunk[8192];
    ssize_t n;
    // One chunk at a time: openvpn's output never holds up the daemon's other work.
    n = ::read(outputFd_, chunk, sizeof chunk);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        if (!partial_.empty())
            lines.push_back(std::move(partial_));
        closeOutput();
        return lines;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (chunk[i] == '\n') {
            lines.push_back(std::move(partial_));
            partial_.clear();
        } else if (partial_.size() < maxOutputLine) {
            partial_ += chunk[i];
        }
    }
    return lines;
}

void OpenVPNRunner::closeOutput() {
    if (outputFd_ >= 0)
        ::close(outputFd_);
    outputFd_ = -1;
    partial_.clear();
}

int OpenVPNRunner::verbosity(std::string_view profile) {
    int level = leastVerbosity;
    // The allowlist let through only `verb` with a level of 0 to 11.
    ProfileLines::forEach(profile, [&](const ProfileLines::Line& line) {
        if (line.words.size() == 2 && line.words[0] == "verb" && !line.words[1].empty() &&
            line.words[1].size() <= 2 &&
            std::all_of(line.words[1].begin(), line.words[1].end(),
                        [](char c) { return c >= '0' && c <= '9'; }))
            level = std::max(leastVerbosity, std::stoi(std::string(line.words[1])));
    });
    return level;
}
