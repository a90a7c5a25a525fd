#pragma once

#include "platform/Result.h"

#include <string>
#include <sys/types.h>

// Reads a profile path named by an unprivileged caller with that caller's file
// system rights, without following a link at its end, and only if it is a regular
// file of bounded size that the caller owns and nobody else may write.
class ProfileReader {
public:
    // The file's text, or why it was refused.
    static Result<std::string> read(const std::string& path, uid_t uid, gid_t gid, size_t maxBytes);
};
