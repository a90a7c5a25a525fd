#pragma once

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Silences the management echo and the log while measuring.
struct Quiet {
    int savedOut = ::dup(STDOUT_FILENO);
    int savedErr = ::dup(STDERR_FILENO);
    Quiet() {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~Quiet() {
        ::dup2(savedOut, STDOUT_FILENO);
        ::dup2(savedErr, STDERR_FILENO);
    }
};
