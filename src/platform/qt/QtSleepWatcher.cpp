#include "platform/qt/QtSleepWatcher.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

QtSleepWatcher::QtSleepWatcher(std::function<void(bool goingToSleep)> handler, QDBusConnection bus,
                               QObject* parent)
    : QObject(parent), handler_(std::move(handler)), bus_(std::move(bus)) {
    if (!bus_.isConnected()) {
        Log::line("no system bus: not watching for sleep and resume");
        return;
    }
    watching_ = bus_.connect(service, path, interface, "PrepareForSleep", this,
                             SLOT(prepareForSleep(bool)));
    if (watching_)
        takeDelayLock();
}

void QtSleepWatcher::takeDelayLock() {
    auto call = QDBusMessage::createMethodCall(service, path, interface, "Inhibit");
    call << QString("sleep") << QString("Quovant") << QString("Restart the VPN tunnel around sleep")
         << QString("delay");
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        w->deleteLater();
        if (reply.isError()) {
            Log::line("no sleep delay lock: " + reply.error().message().toStdString());
            return;
        }
        delayLock_ = reply.value();
    });
}

void QtSleepWatcher::prepareForSleep(bool goingToSleep) {
    Log::line(goingToSleep ? "the system is going to sleep" : "the system woke up");
    handler_(goingToSleep);
    if (goingToSleep)
        delayLock_ = QDBusUnixFileDescriptor(); // closing it lets the sleep go on
    else
        takeDelayLock();
}
