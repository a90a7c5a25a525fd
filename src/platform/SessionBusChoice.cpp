#include "platform/SessionBusChoice.h"

std::string SessionBusChoice::address(const Facts& facts) {
    if (!facts.environment("DBUS_SESSION_BUS_ADDRESS").empty())
        return {};
    const std::string runtime = facts.environment("XDG_RUNTIME_DIR");
    if (!runtime.empty() && facts.isSocket(runtime + "/bus"))
        return {}; // found there by every D-Bus library
    return none;
}
