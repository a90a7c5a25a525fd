#include "ui/MainViewController.h"

#include "account/Constant.h"
#include "platform/Log.h"
#include "ui/LoginForm.h"
#include "ui/UiText.h"
#include "vpn/OpenVPNService.h"

MainViewController::MainViewController(Ports ports, QObject* parent)
    : QObject(parent), ports_(std::move(ports)), passwordsInDefaults_(*ports_.defaults) {
    setObjectName("mainViewController");
    if (!ports_.passwords)
        ports_.passwords = &passwordsInDefaults_;
    if (ports_.desktopNotifications)
        notices_.emplace(*ports_.desktopNotifications);
}

// The form belongs to the window it is shown in once it is placed there.
MainViewController::~MainViewController() = default;

void MainViewController::loadView() {
    if (!ports_.view) {
        auto* form = new LoginForm;
        form->setActions({[this] { onConnectButtonClick(); }, [this] { onSignUpButtonClick(); },
                          [this] { onHelpButtonClick(); }, [this] { viewDidAppear(); }});
        form_ = form;
        ports_.view = form;
    }
    viewDidLoad();
}

void MainViewController::viewDidLoad() {
    LoginView& view = *ports_.view;
    view.setUpColors(backgroundColor, greyColor);
    const auto email = ports_.defaults->string("email");
    view.setEmailText(email.value_or(""));
    view.setPasswordText("");
    // Credentials that were remembered stay remembered: with the box off, the next
    // successful login would erase them.
    view.setRememberChecked(email.has_value());
    view.setLinkTitles(UiText::signUp, UiText::help, greyColor);
    stateObservation_ = ports_.notifications->addObserver(
        OpenVPNService::stateDidChangeNotification, [this] { openVPNStateDidChange(); });
    trafficObservation_ =
        ports_.notifications->addObserver(OpenVPNService::trafficDidChangeNotification, [this] {
            if (look_ == StatusLine::Look::connected)
                showStatus();
        });
    // What failed before this window was there is not this window's news.
    failuresTold_ = ports_.vpn->status().failureCount;
    openVPNStateDidChange();
    const bool connectNow = ports_.connectAtStart && ports_.connectAtStart();
    // The password is remembered with the e-mail, or not at all: without one there is
    // nothing to ask the keyring for.
    if (!email) {
        if (connectNow)
            Log::line("not connecting at start: no credentials are remembered");
        return;
    }
    ports_.passwords->read([this, connectNow](std::optional<std::string> password) {
        // The keyring may answer after the user began to type; what they typed stays.
        if (password && ports_.view->passwordText().empty())
            ports_.view->setPasswordText(*password);
        if (!connectNow)
            return;
        if (!password)
            return Log::line("not connecting at start: no password is remembered");
        if (ports_.vpn->status().phase == RunPhase::idle)
            onConnectButtonClick();
    });
}

void MainViewController::viewDidAppear() {
    ports_.view->setUpFields(whiteColor, UiText::emailPlaceholder, UiText::passwordPlaceholder,
                             greyColor);
}

void MainViewController::onConnectButtonClick() {
    // No trimming: a text of blanks is not empty.
    const bool noEmail = ports_.view->emailText().empty();
    if (noEmail || ports_.view->passwordText().empty()) {
        // Asked from the tray with the window closed, the alert comes with its window.
        if (ports_.showWindow)
            ports_.showWindow();
        ports_.view->showAlert((noEmail ? UiText::emailEmpty : UiText::passwordEmpty).str());
        return;
    }
    ConnectionControl& vpn = *ports_.vpn;
    if (vpn.status().stillReconnecting)
        return vpn.reconnect(); // openvpn starts over at once
    if (vpn.status().running()) {
        if (notices_)
            notices_->userDisconnecting();
        return vpn.stopOpenVPN(); // while the account service is asked or openvpn connects too
    }
    if (vpn.status().blocked())
        return vpn.reconnect();
    vpn.connect(
        {ports_.view->emailText(), ports_.view->passwordText(), ports_.view->rememberChecked()});
}

void MainViewController::onDisconnectItemClick() {
    if (notices_ && ports_.vpn->status().running())
        notices_->userDisconnecting();
    ports_.vpn->stopOpenVPN();
}

void MainViewController::onSignUpButtonClick() {
    ports_.desktop->openURL(Constant::websiteURL("/prijzen/"));
}

void MainViewController::onHelpButtonClick() {
    ports_.desktop->openURL(Constant::websiteURL("/support/"));
}

void MainViewController::openVPNStateDidChange() {
    const ConnectionStatus& status = ports_.vpn->status();
    const StatusLine::Look look = StatusLine::of(status);
    // The question the block asked is settled once the machine is no longer blocked.
    const bool asked =
        look_ == StatusLine::Look::blocked || look_ == StatusLine::Look::stillReconnecting;
    if (asked && look != look_)
        ports_.view->withdrawQuestion();
    // Told before the look that follows it: a drop is news about the tunnel that was up.
    std::string failure;
    if (status.failureCount != failuresTold_) {
        failuresTold_ = status.failureCount;
        failure = tellFailure(status);
    }
    if (look == look_) {
        if (look == StatusLine::Look::connecting)
            showStatus(); // what openvpn is doing now
        return;
    }
    const bool turn = look_.has_value();
    applyLook(look);
    if (notices_)
        notices_->lookChanged(look, status.stats.server);
    if (look == StatusLine::Look::stillReconnecting)
        askWhileReconnecting();
    // A screen reader hears each turn where the user is, the reason with it; the first
    // look, as the window loads, is no news.
    if (!turn)
        return;
    const std::string headline = StatusLine::headline(look, status.stats);
    ports_.view->announce(failure.empty() ? headline : headline + "\n" + failure);
}

void MainViewController::askWhileReconnecting() {
    ConnectionControl& vpn = *ports_.vpn;
    ports_.view->askAlert(UiText::stillReconnecting,
                          {{UiText::reconnect, [&vpn] { vpn.reconnect(); }},
                           {UiText::disconnect, [this] { onDisconnectItemClick(); }}});
}

void MainViewController::applyLook(StatusLine::Look look) {
    switch (look) {
    case StatusLine::Look::disconnected:
        return setDisconnectedLook();
    case StatusLine::Look::connecting:
        return setConnectingLook();
    case StatusLine::Look::connected:
        return setConnectedLook();
    case StatusLine::Look::stopping:
        return setStoppingLook();
    case StatusLine::Look::blocked:
        return setBlockedLook();
    case StatusLine::Look::stillReconnecting:
        setLockedLook(whiteColor, UiText::reconnect, "bg_button");
        look_ = look;
        return showStatus();
    }
}

std::string MainViewController::tellFailure(const ConnectionStatus& status) {
    if (status.failure.empty())
        return {};
    const std::string failure = UiText::message(status.failure);
    if (status.blocked()) {
        if (notices_)
            notices_->blocked(failure);
        ConnectionControl& vpn = *ports_.vpn;
        ports_.view->askAlert(failure + "\n\n" + UiText::blockedExplained.str(),
                              {{UiText::reconnect, [&vpn] { vpn.reconnect(); }},
                               {UiText::disconnect, [&vpn] { vpn.releaseBlock(); }}});
        return failure;
    }
    if (notices_)
        notices_->failed(failure, ports_.windowShown());
    ports_.view->showAlert(failure);
    return failure;
}

void MainViewController::setDisconnectedLook() {
    LoginView& view = *ports_.view;
    view.setConnectTitle(UiText::connect, greyColor);
    view.setConnectImage("bg_button");
    if (ports_.setConnectItemTitle)
        ports_.setConnectItemTitle(UiText::connect);
    view.setFormEnabled(true);
    view.setRememberTextColor(whiteColor);
    look_ = StatusLine::Look::disconnected;
    showStatus();
}

void MainViewController::setConnectingLook() {
    setLockedLook(greyColor, UiText::connecting, "bg_button");
    look_ = StatusLine::Look::connecting;
    showStatus();
}

void MainViewController::setConnectedLook() {
    setLockedLook(whiteColor, UiText::disconnect, "bg_button_green");
    look_ = StatusLine::Look::connected;
    showStatus();
}

void MainViewController::setStoppingLook() {
    setLockedLook(greyColor, UiText::disconnecting, "bg_button");
    look_ = StatusLine::Look::stopping;
    showStatus();
}

void MainViewController::setBlockedLook() {
    setLockedLook(whiteColor, UiText::reconnect, "bg_button");
    look_ = StatusLine::Look::blocked;
    showStatus();
}

void MainViewController::showStatus() {
    const StatusLine::Look look = look_.value_or(StatusLine::Look::disconnected);
    const ConnectionStatus& status = ports_.vpn->status();
    const std::string text = StatusLine::text(look, status.stats, ConnectionStats::Clock::now(),
                                              UiText::message(status.progress));
    ports_.view->setStatusText(text);
    if (ports_.setStatusItemStatus)
        ports_.setStatusItemStatus(text);
    if (ports_.showDisconnectItem)
        ports_.showDisconnectItem(look == StatusLine::Look::blocked ||
                                  look == StatusLine::Look::stillReconnecting);
    // The icon changes only with the look; the figures alone change every minute.
    if (ports_.setStatusItemIcon && iconLook_ != look)
        ports_.setStatusItemIcon(look);
    iconLook_ = look;
}

void MainViewController::statusItemAppeared() {
    iconLook_.reset();
    showStatus();
}

void MainViewController::setLockedLook(uint32_t titleColor, const std::string& title,
                                       const std::string& imageName) {
    LoginView& view = *ports_.view;
    view.setConnectTitle(title, titleColor);
    view.setConnectImage(imageName);
    if (ports_.setConnectItemTitle)
        ports_.setConnectItemTitle(title);
    view.setFormEnabled(false);
    view.setRememberTextColor(greyColor);
}
