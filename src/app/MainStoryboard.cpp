#include "app/MainStoryboard.h"

#include "app/AppDelegate.h"
#include "app/MainWindowController.h"
#include "ui/MainViewController.h"
#include "ui/StatusIcons.h"
#include "vpn/OpenVPNService.h"

#include <QAction>
#include <QMainWindow>
#include <QSystemTrayIcon>

Storyboard mainStoryboard(AppDelegate& delegate, MainStoryboardServices services) {
    Storyboard storyboard;
    storyboard.add("mainWindowController", [] { return new MainWindowController; });
    storyboard.add("mainViewController", [&delegate, services] {
        MainViewController::Ports ports;
        ports.defaults = services.defaults;
        ports.passwords = services.passwords;
        ports.desktopNotifications = services.desktopNotifications;
        ports.connectAtStart = [connect = services.connectAtStart] { return connect; };
        ports.showWindow = [&delegate] { delegate.applicationShouldHandleReopen(); };
        ports.windowShown = [&delegate] {
            const QMainWindow* window = delegate.window();
            return window && window->isVisible() && !window->isMinimized();
        };
        ports.vpn = services.vpn;
        ports.notifications = services.notifications;
        ports.desktop = services.desktop;
        ports.setConnectItemTitle = [&delegate](const std::string& title) {
            if (QAction* item = delegate.connectItem())
                item->setText(QString::fromStdString(title));
        };
        ports.showDisconnectItem = [&delegate](bool shown) {
            if (QAction* item = delegate.disconnectItem())
                item->setVisible(shown);
        };
        ports.setStatusItemToolTip = [&delegate](const std::string& text) {
            if (QSystemTrayIcon* item = delegate.statusItem())
                item->setToolTip(QString::fromStdString(text));
        };
        ports.setStatusItemIcon = [&delegate](StatusLine::Look look) {
            if (QSystemTrayIcon* item = delegate.statusItem())
                item->setIcon(StatusIcons::forLook(look));
        };
        return new MainViewController(ports);
    });
    return storyboard;
}
