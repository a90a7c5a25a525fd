#pragma once

#include <string_view>

// The connection state words: what openvpn reports on its state lines, and NOPROCESS,
// which the service itself records when no openvpn runs. Compared exactly.
namespace ConnectionState {

inline constexpr const char* noProcess = "NOPROCESS";
inline constexpr const char* disconnected = "DISCONNECTED";
inline constexpr const char* exiting = "EXITING";
inline constexpr const char* connected = "CONNECTED";
inline constexpr const char* assignIP = "ASSIGN_IP";
inline constexpr const char* addRoutes = "ADD_ROUTES";

// What a word says about the connection; `unknown` for words outside the table.
enum class Phase { stopped, connecting, connected, unknown };

constexpr Phase phaseOf(std::string_view word) {
    for (std::string_view stopped : {noProcess, disconnected, exiting})
        if (word == stopped)
            return Phase::stopped;
    if (word == connected)
        return Phase::connected;
    for (std::string_view connecting :
         {"CONNECTING", "WAIT", "AUTH", "GET_CONFIG", assignIP, addRoutes, "RESOLVE", "TCP_CONNECT",
          "RECONNECTING", "USER_VPN_PERMISSION", "VPN_GENERATE_CONFIG", "NONETWORK"})
        if (word == connecting)
            return Phase::connecting;
    return Phase::unknown;
}

} // namespace ConnectionState
