#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

// One Quovant per user: a later start hands a reopen to the running one over a
// per-user Unix socket and ends. Both ends check who is on the other side: a socket
// another user listens on is not this user's Quovant, and another user's connection
// reopens nothing. A plain socket, so that the start maps no network library.
class SingleInstance : public QObject {
public:
    explicit SingleInstance(std::function<void()> reopen);
    ~SingleInstance() override;

    // True when another instance of this user is running and was asked to reopen; this
    // one should end.
    bool forwardToRunning();
    // Starts listening for later starts.
    void listen();

    static QString socketPath();

private:
    void acceptWaiting();

    std::function<void()> reopen_;
    int listener_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};
