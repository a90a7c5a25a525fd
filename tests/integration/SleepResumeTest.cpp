#include "ChildProcess.h"
#include "Poll.h"
#include "PrivateSystemBus.h"
#include "TempDir.h"
#include "VpnStack.h"
#include "platform/Log.h"
#include "platform/qt/QtSleepWatcher.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Stands in for logind on the test's own bus: hands out delay locks (one end of a
// pipe each, whose other end tells when the holder let go) and announces sleep.
class FakeLogin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    explicit FakeLogin(QDBusConnection bus) : bus_(std::move(bus)) {}
    ~FakeLogin() override {
        for (const int fd : locks_)
            ::close(fd);
    }

    size_t locksGiven() const { return locks_.size(); }
    // Whether the holder of the latest lock has closed its end.
    bool latestReleased() const {
        pollfd fd{locks_.back(), POLLIN, 0};
        return ::poll(&fd, 1, 0) == 1 && (fd.revents & POLLHUP);
    }
    void prepareForSleep(bool goingToSleep) {
        auto signal = QDBusMessage::createSignal(QtSleepWatcher::path, QtSleepWatcher::interface,
                                                 "PrepareForSleep");
        signal << goingToSleep;
        bus_.send(signal);
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString&, const QString&,
                                    const QString& mode) {
        EXPECT_EQ(what, "sleep");
        EXPECT_EQ(mode, "delay");
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return {};
        locks_.push_back(ends[0]);
        QDBusUnixFileDescriptor lock(ends[1]); // the bus gets a copy of its own
        ::close(ends[1]);
        return lock;
    }

private:
    QDBusConnection bus_;
    std::vector<int> locks_;
};

QDBusConnection connectTo(const PrivateSystemBus& bus, const QString& name) {
    return QDBusConnection::connectToBus(QString::fromStdString(bus.address()), name);
}

// Runs Qt's events and the stack's main queue until `done` holds (bounded).
bool pumpUntil(VpnStack& vpn, const std::function<bool()>& done,
               std::chrono::milliseconds timeout = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        vpn.mainQueue.drain();
        if (done())
            return true;
        // Qt's events, or at most 20 ms waiting for one; the stack's queue is not Qt's.
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    vpn.mainQueue.drain();
    return done();
}

bool seen(const VpnStack& vpn, const std::string& word) {
    return std::find(vpn.seenStates.begin(), vpn.seenStates.end(), word) != vpn.seenStates.end();
}

TEST(SleepResume, TunnelIsToldBeforeSleepUnderADelayLockAndRestartedOnResume) {
    PrivateSystemBus bus;
    QDBusConnection logindSide = connectTo(bus, "fake-logind");
    ASSERT_TRUE(logindSide.isConnected());
    FakeLogin login(logindSide);
    ASSERT_TRUE(
        logindSide.registerObject(QtSleepWatcher::path, &login, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(logindSide.registerService(QtSleepWatcher::service));

    VpnStack vpn(std::vector<OpenVPNServer::Account>{{"alice@example.com", "pw"}});
    QtSleepWatcher watcher(
        [&](bool goingToSleep) { vpn.service->networkChanged(goingToSleep ? "sleep" : "resume"); },
        connectTo(bus, "client"));
    ASSERT_TRUE(watcher.watching());
    ASSERT_TRUE(pumpUntil(
        vpn, [&] { return watcher.holdsDelayLock(); }, 10s));
    EXPECT_EQ(login.locksGiven(), 1u);

    vpn.prepare("alice@example.com", "pw");
    vpn.service->startOpenVPN();
    ASSERT_TRUE(vpn.waitForState("CONNECTED")) << vpn.service->state();
    vpn.seenStates.clear();

    Log::Capture log;
    login.prepareForSleep(true);
    ASSERT_TRUE(pumpUntil(
        vpn, [&] { return login.latestReleased(); }, 10s))
        << "the delay lock is let go once the tunnel has been told";
    EXPECT_TRUE(log.outputContains("signal SIGUSR1"));
    ASSERT_TRUE(pumpUntil(
        vpn, [&] { return seen(vpn, "RECONNECTING"); }, 5s))
        << "no longer claiming a tunnel while asleep";

    vpn.seenStates.clear();
    login.prepareForSleep(false);
    ASSERT_TRUE(pumpUntil(
        vpn, [&] { return seen(vpn, "RECONNECTING"); }, 5s));
    ASSERT_TRUE(pumpUntil(vpn, [&] { return vpn.service->state() == "CONNECTED"; }));
    EXPECT_EQ(runCommand({"ping", "-c", "1", "-W", "5", OpenVPNServer::tunnelAddress}), 0);
    ASSERT_TRUE(pumpUntil(
        vpn, [&] { return login.locksGiven() == 2; }, 10s))
        << "a new delay lock for the next sleep";
    EXPECT_TRUE(watcher.holdsDelayLock());
    EXPECT_EQ(vpn.service->status().failure, "");
}

TEST(SleepResume, WithoutABusNothingIsWatchedAndNothingFails) {
    int calls = 0;
    QtSleepWatcher watcher([&](bool) { ++calls; },
                           QDBusConnection::connectToBus(
                               QString("unix:path=/nonexistent/quovant-test-bus"), "absent"));
    EXPECT_FALSE(watcher.watching());
    EXPECT_FALSE(watcher.holdsDelayLock());
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

TEST(SleepResume, ABusWithoutLogindGivesNoLockAndNothingElseChanges) {
    PrivateSystemBus bus;
    int calls = 0;
    QtSleepWatcher watcher([&](bool) { ++calls; }, connectTo(bus, "lonely"));
    EXPECT_TRUE(watcher.watching()) << "the signal is watched should logind appear";
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    while (std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(watcher.holdsDelayLock());
    EXPECT_EQ(calls, 0);
}

} // namespace

#include "SleepResumeTest.moc"
