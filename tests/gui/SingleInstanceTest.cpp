#include "app/SingleInstance.h"

#include "QtWait.h"
#include "TempDir.h"
#include "platform/Log.h"

#include <QFile>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr uid_t otherUser = 1000;

// Each test's sockets in a runtime directory of its own that the other user may use too.
struct RuntimeDir {
    TempDir dir{"quovant-single"};
    QByteArray old = qgetenv("XDG_RUNTIME_DIR");
    RuntimeDir() {
        ::chmod(dir.path().c_str(), 0777);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(QString::fromStdString(dir.path())));
    }
    ~RuntimeDir() { old.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", old); }
};

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    return address;
}

// Runs `step` in a child process as the other user: the child reports its step's result
// through a pipe, then waits until it is let go, so a socket it holds stays open.
class OtherUser {
public:
    explicit OtherUser(const std::function<bool()>& step) {
        int toParent[2], toChild[2];
        if (::pipe(toParent) != 0 || ::pipe(toChild) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toParent[0]);
            ::close(toChild[1]);
            const char ok = ::setresgid(otherUser, otherUser, otherUser) == 0 &&
                                    ::setresuid(otherUser, otherUser, otherUser) == 0 && step()
                                ? '1'
                                : '0';
            (void)!::write(toParent[1], &ok, 1);
            char done;
            (void)!::read(toChild[0], &done, 1);
            ::_exit(0);
        }
        ::close(toParent[1]);
        ::close(toChild[0]);
        release_ = toChild[1];
        char ok = '0';
        (void)!::read(toParent[0], &ok, 1);
        ::close(toParent[0]);
        succeeded_ = ok == '1';
    }
    ~OtherUser() {
        ::close(release_);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool succeeded() const { return succeeded_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool succeeded_ = false;
};

TEST(SingleInstance, TheSocketIsTheOwnersAloneAndAnotherUsersConnectionReopensNothing) {
    RuntimeDir runtime;
    int reopened = 0;
    SingleInstance first([&] { ++reopened; });
    first.listen();
    struct stat info;
    ASSERT_EQ(::lstat(QFile::encodeName(SingleInstance::socketPath()).constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0077, 0u) << "no one else may connect";

    // Even through a socket file someone made connectable, another user's call is ignored.
    ::chmod(QFile::encodeName(SingleInstance::socketPath()).constData(), 0666);
    const sockaddr_un address = addressOf(SingleInstance::socketPath());
    OtherUser intruder([&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
               ::write(fd, "reopen\n", 7) == 7;
    });
    ASSERT_TRUE(intruder.succeeded());
    spin(200ms);
    EXPECT_EQ(reopened, 0);

    SingleInstance second([] {});
    EXPECT_TRUE(second.forwardToRunning());
    EXPECT_TRUE(waitUntil([&] { return reopened == 1; }, 5s)) << "the owner's start still reopens";
}

TEST(SingleInstance, ASocketAnotherUserListensOnIsNotARunningInstance) {
    RuntimeDir runtime;
    const sockaddr_un address = addressOf(SingleInstance::socketPath());
    OtherUser squatter([&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
               ::chmod(address.sun_path, 0666) == 0 && ::listen(fd, 8) == 0;
    });
    ASSERT_TRUE(squatter.succeeded());

    SingleInstance start([] {});
    EXPECT_FALSE(start.forwardToRunning()) << "this start goes on instead of ending";
    Log::Capture log;
    start.listen();
    EXPECT_TRUE(log.systemContains("cannot listen for later starts"));
    struct stat info;
    ASSERT_EQ(::lstat(address.sun_path, &info), 0) << "another user's socket is left alone";
    EXPECT_EQ(info.st_uid, otherUser);
}

TEST(SingleInstance, ALeftOverSocketOfTheUsersIsReplacedAndRemovedAtTheEnd) {
    RuntimeDir runtime;
    const sockaddr_un address = addressOf(SingleInstance::socketPath());
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(stale); // an instance that was killed leaves its socket file behind

    SingleInstance nobody([] {});
    EXPECT_FALSE(nobody.forwardToRunning()) << "no one listens";
    {
        int reopened = 0;
        SingleInstance running([&] { ++reopened; });
        running.listen();
        SingleInstance later([] {});
        EXPECT_TRUE(later.forwardToRunning());
        EXPECT_TRUE(waitUntil([&] { return reopened == 1; }, 5s));
    }
    struct stat info;
    EXPECT_NE(::lstat(address.sun_path, &info), 0) << "the socket goes with its instance";
}

} // namespace
