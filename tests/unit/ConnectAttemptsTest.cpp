// What openvpn 2.6 says while it tries to reach a server, as its management interface
// gave it (lines taken from a real openvpn 2.6 client), and how many servers a profile
// gives it to try.
#include "vpn/ConnectAttempts.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using Problem = ConnectAttempts::Problem;

TEST(ConnectAttempts, LogLinesThatTellWhyTheServerIsNotReached) {
    const std::pair<std::string, Problem> table[] = {
        {"1796822991,N,TCP: connect to [AF_INET]127.0.0.1:1195 failed: Connection refused",
         Problem::refused},
        {"1796822991,N,TCP: connect to [AF_INET]10.97.0.1:1194 failed: No route to host",
         Problem::unreachable},
        {"1796822991,N,write UDPv4 []: No route to host (fd=5,code=113)", Problem::unreachable},
        {"1796822994,N,read UDPv4 [EHOSTUNREACH|EHOSTUNREACH]: No route to host (fd=5,code=113)",
         Problem::unreachable},
        {"1796822994,N,read UDPv4 [ECONNREFUSED]: Connection refused (fd=5,code=111)",
         Problem::refused},
        {"1796822994,N,write UDPv6 []: Network is unreachable (fd=5,code=101)",
         Problem::unreachable},
        {"1796822994,N,TCP: connect to [AF_INET6]fd00::1:443 failed: Network is unreachable",
         Problem::unreachable},
        // Lines about other things, even with the same words in them.
        {"1796822991,I,SIGUSR1[connection failed(soft),connection-failed] received, process "
         "restarting",
         Problem::none},
        {"1796822991,,MANAGEMENT: >STATE:1796822991,RECONNECTING,connection-failed,,,,,",
         Problem::none},
        {"1796823051,,TLS Error: TLS key negotiation failed to occur within 60 seconds (check "
         "your network connectivity)",
         Problem::none},
        {"1796822991,D,MANAGEMENT: CMD 'echo Connection refused'", Problem::none},
        {"1796822991,W,WARNING: route: No route to host", Problem::none},
        {"1796822991,N,TCP: connect to", Problem::none},
        {"no commas: Connection refused", Problem::none},
        {"", Problem::none},
    };
    for (const auto& [line, problem] : table)
        EXPECT_EQ(ConnectAttempts::inLog(line), problem) << line;
}

TEST(ConnectAttempts, LogLinesThatNameTheServerAnAttemptBeginsWith) {
    const std::pair<std::string, std::string> table[] = {
        {"1796824635,I,UDPv4 link remote: [AF_INET]10.97.0.1:1194", "[AF_INET]10.97.0.1:1194"},
        {"1796824635,I,UDPv6 link remote: [AF_INET6]fd00::1:1194", "[AF_INET6]fd00::1:1194"},
        {"1796824635,I,Attempting to establish TCP connection with [AF_INET]127.0.0.1:1195",
         "[AF_INET]127.0.0.1:1195"},
        {"1796824635,I,TCP/UDP: Preserving recently used remote address: [AF_INET]127.0.0.1:1195",
         ""},
        {"1796824635,I,UDPv4 link local: (not bound)", ""},
        {"UDPv4 link remote: [AF_INET]10.97.0.1:1194", ""},
    };
    for (const auto& [line, server] : table)
        EXPECT_EQ(ConnectAttempts::attemptedServer(line), server) << line;
}

TEST(ConnectAttempts, ServersAreTheProfilesRemotesOrItsConnectionBlocks) {
    const std::pair<std::string, size_t> table[] = {
        {"client\nremote 192.0.2.1 1194\n", 1},
        {"client\nremote 192.0.2.1\nremote 192.0.2.2 443 tcp\r\n  remote\tvpn.example.com\n", 3},
        {"client\n# remote 192.0.2.9\n;remote 192.0.2.8\nremote-random\nremote-cert-tls server\n"
         "remote 192.0.2.1\n",
         1},
        {"client\nremote 192.0.2.9\n<connection>\nremote 192.0.2.1\n</connection>\n"
         "<connection>\nremote 192.0.2.2 443 tcp\n</connection>\n",
         2},
        // An inline block's text is no directive.
        {"client\nremote 192.0.2.1\n<ca>\nremote 192.0.2.7\n</ca>\n", 1},
        {"client\n", 1},
        {"", 1},
    };
    for (const auto& [profile, servers] : table)
        EXPECT_EQ(ConnectAttempts::servers(profile), servers) << profile;
}

} // namespace
