#pragma once

#include <string>
#include <sys/types.h>

// A directory that only root can change, held open by file descriptor. It is reached
// from / one component at a time without following links, and every directory on the
// way must be root's and writable by nobody else (a root-owned sticky directory such as
// /tmp is allowed on the way: others cannot rename what root put there). Files are read
// through checked descriptors and written by exclusive temporary file, fsync and rename,
// so no one can swap what is read, and a reader never sees half a file.
class TrustedDir {
public:
    // Throws std::runtime_error naming the path and the reason when it is not trusted.
    // With `create`, missing directories are made (root's, 0755).
    static TrustedDir open(const std::string& path, bool create = false);

    TrustedDir(TrustedDir&& other) noexcept;
    TrustedDir& operator=(TrustedDir&& other) noexcept;
    TrustedDir(const TrustedDir&) = delete;
    TrustedDir& operator=(const TrustedDir&) = delete;
    ~TrustedDir();

    const std::string& path() const { return path_; }

    // A regular file of root's that no one else may write, opened for reading; the
    // caller closes it. Throws when the file is missing, a link, or not trusted.
    int openTrustedFile(const std::string& name) const;
    // Reads at most `limit` bytes of a trusted file into `text`; false when it is absent.
    bool readSmallFile(const std::string& name, size_t limit, std::string& text) const;

    void writeFileFrom(const std::string& name, int sourceFd, mode_t mode) const;
    void writeFile(const std::string& name, const std::string& text, mode_t mode) const;
    // Removes the file (or link) if present; true when something was removed.
    bool remove(const std::string& name) const;
    // Removes the socket if it is root's; anything else at that name stays.
    void removeRootSocket(const std::string& name) const;
    // Removes the directory if it is empty; anything in it keeps it.
    void removeEmptyDirectory(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    TrustedDir(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    template <typename Fill>
    void writeAtomically(const std::string& name, mode_t mode, Fill fill) const;

    int fd_ = -1;
    std::string path_;
};
