#include "platform/DisplayChoice.h"

#include "platform/UserText.h"

#include <vector>

namespace {

bool usable(const std::string& platform, const DisplayChoice::Facts& facts) {
    if (platform.rfind("wayland", 0) == 0)
        return facts.hasPlugin("wayland") && (!facts.environment("WAYLAND_DISPLAY").empty() ||
                                              !facts.environment("WAYLAND_SOCKET").empty());
    if (platform == "xcb")
        return facts.hasPlugin("xcb") && !facts.environment("DISPLAY").empty();
    // offscreen, vnc, eglfs...: nothing to check from here.
    return true;
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(';', start), list.size());
        if (end > start)
            names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

} // namespace

Result<std::string> DisplayChoice::choose(const Facts& facts) {
    const std::string named = facts.environment("QT_QPA_PLATFORM");
    const std::vector<std::string> candidates =
        named.empty() ? std::vector<std::string>{"wayland", "xcb"} : split(named);
    for (const std::string& platform : candidates)
        if (usable(platform, facts))
            return Result<std::string>::success(platform);

    const bool wayland = !facts.environment("WAYLAND_DISPLAY").empty();
    const bool x11 = !facts.environment("DISPLAY").empty();
    // Said before the application (and its translations) exists: whole sentences, marked,
    // for the caller to translate.
    if (!named.empty())
        return Result<std::string>::failure(
            "Quovant cannot show its window: the display platform in QT_QPA_PLATFORM (" + named +
            ") cannot be used here");
    if (wayland && !x11)
        return Result<std::string>::failure(USER_TEXT(
            "Messages", "Quovant cannot show its window: this Wayland session has no X server "
                        "(Xwayland) and Qt's Wayland plugin is not installed: install the package "
                        "qt6-wayland"));
    if (x11)
        return Result<std::string>::failure(
            USER_TEXT("Messages", "Quovant cannot show its window: Qt's X11 plugin is not "
                                  "installed: install the package qt6-qpa-plugins"));
    return Result<std::string>::failure(
        USER_TEXT("Messages", "Quovant cannot show its window: there is no graphical session "
                              "here (neither WAYLAND_DISPLAY nor DISPLAY is set)"));
}
