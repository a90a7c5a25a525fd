#pragma once

#include <string>

// Where the helper lives once installed. Development and tests may point the
// application and the installer elsewhere through QUOVANT_HELPER_SOCKET and
// QUOVANT_HELPER_DIR; the installer runs under pkexec, which clears both.
namespace HelperPaths {

// The helper's name everywhere (executable, units, socket, log identity). It says macos
// because installed helpers, units and scripts know it by that name; kept on purpose.
inline constexpr const char* label = "com.quovant.macos.helper";
inline constexpr const char* defaultSocket = "/run/com.quovant.macos.helper.sock";
// The up and down scripts, installed beside the helper.
inline constexpr const char* upScript = "client.up";
inline constexpr const char* downScript = "client.down";
inline constexpr const char* defaultInstallDir = "/usr/local/libexec/quovant-helper";
// Root's own directory of the helper, its openvpn and its scripts (DNS state, openvpn's
// temporary files, its management socket): the unit makes it, or the helper itself.
inline constexpr const char* runtimeDir = "/run/quovant";
// The system account openvpn runs as, which the package makes; where there is none,
// openvpn runs as root.
inline constexpr const char* openVPNAccount = "quovant-openvpn";
// That account's directory (its management socket, its temporary files): root's, the
// account's group may write in it.
inline constexpr const char* openVPNDir = "/run/quovant-openvpn";

std::string socketPath();
// The directory of the running helper: the one the installer made if there is one,
// else the package's, beside this program (<prefix>/libexec/quovant).
std::string installDir();
std::string packagedDir();
// The up and down scripts as installed beside the helper.
std::string installedScript(const std::string& name);

} // namespace HelperPaths
