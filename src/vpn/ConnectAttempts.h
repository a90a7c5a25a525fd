#pragma once

#include "platform/UserMessage.h"

#include <cstddef>
#include <string_view>

// What openvpn's attempts at a connection mean to the user: how many servers a profile
// gives it to try, why an attempt failed (from its restart reasons and its log), and
// what it is waiting for meanwhile.
namespace ConnectAttempts {

// Why the server was not reached, as far as openvpn has said.
enum class Problem {
    none,        // nothing said: no answer came
    tlsFailed,   // the server answered, but the TLS handshake did not finish in time
    refused,     // "Connection refused": nothing listens there, or a firewall rejects
    unreachable, // "No route to host", "Network is unreachable"
};

// The servers openvpn tries in turn before it starts again from the first: a
// `<connection>` block each, else a `remote` line each; at least one.
size_t servers(std::string_view profile);

// The problem a `>LOG:` payload ("time,flags,text") tells of; none for any other line.
Problem inLog(std::string_view payload);

// The server address an attempt begins with, as a `>LOG:` payload tells it ("UDPv4 link
// remote: [AF_INET]192.0.2.1:1194", "Attempting to establish TCP connection with ...");
// empty for any other line. openvpn tries the addresses of a host name in turn too, so
// the first address tried again is where it has gone round every server.
std::string_view attemptedServer(std::string_view payload);

// The alert of a connection given up on for `problem`.
UserMessage failure(Problem problem);

// What openvpn is doing while it connects, by the word of its state line, in a few
// words for the status line; after a restart, why it is trying again. Empty for a word
// that says nothing more than "connecting".
UserMessage progress(std::string_view word, Problem problem);

} // namespace ConnectAttempts
