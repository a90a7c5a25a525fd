#include "helperd/LoginSessions.h"

#include <cstdlib>
#include <systemd/sd-daemon.h>
#include <systemd/sd-login.h>
#include <unistd.h>

bool LoginSessions::atComputer(uid_t uid) {
    // logind keeps its state under /run/systemd, which may be left over where systemd is not
    // the init system (a container): only a booted systemd's is current.
    if (sd_booted() <= 0 || ::access("/run/systemd/seats", F_OK) != 0)
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
