#include "account/AccountProcessClient.h"

#include "account/AccountWire.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <utility>

AccountProcessClient::AccountProcessClient(std::string program, int requestTimeoutMs)
    : program_(std::move(program)), requestTimeoutMs_(requestTimeoutMs) {
    limit_.setSingleShot(true);
    QObject::connect(&limit_, &QTimer::timeout, [this] {
        giveUp(completion_ ? "the account process did not answer in time"
                           : "the account process did not end after its last answer");
    });
}

AccountProcessClient::~AccountProcessClient() {
    endProcess();
}

void AccountProcessClient::login(const std::string& email, const std::string& password,
                                 Completion completion) {
    // A login starts a chain of its own, in a process of its own.
    endProcess();
    send(AccountWire::loginRequest(email, password), std::move(completion));
}

void AccountProcessClient::requestProfile(const std::string& authorization, Completion completion) {
    send(AccountWire::profileRequest(authorization), std::move(completion));
}

void AccountProcessClient::cancel() {
    ++request_;
    completion_ = nullptr;
    endProcess();
}

void AccountProcessClient::start() {
    received_.clear();
    process_ = std::make_unique<AccountProcess>(
        program_, QStringList{"--timeout-ms", QString::number(requestTimeoutMs_)},
        AccountProcess::Events{
            [this] { readAnswer(); },
            [this] { ended("the account process ended before it answered"); },
            [this](const std::string& why) {
                ended("the account process cannot be started, so no login can reach the "
                      "service: " +
                      why);
            }});
}

void AccountProcessClient::send(const std::string& line, Completion completion) {
    ++request_;
    completion_ = std::move(completion);
    received_.clear();
    if (!process_ || !process_->running())
        start();
    if (!completion_)
        return; // it could not be started, and that has been answered
    process_->write(line);
    limit_.start(requestTimeoutMs_ + graceMs);
}

void AccountProcessClient::readAnswer() {
    // Each read takes what the pipe holds, and the answer is found malformed as soon as
    // it runs past what its header announced: what is held stays bounded.
    received_ += process_->takeOutput();
    if (!completion_)
        return giveUp("the account process spoke out of turn");
    AccountReply reply;
    switch (AccountWire::readAnswer(received_, reply)) {
    case AccountWire::Read::incomplete:
        return;
    case AccountWire::Read::invalid:
        return giveUp("the account process's answer is malformed");
    case AccountWire::Read::complete:
        received_.clear();
        return deliver(reply);
    }
}

void AccountProcessClient::giveUp(const std::string& why) {
    Log::line(why + "; it is ended");
    if (process_)
        process_->kill();
    if (completion_)
        deliver(AccountReply{});
}

void AccountProcessClient::ended(const std::string& why) {
    limit_.stop();
    if (completion_) {
        Log::line(why);
        deliver(AccountReply{});
    }
    // What is left of the process goes too, once out of its own signal, unless another
    // request has started one meanwhile.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self = std::weak_ptr(self_), tag = request_] {
            if (auto alive = self.lock(); alive && (*alive)->request_ == tag)
                (*alive)->endProcess();
        },
        Qt::QueuedConnection);
}

void AccountProcessClient::deliver(const AccountReply& reply) {
    limit_.stop();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self = std::weak_ptr(self_), tag = request_, completion = std::exchange(completion_, {}),
         reply] {
            if (auto alive = self.lock(); !alive || (*alive)->request_ != tag)
                return;
            completion(reply);
            // Nothing more asked of it: the process's input ends, and so does the process.
            if (auto alive = self.lock(); alive && (*alive)->request_ == tag)
                (*alive)->chainEnded();
        },
        Qt::QueuedConnection);
}

void AccountProcessClient::chainEnded() {
    if (process_ && process_->running()) {
        process_->closeInput();
        limit_.start(graceMs);
    }
}

void AccountProcessClient::endProcess() {
    limit_.stop();
    process_.reset();
}
