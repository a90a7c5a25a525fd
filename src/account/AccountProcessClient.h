#pragma once

#include "account/AccountProcess.h"
#include "account/AccountService.h"

#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

// The account service through a short-lived process of ours (`program`, the account
// process): each login starts one, which makes the chain's HTTPS requests and ends once
// the chain has ended or was cancelled. The application thus never maps Qt Network, its
// TLS back end and OpenSSL for the rest of its session, and never parses what the
// network sent beyond the bodies it is handed. Credentials and token go over the pipe,
// never on the process's command line or in its environment.
//
// Everything happens on the main thread: the pipe is read through QProcess as data
// arrives, bounded, and each answer is delivered as a posted event tagged with its
// request, dropped when that request was cancelled meanwhile. A process that has not
// answered within the request's limit (plus a little for its own verdict to arrive) is
// killed and the request counts as unanswered; so is a process that cannot be started,
// that ends before it answers or that answers out of protocol.
class AccountProcessClient : public AccountService {
public:
    static constexpr int graceMs = AccountProcess::graceMs;

    explicit AccountProcessClient(std::string program, int requestTimeoutMs = timeoutMs);
    ~AccountProcessClient() override;
    AccountProcessClient(const AccountProcessClient&) = delete;
    AccountProcessClient& operator=(const AccountProcessClient&) = delete;

    void login(const std::string& email, const std::string& password,
               Completion completion) override;
    void requestProfile(const std::string& authorization, Completion completion) override;
    void cancel() override;

private:
    void start();
    void send(const std::string& line, Completion completion);
    void readAnswer();
    // Kills the process on a fault and answers what is under way as unanswered.
    void giveUp(const std::string& why);
    void ended(const std::string& why);
    void deliver(const AccountReply& reply);
    void chainEnded();
    void endProcess();

    const std::string program_;
    const int requestTimeoutMs_;
    std::unique_ptr<AccountProcess> process_;
    std::string received_;
    Completion completion_; // of the request under way
    uint64_t request_ = 0;  // the tag of the latest request; a cancel moves it on
    QTimer limit_;
    // Held weakly by posted answers, which may come after this has gone.
    std::shared_ptr<AccountProcessClient*> self_ = std::make_shared<AccountProcessClient*>(this);
};
