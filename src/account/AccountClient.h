#pragma once

#include "account/AccountService.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QSslConfiguration>
#include <vector>

class QNetworkReply;

// The account service over HTTPS with Qt Network. Each request gives up after
// `timeoutMs` and then counts as unanswered. QUOVANT_CA_FILE (development and tests)
// names a PEM file of certificates trusted in addition to the system's.
class AccountClient : public AccountService {
public:
    explicit AccountClient(int requestTimeoutMs = timeoutMs);
    void login(const std::string& email, const std::string& password,
               Completion completion) override;
    void requestProfile(const std::string& authorization, Completion completion) override;
    void cancel() override;

private:
    void whenFinished(QNetworkReply* reply, Completion completion);

    const int requestTimeoutMs_;
    int inFlight_ = 0;
    std::vector<QPointer<QNetworkReply>> replies_; // under way
    QNetworkAccessManager manager_;
    QSslConfiguration ssl_;
};
