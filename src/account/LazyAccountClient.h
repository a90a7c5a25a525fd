#pragma once

#include "account/AccountClient.h"

#include <memory>

// The account service as the application starts with it: the HTTPS client (Qt Network's
// TLS back end and OpenSSL with it) is made at the first request, not at start, so an
// application that sits in the tray until someone logs in does not carry it.
class LazyAccountClient : public AccountService {
public:
    void login(const std::string& email, const std::string& password,
               Completion completion) override {
        client().login(email, password, std::move(completion));
    }
    void requestProfile(const std::string& authorization, Completion completion) override {
        client().requestProfile(authorization, std::move(completion));
    }

private:
    AccountClient& client() {
        if (!client_)
            client_ = std::make_unique<AccountClient>();
        return *client_;
    }

    std::unique_ptr<AccountClient> client_;
};
