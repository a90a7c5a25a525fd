#pragma once

#include "platform/Result.h"

#include <string>
#include <sys/types.h>

// Replaces /etc/resolv.conf for a run where neither systemd-resolved nor resolvconf
// manages it, and puts back what was there. Never writes through a link: the new file is
// written beside it and renamed over the name, so a link there is replaced, not followed,
// and comes back as the same link.
class ResolvConfFile {
public:
    // A resolv.conf is small; a larger one is not ours to keep.
    static constexpr size_t maxBytes = 64 * 1024;

    struct Original {
        enum class Kind { absent, file, link };
        Kind kind = Kind::absent;
        std::string content; // the file's bytes, or the link's target
        mode_t mode = 0644;
        bool operator==(const Original&) const = default;
    };

    explicit ResolvConfFile(std::string path) : path_(std::move(path)) {}

    // What is there now.
    Result<Original> read() const;
    // Puts `text` in place; hands back what was there, to restore later.
    Result<Original> replace(const std::string& text) const;
    // Puts `original` back if the file is still the one `written` made; if something else
    // has changed it since, that change is kept and false comes back.
    Result<bool> restore(const Original& original, const std::string& written) const;

private:
    Result<void> put(const Original& what) const;

    std::string path_;
};
