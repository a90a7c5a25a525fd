#include "app/MainStoryboard.h"

#include "app/AppDelegate.h"
#include "app/MainWindowController.h"
#include "app/StatusItem.h"
#include "ui/MainViewController.h"
#include "ui/StatusIcons.h"
#include "vpn/OpenVPNService.h"

#include <QAction>
#include <QMainWindow>

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
        ports.setStatusItemStatus = [&delegate](const std::string& status) {
            if (StatusItem* item = delegate.statusItem())
                item->setStatus(QString::fromStdString(status));
        };
        ports.setStatusItemIcon = [&delegate](StatusLine::Look look) {
            if (StatusItem* item = delegate.statusItem())
                item->setIcon(StatusIcons::forLook(look));
        };
        return new MainViewController(ports);
    });
    return storyboard;
}
