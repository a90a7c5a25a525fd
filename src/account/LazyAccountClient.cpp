#include "account/LazyAccountClient.h"

#include "account/AccountClientModule.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QLibrary>

namespace {

// Completions run after the request call returns, as with a request that went out.
void answerUnanswered(AccountService::Completion completion) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [completion = std::move(completion)] { completion(AccountReply{}); }, Qt::QueuedConnection);
}

} // namespace

LazyAccountClient::LazyAccountClient(std::string modulePath) : modulePath_(std::move(modulePath)) {}

void LazyAccountClient::login(const std::string& email, const std::string& password,
                              Completion completion) {
    if (AccountService* service = client())
        service->login(email, password, std::move(completion));
    else
        answerUnanswered(std::move(completion));
}

void LazyAccountClient::requestProfile(const std::string& authorization, Completion completion) {
    if (AccountService* service = client())
        service->requestProfile(authorization, std::move(completion));
    else
        answerUnanswered(std::move(completion));
}

void LazyAccountClient::cancel() {
    if (client_)
        client_->cancel();
}

AccountService* LazyAccountClient::client() {
    if (loadTried_)
        return client_.get();
    loadTried_ = true;
    QLibrary module(QString::fromStdString(modulePath_));
    const auto make = reinterpret_cast<AccountClientModule::Maker>(
        module.resolve(AccountClientModule::makerName));
    if (!make) {
        Log::line("the account client cannot be loaded, so no login can reach the service: " +
                  module.errorString().toStdString());
        return nullptr;
    }
    client_.reset(make());
    return client_.get();
}
