#include "helperd/OpenVPNAccount.h"

#include "helper/HelperPaths.h"
#include "platform/Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

bool OpenVPNAccount::mayOpen(const struct stat& device, uid_t uid, gid_t gid) {
    const mode_t readWrite = device.st_uid == uid   ? S_IRUSR | S_IWUSR
                             : device.st_gid == gid ? S_IRGRP | S_IWGRP
                                                    : S_IROTH | S_IWOTH;
    return (device.st_mode & readWrite) == readWrite;
}

std::optional<OpenVPNAccount> OpenVPNAccount::prepare() {
    const std::string name = HelperPaths::openVPNAccount;
    const passwd* account = ::getpwnam(name.c_str());
    if (!account || account->pw_uid == 0) {
        Log::line("no account " + name + ": openvpn runs as root");
        return std::nullopt;
    }
    struct stat device;
    // Without the device openvpn fails as root too.
    if (::stat("/dev/net/tun", &device) == 0 &&
        !mayOpen(device, account->pw_uid, account->pw_gid)) {
        Log::line("/dev/net/tun is closed to " + name + ": openvpn runs as root");
        return std::nullopt;
    }
    OpenVPNAccount result{account->pw_uid, account->pw_gid, HelperPaths::openVPNDir};
    ::mkdir(result.dir.c_str(), 0700);
    const int fd = ::open(result.dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    const bool usable = fd >= 0 && ::setgroups(1, &result.gid) == 0 && ::fstat(fd, &st) == 0 &&
                        st.st_uid == 0 && ::fchown(fd, 0, result.gid) == 0 &&
                        ::fchmod(fd, 0770) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!usable) {
        Log::line("cannot make openvpn's directory " + result.dir + ": " + std::strerror(error) +
                  "; openvpn runs as root");
        return std::nullopt;
    }
    return result;
}
