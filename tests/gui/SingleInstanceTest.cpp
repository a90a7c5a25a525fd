#include "app/SingleInstance.h"

#include "QtWait.h"
#include "TempDir.h"
#include "platform/Log.h"

#include <QFile>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <sys/file.h>
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

// Where the session has no runtime directory: the socket goes into the user's cache (here
// a directory of the test's own), while TMPDIR is, like /tmp, open to everyone.
struct NoRuntimeDir {
    TempDir tmp{"quovant-tmp"};
    TempDir cache{"quovant-cache"};
    QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    QByteArray oldTmp = qgetenv("TMPDIR");
    QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    NoRuntimeDir() {
        ::chmod(tmp.path().c_str(), 01777);
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(QString::fromStdString(tmp.path())));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(QString::fromStdString(cache.path())));
    }
    ~NoRuntimeDir() {
        restore("XDG_RUNTIME_DIR", oldRuntime);
        restore("TMPDIR", oldTmp);
        restore("XDG_CACHE_HOME", oldCache);
    }
    static void restore(const char* name, const QByteArray& value) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    std::string privateDir() const { return (cache / "quovant").string(); }
    // Where an older fallback put it, a name every other user can predict.
    std::string tmpName() const {
        return (tmp / ("quovant-" + std::to_string(::getuid()))).string();
    }
};

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    return address;
}

std::optional<std::pair<dev_t, ino_t>> inodeOf(const char* path) {
    struct stat info;
    if (::lstat(path, &info) != 0)
        return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

// A socket this user listens on, as any other program of theirs might.
class Listener {
public:
    Listener(const std::string& path, int backlog) {
        const sockaddr_un address = addressOf(QFile::decodeName(path.c_str()));
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        listening_ =
            ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fd_, backlog) == 0;
    }
    ~Listener() { ::close(fd_); }
    bool listening() const { return listening_; }
    bool calledAfter(std::chrono::milliseconds wait) const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, int(wait.count())) == 1;
    }

private:
    int fd_ = -1;
    bool listening_ = false;
};

size_t linesWith(const Log::Capture& log, const std::string& text) {
    size_t count = 0;
    for (const std::string& line : log.systemLines())
        count += line.find(text) != std::string::npos;
    return count;
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
    SingleInstance first([&](const QByteArray&) { ++reopened; });
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

    SingleInstance second([](const QByteArray&) {});
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

    SingleInstance start([](const QByteArray&) {});
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

    SingleInstance nobody([](const QByteArray&) {});
    EXPECT_FALSE(nobody.forwardToRunning()) << "no one listens";
    {
        int reopened = 0;
        SingleInstance running([&](const QByteArray&) { ++reopened; });
        running.listen();
        SingleInstance later([](const QByteArray&) {});
        EXPECT_TRUE(later.forwardToRunning());
        EXPECT_TRUE(waitUntil([&] { return reopened == 1; }, 5s));
    }
    struct stat info;
    EXPECT_NE(::lstat(address.sun_path, &info), 0) << "the socket goes with its instance";
}

TEST(SingleInstance, AnInstanceTooBusyToTakeTheCallIsStillRunningAndKeepsItsSocket) {
    RuntimeDir runtime;
    const QByteArray path = QFile::encodeName(SingleInstance::socketPath());
    Listener busy(path.toStdString(), 0);
    ASSERT_TRUE(busy.listening());
    // Calls it never takes, until its queue is full.
    const sockaddr_un address = addressOf(SingleInstance::socketPath());
    std::vector<int> waiting;
    bool full = false;
    for (int i = 0; i < 64 && !full; ++i) {
        waiting.push_back(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
        full = ::connect(waiting.back(), reinterpret_cast<const sockaddr*>(&address),
                         sizeof address) != 0 &&
               errno == EAGAIN;
    }
    ASSERT_TRUE(full);
    const auto before = inodeOf(path.constData());

    Log::Capture log;
    SingleInstance later([](const QByteArray&) {});
    EXPECT_TRUE(later.forwardToRunning()) << "no second instance next to a busy one";
    EXPECT_TRUE(log.systemContains("too busy"));
    later.listen();
    EXPECT_TRUE(log.systemContains("cannot listen for later starts"));
    EXPECT_EQ(inodeOf(path.constData()), before) << "a socket someone listens on stays";
    for (int fd : waiting)
        ::close(fd);
}

TEST(SingleInstance, AnInstanceRemovesOnlyItsOwnSocketAtItsEnd) {
    RuntimeDir runtime;
    const QByteArray path = QFile::encodeName(SingleInstance::socketPath());
    auto first = std::make_optional<SingleInstance>([](const QByteArray&) {});
    first->listen();
    // However it came to be, another instance now listens at the path.
    ASSERT_EQ(::unlink(path.constData()), 0);
    int reopened = 0;
    SingleInstance second([&](const QByteArray&) { ++reopened; });
    second.listen();
    const auto seconds = inodeOf(path.constData());
    ASSERT_TRUE(seconds);

    first.reset();
    EXPECT_EQ(inodeOf(path.constData()), seconds)
        << "the first one's end leaves the second's socket";
    SingleInstance later([](const QByteArray&) {});
    EXPECT_TRUE(later.forwardToRunning());
    EXPECT_TRUE(waitUntil([&] { return reopened == 1; }, 5s));
}

std::string lockPath() {
    std::string path = QFile::encodeName(SingleInstance::socketPath()).toStdString();
    return path.replace(path.size() - 5, 5, ".lock");
}

// A start on a thread of its own, as another process would make it: whether it ends.
std::future<bool> startElsewhere() {
    return std::async(std::launch::async, [] {
        SingleInstance start([](const QByteArray&) {});
        return start.forwardToRunning();
    });
}

bool answered(const std::future<bool>& start) {
    return start.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// Two starts at the very same moment: the one that gets the lock runs; the other does not
// go on unguarded beside it, but waits until the first listens, asks it to reopen and ends.
TEST(SingleInstance, OfTwoStartsAtTheSameMomentOneRunsAndTheOtherReopensIt) {
    RuntimeDir runtime;
    int reopened = 0;
    auto first = std::make_optional<SingleInstance>([&](const QByteArray&) { ++reopened; });
    ASSERT_FALSE(first->forwardToRunning());
    auto second = startElsewhere();
    spin(300ms);
    EXPECT_FALSE(answered(second)) << "it waits while the first is not listening yet";
    first->listen();
    EXPECT_TRUE(waitUntil([&] { return reopened == 1 && answered(second); }, 5s));
    EXPECT_TRUE(second.get()) << "the second start ends";

    first.reset();
    SingleInstance afterwards([](const QByteArray&) {});
    EXPECT_FALSE(afterwards.forwardToRunning()) << "the lock ended with the first instance";
}

TEST(SingleInstance, AStartThatHoldsTheLockButNeverListensStillCounts) {
    RuntimeDir runtime;
    SingleInstance stuck([](const QByteArray&) {});
    ASSERT_FALSE(stuck.forwardToRunning());
    Log::Capture log;
    SingleInstance later([](const QByteArray&) {});
    EXPECT_TRUE(later.forwardToRunning()) << "after a bounded wait";
    EXPECT_EQ(linesWith(log, "already running but does not answer"), 1u);
}

TEST(SingleInstance, AStartThatWaitedForAnInstanceThatEndedInsteadRuns) {
    RuntimeDir runtime;
    auto ending = std::make_optional<SingleInstance>([](const QByteArray&) {});
    ASSERT_FALSE(ending->forwardToRunning());
    auto second = startElsewhere();
    spin(200ms);
    ending.reset();
    EXPECT_FALSE(second.get()) << "no instance is left, so this start runs";
}

TEST(SingleInstance, AStartWhileAnInstanceQuitsWaitsForItsEndAndRuns) {
    RuntimeDir runtime;
    int reopened = 0;
    auto quitting = std::make_optional<SingleInstance>([&](const QByteArray&) { ++reopened; });
    ASSERT_FALSE(quitting->forwardToRunning());
    quitting->listen();
    quitting->stopListening();
    auto second = startElsewhere();
    spin(200ms);
    EXPECT_FALSE(answered(second)) << "it waits for the quitting instance to end";
    quitting.reset();
    EXPECT_FALSE(second.get()) << "no instance is left, so this start runs";
    EXPECT_EQ(reopened, 0) << "an instance on its way out is not asked to reopen";
}

TEST(SingleInstance, AnotherNameOfAFileOfTheUsersIsNotTheLock) {
    RuntimeDir runtime;
    const std::string path = lockPath();
    const std::string file = path + ".elsewhere";
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::link(file.c_str(), path.c_str()), 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0) << "as someone who can read the file might hold it";
    Log::Capture log;
    SingleInstance start([](const QByteArray&) {});
    EXPECT_FALSE(start.forwardToRunning()) << "this start runs at once";
    EXPECT_EQ(linesWith(log, "the lock file has other names"), 1u);
    ::close(fd);
}

TEST(SingleInstance, ALockFileAnotherUserHoldsDoesNotKeepTheUserFromStarting) {
    RuntimeDir runtime;
    const std::string path = lockPath();
    OtherUser holder([&] {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
        return fd >= 0 && ::fchmod(fd, 0666) == 0 && ::flock(fd, LOCK_EX) == 0;
    });
    ASSERT_TRUE(holder.succeeded());
    Log::Capture log;
    int reopened = 0;
    SingleInstance start([&](const QByteArray&) { ++reopened; });
    EXPECT_FALSE(start.forwardToRunning()) << "this start runs";
    EXPECT_EQ(linesWith(log, "the lock file is not the user's own"), 1u);
    start.listen();
    SingleInstance later([](const QByteArray&) {});
    EXPECT_TRUE(later.forwardToRunning()) << "the socket still guards";
    EXPECT_TRUE(waitUntil([&] { return reopened == 1; }, 5s));
}

TEST(SingleInstance, WithoutARuntimeDirectoryTheSocketIsInADirectoryOfTheUsersOwn) {
    NoRuntimeDir session;
    int reopened = 0;
    {
        SingleInstance first([&](const QByteArray&) { ++reopened; });
        first.listen();
        EXPECT_EQ(SingleInstance::socketPath().toStdString(),
                  session.privateDir() + "/quovant.sock");
        struct stat dir;
        ASSERT_EQ(::lstat(session.privateDir().c_str(), &dir), 0);
        EXPECT_TRUE(S_ISDIR(dir.st_mode));
        EXPECT_EQ(dir.st_mode & 07777, 0700u);
        EXPECT_EQ(dir.st_uid, ::getuid());

        SingleInstance later([](const QByteArray&) {});
        EXPECT_TRUE(later.forwardToRunning());
        EXPECT_TRUE(waitUntil([&] { return reopened == 1; }, 5s));
    }
    EXPECT_FALSE(inodeOf((session.privateDir() + "/quovant.sock").c_str()));
}

// Another user can make any name in /tmp first, a directory or a link: none of it is used.
TEST(SingleInstance, WhatAnotherUserMakesInTmpNeitherUnguardsNorRedirectsTheStart) {
    TempDir victim{"quovant-victim"};
    const std::string victimSocket = (victim / "quovant.sock").string();
    Listener other(victimSocket, 8);
    ASSERT_TRUE(other.listening());
    for (const bool link : {false, true}) {
        NoRuntimeDir session;
        const std::string squatted = session.tmpName();
        const std::string target = victim.path().string();
        OtherUser squatter([&] {
            return link ? ::symlink(target.c_str(), squatted.c_str()) == 0
                        : ::mkdir(squatted.c_str(), 0777) == 0 &&
                              ::chmod(squatted.c_str(), 0777) == 0;
        });
        ASSERT_TRUE(squatter.succeeded());
        Log::Capture log;
        int reopened = 0;
        SingleInstance first([&](const QByteArray&) { ++reopened; });
        EXPECT_FALSE(first.forwardToRunning());
        first.listen();
        EXPECT_EQ(linesWith(log, "running without the single-instance guard"), 0u);
        SingleInstance later([](const QByteArray&) {});
        EXPECT_TRUE(later.forwardToRunning()) << "the start stays guarded";
        EXPECT_TRUE(waitUntil([&] { return reopened == 1; }, 5s));
        EXPECT_FALSE(other.calledAfter(100ms)) << "nothing follows what they planted";
        if (!link) {
            EXPECT_FALSE(inodeOf((squatted + "/quovant.sock").c_str())) << "nor puts into it";
        }
    }
}

// A link another user plants where the socket should be, to another socket of this
// user's: following it would hand that program a call and end this start.
TEST(SingleInstance, ALinkAnotherUserPlantedIsNotFollowedToAnotherSocketOfTheUsers) {
    TempDir victim{"quovant-victim"};
    const std::string victimSocket = (victim / "quovant.sock").string();
    Listener other(victimSocket, 8);
    ASSERT_TRUE(other.listening());
    {
        RuntimeDir runtime;
        const std::string path = QFile::encodeName(SingleInstance::socketPath()).toStdString();
        OtherUser planter([&] { return ::symlink(victimSocket.c_str(), path.c_str()) == 0; });
        ASSERT_TRUE(planter.succeeded());
        SingleInstance start([](const QByteArray&) {});
        EXPECT_FALSE(start.forwardToRunning());
        EXPECT_FALSE(other.calledAfter(100ms)) << "the link to a socket is not followed";
    }
}

} // namespace
