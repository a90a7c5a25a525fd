#pragma once

#include "ChildProcess.h"
#include "TempDir.h"

#include <memory>
#include <string>
#include <vector>

#ifndef QUOVANT_TEST_BIN_DIR
#error "QUOVANT_TEST_BIN_DIR must point at the build's bin directory"
#endif

// The real tools/account-service on 127.0.0.1:8443 (tests run in a network
// namespace of their own) with a fresh self-signed certificate, the given users,
// the given profile, and any misbehaviour switches.
class AccountServiceProcess {
public:
    static constexpr const char* address = "127.0.0.1:8443";

    AccountServiceProcess(const std::vector<std::string>& users, const std::string& profile,
                          const std::vector<std::string>& switches = {});

    std::string caFile() const { return (dir_ / "cert.pem").string(); }
    std::string recorded() const { return readFile(dir_ / "requests"); }
    std::string log() const { return readFile(dir_ / "service.log"); }

private:
    TempDir dir_{"quovant-account"};
    std::unique_ptr<ChildProcess> process_;
};
