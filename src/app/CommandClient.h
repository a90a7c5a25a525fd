#pragma once

#include "app/CommandLine.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

// The `quovant COMMAND` side: hands the command to this user's running Quovant over its
// single-instance socket and prints what it answers. The instance answers in lines:
// "out TEXT" for standard output, "err TEXT" for standard error, and "exit N" last; a
// follow goes on until the instance ends, and a quit is done when the instance has ended.
class CommandClient {
public:
    struct Dependencies {
        // A connected socket to the running instance, or notRunning or busy (below).
        std::function<int()> connectToRunning;
        // Starts Quovant in the tray, detached from this process; false when it cannot.
        std::function<bool()> startInTray;
        FILE* out = stdout;
        FILE* err = stderr;
        // How long a start in the tray may take to answer, and an answer that is not
        // waited for (a connect without --wait, a status) may take.
        std::chrono::milliseconds startLimit = std::chrono::seconds(20);
        std::chrono::milliseconds answerLimit = std::chrono::seconds(20);
        // A message in the caller's language: this side's own and the fixed ones the
        // instance sends (in the product's words); one without a translation stays.
        std::function<std::string(const std::string& message)> translate = {};
    };

    static constexpr int notRunning = -1;
    static constexpr int busy = -2;

    // The longest answer line taken from the instance.
    static constexpr size_t maxLine = 64 * 1024;

    explicit CommandClient(Dependencies dependencies) : deps_(std::move(dependencies)) {}

    // Runs `command` and returns its exit status.
    int run(const CommandLine::Command& command);

    // Starts `executable --tray` in a session of its own, its standard streams on /dev/null.
    static bool startDetached(const std::string& executable);

private:
    int connectOrStart(const CommandLine::Command& command);
    int relay(int fd, const CommandLine::Command& command);
    // The exit status when `line` ends the answer.
    std::optional<int> answer(const std::string& line);
    int unexpected();
    void say(FILE* stream, const std::string& line);
    // A message on standard error, in the caller's language.
    void tell(const std::string& message);
    std::string translated(const std::string& message) const;
    // What `status` says when no Quovant runs, in the caller's language.
    std::string notRunningStatus(const CommandLine::Command& command) const;

    Dependencies deps_;
};
