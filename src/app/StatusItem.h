#pragma once

#include <QByteArray>
#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

class QMenu;
class StatusNotifierItem;

// The tray item, which shows the connection's status. Where a StatusNotifierWatcher runs it is
// Quovant's own StatusNotifierItem: hosts give a screen reader its title as the item's name,
// and Qt's item has the application's name there with no way to change it, so the status would
// never be heard. Elsewhere (an X11 desktop with only an XEmbed tray) it is Qt's
// QSystemTrayIcon, whose XEmbed item has the status as its tooltip.
class StatusItem {
public:
    // `activated`: a click on the item (a double click where the tray takes a single one for
    // the menu), with the activation token the tray gave for it, if any.
    using Activated = std::function<void(const QByteArray& activation)>;
    StatusItem(QMenu& menu, Activated activated);
    ~StatusItem();

    // Puts the item into the tray: as a StatusNotifierItem where `watcher` runs.
    void show(bool watcher);
    // A StatusNotifierWatcher came, or came back: the item registers with it, made anew as a
    // StatusNotifierItem where it was Qt's, which that watcher's tray would never see.
    void watcherAppeared();

    // The status line: the tooltip under the product's name, and the title after it on one
    // line.
    void setStatus(const QString& status);
    void setIcon(const QIcon& icon);

    QString toolTip() const;
    QString title() const;
    QIcon icon() const { return icon_; }
    QMenu* contextMenu() const { return &menu_; }
    bool isStatusNotifierItem() const { return notifierItem_ != nullptr; }
    // The activation token the tray gave for the user's last act on the item (its menu's
    // items included), once; empty when it gave none.
    QByteArray takeActivationToken();

private:
    void activated(QSystemTrayIcon::ActivationReason reason);

    QMenu& menu_;
    Activated activated_;
    QString status_;
    QIcon icon_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<StatusNotifierItem> notifierItem_;
};
