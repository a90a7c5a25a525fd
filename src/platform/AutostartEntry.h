#pragma once

#include <filesystem>
#include <string>

// The XDG autostart entry that starts Quovant when the user logs in:
// $XDG_CONFIG_HOME/autostart/quovant.desktop (~/.config when the variable is unset or
// not absolute). Its presence is the setting: the desktop's own autostart settings
// may remove it too.
class AutostartEntry {
public:
    // Empty when neither XDG_CONFIG_HOME nor HOME gives an absolute directory.
    static std::filesystem::path defaultPath();
    // The entry's text, starting `executable`.
    static std::string contentFor(const std::string& executable);

    AutostartEntry(std::filesystem::path path, std::string executable)
        : path_(std::move(path)), executable_(std::move(executable)) {}

    bool exists() const;
    // Writes the entry through a temporary file renamed over it, so whatever sat at the
    // path (a link included) is replaced, never written through. False on failure.
    bool write() const;
    // False when an entry stays behind.
    bool remove() const;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string executable_;
};
