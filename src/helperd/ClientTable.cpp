#include "helperd/ClientTable.h"

#include "helper/HelperWire.h"
#include "platform/UserText.h"

#include <algorithm>
#include <unistd.h>

std::string ClientTable::Caller::describe() const {
    return "uid " + std::to_string(uid) + ", pid " + std::to_string(pid);
}

std::optional<std::string> ClientTable::busy(uid_t uid) const {
    if (uid == 0)
        return std::nullopt;
    const auto sameUser = std::count_if(clients_.begin(), clients_.end(), [&](const auto& entry) {
        return entry.second.caller.uid == uid;
    });
    if (static_cast<size_t>(sameUser) >= maxClientsPerUser)
        return USER_TEXT("Messages", "too many connections from this user");
    if (clients_.size() >= maxClients)
        return USER_TEXT("Messages", "too many connections");
    return std::nullopt;
}

uint64_t ClientTable::add(int fd, uid_t uid, gid_t gid, pid_t pid, Clock::time_point now,
                          std::shared_ptr<const CallerProcess> process) {
    const uint64_t id = nextId_++;
    clients_.emplace(id, Client{{id, uid, gid, pid, std::move(process)},
                                fd,
                                LineReader{HelperWire::maxLineBytes},
                                0,
                                false,
                                now});
    return id;
}

bool ClientTable::remove(uint64_t id, std::vector<UniqueFd>* heldFds) {
    const auto it = clients_.find(id);
    if (it == clients_.end())
        return false;
    ::close(it->second.fd);
    if (heldFds)
        *heldFds = it->second.lines.takeAllFds();
    const uid_t uid = it->second.caller.uid;
    clients_.erase(it);
    if (std::none_of(clients_.begin(), clients_.end(),
                     [&](const auto& entry) { return entry.second.caller.uid == uid; }))
        lastServed_.erase(uid);
    return true;
}

std::optional<ClientTable::Caller> ClientTable::caller(uint64_t id) const {
    const auto it = clients_.find(id);
    if (it == clients_.end())
        return std::nullopt;
    return it->second.caller;
}

int ClientTable::fd(uint64_t id) const {
    const auto it = clients_.find(id);
    return it == clients_.end() ? -1 : it->second.fd;
}

std::vector<uint64_t> ClientTable::ids() const {
    std::vector<uint64_t> out;
    for (const auto& entry : clients_)
        out.push_back(entry.first);
    return out;
}

ClientTable::Received ClientTable::append(uint64_t id, std::string_view bytes,
                                          std::vector<UniqueFd> fds) {
    const auto it = clients_.find(id);
    if (it == clients_.end())
        return Received::ok;
    it->second.lines.append(bytes, std::move(fds));
    if (it->second.lines.heldFds() > maxHeldFds)
        return Received::tooManyFds;
    return it->second.lines.overflowed() ? Received::overflowed : Received::ok;
}

bool ClientTable::holdsLine(uint64_t id) const {
    const auto it = clients_.find(id);
    return it != clients_.end() && it->second.lines.holdsLine();
}

void ClientTable::setWaiting(uint64_t id, bool waiting) {
    if (const auto it = clients_.find(id); it != clients_.end())
        it->second.waiting = waiting;
}

bool ClientTable::ready(uint64_t id) const {
    const auto it = clients_.find(id);
    return it != clients_.end() && it->second.lines.holdsLine() && !it->second.waiting;
}

std::optional<std::string> ClientTable::nextLine(uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end())
        return std::nullopt;
    return it->second.lines.next();
}

std::vector<UniqueFd> ClientTable::takeFds(uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end())
        return {};
    return it->second.lines.takeFds();
}

bool ClientTable::accept(uint64_t id, uint64_t requestId) {
    const auto it = clients_.find(id);
    if (it == clients_.end() || requestId <= it->second.lastRequest)
        return false;
    it->second.lastRequest = requestId;
    it->second.owesSince.reset();
    return true;
}

void ClientTable::noteUnfinished(uint64_t id, Clock::time_point now) {
    const auto it = clients_.find(id);
    if (it != clients_.end() && it->second.lines.holdsPartialLine() && !it->second.owesSince)
        it->second.owesSince = now;
}

std::vector<uint64_t> ClientTable::stalled(Clock::time_point now, Clock::duration timeout) const {
    std::vector<uint64_t> out;
    for (const auto& [id, client] : clients_)
        if (client.owesSince && now - *client.owesSince >= timeout)
            out.push_back(id);
    return out;
}

std::optional<ClientTable::Clock::time_point>
ClientTable::nextStall(Clock::duration timeout) const {
    std::optional<Clock::time_point> next;
    for (const auto& entry : clients_)
        if (entry.second.owesSince && (!next || *entry.second.owesSince + timeout < *next))
            next = *entry.second.owesSince + timeout;
    return next;
}

std::vector<uint64_t> ClientTable::nextTurn() {
    // Per user, the first connection after the one served last that holds a request.
    std::map<uid_t, uint64_t> first, after;
    for (const auto& [id, client] : clients_) {
        if (!client.lines.holdsLine() || client.waiting)
            continue;
        const uid_t uid = client.caller.uid;
        first.emplace(uid, id);
        const auto last = lastServed_.find(uid);
        if (last != lastServed_.end() && id > last->second)
            after.emplace(uid, id);
    }
    std::vector<uint64_t> turn;
    for (const auto& [uid, id] : first) {
        const auto next = after.find(uid);
        const uint64_t chosen = next == after.end() ? id : next->second;
        lastServed_[uid] = chosen;
        turn.push_back(chosen);
    }
    return turn;
}
