#include "HelperDaemon.h"

#include <cstdio>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

bool connectable(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

HelperDaemon::HelperDaemon(const std::string& helperCopy) {
    namespace fs = std::filesystem;
    fs::create_directory(dir_ / "helper");
    fs::permissions(dir_ / "helper", fs::perms(0755));
    fs::copy_file(helperCopy, dir_ / "helper/com.quovant.macos.helper");
    for (const char* script : {"client.up", "client.down"})
        fs::copy_file(libexecDir() + "/" + script, dir_ / "helper" / script);
    start();
}

void HelperDaemon::kill(int signalNumber) {
    process_->signal(signalNumber);
    if (!process_->waitFor(std::chrono::seconds(10)))
        throw std::runtime_error("the helper daemon did not end:\n" + log());
}

void HelperDaemon::start() {
    ChildProcess::Options options;
    options.outputFile = (dir_ / "helper.log").string();
    // As in a container, unless a test starts a bus there: no polkit to ask, so the daemon
    // serves regular users as it did before it asked.
    options.extraEnvironment = {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + systemBusSocket().string()};
    // The helper applies the tunnel's DNS to /etc/resolv.conf: a test's helper has an /etc
    // of its own, an overlay of the machine's in a mount namespace of its own, so that it
    // changes what a real one would and the machine's stays as it is.
    const std::string etc = (dir_ / "etc").string();
    std::filesystem::create_directories(etc);
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{
            "unshare", "--mount", "--propagation", "private", "sh", "-c",
            "mount -t tmpfs quovant-etc \"$0\" && mkdir \"$0/upper\" \"$0/work\" && "
            // An overlay shows what is under a file mounted in /etc (a test's own
            // resolv.conf, a container's): such files are copied over it as they read.
            "for f in /etc/*; do ! mountpoint -q \"$f\" || [ ! -f \"$f\" ] || "
            "cp \"$f\" \"$0/upper/\"; done && "
            "mount -t overlay quovant-etc -o "
            "lowerdir=/etc,upperdir=\"$0/upper\",workdir=\"$0/work\" /etc && exec \"$@\"",
            etc, installDir() + "/com.quovant.macos.helper", "--socket", socketPath()},
        options);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // The socket file appears at bind(), before listen(): wait until a client gets in.
    while (!connectable(socketPath())) {
        if (!process_->running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("the helper daemon did not start:\n" + log());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

HelperDaemon::~HelperDaemon() {
    process_.reset();
}

std::optional<pid_t> HelperDaemon::openVPNPid() const {
    const std::string text = log();
    const std::string marker = "openvpn started, pid ";
    const size_t at = text.rfind(marker);
    if (at == std::string::npos)
        return std::nullopt;
    return std::stoi(text.substr(at + marker.size()));
}
