// quovant-install-helper: installs, as root, the helper daemon and its two scripts that
// sit beside this program, and (re)starts the daemon: through systemd socket activation
// where systemd runs, otherwise by starting it itself. It takes no paths from its
// caller, who may be any user a polkit rule lets run it. With --remove (root only, not
// through pkexec) it stops and removes what it installed; the package's scripts use it.
//
// QUOVANT_HELPER_DIR, QUOVANT_HELPER_SOCKET and QUOVANT_HELPER_LOG (development and
// tests) are read only when root runs it directly; pkexec clears them anyway.
#include "helper/HelperPaths.h"
#include "installer/RunningHelper.h"
#include "installer/TrustedDir.h"
#include "installer/UnitText.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr const char* label = HelperPaths::label;
constexpr const char* unitDir = "/etc/systemd/system";
constexpr const char* defaultLog = "/var/log/quovant-helper.log";
constexpr const char* logrotateDir = "/etc/logrotate.d";
// Not the package's name for it: the package's scripts remove what the installer made.
constexpr const char* logrotateName = "quovant-install-helper";
constexpr const char* installedLogrotateName = "quovant";
// polkit reads actions from here only. The package's own copy of the helper's actions wins;
// the installer's has a name of its own, so that removing it never touches the package's.
constexpr const char* policyDir = "/usr/share/polkit-1/actions";
constexpr const char* policyName = "org.quovant.helper.installed.policy";
constexpr const char* packagePolicyName = "org.quovant.helper.policy";
constexpr const char* cleanPath = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
// openvpn runs as this account, holding only the network's capability, where it exists.
constexpr const char* openvpnAccount = "quovant-openvpn";
// Beside the installed helper when this installer made the account: --remove then takes it
// away, and never an account the package made under the same name.
constexpr const char* accountMark = "openvpn-account-made-by-installer";
const std::vector<std::string> scripts = {"client.up", "client.down"};

struct Settings {
    std::string installDir;
    std::string socketPath;
    std::string logPath;
    bool systemd = false;
    // A helper installed elsewhere (development, tests) leaves the machine's accounts alone.
    bool ownsAccounts = false;
};

Settings settings() {
    const bool throughPkexec = std::getenv("PKEXEC_UID") != nullptr;
    auto fromEnvironment = [&](const char* name, const char* fallback) -> std::string {
        const char* value = throughPkexec ? nullptr : std::getenv(name);
        return value && *value == '/' ? value : fallback;
    };
    Settings s;
    s.installDir = fromEnvironment("QUOVANT_HELPER_DIR", HelperPaths::defaultInstallDir);
    s.socketPath = fromEnvironment("QUOVANT_HELPER_SOCKET", HelperPaths::defaultSocket);
    s.logPath = fromEnvironment("QUOVANT_HELPER_LOG", defaultLog);
    s.ownsAccounts = s.installDir == HelperPaths::defaultInstallDir;
    struct stat st;
    s.systemd = s.socketPath == HelperPaths::defaultSocket &&
                ::lstat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode);
    return s;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string ownDirectory() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer)
        throw std::runtime_error("cannot find the installer's own directory");
    return directoryOf(std::string(buffer, static_cast<size_t>(n)));
}

std::string socketUnit(const std::string& socketPath) {
    return "[Unit]\nDescription=Quovant VPN helper socket\n\n[Socket]\nListenStream=" + socketPath +
           "\nSocketMode=0666\n\n[Install]\nWantedBy=sockets.target\n";
}

std::string serviceUnit(const std::string& helper) {
    std::string text = UnitText::service;
    const std::string placeholder = "@QUOVANT_HELPER_EXEC@";
    text.replace(text.find(placeholder), placeholder.size(), helper);
    return text;
}

// Runs a system tool with a clean environment and returns its exit status.
int run(std::vector<std::string> argv) {
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        char* environment[] = {const_cast<char*>(cleanPath), nullptr};
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::execve(args[0], args.data(), environment);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void systemctl(std::vector<std::string> args, bool mustSucceed = true) {
    args.insert(args.begin(), "/bin/systemctl");
    const std::string what = args[1] + " " + (args.size() > 2 ? args.back() : "");
    if (run(std::move(args)) != 0 && mustSucceed)
        throw std::runtime_error("systemctl " + what + " failed");
}

void makeOpenVPNAccount(const TrustedDir& installed) {
    if (::getpwnam(openvpnAccount))
        return;
    if (run({"/usr/sbin/useradd", "--system", "--user-group", "--no-create-home", "--home-dir",
             "/nonexistent", "--shell", "/usr/sbin/nologin", openvpnAccount}) != 0) {
        std::fprintf(stderr, "the account %s could not be made: openvpn runs as root\n",
                     openvpnAccount);
        return;
    }
    installed.writeFile(accountMark, "", 0644);
}

void removeOpenVPNAccount(const TrustedDir& installed) {
    if (!installed.exists(accountMark))
        return;
    if (::getpwnam(openvpnAccount) && run({"/usr/sbin/userdel", openvpnAccount}) != 0)
        std::fprintf(stderr, "the account %s could not be removed\n", openvpnAccount);
    installed.remove(accountMark);
}

bool connectable(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// Starts the daemon detached from the installer (in a session of its own, its parent
// gone) and waits until it takes connections.
void startDaemon(const Settings& s, const std::string& helper, const TrustedDir& runDir,
                 const std::string& pidfile) {
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        ::setsid();
        if (::fork() != 0)
            ::_exit(0);
        const int devNull = ::open("/dev/null", O_RDWR);
        for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            ::dup2(devNull, fd);
        std::vector<std::string> argv = {
            helper,  "--socket", s.socketPath, "--pidfile", runDir.path() + "/" + pidfile,
            "--log", s.logPath};
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        char* environment[] = {const_cast<char*>(cleanPath), nullptr};
        ::execve(args[0], args.data(), environment);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!(connectable(s.socketPath) && runDir.exists(pidfile))) {
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("the helper did not start (see " + s.logPath + ")");
        std::this_thread::sleep_for(20ms);
    }
}

void stopStartedHelper(const TrustedDir& runDir, const std::string& pidfile,
                       const std::vector<std::string>& executables) {
    if (RunningHelper::stop(runDir, pidfile, executables, 10s) == RunningHelper::Outcome::foreign)
        std::fprintf(stderr, "%s/%s names a process that is not the helper; it is left alone\n",
                     runDir.path().c_str(), pidfile.c_str());
    runDir.remove(pidfile);
}

// The helper asks polkit who may change the network, by the actions this file names.
void installPolicy() {
    struct stat st;
    if (::lstat(policyDir, &st) != 0)
        return; // no polkit: the helper serves regular users without asking
    const TrustedDir actions = TrustedDir::open(policyDir);
    if (!actions.exists(packagePolicyName))
        actions.writeFile(policyName, UnitText::helperPolicy, 0644);
}

void install(const Settings& s) {
    installPolicy();
    const TrustedDir source = TrustedDir::open(ownDirectory());
    std::vector<std::pair<std::string, int>> files = {{label, source.openTrustedFile(label)}};
    for (const auto& script : scripts)
        files.emplace_back(script, source.openTrustedFile(script));
    const TrustedDir destination = TrustedDir::open(s.installDir, true);
    for (const auto& [name, fd] : files) {
        destination.writeFileFrom(name, fd, 0755);
        ::close(fd);
    }
    const std::string helper = destination.path() + "/" + label;
    // Before the daemon starts: it looks the account up as it does.
    if (s.ownsAccounts)
        makeOpenVPNAccount(destination);

    if (s.systemd) {
        const TrustedDir units = TrustedDir::open(unitDir);
        units.writeFile(std::string(label) + ".socket", socketUnit(s.socketPath), 0644);
        units.writeFile(std::string(label) + ".service", serviceUnit(helper), 0644);
        systemctl({"daemon-reload"});
        systemctl({"stop", std::string(label) + ".service"}, false);
        systemctl({"enable", std::string(label) + ".socket"});
        systemctl({"restart", std::string(label) + ".socket"});
        return;
    }
    const TrustedDir runDir = TrustedDir::open(directoryOf(s.socketPath));
    const std::string pidfile = nameOf(s.socketPath) + ".pid";
    stopStartedHelper(runDir, pidfile, {helper, source.path() + "/" + label});
    // Without systemd the helper writes a log file of its own, which must not grow for ever.
    struct stat st;
    // (unless the package's or an installed tree's rotation is in place: two would clash).
    if (s.logPath == defaultLog && ::lstat(logrotateDir, &st) == 0 && S_ISDIR(st.st_mode)) {
        const TrustedDir rotations = TrustedDir::open(logrotateDir);
        if (!rotations.exists(installedLogrotateName))
            rotations.writeFile(logrotateName, UnitText::logrotate, 0644);
    }
    startDaemon(s, helper, runDir, pidfile);
}

void remove(const Settings& s) {
    const std::string helper = s.installDir + "/" + label;
    const std::string socketUnitName = std::string(label) + ".socket";
    const std::string serviceUnitName = std::string(label) + ".service";
    struct stat st;
    if (::lstat(unitDir, &st) == 0) {
        const TrustedDir units = TrustedDir::open(unitDir);
        if (units.exists(socketUnitName)) {
            if (s.systemd)
                systemctl({"stop", socketUnitName, serviceUnitName}, false);
            systemctl({"disable", socketUnitName}, false);
            units.remove(socketUnitName);
            units.remove(serviceUnitName);
            if (s.systemd)
                systemctl({"daemon-reload"}, false);
        }
    }
    const TrustedDir runDir = TrustedDir::open(directoryOf(s.socketPath));
    const std::string pidfile = nameOf(s.socketPath) + ".pid";
    stopStartedHelper(runDir, pidfile, {helper, ownDirectory() + "/" + label});
    if (!s.systemd)
        runDir.removeRootSocket(nameOf(s.socketPath));
    if (::lstat(logrotateDir, &st) == 0 && TrustedDir::open(logrotateDir).exists(logrotateName))
        TrustedDir::open(logrotateDir).remove(logrotateName);
    if (::lstat(policyDir, &st) == 0)
        TrustedDir::open(policyDir).remove(policyName);

    if (::lstat(s.installDir.c_str(), &st) != 0)
        return;
    const TrustedDir installed = TrustedDir::open(s.installDir);
    removeOpenVPNAccount(installed);
    installed.remove(label);
    for (const auto& script : scripts)
        installed.remove(script);
    TrustedDir::open(directoryOf(s.installDir)).removeEmptyDirectory(nameOf(s.installDir));
}

} // namespace

int main(int argc, char** argv) {
    const bool removing = argc == 2 && std::strcmp(argv[1], "--remove") == 0;
    if (argc > 1 && !removing) {
        std::fprintf(stderr, "usage: quovant-install-helper [--remove]: it installs only the "
                             "helper beside it and takes no paths\n");
        return 2;
    }
    if (::getuid() != 0 || ::geteuid() != 0) {
        std::fprintf(stderr, "the installer must run as root\n");
        return 1;
    }
    if (removing && std::getenv("PKEXEC_UID")) {
        std::fprintf(stderr, "the helper is removed by root alone\n");
        return 1;
    }
    ::umask(022);
    try {
        const Settings s = settings();
        if (removing)
            remove(s);
        else
            install(s);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
