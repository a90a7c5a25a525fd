#pragma once

#include "platform/Result.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// One run of resolvconf, which registers a link's resolv.conf text (`-a NAME`, the text
// on its standard input) or removes it (`-d NAME -f`), without holding up the daemon's
// loop: the loop waits on fd() (readable once the child has ended) or deadline(), then
// calls finish() or stop(). The child gets only its input and /dev/null, and a fixed PATH.
class ResolvconfRun {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto timeout = std::chrono::seconds(10);
    // What resolvconf is given on its input fits in a pipe before it starts.
    static constexpr size_t maxInput = 60 * 1024;

    explicit ResolvconfRun(std::string program = "/sbin/resolvconf")
        : program_(std::move(program)) {}
    ~ResolvconfRun();
    ResolvconfRun(const ResolvconfRun&) = delete;
    ResolvconfRun& operator=(const ResolvconfRun&) = delete;

    // The tunnel's record under resolvconf's naming ("DEVICE.openvpn"); exclusive: the only
    // one used while it is there (openresolv's -x).
    static std::vector<std::string> add(const std::string& device, bool exclusive);
    static std::vector<std::string> remove(const std::string& device);

    Result<void> start(const std::vector<std::string>& arguments, const std::string& input);
    bool running() const { return pid_ > 0; }
    int fd() const { return pidFd_; }
    Clock::time_point deadline() const { return deadline_; }
    // Once fd() is readable: whether resolvconf did it.
    Result<void> finish();
    // At the deadline: kills it and whatever it started in its process group.
    Result<void> stop();

private:
    std::string program_;
    pid_t pid_ = -1;
    int pidFd_ = -1;
    Clock::time_point deadline_;
};
