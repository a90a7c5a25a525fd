#pragma once

#include <sys/types.h>

// What logind knows of a user's sessions.
class LoginSessions {
public:
    // Whether `uid` has an active session on a seat (at the computer, in front): polkit's
    // "active" for its processes. True where logind does not run: without it no one can
    // tell, and a block is then kept for its owner as long as their client stays.
    static bool atComputer(uid_t uid);
};
