#pragma once

#include "app/Storyboard.h"
#include "helper/HelperClient.h"
#include "helper/HelperConnectionProvider.h"
#include "platform/KeyValueStore.h"
#include "platform/TrayPresence.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

class QAction;
class QMainWindow;
class QMenu;
class MainViewController;
class MainWindowController;
class StatusItem;
class TrayWatch;
class WindowRecall;

// The application delegate: builds the login window from the storyboard, puts the
// status item with its menu into the tray, checks (and if need be installs) the
// helper, brings the window back on reopen, and holds the helper connection. When
// the authorisation to install the helper cannot be had, an alert on the login
// window says why and offers to try again or to quit.
class AppDelegate : public QObject, public HelperConnectionProvider {
public:
    explicit AppDelegate(HelperClient::Dependencies helper);
    ~AppDelegate() override;

    // The storyboard "Main"; set before launch.
    void setStoryboard(const Storyboard* storyboard) { storyboard_ = storyboard; }

    // Started in the tray (`quovant --tray`, or by a command): the window is not shown at
    // launch, unless there is no tray to reach Quovant through.
    void setStartHidden(bool hidden) { startHidden_ = hidden; }

    void applicationDidFinishLaunching();
    void applicationWillTerminate() {}
    // Brings the login window forward, out of the dock or task bar too; true in every case.
    // `activation` is the token (Wayland) or startup id (X11) that the desktop handed
    // over for it, if any.
    bool applicationShouldHandleReopen(const QByteArray& activation = {});
    // The status menu's connect item: the login window's connect action, if there is one.
    void onConnectButtonClick();
    // The status menu's quit item, and closing the window where there is no tray: by
    // default the application ends at once.
    void setQuit(std::function<void()> quit) { quit_ = std::move(quit); }
    // How long after the launch a close waits for a tray before it may quit; set before launch.
    void setTrayGrace(std::chrono::milliseconds grace) { trayGrace_ = grace; }
    static constexpr std::chrono::seconds defaultTrayGrace{10};
    const TrayPresence& trayPresence() const { return trayPresence_; }

    // The status menu's "Automatisch opnieuw verbinden" item follows what `settings`
    // remembers (on when nothing is); each change is remembered and handed to `apply`,
    // which also gets the remembered value now.
    void bindReconnectSetting(KeyValueStore& settings, std::function<void(bool on)> apply);
    static constexpr const char* reconnectKey = "autoReconnect";

    // "statusMemu", not statusMenu: the name the product's interface has always used
    // for this menu, kept on purpose.
    QMenu* statusMemu() const { return statusMemu_.get(); }
    QAction* reconnectItem() const { return reconnectItem_; }
    QAction* connectItem() const { return connectItem_; }
    // Shown only while the block holds after a drop: the second way out of it.
    QAction* disconnectItem() const { return disconnectItem_; }
    QMainWindow* window() const;
    MainViewController* mainViewController() const { return mainViewController_.get(); }
    StatusItem* statusItem() const { return statusItem_.get(); }

    std::shared_ptr<HelperConnection> helperConnection() override {
        return helper_.helperConnection();
    }
    void shouldInstallHelper(std::function<void(bool)> callback) {
        helper_.shouldInstallHelper(std::move(callback));
    }
    void installHelper() { helper_.installHelper(); }
    HelperClient& helper() { return helper_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeStatusItem();
    void trayChanged(TrayPresence::Tray tray, bool present);
    void decided(TrayPresence::Outcome outcome);
    void quit();
    // The launch's last step: the helper check, and an installation when it is needed.
    void checkHelper();
    // The installer's dependencies, with its authorisation failures brought to the main thread.
    HelperClient::Dependencies reportingHere(HelperClient::Dependencies helper);
    void authorizationFailed(const UserMessage& message);

    const Storyboard* storyboard_ = nullptr;
    bool startHidden_ = false;
    std::unique_ptr<QMenu> statusMemu_;
    QAction* connectItem_ = nullptr;
    QAction* disconnectItem_ = nullptr;
    QAction* reconnectItem_ = nullptr;
    std::unique_ptr<MainWindowController> window_;
    std::unique_ptr<WindowRecall> recall_;
    std::unique_ptr<MainViewController> mainViewController_;
    std::unique_ptr<StatusItem> statusItem_;
    TrayPresence trayPresence_;
    bool statusNotifierWatcher_ = false;
    std::chrono::milliseconds trayGrace_ = defaultTrayGrace;
    QTimer trayGraceTimer_;
    std::unique_ptr<TrayWatch> trayWatch_;
    std::function<void()> terminate_;
    std::function<void()> quit_;
    HelperClient helper_;
};
