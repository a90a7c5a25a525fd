#include "platform/TrayPresence.h"

TrayPresence::Outcome TrayPresence::trayAppeared(Tray tray) {
    trays_.insert(tray);
    phase_ = Phase::tray;
    return Outcome::nothing;
}

TrayPresence::Outcome TrayPresence::trayGone(Tray tray) {
    trays_.erase(tray);
    // A window hidden in a tray that has just gone (a panel restarting, most often) stays
    // hidden: quitting would drop the connection, and a second start shows the window.
    if (phase_ == Phase::tray && trays_.empty())
        phase_ = Phase::none;
    return Outcome::nothing;
}

TrayPresence::Outcome TrayPresence::graceEnded() {
    if (phase_ != Phase::grace)
        return Outcome::nothing;
    phase_ = Phase::none;
    return windowClosed_ ? Outcome::quit : Outcome::nothing;
}

TrayPresence::Outcome TrayPresence::windowClosed() {
    windowClosed_ = true;
    return phase_ == Phase::none ? Outcome::quit : Outcome::nothing;
}
