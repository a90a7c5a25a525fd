#pragma once

#include "ChildProcess.h"
#include "TempDir.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

// A real openvpn server for tests: a throwaway PKI, the server in a network namespace
// of its own reached over a veth pair, and an auth script that accepts exactly the
// accounts it was given. It pushes what VPN providers push (`redirect-gateway def1`, its
// DNS server and domain). The client side stays in the caller's namespace, whose default
// route leads to the server's end of the pair, as a machine's leads to its LAN's router.
class OpenVPNServer {
public:
    struct Account {
        std::string username;
        std::string password;
    };

    static constexpr const char* tunnelAddress = "10.214.0.1";
    // The server's end of the veth pair: reached outside the tunnel.
    static constexpr const char* linkAddress = "10.213.0.2";
    static constexpr const char* pushedDomain = "quovant.test";

    explicit OpenVPNServer(std::vector<Account> accounts);
    ~OpenVPNServer();

    // From now on the account at `index` (in the order given) needs `password`, as after
    // a change on the VPN server that the account service has not heard of.
    void changePassword(size_t index, const std::string& password);

    // A client profile for this server: what the account service would hand out.
    std::string clientProfile() const;

    // Waits until the server listens (bounded); false if it died or never got there.
    bool waitUntilReady();

    // A process in the server's network namespace (for /proc/PID/ns/net).
    pid_t namespacePid() const { return namespaceHolder_->pid(); }
    const std::filesystem::path& directory() const { return dir_.path(); }
    std::string log() const;

private:
    TempDir dir_{"quovant-server"};
    std::unique_ptr<ChildProcess> namespaceHolder_;
    std::unique_ptr<ChildProcess> server_;
    std::string caCertificate_;
};

// Makes the throwaway CA and server certificate in `dir` (ca.crt, server.crt, server.key).
void makeTestPki(const std::filesystem::path& dir);
