#pragma once

#include <string>
#include <string_view>
#include <vector>

// The two diagnostic channels of the system: the system log (one line per call, to
// standard error and syslog) and standard output (management traffic). Callers pass
// ready texts; nothing secret may be handed to either.
class Log {
public:
    // Names the process in syslog; call once at start-up.
    static void setIdentity(const char* identity);

    static void line(std::string_view text);
    static void standardOutput(std::string_view text);

    // Records, in addition to writing them, the lines logged while it exists (tests).
    class Capture {
    public:
        Capture();
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;

        std::vector<std::string> systemLines() const;
        std::vector<std::string> outputLines() const;
        bool systemContains(std::string_view text) const;
        bool outputContains(std::string_view text) const;
    };
};
