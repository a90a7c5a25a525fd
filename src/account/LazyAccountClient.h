#pragma once

#include "account/AccountService.h"

#include <memory>
#include <string>

// The account service as the application starts with it: the HTTPS client is loaded
// from its module (Qt Network, its TLS back end and OpenSSL with it) at the first
// request, not at start, so an application that sits in the tray until someone logs
// in does not carry them. The module stays loaded once loaded. A module that cannot be loaded
// answers every request as unanswered, and the log says why once.
class LazyAccountClient : public AccountService {
public:
    // `modulePath`: the client module's file (AccountClientModule::fileName).
    explicit LazyAccountClient(std::string modulePath);

    void login(const std::string& email, const std::string& password,
               Completion completion) override;
    void requestProfile(const std::string& authorization, Completion completion) override;
    void cancel() override;

private:
    // The loaded client, or null when the module cannot be loaded.
    AccountService* client();

    const std::string modulePath_;
    bool loadTried_ = false;
    std::unique_ptr<AccountService> client_;
};
