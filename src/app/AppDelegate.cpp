#include "app/AppDelegate.h"

#include "app/MainWindowController.h"
#include "platform/Log.h"
#include "ui/MainViewController.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

AppDelegate::AppDelegate(HelperInstaller::Dependencies helper)
    : statusMemu_(std::make_unique<QMenu>()), helper_(std::move(helper)) {
    connectItem_ = statusMemu_->addAction("Verbinden");
    connectItem_->setObjectName("connectItem");
    connect(connectItem_, &QAction::triggered, this, [this] { onConnectButtonClick(); });
    statusMemu_->addSeparator();
    QAction* quit = statusMemu_->addAction("Afsluiten");
    quit->setObjectName("quitItem");
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    if (storyboard_) {
        window_ = storyboard_->instantiate<MainWindowController>("mainWindowController");
        mainViewController_ = storyboard_->instantiate<MainViewController>("mainViewController");
    }

    if (mainViewController_)
        mainViewController_->loadView();

    if (window_) {
        QWidget* content = mainViewController_ ? mainViewController_->view() : nullptr;
        if (content) {
            window_->setCentralWidget(content);
            window_->setFixedSize(content->size());
        }
        window_->show();
    }

    statusItem_ = std::make_unique<QSystemTrayIcon>(QIcon(":/images/ic_status.svg"));
    statusItem_->setToolTip("Quovant");
    statusItem_->setContextMenu(statusMemu_.get());
    if (QSystemTrayIcon::isSystemTrayAvailable())
        statusItem_->show();
    else
        Log::line("No system tray on this desktop: the login window stays the way in (start "
                  "Quovant again to bring it back)");

    shouldInstallHelper([this](bool current) {
        if (!current) {
            installHelper();
            helper_.emptyHelperConnection();
        }
    });
}

bool AppDelegate::applicationShouldHandleReopen() {
    if (window_) {
        window_->show();
        window_->raise();
        window_->activateWindow();
    }
    return true;
}

void AppDelegate::onConnectButtonClick() {
    if (mainViewController_)
        mainViewController_->onConnectButtonClick();
}
