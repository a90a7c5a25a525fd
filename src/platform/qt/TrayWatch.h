#pragma once

#include "platform/TrayPresence.h"

#include <QAbstractNativeEventFilter>
#include <QDBusServiceWatcher>
#include <QObject>
#include <cstdint>
#include <functional>

struct xcb_connection_t;

// Watches, for the application's life, for the two kinds of system tray a Linux desktop
// has: a StatusNotifierWatcher on the session bus with a host registered (a panel that
// shows the items: a watcher alone, as a desktop daemon may run under a window manager
// whose tray is an XEmbed one, shows nothing), and on X11 the owner of the screen's XEmbed
// tray manager selection (told by XFixes as the owner changes). Each tray that comes or
// goes is told to `changed`, those already there once by start().
class TrayWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    using Changed = std::function<void(TrayPresence::Tray tray, bool present)>;
    explicit TrayWatch(Changed changed);
    ~TrayWatch() override;

    void start();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The watcher's bus name, which is also its interface's name, and its object.
    static constexpr const char* statusNotifierWatcher = "org.kde.StatusNotifierWatcher";
    static constexpr const char* statusNotifierWatcherPath = "/StatusNotifierWatcher";

private slots:
    void hostRegistered();

private:
    void watchXEmbedSelection();
    void askForHost();
    void statusNotifierTray(bool present);

    Changed changed_;
    QDBusServiceWatcher bus_;
    bool statusNotifierTray_ = false;
    xcb_connection_t* xcb_ = nullptr;
    uint32_t selection_ = 0;
    uint8_t selectionNotify_ = 0;
};
