#pragma once

#include "platform/UniqueFd.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

// The process that connected, pinned when the daemon accepted its connection: its pid, its
// start time, and a pidfd where the kernel hands one out (SO_PEERPIDFD). polkit and logind
// are asked about this process alone. A connection whose process could not be pinned (it had
// ended before the accept, or its pid already named someone else's process) or whose process
// has ended since is asked about for nobody: the pid it came with may by then be another's.
class CallerProcess {
public:
    // Pins the peer of the accepted `socket`, of which SO_PEERCRED said `pid` and `uid`.
    static CallerProcess pin(int socket, pid_t pid, uid_t uid);
    // A process pinned by other means (tests); no pidfd.
    static CallerProcess pinned(pid_t pid, uid_t uid, uint64_t startTime);

    bool isPinned() const { return unpinned_.empty(); }
    // Why it is not, for the log.
    const std::string& whyUnpinned() const { return unpinned_; }
    pid_t pid() const { return pid_; }
    uid_t uid() const { return uid_; }
    uint64_t startTime() const { return startTime_; }
    // -1 where the kernel gave none.
    int pidfd() const { return pidfd_.get(); }
    // Why the pinned process can no longer be asked about, if it cannot: it has ended (a
    // zombie included), or its pid is another process's now.
    std::optional<std::string> gone() const;

    // A process's start time in clock ticks after boot, as polkit reads it (field 22 of
    // /proc/PID/stat); none when it cannot be read or the process is a zombie.
    static std::optional<uint64_t> startTimeOf(pid_t pid);
    // The effective uid of a process (/proc/PID/status).
    static std::optional<uid_t> ownerOf(pid_t pid);

private:
    pid_t pid_ = 0;
    uid_t uid_ = 0;
    uint64_t startTime_ = 0;
    UniqueFd pidfd_;
    std::string unpinned_;
};
