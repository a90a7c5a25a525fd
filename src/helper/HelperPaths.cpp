#include "helper/HelperPaths.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string fromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value == '/' ? value : fallback;
}

bool isFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string HelperPaths::socketPath() {
    return fromEnvironment("QUOVANT_HELPER_SOCKET", defaultSocket);
}

std::string HelperPaths::packagedDir() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    path = path.substr(0, path.rfind('/')) + "/../libexec/quovant";
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string HelperPaths::installDir() {
    const char* value = std::getenv("QUOVANT_HELPER_DIR");
    if (value && *value == '/')
        return value;
    // A helper the installer put in place runs instead of the packaged one: its units in
    // /etc override the package's, and without systemd it is the one started.
    if (isFile(std::string(defaultInstallDir) + "/" + label))
        return defaultInstallDir;
    const std::string packaged = packagedDir();
    return isFile(packaged + "/" + label) ? packaged : defaultInstallDir;
}

std::string HelperPaths::installedScript(const std::string& name) {
    return installDir() + "/" + name;
}
