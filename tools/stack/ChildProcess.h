#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// A program started by a test and always ended with it: the destructor stops it
// (SIGTERM, then SIGKILL) if it still runs.
class ChildProcess {
public:
    struct Options {
        std::string outputFile;                    // standard output and error go here when set
        std::optional<uid_t> uid;                  // run as this user
        std::vector<std::string> extraEnvironment; // "NAME=value" added to the inherited ones
    };

    ChildProcess(const std::vector<std::string>& argv, const Options& options);
    explicit ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}) {}
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // The exit status (128 + signal for a signalled end) once it ended within `timeout`.
    std::optional<int> waitFor(std::chrono::milliseconds timeout);
    void signal(int signalNumber);
    // SIGTERM, then SIGKILL if it has not ended after `grace`.
    int stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs a command to its end (bounded by `timeout`) and returns its exit status;
// standard output goes to `output` when given.
int runCommand(const std::vector<std::string>& argv, std::string* output = nullptr,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));
