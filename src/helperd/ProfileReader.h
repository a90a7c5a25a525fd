#pragma once

#include "platform/Result.h"

#include <string>
#include <sys/types.h>

// Reads the profile an unprivileged caller handed over as an open descriptor: only a
// regular file of bounded size, open for reading, that the caller owns and nobody else
// may write, and not on a file system a user process serves (whose reads could hold up
// the daemon without end).
class ProfileReader {
public:
    // The file's text, or why it was refused.
    static Result<std::string> read(int fd, uid_t uid, size_t maxBytes);
};
