#pragma once

#include "platform/UserMessage.h"
#include "vpn/ConnectionState.h"
#include "vpn/ConnectionStats.h"

#include <cstdint>
#include <string>

// Where a connection's life stands. One value, owned by the service on the main thread;
// the window, the tray, the notifications and the command line all show this and keep
// no state of their own about the connection.
enum class RunPhase {
    idle,         // nothing runs (the machine is not blocked)
    preparing,    // the account service is asked for the profile
    requesting,   // the helper is asked to run openvpn (or asked again after it went away)
    attaching,    // openvpn runs; its management interface is being connected
    connecting,   // openvpn is making the tunnel
    connected,    // the tunnel is up
    reconnecting, // the tunnel was up and openvpn is making it again
    stopping,     // openvpn is asked to end
    blocked,      // the tunnel dropped unasked; the helper lets nothing out until the user chooses
};

const char* phaseName(RunPhase phase);

struct ConnectionStatus {
    RunPhase phase = RunPhase::idle;
    // The last state word stored: openvpn's, or NOPROCESS once no openvpn runs.
    std::string state = ConnectionState::noProcess;
    // Why the last connection failed or dropped; empty when it did not. One more
    // `failureCount` with every failure the user is to be told of.
    UserMessage failure;
    uint64_t failureCount = 0;
    ConnectionStats::Snapshot stats;
    // While openvpn connects: what it is doing or waiting for, in a few words.
    UserMessage progress;
    // The tunnel that was up has been remade for long, and the block holds meanwhile.
    bool stillReconnecting = false;

    bool blocked() const { return phase == RunPhase::blocked; }
    // The connect action disconnects in these phases, and connects (or reconnects through
    // the block) in the others.
    bool running() const { return phase != RunPhase::idle && phase != RunPhase::blocked; }
};
