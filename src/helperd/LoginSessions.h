#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// What logind knows of users' sessions.
class LoginSessions {
public:
    // Whether `uid` has an active session on a seat (at the computer, in front). True where
    // logind does not run: without it no one can tell, and a block is then kept for its
    // owner as long as their client stays.
    static bool atComputer(uid_t uid);
    // Why the process `pid` of `uid` does not sit in a local session that is active on its
    // seat (its own session, not any of its user's: another of the user's sessions being
    // active says nothing of this one; a process of the user's service manager, as desktops
    // start programs, counts as in the user's graphical session); none when it does. Where
    // logind does not run, no process does.
    static std::optional<std::string> notAtSeat(pid_t pid, uid_t uid);
};
