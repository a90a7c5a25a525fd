#include "OpenVPNServer.h"

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* hostSide = "10.213.0.1/30";
constexpr const char* serverSide = "10.213.0.2/30";
constexpr const char* serverAddress = OpenVPNServer::linkAddress;

void mustRun(const std::vector<std::string>& argv) {
    std::string out;
    if (runCommand(argv, &out) != 0) {
        std::string joined;
        for (const auto& a : argv)
            joined += a + " ";
        throw std::runtime_error("command failed: " + joined + out);
    }
}

std::string namespaceOf(pid_t pid) {
    char target[256] = {};
    const std::string link = "/proc/" + std::to_string(pid) + "/ns/net";
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

} // namespace

void makeTestPki(const std::filesystem::path& dir) {
    const std::string d = dir.string() + "/";
    std::ofstream(d + "server.ext") << "basicConstraints=CA:FALSE\n"
                                       "keyUsage=digitalSignature,keyEncipherment,keyAgreement\n"
                                       "extendedKeyUsage=serverAuth\n";
    const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt",
                                         "ec_paramgen_curve:prime256v1", "-nodes"};
    std::vector<std::string> ca = {"openssl", "req", "-x509"};
    ca.insert(ca.end(), ec.begin(), ec.end());
    ca.insert(ca.end(), {"-keyout", d + "ca.key", "-out", d + "ca.crt", "-days", "2", "-subj",
                         "/CN=Quovant Test CA"});
    mustRun(ca);
    std::vector<std::string> req = {"openssl", "req"};
    req.insert(req.end(), ec.begin(), ec.end());
    req.insert(req.end(),
               {"-keyout", d + "server.key", "-out", d + "server.csr", "-subj", "/CN=server"});
    mustRun(req);
    mustRun({"openssl", "x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.crt", "-CAkey",
             d + "ca.key", "-CAcreateserial", "-out", d + "server.crt", "-days", "2", "-extfile",
             d + "server.ext"});
}

void OpenVPNServer::changePassword(size_t index, const std::string& password) {
    const auto file = dir_ / "accounts" / std::to_string(index);
    const std::string current = readFile(file);
    dir_.write("accounts/" + std::to_string(index),
               current.substr(0, current.find('\n') + 1) + password + "\n");
}

OpenVPNServer::OpenVPNServer(std::vector<Account> accounts) {
    makeTestPki(dir_.path());
    caCertificate_ = readFile(dir_ / "ca.crt");

    std::filesystem::create_directory(dir_ / "accounts");
    for (size_t i = 0; i < accounts.size(); ++i)
        dir_.write("accounts/" + std::to_string(i),
                   accounts[i].username + "\n" + accounts[i].password + "\n");
    // openvpn hands the script a file with the user name and password on two lines;
    // comparing whole files keeps every byte of hostile passwords out of the shell.
    dir_.write("auth.sh",
               "#!/bin/sh\nfor f in '" + (dir_ / "accounts").string() +
                   "'/*; do cmp -s \"$1\" \"$f\" && exit 0; done\nexit 1\n",
               std::filesystem::perms(0755));
    dir_.write("server.conf", "dev tun\n"
                              "topology subnet\n"
                              "server 10.214.0.0 255.255.255.0\n"
                              "proto udp\n"
                              "local " +
                                  std::string(serverAddress) +
                                  "\n"
                                  "port 1194\n"
                                  "ca " +
                                  (dir_ / "ca.crt").string() +
                                  "\n"
                                  "cert " +
                                  (dir_ / "server.crt").string() +
                                  "\n"
                                  "key " +
                                  (dir_ / "server.key").string() +
                                  "\n"
                                  "dh none\n"
                                  "verify-client-cert none\n"
                                  "username-as-common-name\n"
                                  "script-security 2\n"
                                  "auth-user-pass-verify " +
                                  (dir_ / "auth.sh").string() +
                                  " via-file\n"
                                  "keepalive 10 60\n"
                                  // What VPN providers push: the whole way out, their
                                  // resolver and their domain.
                                  "push \"redirect-gateway def1\"\n"
                                  "push \"dhcp-option DNS " +
                                  std::string(tunnelAddress) +
                                  "\"\n"
                                  "push \"dhcp-option DOMAIN " +
                                  std::string(pushedDomain) +
                                  "\"\n"
                                  "verb 3\n");

    // The server's namespace lives as long as this holder process.
    namespaceHolder_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"unshare", "--net", "sleep", "3600"});
    const std::string ownNamespace = namespaceOf(::getpid());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (namespaceOf(namespaceHolder_->pid()) == ownNamespace ||
           namespaceOf(namespaceHolder_->pid()).empty()) {
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("server namespace did not appear");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::string pid = std::to_string(namespaceHolder_->pid());
    const std::vector<std::string> inServer = {"nsenter", "-t", pid, "-n"};
    auto there = [&](std::vector<std::string> argv) {
        argv.insert(argv.begin(), inServer.begin(), inServer.end());
        return argv;
    };
    mustRun({"ip", "link", "add", "qv-host", "type", "veth", "peer", "name", "qv-server", "netns",
             pid});
    mustRun({"ip", "addr", "add", hostSide, "dev", "qv-host"});
    mustRun({"ip", "link", "set", "qv-host", "up"});
    mustRun(there({"ip", "link", "set", "lo", "up"}));
    mustRun(there({"ip", "addr", "add", serverSide, "dev", "qv-server"}));
    mustRun(there({"ip", "link", "set", "qv-server", "up"}));
    // A real machine's way out: the LAN's router, here the server's end. openvpn needs a
    // default gateway to redirect the default route through the tunnel.
    mustRun({"ip", "route", "add", "default", "via", serverAddress, "dev", "qv-host"});

    ChildProcess::Options options;
    options.outputFile = (dir_ / "server.log").string();
    server_ = std::make_unique<ChildProcess>(
        there({"openvpn", "--config", (dir_ / "server.conf").string()}), options);
}

OpenVPNServer::~OpenVPNServer() {
    server_.reset();
    namespaceHolder_.reset();
}

bool OpenVPNServer::waitUntilReady() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!server_->running())
            return false;
        if (log().find("Initialization Sequence Completed") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::string OpenVPNServer::log() const {
    return readFile(dir_ / "server.log");
}

std::string OpenVPNServer::clientProfile() const {
    return "client\n"
           "dev tun\n"
           "proto udp\n"
           "remote " +
           std::string(serverAddress) +
           " 1194\n"
           "nobind\n"
           "auth-user-pass\n"
           "remote-cert-tls server\n"
           "verb 3\n"
           "<ca>\n" +
           caCertificate_ + "</ca>\n";
}
