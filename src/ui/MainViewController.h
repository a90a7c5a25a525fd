#pragma once

#include "platform/Desktop.h"
#include "platform/KeyValueStore.h"
#include "platform/NotificationCenter.h"
#include "platform/PasswordStore.h"
#include "platform/SettingsPasswordStore.h"
#include "ui/ConnectionNotices.h"
#include "ui/LoginView.h"
#include "ui/StatusLine.h"
#include "vpn/ConnectionControl.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The login window's controller: validates the form, connects or disconnects, and shows
// the connection's status (the service's one status value) in the window, the status
// menu and the status item; it keeps nothing of the connection itself. Main thread only;
// it reaches the window only through LoginView.
class MainViewController : public QObject {
    Q_OBJECT
public:
    static constexpr uint32_t backgroundColor = 0x282C35;
    static constexpr uint32_t greyColor = 0x9D9EA2;
    static constexpr uint32_t whiteColor = 0xFFFFFF;

    struct Ports {
        LoginView* view = nullptr;
        KeyValueStore* defaults = nullptr;
        // The remembered password; by default the key "password" of `defaults`.
        PasswordStore* passwords = nullptr;
        ConnectionControl* vpn = nullptr;
        NotificationCenter* notifications = nullptr;
        Desktop* desktop = nullptr;
        // The status menu's connect item, retitled with every look; empty while there is none.
        std::function<void(const std::string& title)> setConnectItemTitle = {};
        // The status menu's second way out of a block (disconnect), shown only while it holds.
        std::function<void(bool shown)> showDisconnectItem = {};
        // The status item's status (its tooltip and title), set with the status line; empty
        // while there is none.
        std::function<void(const std::string& status)> setStatusItemStatus = {};
        // The status item's icon for the look; empty while there is none.
        std::function<void(StatusLine::Look look)> setStatusItemIcon = {};
        // Desktop notifications of the connection's turns; none when empty.
        DesktopNotifications* desktopNotifications = nullptr;
        // Whether the user can see the window now; failures are notified only when not.
        std::function<bool()> windowShown = [] { return true; };
        // Brings the window forward: the form needs the user (a connect from the tray with an
        // empty field); none when empty.
        std::function<void()> showWindow = {};
        // Whether to connect with the remembered credentials once they are read at load.
        std::function<bool()> connectAtStart = {};
    };

    // With no view among the ports, loadView() makes the Qt login form.
    explicit MainViewController(Ports ports, QObject* parent = nullptr);
    ~MainViewController() override;

    // Makes the view (when none was given), wires its controls to the actions, then viewDidLoad().
    void loadView();
    // The Qt form made by loadView(), if any.
    QWidget* view() const { return form_; }

    void viewDidLoad();
    void viewDidAppear();

    // Connects; or, while a connection is being made, is up or ends, cancels or
    // disconnects; or, while the block holds after a drop, reconnects through it.
    void onConnectButtonClick();
    // The status menu's disconnect item: ends whatever runs, and opens the way a block holds.
    void onDisconnectItemClick();
    void onSignUpButtonClick();
    void onHelpButtonClick();
    void openVPNStateDidChange();

    void setDisconnectedLook();
    void setConnectingLook();
    void setConnectedLook();
    void setStoppingLook();
    // The tunnel dropped and the helper blocks all else: the button reconnects, the
    // alert offers to reconnect or to disconnect.
    void setBlockedLook();
    // Shows the current look's status, with the tunnel's latest figures, in the status
    // line and the status item's tooltip and icon.
    void showStatus();
    // The status item was just made: it takes the status, icon included.
    void statusItemAppeared();

private:
    void setLockedLook(uint32_t titleColor, const std::string& title, const std::string& imageName);
    void applyLook(StatusLine::Look look);
    // Tells the failure the status holds: an alert (a question while blocked) and a
    // desktop notification where one is due. Returns the failure as told, empty for none.
    std::string tellFailure(const ConnectionStatus& status);
    // The tunnel has been remade for long: the question with both ways out, once.
    void askWhileReconnecting();

    Ports ports_;
    SettingsPasswordStore passwordsInDefaults_;
    QWidget* form_ = nullptr;
    // What is drawn now, so that a status that changes nothing redraws nothing.
    std::optional<StatusLine::Look> look_;
    std::optional<StatusLine::Look> iconLook_;
    uint64_t failuresTold_ = 0;
    std::optional<ConnectionNotices> notices_;
    NotificationCenter::Observation stateObservation_;
    NotificationCenter::Observation trafficObservation_;
};
