#pragma once

#include "app/CommandLine.h"
#include "platform/KeyValueStore.h"
#include "platform/NotificationCenter.h"
#include "platform/PasswordStore.h"
#include "vpn/ConnectionControl.h"

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;

// The running instance's side of `quovant COMMAND`: reads the one request line of each
// connection the single-instance socket hands over, and answers it from the connection's
// one status (see CommandClient for the lines). Every client is bounded: its request's
// length and time, how many there are at once, and what it may leave unread (a follow
// whose reader stops is dropped, never waited for). Main thread only.
class CommandServer : public QObject {
public:
    struct Ports {
        ConnectionControl* vpn = nullptr;
        NotificationCenter* notifications = nullptr;
        // The remembered e-mail ("email") and password, which connect logs in with.
        KeyValueStore* defaults = nullptr;
        PasswordStore* passwords = nullptr;
        // A later start's "reopen", with the activation token or startup id it passed on
        // (empty when it had none).
        std::function<void(const QByteArray& activation)> reopen;
        // The window's disconnect: ends whatever runs and lifts a block.
        std::function<void()> disconnect;
        // The application's orderly quit.
        std::function<void()> quit;
    };

    static constexpr size_t maxClients = 16;
    // A command, or a reopen with its activation (SingleInstance::maxActivation).
    static constexpr size_t maxRequest = 320;
    static constexpr std::chrono::milliseconds requestLimit = std::chrono::seconds(5);

    explicit CommandServer(Ports ports, QObject* parent = nullptr);
    ~CommandServer() override;

    // A connection of this user's, non-blocking; the server owns it from now on.
    void take(int fd);
    size_t clients() const { return clients_.size(); }

private:
    struct Client;

    void readFrom(uint64_t id);
    void serve(Client& client, const CommandLine::Command& command);
    void connectWith(uint64_t id, const std::string& email, std::optional<std::string> password);
    // A waiting connect or disconnect is answered once the status says how it went.
    void check(Client& client);
    void statusChanged();
    // False when the client was dropped, as send().
    bool sendStatus(Client& client);
    // False when the client was dropped because it does not take the line now.
    bool send(Client& client, const std::string& kind, const std::string& text);
    void finish(Client& client, int status);
    void drop(uint64_t id);

    Ports ports_;
    uint64_t nextId_ = 1;
    std::map<uint64_t, std::unique_ptr<Client>> clients_;
    NotificationCenter::Observation stateObservation_;
    NotificationCenter::Observation trafficObservation_;
};
