#include "account/AccountClient.h"

#include "account/Constant.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace {

QNetworkRequest requestFor(const std::string& url, const QSslConfiguration& ssl, int timeoutMs) {
    QNetworkRequest request(QUrl(QString::fromStdString(url)));
    request.setSslConfiguration(ssl);
    request.setTransferTimeout(timeoutMs);
    return request;
}

} // namespace

AccountClient::AccountClient(int requestTimeoutMs)
    : requestTimeoutMs_(requestTimeoutMs), ssl_(QSslConfiguration::defaultConfiguration()) {
    const char* caFile = std::getenv("QUOVANT_CA_FILE");
    if (caFile && *caFile) {
        auto certificates = ssl_.caCertificates();
        certificates += QSslCertificate::fromPath(QString::fromLocal8Bit(caFile), QSsl::Pem);
        ssl_.setCaCertificates(certificates);
    }
}

void AccountClient::login(const std::string& email, const std::string& password,
                          Completion completion) {
    QNetworkRequest request = requestFor(Constant::loginURL(), ssl_, requestTimeoutMs_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    const std::string body = nlohmann::json{{"email", email}, {"password", password}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
    whenFinished(manager_.post(request, QByteArray::fromStdString(body)), std::move(completion));
}

void AccountClient::requestProfile(const std::string& authorization, Completion completion) {
    QNetworkRequest request =
        requestFor(Constant::profileURL() + "?country_code=QZ", ssl_, requestTimeoutMs_);
    request.setRawHeader("Authorization", QByteArray::fromStdString(authorization));
    whenFinished(manager_.get(request), std::move(completion));
}

void AccountClient::whenFinished(QNetworkReply* reply, Completion completion) {
    QObject::connect(
        reply, &QNetworkReply::finished, reply, [reply, completion = std::move(completion)] {
            reply->deleteLater();
            AccountReply result;
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (reply->isOpen())
                result.body = reply->readAll().toStdString();
            if (!status.isValid()) {
                result.outcome = AccountReply::Outcome::failedWithoutResponse;
            } else {
                const int code = status.toInt();
                const bool accepted = code >= 200 && code <= 299;
                const bool empty = code == 204 || code == 205;
                const bool json =
                    empty || !nlohmann::json::parse(result.body, nullptr, false).is_discarded();
                result.outcome = accepted && json ? AccountReply::Outcome::succeeded
                                                  : AccountReply::Outcome::failedWithResponse;
            }
            completion(result);
        });
}
