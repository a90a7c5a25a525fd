#pragma once

#include <sys/types.h>

// Which local users the helper serves: root and ordinary login accounts, not
// system accounts (nobody, service users), whose processes have no business
// starting tunnels.
class ClientPolicy {
public:
    static constexpr uid_t firstUserUid = 1000;
    static constexpr uid_t lastUserUid = 59999;

    static bool mayConnect(uid_t uid) {
        return uid == 0 || (uid >= firstUserUid && uid <= lastUserUid);
    }
    // Ending or replacing a running openvpn is for the user who started it, or root.
    static bool mayControl(uid_t caller, uid_t owner) { return caller == 0 || caller == owner; }
};
