#pragma once

#include <string>
#include <string_view>

// Where the management client hands each state word it reads, and the credential
// prompts and verdicts that openvpn sends (">PASSWORD:" payloads).
class StateSink {
public:
    virtual ~StateSink() = default;
    virtual void updateState(const std::string& word) = 0;
    virtual void passwordNotice(std::string_view) {}
    // A read loop has ended: its management connection closed.
    virtual void managementClosed() {}
};
