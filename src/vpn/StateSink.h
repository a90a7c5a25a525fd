#pragma once

#include <string>

// Where the management client hands each state word it reads.
class StateSink {
public:
    virtual ~StateSink() = default;
    virtual void updateState(const std::string& word) = 0;
};
