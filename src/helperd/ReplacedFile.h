#pragma once

#include "platform/Result.h"

#include <string>
#include <sys/types.h>

// Puts a new file or link in a name's place at once: made under a fresh name beside it
// and renamed over it. Whatever was at the name (a link too) is replaced, never written
// through, and a kill at any moment leaves the old one or the new one.
namespace ReplacedFile {

Result<void> withBytes(const std::string& path, const std::string& bytes, mode_t mode);
Result<void> withLink(const std::string& path, const std::string& target);

} // namespace ReplacedFile
