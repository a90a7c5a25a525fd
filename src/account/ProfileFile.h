#pragma once

#include <string>

// Writes the profile to its fixed path in a world-writable directory without
// trusting what may already be there: no link is followed, a file that is not a
// regular file of the user's own (with one name) is refused, and the file is
// readable by its owner only before its content is replaced.
class ProfileFile {
public:
    static constexpr const char* path = "/tmp/quovant.ovpn";

    // Empty on success, otherwise why the file was not written.
    static std::string write(const std::string& filePath, const std::string& text);
};
