#pragma once

#include "platform/Result.h"

#include <string>

// Where Quovant keeps what no other user may see or name first (the profile, the
// single-instance socket): the session's runtime directory, or, where a session has none
// (su, SSH without a login manager, cron), a directory in the user's cache. Never a name
// in /tmp: another user can make it first, and then the user's own files would have to go
// into that user's directory or nowhere.
class PrivateDirectory {
public:
    // $XDG_RUNTIME_DIR when it is set; empty otherwise.
    static std::string runtime();
    // $XDG_RUNTIME_DIR/quovant, else $XDG_CACHE_HOME/quovant, else ~/.cache/quovant.
    static std::string path();
    // Makes path() (owner-only) and what is missing above it, and opens it; or says why it
    // is not the user's own.
    static Result<int> open();
};
