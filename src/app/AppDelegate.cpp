#include "app/AppDelegate.h"

#include "app/MainWindowController.h"
#include "platform/Log.h"
#include "ui/AlertSheet.h"
#include "ui/MainViewController.h"
#include "ui/TrayMenu.h"
#include "ui/UiText.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

AppDelegate::AppDelegate(HelperClient::Dependencies helper)
    : statusMemu_(std::make_unique<TrayMenu>()), terminate_(helper.terminate),
      helper_(reportingHere(std::move(helper))) {
    QAction* open = statusMemu_->addAction(UiText::openWindow);
    open->setObjectName("openItem");
    connect(open, &QAction::triggered, this, [this] { applicationShouldHandleReopen(); });
    connectItem_ = statusMemu_->addAction(UiText::connect);
    connectItem_->setObjectName("connectItem");
    connect(connectItem_, &QAction::triggered, this, [this] { onConnectButtonClick(); });
    disconnectItem_ = statusMemu_->addAction(UiText::disconnect);
    disconnectItem_->setObjectName("disconnectItem");
    disconnectItem_->setVisible(false);
    connect(disconnectItem_, &QAction::triggered, this, [this] {
        if (mainViewController_)
            mainViewController_->onDisconnectItemClick();
    });
    reconnectItem_ = statusMemu_->addAction("Automatisch opnieuw verbinden");
    reconnectItem_->setObjectName("reconnectItem");
    reconnectItem_->setCheckable(true);
    reconnectItem_->setChecked(true);
    statusMemu_->addSeparator();
    QAction* quit = statusMemu_->addAction(UiText::quit);
    quit->setObjectName("quitItem");
    connect(quit, &QAction::triggered, this, [this] {
        if (quit_)
            return quit_();
        QCoreApplication::quit();
    });
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::bindReconnectSetting(KeyValueStore& settings,
                                       std::function<void(bool on)> apply) {
    const bool on = settings.string(reconnectKey).value_or("true") != "false";
    reconnectItem_->setChecked(on);
    apply(on);
    connect(reconnectItem_, &QAction::toggled, this, [&settings, apply](bool checked) {
        settings.set(reconnectKey, checked ? "true" : "false");
        apply(checked);
    });
}

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
        if (!startHidden_ || !QSystemTrayIcon::isSystemTrayAvailable())
            window_->show();
    }

    statusItem_ = std::make_unique<QSystemTrayIcon>(QIcon(":/images/ic_status.svg"));
    statusItem_->setToolTip("Quovant");
    if (mainViewController_)
        mainViewController_->statusItemAppeared();
    statusItem_->setContextMenu(statusMemu_.get());
    // A click on the tray item (a double click where the tray takes a single one for the
    // menu) brings the window back.
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    applicationShouldHandleReopen();
            });
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        statusItem_->show();
    } else {
        // Nothing would be left to quit with once the window is closed.
        connect(qApp, &QGuiApplication::lastWindowClosed, this, [this] {
            if (quit_)
                return quit_();
            QCoreApplication::quit();
        });
        Log::line("No system tray on this desktop: closing the login window quits Quovant");
    }

    checkHelper();
}

HelperClient::Dependencies AppDelegate::reportingHere(HelperClient::Dependencies helper) {
    MainQueue* mainQueue = helper.mainQueue ? helper.mainQueue : &MainQueue::main();
    helper.authorizationFailed = [mainQueue, alive = QPointer(this)](const std::string& message) {
        mainQueue->async([alive, message] {
            if (alive)
                alive->authorizationFailed(message);
        });
    };
    return helper;
}

void AppDelegate::checkHelper() {
    shouldInstallHelper([this](bool current) {
        if (!current)
            installHelper();
    });
}

void AppDelegate::authorizationFailed(const std::string& message) {
    if (!window_)
        return terminate_();
    applicationShouldHandleReopen();
    AlertSheet::of(window_.get())
        .ask(QString::fromStdString(message),
             {{UiText::tryAgain, [this] { checkHelper(); }}, {UiText::quit, terminate_}});
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
