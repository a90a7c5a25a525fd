#include "ui/MainViewController.h"

#include "account/Constant.h"
#include "account/ProfileFile.h"
#include "platform/Log.h"
#include "ui/LoginForm.h"
#include "ui/UiText.h"
#include "vpn/ConnectionState.h"

#include <nlohmann/json.hpp>
#include <optional>

namespace {

// The second reading of a body: only a top-level object will do.
std::optional<std::string> stringMember(const std::string& body, const char* name) {
    const auto value = nlohmann::json::parse(body, nullptr, false);
    if (value.is_discarded() || !value.is_object())
        return std::nullopt;
    const auto member = value.find(name);
    if (member == value.end() || !member->is_string())
        return std::nullopt;
    return member->get<std::string>();
}

} // namespace

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
    view.setConnectTitle(UiText::connect, greyColor);
    view.setLinkTitles(UiText::signUp, UiText::help, greyColor);
    ports_.notifications->addObserver(OpenVPNService::stateDidChangeNotification,
                                      [this] { openVPNStateDidChange(); });
    ports_.notifications->addObserver(OpenVPNService::trafficDidChangeNotification, [this] {
        if (look_ == StatusLine::Look::connected)
            showStatus();
    });
    showStatus();
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
        if (look_ == StatusLine::Look::disconnected)
            onConnectButtonClick();
    });
}

void MainViewController::viewDidAppear() {
    ports_.view->setUpFields(whiteColor, UiText::emailPlaceholder, UiText::passwordPlaceholder,
                             greyColor);
}

void MainViewController::onConnectButtonClick() {
    // No trimming: a text of blanks is not empty.
    if (ports_.view->emailText().empty()) {
        ports_.view->showAlert(UiText::emailEmpty);
        return;
    }
    if (ports_.view->passwordText().empty()) {
        ports_.view->showAlert(UiText::passwordEmpty);
        return;
    }
    if (look_ == StatusLine::Look::blocked)
        return reconnect();
    const std::string state = ports_.vpn->state();
    if (!ConnectionState::isStopped(state)) {
        if (notices_)
            notices_->userDisconnecting();
        ports_.vpn->stopOpenVPN(); // during connecting too: the click cancels
        return;
    }
    if (chain_ != Chain::idle) {
        Log::line("a connection is already being made");
        return;
    }
    if (ports_.vpn->runInProgress()) {
        // The previous openvpn is still ending; the new one starts once it is gone.
        connectWhenEnded_ = true;
        setConnectingLook();
        return;
    }
    login(ports_.view->emailText(), ports_.view->passwordText());
}

void MainViewController::onSignUpButtonClick() {
    ports_.desktop->openURL(Constant::websiteURL("/prijzen/"));
}

void MainViewController::onHelpButtonClick() {
    ports_.desktop->openURL(Constant::websiteURL("/support/"));
}

void MainViewController::openVPNStateDidChange() {
    const std::string state = ports_.vpn->state();
    Log::line(state);
    switch (ConnectionState::phaseOf(state)) {
    case ConnectionState::Phase::unknown:
        break; // a word outside the table leaves the window as it is
    case ConnectionState::Phase::connecting:
        setConnectingLook();
        break;
    case ConnectionState::Phase::connected:
        chain_ = Chain::idle;
        setConnectedLook();
        break;
    case ConnectionState::Phase::stopped:
        // While the account service is asked, or openvpn is still ending, the run has
        // not ended: the look stays until it has.
        if (chain_ == Chain::requesting || ports_.vpn->runInProgress())
            break;
        chain_ = Chain::idle;
        if (connectWhenEnded_) {
            connectWhenEnded_ = false;
            ports_.vpn->takeFailure(); // the user already chose to connect again
            onConnectButtonClick();
        } else if (const std::string failure = ports_.vpn->takeFailure(); !failure.empty()) {
            // Switched off while the run went on: the user no longer wants the block.
            if (ports_.vpn->blocked() && !ports_.vpn->leakBlock().enabled)
                ports_.vpn->releaseBlock();
            if (ports_.vpn->blocked())
                blockedAfterDrop(failure);
            else
                chainFailed(failure);
        } else {
            setDisconnectedLook();
        }
        break;
    }
}

void MainViewController::setDisconnectedLook() {
    LoginView& view = *ports_.view;
    view.setConnectTitle(UiText::connect, greyColor);
    view.setConnectImage("bg_button");
    if (ports_.setConnectItemTitle)
        ports_.setConnectItemTitle(UiText::connect);
    view.setFormEnabled(true);
    view.setRememberTextColor(whiteColor);
    lookTaken(StatusLine::Look::disconnected);
}

void MainViewController::setConnectingLook() {
    setLockedLook(greyColor, UiText::connecting, "bg_button");
    lookTaken(StatusLine::Look::connecting);
}

void MainViewController::setConnectedLook() {
    setLockedLook(whiteColor, UiText::disconnect, "bg_button_green");
    lookTaken(StatusLine::Look::connected);
}

void MainViewController::setBlockedLook() {
    setLockedLook(whiteColor, UiText::reconnect, "bg_button");
    lookTaken(StatusLine::Look::blocked);
}

void MainViewController::lookTaken(StatusLine::Look look) {
    // The question the block asked is settled once the machine is no longer blocked.
    if (look_ == StatusLine::Look::blocked && look != StatusLine::Look::blocked)
        ports_.view->withdrawQuestion();
    look_ = look;
    showStatus();
    if (notices_)
        notices_->lookChanged(look, ports_.vpn->connectionStats().server);
}

void MainViewController::showStatus() {
    const std::string text =
        StatusLine::text(look_, ports_.vpn->connectionStats(), ConnectionStats::Clock::now());
    ports_.view->setStatusText(text);
    if (ports_.setStatusItemToolTip)
        ports_.setStatusItemToolTip("Quovant\n" + text);
    // The icon changes only with the look; the figures alone change every minute.
    if (ports_.setStatusItemIcon && iconLook_ != look_)
        ports_.setStatusItemIcon(look_);
    iconLook_ = look_;
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

void MainViewController::login(const std::string& email, const std::string& password) {
    chain_ = Chain::requesting;
    setConnectingLook();
    ports_.account->login(email, password, [this, email, password](const AccountReply& reply) {
        if (reply.outcome != AccountReply::Outcome::succeeded)
            return failed(reply);
        if (ports_.view->rememberChecked()) {
            ports_.defaults->set("email", email);
            ports_.passwords->write(password);
        } else {
            ports_.defaults->remove("email");
            ports_.passwords->remove();
        }
        const auto token = stringMember(reply.body, "access_token");
        if (!token)
            return unknownError();
        requestProfile("Bearer " + *token);
    });
}

void MainViewController::requestProfile(const std::string& authorization) {
    ports_.account->requestProfile(authorization, [this](const AccountReply& reply) {
        if (reply.outcome != AccountReply::Outcome::succeeded)
            return failed(reply);
        const auto config = stringMember(reply.body, "config");
        if (!config)
            return unknownError();
        const Result<void> written = ProfileFile::write(ports_.profilePath, *config);
        if (!written) {
            // Whatever sits at the path now is not the profile just fetched.
            Log::line(written.why());
            return chainFailed(UiText::profileNotSaved + written.why());
        }
        OpenVPNService& vpn = *ports_.vpn;
        vpn.config = ports_.profilePath;
        vpn.username = ports_.view->emailText();
        vpn.password = ports_.view->passwordText();
        chain_ = Chain::running;
        vpn.startOpenVPN();
    });
}

void MainViewController::failed(const AccountReply& reply) {
    chainFailed(reply.outcome == AccountReply::Outcome::failedWithResponse
                    ? UiText::wrongCredentials
                    : UiText::networkFailed);
}

void MainViewController::unknownError() {
    chainFailed(UiText::unknownError);
}

void MainViewController::blockedAfterDrop(const std::string& failure) {
    Log::line("the connection dropped; traffic outside the VPN stays blocked: " + failure);
    if (notices_)
        notices_->blocked(failure);
    chain_ = Chain::idle;
    setBlockedLook();
    ports_.view->askAlert(failure + "\n\n" + UiText::blockedExplained,
                          {{UiText::reconnect, [this] { reconnect(); }},
                           {UiText::disconnect, [this] { disconnectBlocked(); }}});
}

void MainViewController::reconnect() {
    if (look_ != StatusLine::Look::blocked || ports_.vpn->runInProgress())
        return;
    // No login first: the account service is out of reach while the block holds, and
    // opening the way for it would let every program's traffic out meanwhile. The profile
    // and credentials of the run that dropped start the new one, which takes the block over.
    Log::line("reconnecting through the block");
    chain_ = Chain::running;
    setConnectingLook();
    ports_.vpn->startOpenVPN();
}

void MainViewController::leakBlockSwitchedOff() {
    if (look_ != StatusLine::Look::blocked)
        return;
    Log::line("the user switched the block off while it held");
    disconnectBlocked();
}

void MainViewController::disconnectBlocked() {
    if (look_ != StatusLine::Look::blocked)
        return;
    Log::line("the user disconnected: traffic outside the VPN is no longer blocked");
    ports_.vpn->releaseBlock();
    setDisconnectedLook();
}

void MainViewController::chainFailed(const std::string& alert) {
    // Back to a form the user can use: the chain has ended.
    Log::line("connecting failed: " + alert);
    if (notices_)
        notices_->failed(alert, ports_.windowShown());
    chain_ = Chain::idle;
    setDisconnectedLook();
    ports_.view->showAlert(alert);
}
