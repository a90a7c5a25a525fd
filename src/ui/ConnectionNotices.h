#pragma once

#include "platform/DesktopNotifications.h"
#include "ui/StatusLine.h"

#include <string>

// Which turns of the connection are worth a desktop notification: the tunnel coming
// up, the tunnel going down or reconnecting when the user did not ask for it, and a
// failure the user cannot see because the window is hidden. One notification per
// event: a failure that repeats before the tunnel was up again is not told again
// (attempts that keep failing the same way), and a drop that comes with a reason is
// told once, with the reason. A tunnel remade for long is told once as it becomes so.
class ConnectionNotices {
public:
    explicit ConnectionNotices(DesktopNotifications& notifications)
        : notifications_(notifications) {}

    // The user asked to disconnect: the tunnel's end that follows is no news.
    void userDisconnecting() { userDisconnecting_ = true; }
    // The window took `look`; `server` is the tunnel's server when connected.
    void lookChanged(StatusLine::Look look, const std::string& server);
    // A connection failed with `message`, which the window shows as an alert; before
    // the look that follows it.
    void failed(const std::string& message, bool windowShown);
    // The tunnel ended with `message` without the user asking, and the block holds: told
    // whether or not the window is shown, as all traffic stops.
    void blocked(const std::string& message);

private:
    void notify(const std::string& summary, const std::string& body);

    DesktopNotifications& notifications_;
    StatusLine::Look look_ = StatusLine::Look::disconnected;
    bool userDisconnecting_ = false;
    bool dropTold_ = false;
    std::string last_;
};
