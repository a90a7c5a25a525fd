#include "helperd/TunnelDevice.h"

#include "helperd/ProfileLines.h"

#include <sys/stat.h>

std::string TunnelDevice::typeOf(std::string_view profile) {
    std::optional<bool> tapByType;
    bool tapByName = false;
    ProfileLines::forEach(profile, [&](const ProfileLines::Line& line) {
        const auto& w = line.words;
        if (w.size() < 2)
            return;
        if (w[0] == "dev-type")
            tapByType = w[1] == "tap";
        else if (w[0] == "dev")
            tapByName = w[1].starts_with("tap");
    });
    return tapByType.value_or(tapByName) ? "tap" : "tun";
}

std::optional<std::string> TunnelDevice::freeName(const std::string& type) {
    for (int index = 0; index <= maxIndex; ++index) {
        const std::string name = type + std::to_string(index);
        struct stat st;
        if (::lstat(("/sys/class/net/" + name).c_str(), &st) != 0)
            return name;
    }
    return std::nullopt;
}
