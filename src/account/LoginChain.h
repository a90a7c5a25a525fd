#pragma once

#include "account/AccountService.h"
#include "platform/KeyValueStore.h"
#include "platform/PasswordStore.h"
#include "platform/UserText.h"
#include "vpn/ProfileSource.h"

#include <cstdint>
#include <memory>
#include <string>

// The account service's half of a connect: log in, keep or forget the credentials as
// the remember-me box says, take the access token, fetch the profile and save it. One
// completion, with the saved profile's path or the message the user is shown; a cancel
// at any step ends the requests under way and nothing of the chain completes.
class LoginChain : public ProfileSource {
public:
    static constexpr const char* wrongCredentials =
        USER_TEXT("Messages", "Onjuist email of wachtwoord");
    static constexpr const char* networkFailed = USER_TEXT("Messages", "Network connection failed");
    static constexpr const char* unknownError = USER_TEXT("Messages", "Unknown error");
    static constexpr const char* profileNotSaved =
        USER_TEXT("Messages", "The VPN profile could not be saved: %1");

    struct Ports {
        AccountService* account = nullptr;
        KeyValueStore* defaults = nullptr; // "email" is remembered there
        PasswordStore* passwords = nullptr;
        std::string profilePath;
    };

    explicit LoginChain(Ports ports) : ports_(std::move(ports)) {}

    void fetch(const Credentials& credentials, Completion completion) override;
    void cancel() override;

    void login(const std::string& email, const std::string& password);
    void requestProfile(const std::string& authorization);

private:
    // Completes the chain of `generation` unless it was cancelled or replaced.
    void complete(uint64_t generation, const Outcome& outcome);
    AccountService::Completion step(void (LoginChain::*next)(const AccountReply&));
    void loggedIn(const AccountReply& reply);
    void profileArrived(const AccountReply& reply);
    void failed(const AccountReply& reply);

    Ports ports_;
    Credentials credentials_;
    Completion completion_;
    uint64_t generation_ = 0;
    // Held weakly by the requests' completions, which may come after this has gone.
    std::shared_ptr<LoginChain*> self_ = std::make_shared<LoginChain*>(this);
};
