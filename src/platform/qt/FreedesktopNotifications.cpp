#include "platform/qt/FreedesktopNotifications.h"

#include "platform/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

FreedesktopNotifications::FreedesktopNotifications(QObject* parent) : QObject(parent) {}

void FreedesktopNotifications::notify(const std::string& summary, const std::string& body) {
    const QString s = QString::fromStdString(summary);
    const QString b = QString::fromStdString(body);
    if (bodyMarkup_)
        return send(s, b);
    waiting_.emplace_back(s, b);
    if (asking_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        waiting_.clear();
        return unavailable("no session bus");
    }
    asking_ = true;
    const QDBusMessage ask =
        QDBusMessage::createMethodCall(service, path, service, "GetCapabilities");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        asking_ = false;
        const QDBusPendingReply<QStringList> reply = *w;
        const auto waiting = std::exchange(waiting_, {});
        if (reply.isError())
            return unavailable(reply.error().message());
        bodyMarkup_ = reply.value().contains("body-markup");
        for (const auto& [summary, body] : waiting)
            send(summary, body);
    });
}

void FreedesktopNotifications::send(const QString& summary, const QString& body) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, "Notify");
    QVariantMap hints;
    hints["desktop-entry"] = QStringLiteral("quovant");
    call << QStringLiteral("Quovant") << replacesId_ << QStringLiteral("network-vpn") << summary
         << (*bodyMarkup_ ? body.toHtmlEscaped() : body) << QStringList() << hints << int32_t(-1);
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            return unavailable(reply.error().message());
        replacesId_ = reply.value();
    });
}

void FreedesktopNotifications::unavailable(const QString& why) {
    if (toldUnavailable_)
        return;
    toldUnavailable_ = true;
    Log::line("desktop notifications are not shown: " + why.toStdString());
}
