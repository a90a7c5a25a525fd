#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where the management client hands each state word it reads, the server address of
// each state line, openvpn's traffic totals, and the credential prompts and verdicts
// that openvpn sends (">PASSWORD:" payloads).
class StateSink {
public:
    virtual ~StateSink() = default;
    virtual void updateState(const std::string& word) = 0;
    virtual void passwordNotice(std::string_view) {}
    // A read loop has ended: its management connection closed.
    virtual void managementClosed() {}
    // The remote address a state line names (empty when it names none) and its description
    // ("auth-failure" on EXITING after refused credentials); both come just before that
    // line's word.
    virtual void stateAddress(std::string_view) {}
    virtual void stateDescription(std::string_view) {}
    // Bytes received and sent over the tunnel so far (">BYTECOUNT:in,out").
    virtual void byteCount(uint64_t, uint64_t) {}
    // A ">LOG:" payload ("time,flags,text").
    virtual void logLine(std::string_view) {}
};
