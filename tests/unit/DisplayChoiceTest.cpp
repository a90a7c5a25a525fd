#include "platform/DisplayChoice.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

TEST(DisplayChoice, PicksAPlatformThatCanWorkOrSaysWhyNone) {
    struct Case {
        std::map<std::string, std::string> environment;
        std::set<std::string> plugins;
        std::string chosen; // or a part of the reason
    };
    const std::set<std::string> both = {"wayland", "xcb"};
    const std::vector<Case> cases = {
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ":0"}}, both, "wayland"},
        {{{"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ":0"}}, {"xcb"}, "xcb"},
        {{{"DISPLAY", ":0"}}, both, "xcb"},
        {{{"WAYLAND_DISPLAY", "wayland-1"}}, {"xcb"}, "install the package qt6-wayland"},
        {{{"DISPLAY", ":0"}}, {}, "install the package qt6-qpa-plugins"},
        {{}, both, "neither WAYLAND_DISPLAY nor DISPLAY"},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}}, both, "xcb"},
        {{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}}, both, "xcb"},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, {}, "offscreen"},
        {{{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}}, both, "QT_QPA_PLATFORM (wayland)"},
    };
    for (const Case& c : cases) {
        const Result<std::string> choice = DisplayChoice::choose(
            {[&](const char* name) {
                 const auto it = c.environment.find(name);
                 return it == c.environment.end() ? std::string() : it->second;
             },
             [&](const std::string& plugin) { return c.plugins.count(plugin) > 0; }});
        const std::string said = choice ? choice.value() : choice.why();
        EXPECT_NE(said.find(c.chosen), std::string::npos) << said;
        EXPECT_EQ(bool(choice), said == c.chosen) << said;
    }
}

} // namespace
