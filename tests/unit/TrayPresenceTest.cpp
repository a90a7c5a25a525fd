#include "platform/TrayPresence.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Each case is a run of events, one letter each, and what each event led to: 'q' where it
// quit, '.' where it did nothing; then whether a close would quit afterwards.
//   S/s  a StatusNotifierWatcher appears / goes     X/x  an XEmbed tray appears / goes
//   G    the grace after the start ends             C    the window is closed   O  shown again
struct Case {
    const char* name;
    const char* events;
    const char* outcomes;
    bool closingQuitsAfter;
};

TEST(TrayPresence, Decisions) {
    using Tray = TrayPresence::Tray;
    const std::vector<Case> cases = {
        {"a tray at the start", "SG", "..", false},
        {"no tray ever: a close after the grace quits", "GC", ".q", true},
        {"a close in the grace waits for its end, then quits", "CG", ".q", true},
        {"a close in the grace, a tray before its end: nothing quits", "CSG", "...", false},
        {"a window shown again before the grace ends stays", "COG", "...", true},
        {"a tray after the grace takes the close over", "GXC", "...", false},
        {"the only tray going makes closing quit again", "GSsC", "...q", true},
        {"one of two trays going leaves the other", "SXsC", "....", false},
        {"the tray going while the window is hidden quits nothing", "SGCs", "....", true},
        {"a tray gone before the grace ends", "SsG", "...", true},
        {"a tray returning", "XxXC", "....", false},
    };
    for (const Case& c : cases) {
        TrayPresence presence;
        std::string outcomes;
        for (const char* e = c.events; *e; ++e) {
            TrayPresence::Outcome outcome = TrayPresence::Outcome::nothing;
            switch (*e) {
            case 'S':
                outcome = presence.trayAppeared(Tray::statusNotifier);
                break;
            case 's':
                outcome = presence.trayGone(Tray::statusNotifier);
                break;
            case 'X':
                outcome = presence.trayAppeared(Tray::xembed);
                break;
            case 'x':
                outcome = presence.trayGone(Tray::xembed);
                break;
            case 'G':
                outcome = presence.graceEnded();
                break;
            case 'C':
                outcome = presence.windowClosed();
                break;
            case 'O':
                presence.windowShown();
                break;
            default:
                FAIL() << *e;
            }
            outcomes += outcome == TrayPresence::Outcome::quit ? 'q' : '.';
        }
        EXPECT_EQ(outcomes, c.outcomes) << c.name;
        EXPECT_EQ(presence.closingQuits(), c.closingQuitsAfter) << c.name;
    }
}

} // namespace
