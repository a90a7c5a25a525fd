#pragma once

#include <optional>
#include <string>

// Settings of glibc's allocator that it takes only as a process starts, from the
// environment (GLIBC_TUNABLES). A program that wants them for itself starts over once
// with them added, first thing in main.
class AllocatorTunables {
public:
    // `current` (GLIBC_TUNABLES as it is, or null) with each "name=value" of `wanted`
    // (separated by ':') whose name it does not set yet; nullopt when it sets them all. A
    // value set already stays: the user's own choice wins.
    static std::optional<std::string> adding(const char* current, const std::string& wanted);

    // Starts this program over (the same process, with its arguments and environment)
    // with `wanted` added to GLIBC_TUNABLES, unless it sets them all already. Returns in
    // the program started over, with GLIBC_TUNABLES as the user had it for the programs it
    // starts; or at once when the settings are there already or cannot be given (then it
    // goes on without them).
    static void startOverWith(const std::string& wanted, char** argv);
};
