#include "helper/HelperPaths.h"

#include <cstdlib>

namespace {

std::string fromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value == '/' ? value : fallback;
}

} // namespace

std::string HelperPaths::socketPath() {
    return fromEnvironment("QUOVANT_HELPER_SOCKET", defaultSocket);
}

std::string HelperPaths::installDir() {
    return fromEnvironment("QUOVANT_HELPER_DIR", defaultInstallDir);
}

std::string HelperPaths::installedScript(const std::string& name) {
    return installDir() + "/" + name;
}
