#pragma once

#include <set>

// Decides what closing the login window means from the system trays that come and go:
// while a tray shows the icon, closing only hides the window (the tray brings it back);
// with none, closing quits, or nothing would be left to bring the window back or to
// quit with. A panel often starts a little after the applications of the session, so
// until the first tray is seen nothing is decided for a grace period: a close in that
// time hides the window, and whether that close quits is settled when the grace ends.
// Every turn is an event; the grace's end is one too, posted by the caller's timer.
class TrayPresence {
public:
    enum class Tray { statusNotifier, xembed };
    enum class Phase { grace, tray, none };
    enum class Outcome { nothing, quit };

    Outcome trayAppeared(Tray tray);
    Outcome trayGone(Tray tray);
    Outcome graceEnded();
    Outcome windowClosed();
    void windowShown() { windowClosed_ = false; }

    Phase phase() const { return phase_; }
    // Whether closing the window now would end the application.
    bool closingQuits() const { return phase_ == Phase::none; }

private:
    Phase phase_ = Phase::grace;
    std::set<Tray> trays_;
    bool windowClosed_ = false;
};
