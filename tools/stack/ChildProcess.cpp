#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int outFd = -1;
    if (!options.outputFile.empty())
        outFd = ::open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);

    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::setpgid(0, 0);
        // A test that dies (a sanitizer abort, a crash) takes its processes with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(126);
        if (outFd >= 0) {
            ::dup2(outFd, STDOUT_FILENO);
            ::dup2(outFd, STDERR_FILENO);
        }
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        for (const auto& e : options.extraEnvironment)
            ::putenv(const_cast<char*>(e.c_str()));
        if (options.uid) {
            if (::setgid(*options.uid) != 0 || ::setuid(*options.uid) != 0)
                ::_exit(125);
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (outFd >= 0)
        ::close(outFd);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), status_(other.status_) {
    other.pid_ = -1;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0)
        stop();
}

bool ChildProcess::running() {
    return !waitFor(std::chrono::milliseconds(0));
}

std::optional<int> ChildProcess::waitFor(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0)
        return status_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int raw = 0;
        const pid_t r = ::waitpid(pid_, &raw, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return status_;
        }
        if (r < 0 && errno != EINTR)
            return status_ = -1;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ChildProcess::signal(int signalNumber) {
    if (pid_ > 0 && !status_)
        ::kill(pid_, signalNumber);
}

int ChildProcess::stop(std::chrono::milliseconds grace) {
    signal(SIGTERM);
    if (auto s = waitFor(grace))
        return *s;
    signal(SIGKILL);
    return waitFor(std::chrono::seconds(10)).value_or(-1);
}

int runCommand(const std::vector<std::string>& argv, std::string* output,
               std::chrono::milliseconds timeout) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    std::string collected;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int raw = 0;
    for (;;) {
        char chunk[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0)
            collected.append(chunk, static_cast<size_t>(n));
        if (::waitpid(pid, &raw, WNOHANG) == pid)
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            ::close(pipeFds[0]);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0)
        collected.append(chunk, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    if (output)
        *output = collected;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}
