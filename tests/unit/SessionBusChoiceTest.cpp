#include "platform/SessionBusChoice.h"

#include <gtest/gtest.h>
#include <map>

namespace {

TEST(SessionBusChoice, ASessionWithoutABusGetsNoneStarted) {
    const struct {
        const char* what;
        std::map<std::string, std::string> environment;
        std::string socket; // the one socket that exists
        std::string address;
    } cases[] = {
        {"an address set", {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/x"}}, "", ""},
        {"the runtime directory's bus",
         {{"XDG_RUNTIME_DIR", "/run/user/1000"}},
         "/run/user/1000/bus",
         ""},
        {"a runtime directory without a bus",
         {{"XDG_RUNTIME_DIR", "/run/user/1000"}},
         "",
         "disabled:"},
        {"neither, on an X display", {{"DISPLAY", ":0"}}, "/bus", "disabled:"},
    };
    for (const auto& c : cases) {
        const auto env = c.environment;
        const std::string socket = c.socket;
        const SessionBusChoice::Facts facts{
            [env](const char* name) {
                const auto it = env.find(name);
                return it == env.end() ? "" : it->second;
            },
            [socket](const std::string& path) { return path == socket; }};
        EXPECT_EQ(SessionBusChoice::address(facts), c.address) << c.what;
    }
}

} // namespace
