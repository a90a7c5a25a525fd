#pragma once

#include <functional>
#include <string>

// Which session bus this start may speak to, decided before anything speaks to one. With no
// address set, D-Bus's libraries look for the bus in the runtime directory and, failing that,
// start a bus of their own for the X display (autolaunch); a keyring activated on that bus
// would ask for a new keyring's password, and the bus would outlive Quovant. Where the
// session has no bus, no bus is started: D-Bus is told there is none.
struct SessionBusChoice {
    struct Facts {
        std::function<std::string(const char* name)> environment;
        std::function<bool(const std::string& path)> isSocket;
    };
    // What DBUS_SESSION_BUS_ADDRESS should be set to; empty to leave it as it is.
    static std::string address(const Facts& facts);
    // The address that names no bus: libdbus and GDBus connect to nothing and start nothing.
    static constexpr const char* none = "disabled:";
};
