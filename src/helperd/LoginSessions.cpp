#include "helperd/LoginSessions.h"

#include <cstdlib>
#include <memory>
#include <systemd/sd-daemon.h>
#include <systemd/sd-login.h>
#include <unistd.h>

namespace {

// logind keeps its state under /run/systemd, which may be left over where systemd is not
// the init system (a container): only a booted systemd's is current.
bool logindRuns() {
    return sd_booted() > 0 && ::access("/run/systemd/seats", F_OK) == 0;
}

struct Freed {
    void operator()(char* text) const { std::free(text); }
};
using Text = std::unique_ptr<char, Freed>;

} // namespace

bool LoginSessions::atComputer(uid_t uid) {
    if (!logindRuns())
        return true;
    char** sessions = nullptr;
    const int count = sd_uid_get_sessions(uid, 1, &sessions);
    bool found = false;
    for (int i = 0; i < count; ++i) {
        char* seat = nullptr;
        if (!found && sd_session_get_seat(sessions[i], &seat) >= 0)
            found = true;
        std::free(seat);
        std::free(sessions[i]);
    }
    std::free(sessions);
    return found;
}

std::optional<std::string> LoginSessions::notAtSeat(pid_t pid, uid_t uid) {
    if (!logindRuns())
        return "logind does not run, so no session is known to be at the computer";
    char* raw = nullptr;
    std::string whose = "the asking process's";
    if (sd_pid_get_session(pid, &raw) < 0) {
        // Desktops start their programs as units of the user's own service manager, which
        // belongs to no session: such a process counts as in its user's graphical session.
        // Any other process outside a session (cron's, a service's) is in none.
        uid_t owner = 0;
        char* unit = nullptr;
        const bool managed = sd_pid_get_user_unit(pid, &unit) >= 0 &&
                             sd_pid_get_owner_uid(pid, &owner) >= 0 && owner == uid;
        std::free(unit);
        if (!managed)
            return "the asking process is in no login session";
        if (sd_uid_get_display(uid, &raw) < 0)
            return "the asking process is its user's service manager's, and its user has no "
                   "graphical session";
        whose = "its user's graphical";
    }
    const Text session(raw);
    const std::string name = whose + " session " + std::string(session.get());
    if (sd_session_get_seat(session.get(), &raw) < 0)
        return name + " has no seat";
    const Text seat(raw);
    if (sd_session_is_remote(session.get()) > 0)
        return name + " is a remote one";
    if (sd_session_is_active(session.get()) <= 0)
        return name + " is not the active one on " + seat.get();
    return std::nullopt;
}
