#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <functional>

// Follows the system's sleep through logind on the system bus: `handler(true)` runs
// before the system sleeps, while a delay lock holds the sleep off until it returns,
// and `handler(false)` after the system has woken. Without a system bus nothing is
// watched and nothing else changes.
class QtSleepWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr const char* service = "org.freedesktop.login1";
    static constexpr const char* path = "/org/freedesktop/login1";
    static constexpr const char* interface = "org.freedesktop.login1.Manager";

    // `bus` is the system bus unless a test gives another.
    explicit QtSleepWatcher(std::function<void(bool goingToSleep)> handler,
                            QDBusConnection bus = QDBusConnection::systemBus(),
                            QObject* parent = nullptr);

    bool watching() const { return watching_; }
    bool holdsDelayLock() const { return delayLock_.isValid(); }

private slots:
    void prepareForSleep(bool goingToSleep);

private:
    void takeDelayLock();

    std::function<void(bool)> handler_;
    QDBusConnection bus_;
    QDBusUnixFileDescriptor delayLock_;
    bool watching_ = false;
};
