#include "helperd/LoginSessions.h"

#include <cstdlib>
#include <systemd/sd-login.h>
#include <unistd.h>

bool LoginSessions::atComputer(uid_t uid) {
    if (::access("/run/systemd/seats", F_OK) != 0)
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
