#include "helperd/CallerProcess.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A listening socket and a child that connects to it, then waits for a byte on a pipe
// (stays) or ends at once (`ends`), reaped before the accept.
struct Caller {
    std::string path = std::filesystem::temp_directory_path() /
                       ("caller-process-" + std::to_string(::getpid()) + ".sock");
    UniqueFd listener{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    UniqueFd accepted;
    pid_t child = -1;
    int hold[2] = {-1, -1};

    explicit Caller(bool ends) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ::unlink(path.c_str());
        EXPECT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(listener.get(), 1), 0);
        EXPECT_EQ(::pipe(hold), 0);
        child = ::fork();
        if (child == 0) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                ::_exit(1);
            char byte;
            if (!ends) [[maybe_unused]]
                const ssize_t n = ::read(hold[0], &byte, 1);
            ::_exit(0);
        }
        if (ends) {
            ::waitpid(child, nullptr, 0);
            child = -1;
        }
        accepted.reset(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }
    ~Caller() {
        end();
        ::close(hold[0]);
        ::close(hold[1]);
        ::unlink(path.c_str());
    }
    void end() {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            child = -1;
        }
    }
    CallerProcess pin() const {
        ucred credentials{};
        socklen_t length = sizeof credentials;
        ::getsockopt(accepted.get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length);
        return CallerProcess::pin(accepted.get(), credentials.pid, credentials.uid);
    }
};

TEST(CallerProcess, IsPinnedWhileItLivesAndNeverOnceGone) {
    Caller staying(false);
    const CallerProcess pinned = staying.pin();
    ASSERT_TRUE(pinned.isPinned()) << pinned.whyUnpinned();
    EXPECT_EQ(pinned.pid(), staying.child);
    EXPECT_EQ(pinned.startTime(), CallerProcess::startTimeOf(staying.child));
    EXPECT_FALSE(pinned.gone());
    // Once it has ended, a zombie included, nothing more is asked about it.
    ::kill(staying.child, SIGKILL);
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(staying.child), &info, WEXITED | WNOWAIT);
    EXPECT_TRUE(pinned.gone()) << "a zombie";
    staying.end();
    EXPECT_TRUE(pinned.gone());

    // A caller reaped before the accept is pinned to nobody, whoever has its pid by then.
    Caller gone(true);
    const CallerProcess nobody = gone.pin();
    EXPECT_FALSE(nobody.isPinned());
    EXPECT_TRUE(nobody.gone());
}

} // namespace
