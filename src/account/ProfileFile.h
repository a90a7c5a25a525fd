#pragma once

#include "platform/Result.h"

#include <string>

// Writes the profile into a directory of the user's own without trusting what may
// already be there: the directory is created owner-only if missing and refused if it
// is a link or someone else's; no link is followed to the file, and a file that is not
// a regular file of the user's own (with one name) is refused. The file is readable
// by its owner only before its content is replaced.
class ProfileFile {
public:
    static constexpr const char* fileName = "quovant.ovpn";

    // quovant.ovpn in the user's private directory (see PrivateDirectory); empty where
    // the user has none.
    static std::string defaultPath();

    // Fails with why the file was not written.
    static Result<void> write(const std::string& filePath, const std::string& text);
};
