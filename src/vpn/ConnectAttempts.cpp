#include "vpn/ConnectAttempts.h"

#include "platform/UserText.h"

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string_view firstWord(std::string_view line) {
    return line.substr(0, line.find_first_of(" \t"));
}

} // namespace

size_t ConnectAttempts::servers(std::string_view profile) {
    size_t remotes = 0;
    size_t blocks = 0;
    std::string_view block; // the inline block the line is in, if any
    for (size_t at = 0; at < profile.size();) {
        const size_t end = profile.find('\n', at);
        const std::string_view line = trimmed(profile.substr(at, end - at));
        at = end == std::string_view::npos ? profile.size() : end + 1;
        if (!block.empty()) {
            if (line.size() == block.size() + 3 && line.starts_with("</") &&
                line.substr(2, block.size()) == block && line.back() == '>')
                block = {};
        } else if (line.size() > 2 && line.front() == '<' && line.back() == '>') {
            block = line.substr(1, line.size() - 2);
            blocks += block == "connection";
        } else if (firstWord(line) == "remote") {
            ++remotes;
        }
    }
    // With connection blocks, openvpn tries those; the remotes outside them are not used.
    const size_t servers = blocks > 0 ? blocks : remotes;
    return servers > 0 ? servers : 1;
}

namespace {

// The text of a `>LOG:` payload, after its time and flags.
std::string_view logText(std::string_view payload) {
    const size_t second = payload.find(',', payload.find(',') + 1);
    return second == std::string_view::npos ? std::string_view() : payload.substr(second + 1);
}

} // namespace

std::string_view ConnectAttempts::attemptedServer(std::string_view payload) {
    const std::string_view text = logText(payload);
    for (std::string_view opening :
         {"Attempting to establish TCP connection with ",
          "UDPv4 link remote: ", "UDPv6 link remote: ", "UDP link remote: "})
        if (text.starts_with(opening))
            return text.substr(opening.size());
    return {};
}

ConnectAttempts::Problem ConnectAttempts::inLog(std::string_view payload) {
    // openvpn runs in the C locale's words (the helper sets LANG=C.UTF-8): a failed TCP
    // connect ("TCP: connect to [AF_INET]192.0.2.1:1194 failed: Connection refused") and
    // a UDP read or write the kernel refused ("read UDPv4 [ECONNREFUSED]: Connection
    // refused (fd=5,code=111)") end in the system's error text.
    const std::string_view text = logText(payload);
    const bool aboutTheLink = text.starts_with("TCP: connect to ") ||
                              text.starts_with("read UDP") || text.starts_with("write UDP");
    if (!aboutTheLink)
        return Problem::none;
    if (text.find("Connection refused") != std::string_view::npos)
        return Problem::refused;
    if (text.find("No route to host") != std::string_view::npos ||
        text.find("Network is unreachable") != std::string_view::npos)
        return Problem::unreachable;
    return Problem::none;
}

UserMessage ConnectAttempts::failure(Problem problem) {
    switch (problem) {
    case Problem::tlsFailed:
        return USER_TEXT("Messages",
                         "The VPN server could not be reached: the TLS handshake failed.");
    case Problem::refused:
        return USER_TEXT("Messages",
                         "The VPN server could not be reached: the connection was refused.");
    case Problem::unreachable:
        return USER_TEXT("Messages",
                         "The VPN server could not be reached: the host is unreachable.");
    case Problem::none:
        break;
    }
    return USER_TEXT("Messages", "The VPN server could not be reached.");
}

UserMessage ConnectAttempts::progress(std::string_view word, Problem problem) {
    if (word == "RECONNECTING") {
        switch (problem) {
        case Problem::tlsFailed:
            return USER_TEXT("Messages", "trying again: the TLS handshake failed");
        case Problem::refused:
            return USER_TEXT("Messages", "trying again: the connection was refused");
        case Problem::unreachable:
            return USER_TEXT("Messages", "trying again: the host is unreachable");
        case Problem::none:
            return USER_TEXT("Messages", "trying again");
        }
    }
    if (word == "RESOLVE")
        return USER_TEXT("Messages", "looking up the server");
    if (word == "TCP_CONNECT")
        return USER_TEXT("Messages", "connecting to the server");
    if (word == "WAIT")
        return problem == Problem::unreachable
                   ? USER_TEXT("Messages",
                               "waiting for the server's answer: the host is unreachable")
                   : USER_TEXT("Messages", "waiting for the server's answer");
    if (word == "AUTH")
        return USER_TEXT("Messages", "logging in to the server");
    if (word == "GET_CONFIG" || word == "ASSIGN_IP" || word == "ADD_ROUTES")
        return USER_TEXT("Messages", "setting up the tunnel");
    return {};
}
