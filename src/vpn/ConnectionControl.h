#pragma once

#include "vpn/ConnectionStatus.h"
#include "vpn/RunEvent.h"

// What the window and the tray ask of the connection: its one status, and the user's
// four ways to act on it. The service implements it; its status changes are announced
// with the notification "OpenVPNStateDidChange". Main thread.
class ConnectionControl {
public:
    virtual ~ConnectionControl() = default;
    virtual const ConnectionStatus& status() const = 0;
    // Logs in with `credentials`, fetches the profile and runs it.
    virtual void connect(const Credentials& credentials) = 0;
    // Cancels a connect, ends a run, or opens the way a block holds shut.
    virtual void stopOpenVPN() = 0;
    // A new run through the block, with the profile and credentials of the one that dropped.
    virtual void reconnect() = 0;
    // Opens the way after a drop: the same as stopOpenVPN() while blocked.
    virtual void releaseBlock() = 0;
};
