#include "app/AppDelegate.h"

#include "app/MainWindowController.h"
#include "app/StatusItem.h"
#include "app/WindowRecall.h"
#include "platform/Log.h"
#include "platform/qt/TrayWatch.h"
#include "ui/AlertSheet.h"
#include "ui/MainViewController.h"
#include "ui/TrayMenu.h"
#include "ui/UiText.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

AppDelegate::AppDelegate(HelperClient::Dependencies helper)
    : statusMemu_(std::make_unique<TrayMenu>()), terminate_(helper.terminate),
      helper_(reportingHere(std::move(helper))) {
    QAction* open = statusMemu_->addAction(UiText::openWindow);
    open->setObjectName("openItem");
    connect(open, &QAction::triggered, this, [this] {
        applicationShouldHandleReopen(statusItem_ ? statusItem_->takeActivationToken()
                                                  : QByteArray());
    });
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
    reconnectItem_ = statusMemu_->addAction(UiText::autoReconnect);
    reconnectItem_->setObjectName("reconnectItem");
    reconnectItem_->setCheckable(true);
    reconnectItem_->setChecked(true);
    statusMemu_->addSeparator();
    QAction* quit = statusMemu_->addAction(UiText::quit);
    quit->setObjectName("quitItem");
    connect(quit, &QAction::triggered, this, [this] { this->quit(); });
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
        if (QWidget* content = mainViewController_ ? mainViewController_->view() : nullptr)
            window_->setContent(content);
        window_->installEventFilter(this);
        recall_ = std::make_unique<WindowRecall>(*window_);
        // A start in the tray shows the window only where no tray can bring it back.
        if (!startHidden_ || !QSystemTrayIcon::isSystemTrayAvailable())
            window_->show();
    }

    // Until a tray is seen, the launch waits a little for one before a close may quit.
    trayGraceTimer_.setSingleShot(true);
    connect(&trayGraceTimer_, &QTimer::timeout, this, [this] {
        const TrayPresence::Outcome outcome = trayPresence_.graceEnded();
        if (trayPresence_.closingQuits())
            Log::line("No system tray on this desktop: closing the login window quits Quovant");
        decided(outcome);
    });
    trayGraceTimer_.start(trayGrace_);
    trayWatch_ = std::make_unique<TrayWatch>(
        [this](TrayPresence::Tray tray, bool present) { trayChanged(tray, present); });
    trayWatch_->start();
    makeStatusItem();

    checkHelper();
}

void AppDelegate::makeStatusItem() {
    statusItem_ = std::make_unique<StatusItem>(*statusMemu_, [this](const QByteArray& activation) {
        applicationShouldHandleReopen(activation);
    });
    statusItem_->show(statusNotifierWatcher_);
    if (mainViewController_)
        mainViewController_->statusItemAppeared();
}

void AppDelegate::trayChanged(TrayPresence::Tray tray, bool present) {
    if (tray == TrayPresence::Tray::statusNotifier)
        statusNotifierWatcher_ = present;
    const bool hadTray = trayPresence_.phase() == TrayPresence::Phase::tray;
    if (!present) {
        decided(trayPresence_.trayGone(tray));
        if (trayPresence_.closingQuits())
            Log::line("The system tray went away: closing the login window quits Quovant");
        return;
    }
    decided(trayPresence_.trayAppeared(tray));
    if (!hadTray)
        Log::line("A system tray is there: closing the login window leaves Quovant in it");
    if (statusItem_ && tray == TrayPresence::Tray::statusNotifier)
        statusItem_->watcherAppeared();
}

void AppDelegate::decided(TrayPresence::Outcome outcome) {
    if (outcome == TrayPresence::Outcome::quit)
        quit();
}

void AppDelegate::quit() {
    if (quit_)
        return quit_();
    QCoreApplication::quit();
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get()) {
        if (event->type() == QEvent::Show)
            trayPresence_.windowShown();
        else if (event->type() == QEvent::Close)
            decided(trayPresence_.windowClosed());
    }
    return QObject::eventFilter(watched, event);
}

QMainWindow* AppDelegate::window() const {
    return window_.get();
}

HelperClient::Dependencies AppDelegate::reportingHere(HelperClient::Dependencies helper) {
    MainQueue* mainQueue = helper.mainQueue ? helper.mainQueue : &MainQueue::main();
    helper.authorizationFailed = [mainQueue, alive = QPointer(this)](const UserMessage& message) {
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

void AppDelegate::authorizationFailed(const UserMessage& message) {
    if (!window_)
        return terminate_();
    applicationShouldHandleReopen();
    AlertSheet::of(window_.get())
        .ask(QString::fromStdString(UiText::message(message)),
             {{UiText::tryAgain, [this] { checkHelper(); }}, {UiText::quit, terminate_}});
}

bool AppDelegate::applicationShouldHandleReopen(const QByteArray& activation) {
    if (!window_)
        return true;
    recall_->bringForward(activation);
    return true;
}

void AppDelegate::onConnectButtonClick() {
    if (mainViewController_)
        mainViewController_->onConnectButtonClick();
}
