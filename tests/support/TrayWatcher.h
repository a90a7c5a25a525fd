#pragma once

#include <QDBusContext>
#include <QObject>
#include <QStringList>

// A StatusNotifierWatcher with a host, as a desktop's panel provides one on the session
// bus: it takes the registrations of tray items and prints each one's bus name on a
// line of standard output. Its host may come later, as a panel's does after its watcher
// (a line "host" says when).
class TrayWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit TrayWatcher(bool host) : hostRegistered_(host) {}
    QStringList items() const { return items_; }
    bool hostRegistered() const { return hostRegistered_; }
    void registerHost();
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QStringList items_;
    bool hostRegistered_ = true;
};
