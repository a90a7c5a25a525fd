#pragma once

#include <QLocalServer>
#include <QObject>
#include <functional>

// One Quovant per user: a later start hands a reopen to the running one over a
// per-user local socket and ends.
class SingleInstance : public QObject {
public:
    explicit SingleInstance(std::function<void()> reopen);
    // True when another instance is running and was asked to reopen; this one should end.
    bool forwardToRunning();
    // Starts listening for later starts.
    void listen();

    static QString socketPath();

private:
    std::function<void()> reopen_;
    QLocalServer server_;
};
