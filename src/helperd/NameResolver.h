#pragma once

#include "helperd/NumericRemotes.h"
#include "platform/Result.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Looks host names up for the daemon without holding up its loop: a child process,
// stripped to an unprivileged account, runs the system's resolver and writes what it
// found into a pipe the daemon polls. The child is killed at its deadline or when the
// look-up is no longer wanted, so a resolver that hangs costs one bounded wait.
class NameResolver {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto timeout = std::chrono::seconds(5);
    // The account the look-up runs as: it needs no privilege and gets none.
    static constexpr uid_t resolverUid = 65534;
    static constexpr gid_t resolverGid = 65534;

    NameResolver() = default;
    ~NameResolver();
    NameResolver(const NameResolver&) = delete;
    NameResolver& operator=(const NameResolver&) = delete;

    // Starts looking `names` up; fails with why if no child could be started.
    Result<void> start(std::vector<std::string> names);
    bool running() const { return pid_ > 0; }
    int fd() const { return fd_; }
    Clock::time_point deadline() const { return deadline_; }
    // Takes in what the child wrote; the addresses found once it is done (each name the
    // resolver had no answer for is missing), empty while it goes on.
    std::optional<NumericRemotes::Addresses> read();
    // The addresses found so far, the child ended: at the deadline.
    NumericRemotes::Addresses stop();
    void cancel();

private:
    NumericRemotes::Addresses collected() const;

    std::vector<std::string> names_;
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string output_;
    Clock::time_point deadline_;
};
