#pragma once

#include <string>

// Where the helper lives once installed. Development and tests may point the
// application and the installer elsewhere through QUOVANT_HELPER_SOCKET and
// QUOVANT_HELPER_DIR; the installer runs under pkexec, which clears both.
namespace HelperPaths {

inline constexpr const char* label = "com.quovant.macos.helper";
inline constexpr const char* defaultSocket = "/run/com.quovant.macos.helper.sock";
inline constexpr const char* defaultInstallDir = "/usr/local/libexec/quovant-helper";

std::string socketPath();
// The directory of the running helper: the one the installer made if there is one,
// else the package's, beside this program (<prefix>/libexec/quovant).
std::string installDir();
std::string packagedDir();
// The up and down scripts as installed beside the helper.
std::string installedScript(const std::string& name);

} // namespace HelperPaths
