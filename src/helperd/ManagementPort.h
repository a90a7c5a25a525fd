#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Who listens on a TCP port of this network namespace, as the kernel's socket tables
// (/proc/net/tcp and tcp6) tell it. The daemon asks before it starts openvpn (is the
// port already taken?) and after (does openvpn itself listen yet?).
class ManagementPort {
public:
    struct Listener {
        uid_t uid = 0;
        uint64_t inode = 0;
    };

    // Listening sockets on `port`, on any local address: any of them keeps openvpn from
    // binding 127.0.0.1 there.
    static std::vector<Listener> listeners(int port);
    // Whether process `pid` holds a socket listening on `port`.
    static bool listensFor(pid_t pid, int port);

    // The listeners on `port` in a table given as text (the format of /proc/net/tcp).
    static std::vector<Listener> parse(std::string_view table, int port);
};
