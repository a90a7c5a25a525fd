#include "TestNetwork.h"

#include "ChildProcess.h"
#include "helper/HelperPaths.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string fileText(const char* path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Shows `path` with `line` added, to this process and its children only.
bool bindWithLine(const char* path, const std::string& line) {
    char copy[] = "/tmp/quovant-account-XXXXXX";
    const int fd = ::mkstemp(copy);
    if (fd < 0)
        return false;
    const std::string text = fileText(path) + line;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::fchmod(fd, 0644);
    ::close(fd);
    const bool bound = written && ::mount(copy, path, nullptr, MS_BIND, nullptr) == 0;
    // The bind mount keeps the file; its name is no longer needed.
    ::unlink(copy);
    return bound;
}

// The helper runs openvpn as an account of its own that the package makes. A machine
// that runs the tests without the package installed gets it in a mount namespace of
// the test program's, so nothing of the machine's accounts changes.
bool provideOpenVPNAccount() {
    if (::getpwnam(HelperPaths::openVPNAccount))
        return true;
    uid_t id = 999;
    while (id >= 100 && (::getpwuid(id) || ::getgrgid(id)))
        --id;
    if (id < 100 || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    const std::string name = HelperPaths::openVPNAccount;
    const std::string number = std::to_string(id);
    return bindWithLine("/etc/passwd", name + ":x:" + number + ":" + number +
                                           "::/nonexistent:/usr/sbin/nologin\n") &&
           bindWithLine("/etc/group", name + ":x:" + number + ":\n");
}

} // namespace

void isolateNetwork() {
    if (::geteuid() != 0) {
        std::fprintf(stderr, "this test needs root (network namespaces, tun, the helper daemon)\n");
        std::exit(1);
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET)");
        std::exit(1);
    }
    if (runCommand({"ip", "link", "set", "lo", "up"}) != 0) {
        std::fprintf(stderr, "cannot bring up lo in the test's network namespace\n");
        std::exit(1);
    }
    if (!provideOpenVPNAccount()) {
        std::fprintf(stderr, "cannot provide the account %s\n", HelperPaths::openVPNAccount);
        std::exit(1);
    }
}
