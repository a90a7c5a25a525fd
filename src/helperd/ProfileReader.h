#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

struct ProfileContents {
    std::optional<std::string> text; // set when the file was acceptable
    std::string refusal;             // why not, otherwise
};

// Reads a profile path named by an unprivileged caller with that caller's file
// system rights, without following a link at its end, and only if it is a regular
// file of bounded size that the caller owns and nobody else may write.
class ProfileReader {
public:
    static ProfileContents read(const std::string& path, uid_t uid, gid_t gid, size_t maxBytes);
};
