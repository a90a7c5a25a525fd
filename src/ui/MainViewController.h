#pragma once

#include "account/AccountService.h"
#include "account/ProfileFile.h"
#include "platform/Desktop.h"
#include "platform/KeyValueStore.h"
#include "platform/NotificationCenter.h"
#include "platform/PasswordStore.h"
#include "platform/SettingsPasswordStore.h"
#include "ui/ConnectionNotices.h"
#include "ui/LoginView.h"
#include "ui/StatusLine.h"
#include "vpn/OpenVPNService.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The login window's controller: validates the form, connects or disconnects,
// mirrors the connection state in the window and the status menu's connect item,
// keeps the remembered credentials, and runs the account service's login chain.
// Main thread only; it reaches the window only through LoginView.
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
        AccountService* account = nullptr;
        OpenVPNService* vpn = nullptr;
        NotificationCenter* notifications = nullptr;
        Desktop* desktop = nullptr;
        // The status menu's connect item, retitled with every look; empty while there is none.
        std::function<void(const std::string& title)> setConnectItemTitle = {};
        // The status item's tooltip, set with the status line; empty while there is none.
        std::function<void(const std::string& text)> setStatusItemToolTip = {};
        // The status item's icon for the look; empty while there is none.
        std::function<void(StatusLine::Look look)> setStatusItemIcon = {};
        // Desktop notifications of the connection's turns; none when empty.
        DesktopNotifications* desktopNotifications = nullptr;
        // Whether the user can see the window now; failures are notified only when not.
        std::function<bool()> windowShown = [] { return true; };
        // Whether to connect with the remembered credentials once they are read at load.
        std::function<bool()> connectAtStart = {};
        std::string profilePath = ProfileFile::defaultPath();
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

    void onConnectButtonClick();
    void onSignUpButtonClick();
    void onHelpButtonClick();
    void openVPNStateDidChange();

    void setDisconnectedLook();
    void setConnectingLook();
    void setConnectedLook();
    // The tunnel dropped and the helper blocks all else: the button reconnects, the
    // alert offers to reconnect or to disconnect.
    void setBlockedLook();
    // Shows the current look's status, with the tunnel's latest figures, in the status
    // line and the status item's tooltip and icon.
    void showStatus();
    // The status item was just made: it takes the status, icon included.
    void statusItemAppeared();
    // The user unticked "Blokkeer internet zonder VPN": a block that outlived its run
    // is lifted at once, as if they chose to disconnect. Runs from now on are not guarded.
    void leakBlockSwitchedOff();

    void login(const std::string& email, const std::string& password);
    void requestProfile(const std::string& authorization);

private:
    void setLockedLook(uint32_t titleColor, const std::string& title, const std::string& imageName);
    // The status line, tooltip and notifications of the look just applied.
    void lookTaken(StatusLine::Look look);
    void failed(const AccountReply& reply);
    void unknownError();
    // Ends the chain with the disconnected look and, when there is one, the reason.
    void chainFailed(const std::string& alert);
    void blockedAfterDrop(const std::string& failure);
    // A new run from the profile and the credentials of the one that dropped.
    void reconnect();
    // Opens the way the block holds shut.
    void disconnectBlocked();

    Ports ports_;
    SettingsPasswordStore passwordsInDefaults_;
    QWidget* form_ = nullptr;
    StatusLine::Look look_ = StatusLine::Look::disconnected;
    std::optional<ConnectionNotices> notices_;
    std::optional<StatusLine::Look> iconLook_; // the look the status item's icon shows
    // Where the chain a click started stands, until it has ended: connected, or back to
    // no process. A click meanwhile starts no second one.
    enum class Chain { idle, requesting, running };
    Chain chain_ = Chain::idle;
    // A click that came while the previous openvpn was still ending; it connects once
    // that openvpn is gone.
    bool connectWhenEnded_ = false;
};
