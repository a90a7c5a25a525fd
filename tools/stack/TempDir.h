#pragma once

#include <filesystem>
#include <string>

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "quovant-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes `content` to `name` inside the directory with the given mode; returns the path.
    std::filesystem::path write(const std::string& name, const std::string& content,
                                std::filesystem::perms mode = std::filesystem::perms(0644)) const;

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
