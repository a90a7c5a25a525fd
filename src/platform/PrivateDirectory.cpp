#include "platform/PrivateDirectory.h"

#include "platform/OwnDirectory.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";
}

std::string cacheHome() {
    if (std::string cache = absoluteEnv("XDG_CACHE_HOME"); !cache.empty())
        return cache;
    std::string home = absoluteEnv("HOME");
    if (home.empty()) {
        const passwd* account = ::getpwuid(::geteuid());
        if (account && account->pw_dir && account->pw_dir[0] == '/')
            home = account->pw_dir;
    }
    return home.empty() ? "" : home + "/.cache";
}

} // namespace

std::string PrivateDirectory::runtime() {
    return absoluteEnv("XDG_RUNTIME_DIR");
}

std::string PrivateDirectory::path() {
    if (const std::string dir = runtime(); !dir.empty())
        return dir + "/quovant";
    const std::string cache = cacheHome();
    return cache.empty() ? "" : cache + "/quovant";
}

Result<int> PrivateDirectory::open() {
    const std::string dir = path();
    if (dir.empty())
        return Result<int>::failure("the user has neither a runtime directory nor a home");
    return OwnDirectory::open(dir);
}
