#include "helperd/ResolvconfRun.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

std::vector<std::string> ResolvconfRun::add(const std::string& device, bool exclusive) {
    std::vector<std::string> arguments{"-a", device + ".openvpn"};
    if (exclusive)
        arguments.push_back("-x");
    return arguments;
}

std::vector<std::string> ResolvconfRun::remove(const std::string& device) {
    return {"-d", device + ".openvpn", "-f"};
}

ResolvconfRun::~ResolvconfRun() {
    if (running())
        (void)stop();
}

Result<void> ResolvconfRun::start(const std::vector<std::string>& arguments,
                                  const std::string& input) {
    if (running() || input.size() > maxInput)
        return Result<void>::failure("resolvconf is busy, or its input too long");
    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return Result<void>::failure(std::string("pipe failed: ") + std::strerror(errno));
    // The whole input goes into the pipe (64 KiB) before the child exists: no write can
    // then meet a child that has gone.
    const ssize_t written = input.empty() ? 0 : ::write(in[1], input.data(), input.size());
    ::close(in[1]);
    if (written != static_cast<ssize_t>(input.size())) {
        ::close(in[0]);
        return Result<void>::failure("cannot hand resolvconf its input");
    }
    std::vector<std::string> argv{program_};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char* environment[] = {path, nullptr};
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(in[0]);
        return Result<void>::failure(std::string("fork failed: ") + std::strerror(errno));
    }
    if (pid == 0) {
        // A group of its own, so that what a hung resolvconf started ends with it (stop()).
        ::setpgid(0, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        ::syscall(SYS_close_range, 3, ~0U, 0);
        ::execve(args[0], args.data(), environment);
        ::_exit(127);
    }
    ::close(in[0]);
    // Also here: stop() may come before the child has run its own.
    ::setpgid(pid, pid);
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidFd_ < 0) {
        const std::string why = std::string("pidfd_open failed: ") + std::strerror(errno);
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return Result<void>::failure(why);
    }
    pid_ = pid;
    deadline_ = Clock::now() + timeout;
    return Result<void>::success();
}

Result<void> ResolvconfRun::finish() {
    int status = 0;
    if (!running() || ::waitpid(pid_, &status, WNOHANG) != pid_)
        return Result<void>::failure("resolvconf has not ended");
    ::close(pidFd_);
    pidFd_ = -1;
    pid_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return Result<void>::success();
    return Result<void>::failure(
        WIFEXITED(status) ? "resolvconf failed with " + std::to_string(WEXITSTATUS(status))
                          : "resolvconf ended by signal " + std::to_string(WTERMSIG(status)));
}

Result<void> ResolvconfRun::stop() {
    if (!running())
        return Result<void>::failure("resolvconf was not running");
    // The whole group: the scripts resolvconf runs hang as often as it does. Until it is
    // waited for, its id (and so the group's) is not given to anyone else.
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(pidFd_);
    pidFd_ = -1;
    pid_ = -1;
    return Result<void>::failure("resolvconf did not end within " +
                                 std::to_string(timeout.count()) + " s");
}
