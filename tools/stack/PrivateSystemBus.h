#pragma once

#include "ChildProcess.h"
#include "TempDir.h"

#include <filesystem>
#include <memory>
#include <string>

// A bus daemon of the system kind that only one test uses, listening on `socket`.
class PrivateSystemBus {
public:
    explicit PrivateSystemBus(const std::filesystem::path& socket);
    PrivateSystemBus() : PrivateSystemBus(std::filesystem::path()) {}
    // For DBUS_SYSTEM_BUS_ADDRESS and the like.
    const std::string& address() const { return address_; }

private:
    TempDir dir_{"quovant-bus"};
    std::string address_;
    std::unique_ptr<ChildProcess> daemon_;
};
