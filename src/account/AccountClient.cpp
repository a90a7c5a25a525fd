#include "account/AccountClient.h"

#include "account/Constant.h"
#include "account/OneShotBody.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QTimer>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <utility>

namespace {

QNetworkRequest requestFor(const std::string& url, const QSslConfiguration& ssl, int timeoutMs) {
    QNetworkRequest request(QUrl(QString::fromStdString(url)));
    request.setSslConfiguration(ssl);
    request.setTransferTimeout(timeoutMs);
    return request;
}

// Qt reports an HTTP error status as an error of its own. Any other error means the
// reply never arrived whole: the connection dropped or stalled before its end, or the
// body broke the protocol, even when a status line had already come.
bool arrivedWhole(const QNetworkReply& reply, int status) {
    const QNetworkReply::NetworkError error = reply.error();
    if (error == QNetworkReply::NoError)
        return true;
    if (status < 400)
        return false;
    return error == QNetworkReply::ProxyAuthenticationRequiredError ||
           (error >= QNetworkReply::ContentAccessDenied &&
            error != QNetworkReply::ContentReSendError &&
            error != QNetworkReply::ProtocolUnknownError &&
            error != QNetworkReply::ProtocolFailure);
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
    // Qt Network's connection cache keeps what each finished connection to the service
    // left behind (its TLS state among it), about 4 kB per login that grows without
    // bound over connect cycles; a new chain starts from an empty cache.
    manager_.clearConnectionCache();
    QNetworkRequest request = requestFor(Constant::loginURL(), ssl_, requestTimeoutMs_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    const std::string body = nlohmann::json{{"email", email}, {"password", password}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
    // Sent at most once: a login may count against the service's limit on attempts.
    auto* once = new OneShotBody(QByteArray::fromStdString(body));
    request.setHeader(QNetworkRequest::ContentLengthHeader, once->size());
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    QNetworkReply* reply = manager_.post(request, once);
    once->setParent(reply);
    whenFinished(reply, std::move(completion));
}

void AccountClient::requestProfile(const std::string& authorization, Completion completion) {
    QNetworkRequest request =
        requestFor(Constant::profileURL() + "?country_code=QZ", ssl_, requestTimeoutMs_);
    request.setRawHeader("Authorization", QByteArray::fromStdString(authorization));
    whenFinished(manager_.get(request), std::move(completion));
}

void AccountClient::cancel() {
    for (const QPointer<QNetworkReply>& reply : std::exchange(replies_, {})) {
        if (!reply)
            continue;
        // Aborting finishes the reply at once; its completion must not run.
        QObject::disconnect(reply, &QNetworkReply::finished, nullptr, nullptr);
        reply->abort();
        reply->deleteLater();
        --inFlight_;
    }
    manager_.clearConnectionCache();
}

void AccountClient::whenFinished(QNetworkReply* reply, Completion completion) {
    ++inFlight_;
    std::erase_if(replies_, [](const QPointer<QNetworkReply>& gone) { return !gone; });
    replies_.emplace_back(reply);
    QObject::connect(
        reply, &QNetworkReply::finished, reply, [this, reply, completion = std::move(completion)] {
            std::erase(replies_, QPointer<QNetworkReply>(reply));
            reply->deleteLater();
            AccountReply result;
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (reply->isOpen())
                result.body = reply->readAll().toStdString();
            if (!status.isValid() || !arrivedWhole(*reply, status.toInt())) {
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
            // The chain has ended when its completion asked for nothing more. Its
            // connection is closed now, while the application is awake anyway, rather
            // than left for the service to time out, which would wake the application
            // once more on a tunnel that is otherwise idle.
            if (--inFlight_ == 0)
                QTimer::singleShot(0, &manager_, [this] {
                    if (inFlight_ == 0)
                        manager_.clearConnectionCache();
                });
        });
}
