#include "app/CommandServer.h"

#include "app/SingleInstance.h"
#include "app/StatusReport.h"
#include "platform/Log.h"
#include "platform/UserText.h"
#include "vpn/OpenVPNService.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

using CommandLine::Exit;
using CommandLine::Verb;

struct CommandServer::Client {
    // What the client waits for once its request is read.
    enum class Waits { request, connected, disconnected, changes, end };

    uint64_t id = 0;
    int fd = -1;
    std::unique_ptr<QSocketNotifier> reader;
    std::string input;
    Waits waits = Waits::request;
    CommandLine::Command command;
    uint64_t failuresBefore = 0;
    // A connect's run has been seen under way: its end without a failure is a cancel.
    bool sawRun = false;
    std::string lastStatus;
};

CommandServer::CommandServer(Ports ports, QObject* parent)
    : QObject(parent), ports_(std::move(ports)) {
    stateObservation_ = ports_.notifications->addObserver(
        OpenVPNService::stateDidChangeNotification, [this] { statusChanged(); });
    trafficObservation_ = ports_.notifications->addObserver(
        OpenVPNService::trafficDidChangeNotification, [this] { statusChanged(); });
}

CommandServer::~CommandServer() {
    for (auto& [id, client] : clients_) {
        client->reader.reset();
        ::close(client->fd);
    }
}

void CommandServer::take(int fd) {
    if (clients_.size() >= maxClients) {
        Log::line("a command was refused: too many at once");
        ::close(fd);
        return;
    }
    auto client = std::make_unique<Client>();
    const uint64_t id = nextId_++;
    client->id = id;
    client->fd = fd;
    client->reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(client->reader.get(), &QSocketNotifier::activated, this, [this, id] { readFrom(id); });
    clients_.emplace(id, std::move(client));
    QTimer::singleShot(requestLimit, this, [this, id] {
        const auto found = clients_.find(id);
        if (found != clients_.end() && found->second->waits == Client::Waits::request)
            drop(id);
    });
}

void CommandServer::readFrom(uint64_t id) {
    const auto found = clients_.find(id);
    if (found == clients_.end())
        return;
    Client& client = *found->second;
    char chunk[maxRequest + 1];
    const ssize_t n = ::recv(client.fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // Gone, or saying more than its one request line.
    if (n <= 0 || client.waits != Client::Waits::request)
        return drop(id);
    client.input.append(chunk, size_t(n));
    const size_t end = client.input.find('\n');
    if (end == std::string::npos) {
        if (client.input.size() > maxRequest)
            drop(id);
        return;
    }
    if (end > maxRequest || end + 1 != client.input.size())
        return drop(id);
    const std::string line = client.input.substr(0, end);
    client.input.clear();
    // A later start: "reopen", or "reopen TOKEN" with the activation it was started with.
    if (line == "reopen" || line.rfind("reopen ", 0) == 0) {
        drop(id);
        return ports_.reopen(SingleInstance::activationIn(QByteArray::fromStdString(line + "\n")));
    }
    const CommandLine::Parsed request = CommandLine::parseRequest(line);
    Log::line(request.error.empty() ? "command: " + line
                                    : "a command was refused: " + request.error.plain());
    if (!request.error.empty()) {
        if (send(client, "err", request.error.plain()))
            finish(client, Exit::usage);
        return;
    }
    serve(client, request.command);
}

void CommandServer::serve(Client& client, const CommandLine::Command& command) {
    client.command = command;
    const ConnectionStatus& status = ports_.vpn->status();
    switch (command.verb) {
    case Verb::status:
        client.waits = Client::Waits::changes;
        if (sendStatus(client) && !command.follow)
            finish(client, Exit::done);
        return;
    case Verb::connect: {
        const std::optional<std::string> email = ports_.defaults->string("email");
        client.waits = Client::Waits::end;
        if (!email)
            return connectWith(client.id, "", std::nullopt);
        ports_.passwords->read(
            [this, id = client.id, email = *email](std::optional<std::string> password) {
                connectWith(id, email, std::move(password));
            });
        return;
    }
    case Verb::disconnect:
        if (status.phase == RunPhase::idle)
            return finish(client, Exit::done);
        ports_.disconnect();
        if (!command.wait)
            return finish(client, Exit::done);
        client.waits = Client::Waits::disconnected;
        return check(client);
    case Verb::quit:
        // Answered by the end of the application, which closes the connection.
        client.waits = Client::Waits::end;
        return ports_.quit();
    case Verb::start:
    case Verb::help:
        return finish(client, Exit::usage);
    }
}

void CommandServer::connectWith(uint64_t id, const std::string& email,
                                std::optional<std::string> password) {
    const auto found = clients_.find(id);
    // Whoever asked has gone meanwhile, and nothing is done for no one.
    if (found == clients_.end())
        return;
    Client& client = *found->second;
    if (!password) {
        // In the product's words, as every error sent: the command's side translates it
        // for its own caller, and the translation names the box as the window does.
        if (send(client, "err",
                 USER_TEXT("Messages", "No credentials are remembered. Log in once in Quovant's "
                                       "window with \"Onthoud mij\" ticked; quovant connect "
                                       "then uses them.")))
            finish(client, Exit::noCredentials);
        return;
    }
    ConnectionControl& vpn = *ports_.vpn;
    const ConnectionStatus& status = vpn.status();
    if (status.phase == RunPhase::stopping) {
        if (send(client, "err",
                 USER_TEXT("Messages", "Quovant is disconnecting; connect again once it has.")))
            finish(client, Exit::failed);
        return;
    }
    client.failuresBefore = status.failureCount;
    if (status.phase == RunPhase::idle)
        vpn.connect({email, *password, true});
    else if (status.blocked())
        vpn.reconnect();
    // Otherwise a connection is being made or is up already, and the command joins it.
    if (!client.command.wait)
        return finish(client, Exit::done);
    client.waits = Client::Waits::connected;
    check(client);
}

void CommandServer::check(Client& client) {
    const ConnectionStatus& status = ports_.vpn->status();
    if (client.waits == Client::Waits::disconnected) {
        if (status.phase == RunPhase::idle)
            finish(client, Exit::done);
        return;
    }
    if (client.waits != Client::Waits::connected)
        return;
    if (status.phase == RunPhase::connected)
        return finish(client, Exit::done);
    client.sawRun = client.sawRun || status.phase != RunPhase::idle;
    std::string why;
    if (status.failureCount != client.failuresBefore)
        why = status.failure.empty() ? USER_TEXT("Messages", "The connection failed.")
                                     : status.failure.plain();
    else if (status.phase == RunPhase::idle && client.sawRun)
        why = USER_TEXT("Messages", "The connection was ended before it was up.");
    if (!why.empty() && send(client, "err", why))
        finish(client, Exit::failed);
}

void CommandServer::statusChanged() {
    std::vector<uint64_t> ids;
    for (const auto& [id, client] : clients_)
        ids.push_back(id);
    // A client answered or dropped on the way is gone from the map: looked up each time.
    for (const uint64_t id : ids) {
        const auto found = clients_.find(id);
        if (found == clients_.end())
            continue;
        Client& client = *found->second;
        if (client.waits == Client::Waits::changes)
            sendStatus(client);
        else
            check(client);
    }
}

bool CommandServer::sendStatus(Client& client) {
    const StatusReport::Clocks now{std::chrono::steady_clock::now(),
                                   std::chrono::system_clock::now()};
    const ConnectionStatus& status = ports_.vpn->status();
    std::string line =
        client.command.json ? StatusReport::json(status, now) : StatusReport::text(status, now);
    if (line == client.lastStatus)
        return true;
    client.lastStatus = line;
    return send(client, "out", line);
}

bool CommandServer::send(Client& client, const std::string& kind, const std::string& text) {
    std::string line = kind + " " + text;
    for (char& c : line)
        if (c == '\n')
            c = ' ';
    line += '\n';
    // Never waits: a client that does not take a whole line now is not reading.
    const ssize_t sent = ::send(client.fd, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent == ssize_t(line.size()))
        return true;
    drop(client.id);
    return false;
}

void CommandServer::finish(Client& client, int status) {
    const uint64_t id = client.id;
    if (send(client, "exit", std::to_string(status)))
        drop(id);
}

void CommandServer::drop(uint64_t id) {
    const auto found = clients_.find(id);
    if (found == clients_.end())
        return;
    std::unique_ptr<Client> client = std::move(found->second);
    clients_.erase(found);
    // Its notifier may be the one whose signal is being handled: it goes once that is over.
    client->reader->setEnabled(false);
    client->reader.release()->deleteLater();
    ::close(client->fd);
}
