#pragma once

#include "platform/Result.h"

#include <string>

// A directory of the user's own, even where others may write beside it: made owner-only
// (with whatever is missing above it) if missing or open to others, and refused if it is a
// link, not a directory, or another user's. Once it is the user's own and owner-only, no one else can change what is in it.
class OwnDirectory {
public:
    // A descriptor of the directory, for the caller to close; or why it is not the
    // user's own.
    static Result<int> open(const std::string& dir);
};
