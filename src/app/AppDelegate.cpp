#include "app/AppDelegate.h"

#include "app/MainWindowController.h"
#include "platform/Log.h"
#include "platform/qt/TrayWatch.h"
#include "ui/AlertSheet.h"
#include "ui/Artwork.h"
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
    auto item = std::make_unique<QSystemTrayIcon>(statusItem_ ? statusItem_->icon()
                                                              : Artwork::icon("ic_status"));
    item->setToolTip(statusItem_ ? statusItem_->toolTip() : QStringLiteral("Quovant"));
    item->setContextMenu(statusMemu_.get());
    // A click on the tray item (a double click where the tray takes a single one for the
    // menu) brings the window back.
    connect(item.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    applicationShouldHandleReopen();
            });
    const bool first = !statusItem_;
    statusItem_ = std::move(item);
    statusItemSeesWatcher_ = statusNotifierWatcher_;
    if (first && mainViewController_)
        mainViewController_->statusItemAppeared();
    // Shown whether or not a tray is there yet: Qt puts the item into one that comes later.
    statusItem_->show();
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
    if (hadTray)
        return;
    Log::line("A system tray is there: closing the login window leaves Quovant in it");
    // Qt picks the kind of tray an item uses when the item is made; an X11 item made while
    // no StatusNotifierWatcher ran would stay an XEmbed one that such a tray never sees.
    if (statusItem_ && !statusItemSeesWatcher_ && tray == TrayPresence::Tray::statusNotifier &&
        QGuiApplication::platformName() == "xcb")
        makeStatusItem();
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
    // Qt's Wayland shell hands the token to the compositor with the next activation.
    if (!activation.isEmpty() && QGuiApplication::platformName().startsWith("wayland"))
        qputenv("XDG_ACTIVATION_TOKEN", activation);
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
    return true;
}

void AppDelegate::onConnectButtonClick() {
    if (mainViewController_)
        mainViewController_->onConnectButtonClick();
}
