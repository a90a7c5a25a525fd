#pragma once

#include "account/AccountProcess.h"
#include "platform/Keyring.h"

#include <QTimer>
#include <deque>
#include <memory>
#include <string>

// The keyring through the account process (`program`): the application never loads the
// keyring's libraries (libsecret with GLib's object system and GIO, or KWallet's client)
// for its whole session, only a short-lived process of ours does, for as long as
// requests are waiting. The password goes over the pipe, never on a command line or in
// the environment.
//
// Requests go to one process one after the other, each answered (on the main thread, as a
// posted event, dropped when this has gone) before the next is written; the process's
// input ends once nothing waits, and so does the process. One that does not answer within
// `limitMs` (an unlock prompt the user left open counts), that ends before it answers or
// answers out of protocol is killed and that request fails; the ones behind it get a new
// process.
class KeyringProcess : public Keyring {
public:
    static constexpr int defaultLimitMs = 120000;

    explicit KeyringProcess(std::string program, int limitMs = defaultLimitMs);
    ~KeyringProcess() override;
    KeyringProcess(const KeyringProcess&) = delete;
    KeyringProcess& operator=(const KeyringProcess&) = delete;

    void read(Completion done) override;
    void write(const std::string& password, Completion done) override;
    void remove(Completion done) override;

private:
    struct Waiting {
        std::string line;
        Completion done;
    };
    void ask(std::string line, Completion done);
    void next();
    void readAnswer();
    void fail(const std::string& why);
    // The request under way is answered, as a posted event: it leaves the queue.
    void answerFront(Answer answer);
    void endProcess();

    const std::string program_;
    const int limitMs_;
    std::deque<Waiting> waiting_; // the front one is under way while a process runs
    bool underWay_ = false;
    bool inputClosed_ = false; // the process was told nothing more comes
    std::unique_ptr<AccountProcess> process_;
    std::string received_;
    QTimer limit_;
    std::shared_ptr<KeyringProcess*> self_ = std::make_shared<KeyringProcess*>(this);
};
