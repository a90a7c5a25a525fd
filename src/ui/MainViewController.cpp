#include "ui/MainViewController.h"

#include "account/Constant.h"
#include "account/ProfileFile.h"
#include "platform/Log.h"
#include "ui/LoginForm.h"

#include <nlohmann/json.hpp>
#include <optional>

namespace {

enum class Look { connecting, connected, disconnected };

std::optional<Look> lookFor(const std::string& state) {
    for (const char* word : {"USER_VPN_PERMISSION", "VPN_GENERATE_CONFIG", "NONETWORK",
                             "CONNECTING", "WAIT", "RECONNECTING", "RESOLVE", "TCP_CONNECT", "AUTH",
                             "GET_CONFIG", "ASSIGN_IP", "ADD_ROUTES"})
        if (state == word)
            return Look::connecting;
    if (state == "CONNECTED")
        return Look::connected;
    if (state == "DISCONNECTED" || state == "EXITING" || state == "NOPROCESS")
        return Look::disconnected;
    return std::nullopt;
}

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
    : QObject(parent), ports_(std::move(ports)) {
    setObjectName("mainViewController");
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
    const auto password = ports_.defaults->string("password");
    view.setEmailText(email.value_or(""));
    view.setPasswordText(password.value_or(""));
    // Credentials that were remembered stay remembered: with the box off, the next
    // successful login would erase them.
    view.setRememberChecked(email.has_value() || password.has_value());
    view.setConnectTitle("Verbinden", greyColor);
    view.setLinkTitles("Inschrijven", "Help", greyColor);
    ports_.notifications->addObserver(OpenVPNService::stateDidChangeNotification,
                                      [this] { openVPNStateDidChange(); });
}

void MainViewController::viewDidAppear() {
    ports_.view->setUpFields(whiteColor, "Email", "Wachtwoord", greyColor);
}

void MainViewController::onConnectButtonClick() {
    // No trimming: a text of blanks is not empty.
    if (ports_.view->emailText().empty()) {
        ports_.view->showAlert("Email should not be empty!");
        return;
    }
    if (ports_.view->passwordText().empty()) {
        ports_.view->showAlert("Password should not be empty!");
        return;
    }
    const std::string state = ports_.vpn->state();
    if (state != "DISCONNECTED" && state != "EXITING" && state != "NOPROCESS") {
        ports_.vpn->management().sendCommand("signal SIGINT\n");
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
    const auto look = lookFor(state);
    if (!look)
        return; // a word outside the table leaves the window as it is
    switch (*look) {
    case Look::connecting:
        setConnectingLook();
        break;
    case Look::connected:
        setConnectedLook();
        break;
    case Look::disconnected:
        setDisconnectedLook();
        break;
    }
}

void MainViewController::setDisconnectedLook() {
    LoginView& view = *ports_.view;
    view.setConnectTitle("Verbinden", greyColor);
    view.setConnectImage("bg_button");
    if (ports_.setConnectItemTitle)
        ports_.setConnectItemTitle("Verbinden");
    view.setFormEnabled(true);
    view.setRememberTextColor(whiteColor);
}

void MainViewController::setConnectingLook() {
    setLockedLook(greyColor, "Verbinden...", "bg_button");
}

void MainViewController::setConnectedLook() {
    setLockedLook(whiteColor, "Verbinding verbreken", "bg_button_green");
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
    setConnectingLook();
    ports_.account->login(email, password, [this, email, password](const AccountReply& reply) {
        if (reply.outcome != AccountReply::Outcome::succeeded)
            return failed(reply);
        if (ports_.view->rememberChecked()) {
            ports_.defaults->set("email", email);
            ports_.defaults->set("password", password);
        } else {
            ports_.defaults->remove("email");
            ports_.defaults->remove("password");
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
        const std::string refusal = ProfileFile::write(ports_.profilePath, *config);
        if (!refusal.empty())
            Log::line(
                refusal); // the helper then refuses the profile and the state returns to NOPROCESS
        OpenVPNService& vpn = *ports_.vpn;
        vpn.config = ports_.profilePath;
        vpn.username = ports_.view->emailText();
        vpn.password = ports_.view->passwordText();
        vpn.startOpenVPN();
    });
}

void MainViewController::failed(const AccountReply& reply) {
    setDisconnectedLook();
    ports_.view->showAlert(reply.outcome == AccountReply::Outcome::failedWithResponse
                               ? "Onjuist email of wachtwoord"
                               : "Network connection failed");
}

void MainViewController::unknownError() {
    // Back to a form the user can use: the chain has ended.
    setDisconnectedLook();
    ports_.view->showAlert("Unknown error");
}
