#pragma once

#include "helper/LineReader.h"
#include "helperd/CallerProcess.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Who is connected to the daemon. Each connection gets an id that is never reused;
// callers hold ids and copies of what they need (a Caller), never a reference into
// the table, so a connection dropped in the middle of handling one of its requests
// leaves nothing dangling: a later look-up simply finds it gone.
class ClientTable {
public:
    using Clock = std::chrono::steady_clock;

    // One user's connections may not crowd out everyone else's; root is always served.
    static constexpr size_t maxClients = 64;
    static constexpr size_t maxClientsPerUser = 8;

    struct Caller {
        uint64_t id = 0;
        uid_t uid = 0;
        gid_t gid = 0;
        pid_t pid = 0;
        // The process that connected, as pinned at the accept; null: never pinned, and so
        // never asked about.
        std::shared_ptr<const CallerProcess> process;
        std::string describe() const;
    };

    // Why a new connection of `uid` is turned away, if it is.
    std::optional<std::string> busy(uid_t uid) const;
    // Takes over the connected socket `fd`; it owes its first request from `now` on.
    uint64_t add(int fd, uid_t uid, gid_t gid, pid_t pid, Clock::time_point now,
                 std::shared_ptr<const CallerProcess> process = nullptr);
    // Closes the connection, handing over the descriptors that came with its unfinished
    // lines; false if it was gone already.
    bool remove(uint64_t id, std::vector<UniqueFd>* heldFds = nullptr);
    std::optional<Caller> caller(uint64_t id) const;
    bool contains(uint64_t id) const { return clients_.count(id) > 0; }
    size_t size() const { return clients_.size(); }
    int fd(uint64_t id) const;
    std::vector<uint64_t> ids() const;

    // A client sends at most one descriptor with a request; a few more may come with one
    // read before the line ends, beyond that the connection is not a client.
    static constexpr size_t maxHeldFds = 4;

    enum class Received { ok, overflowed, tooManyFds };
    // Adds bytes read from the connection, and the descriptors that came with them.
    Received append(uint64_t id, std::string_view bytes, std::vector<UniqueFd> fds = {});
    bool holdsLine(uint64_t id) const;
    // A connection whose request waits for an answer from elsewhere (polkit's) gets no
    // other request served meanwhile, so its requests stay in order.
    void setWaiting(uint64_t id, bool waiting);
    // Whether its next request can be served now.
    bool ready(uint64_t id) const;
    std::optional<std::string> nextLine(uint64_t id);
    // The descriptors that came with the line nextLine() returned last.
    std::vector<UniqueFd> takeFds(uint64_t id);
    // Records a decoded request's id; false if it does not follow the last one.
    bool accept(uint64_t id, uint64_t requestId);
    // After a read: an unfinished line is owed from `now` on.
    void noteUnfinished(uint64_t id, Clock::time_point now);
    // Connections that have owed a request for `timeout` by `now`.
    std::vector<uint64_t> stalled(Clock::time_point now, Clock::duration timeout) const;
    std::optional<Clock::time_point> nextStall(Clock::duration timeout) const;

    // One request of each user whose connections hold one, the users' connections taken
    // in turn: a user who pipelines many requests holds up each other user's by one.
    std::vector<uint64_t> nextTurn();

private:
    struct Client {
        Caller caller;
        int fd = -1;
        LineReader lines;
        uint64_t lastRequest = 0;
        bool waiting = false;
        // Since when the connection owes the rest of a request (or its first one).
        std::optional<Clock::time_point> owesSince;
    };

    std::map<uint64_t, Client> clients_;
    uint64_t nextId_ = 1;
    // Per user, the connection served last.
    std::map<uid_t, uint64_t> lastServed_;
};
