// The application in real desktop sessions (tests/desktop/desktop-session): natively on Wayland
// under sway with waybar's tray, and on an X display whose XEmbed tray comes late.
#include "AppHarness.h"
#include "ChildProcess.h"
#include "app/SingleInstance.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>
#include <future>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using namespace std::chrono_literals;

// A command run beside the event loop, which must go on to answer it.
std::string run(std::vector<std::string> argv) {
    auto call = std::async(std::launch::async, [argv] {
        std::string out;
        runCommand(argv, &out, 10s);
        return out;
    });
    waitUntil([&] { return call.wait_for(0s) == std::future_status::ready; }, 15s);
    return call.get();
}

std::string shotPath(const std::string& name) {
    std::filesystem::create_directories(QUOVANT_TEST_SCREENSHOT_DIR);
    return std::string(QUOVANT_TEST_SCREENSHOT_DIR) + "/" + name + ".png";
}

std::string busCall(const std::string& item, const std::string& path,
                    std::vector<std::string> call) {
    call.insert(call.begin(), {"gdbus", "call", "--session", "-d", item, "-o", path, "-m"});
    return run(call);
}

// sway's view of the login window: null while it is not mapped.
nlohmann::json swayView() {
    std::function<nlohmann::json(const nlohmann::json&)> find = [&](const nlohmann::json& node) {
        if (node.value("name", "") == "Quovant" && node.contains("app_id"))
            return node;
        for (const char* children : {"nodes", "floating_nodes"})
            for (const auto& child : node.value(children, nlohmann::json::array()))
                if (auto found = find(child); !found.is_null())
                    return found;
        return nlohmann::json();
    };
    return find(nlohmann::json::parse(run({"swaymsg", "-r", "-t", "get_tree"}), nullptr, false));
}

// The application with the helper daemon the session runs.
std::unique_ptr<App> makeApp() {
    return std::make_unique<App>(true, qEnvironmentVariable("QUOVANT_HELPER_SOCKET").toStdString());
}

struct Step {
    const char* what;
    std::function<void(App&)> act;
    std::function<bool(App&)> done;
    const char* screenshot; // taken once done, when named
};

void runSteps(App& app, const std::vector<Step>& steps,
              const std::function<void(const std::string&)>& shoot) {
    for (const Step& step : steps) {
        step.act(app);
        EXPECT_TRUE(waitUntil([&] { return step.done(app); }, 10s)) << step.what;
        if (step.screenshot)
            shoot(shotPath(step.screenshot));
    }
}

TEST(Sway, TheWindowAndItsTrayNativelyOnWayland) {
    ASSERT_EQ(QGuiApplication::platformName(), "wayland");
    QCoreApplication::setApplicationName("Quovant");
    const auto made = makeApp();
    App& app = *made;
    QMainWindow* window = app.delegate->window();
    std::vector<QByteArray> activations;
    SingleInstance instance([&](const QByteArray& activation) {
        activations.push_back(activation);
        app.delegate->applicationShouldHandleReopen(activation);
    });
    instance.listen();

    std::string item;
    const auto mapped = [](App&) {
        const nlohmann::json view = swayView();
        return !view.is_null() && view.value("visible", false);
    };
    const auto closed = [](App& a) {
        return !a.delegate->window()->isVisible() && swayView().is_null();
    };
    const auto close = [](App& a) { a.delegate->window()->close(); };
    int quits = 0;
    app.delegate->setQuit([&] { ++quits; });
    const QSize fixed = window->size();

    runSteps(
        app,
        {
            {"the window maps natively, fitted to the 640x400 screen, with a scroll bar",
             [](App&) {},
             [&](App& a) {
                 const QSize available = window->screen()->availableGeometry().size();
                 return mapped(a) && available == QSize(640, 400) &&
                        window->frameGeometry().height() <= 400 &&
                        window->findChild<QScrollArea*>()->verticalScrollBar()->isVisible();
             },
             "sway-window"},
            {"waybar shows the item, so closing only hides the window", [](App&) {},
             [&](App& a) {
                 const std::string items =
                     busCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                             {"org.freedesktop.DBus.Properties.Get",
                              "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"});
                 const QRegularExpressionMatch name =
                     QRegularExpression("'(:[0-9.]+)/StatusNotifierItem'")
                         .match(QString::fromStdString(items));
                 if (name.hasMatch())
                     item = name.captured(1).toStdString();
                 return !item.empty() && !a.delegate->trayPresence().closingQuits();
             },
             nullptr},
            {"closed, it is gone from the screen", close, closed, nullptr},
            {"the host's Activate brings it back",
             [&](App&) {
                 busCall(item, "/StatusNotifierItem",
                         {"org.kde.StatusNotifierItem.Activate", "0", "0"});
             },
             mapped, nullptr},
            {"closed again", close, closed, nullptr},
            {"the menu's first item brings it back",
             [&](App&) {
                 const std::string layout =
                     busCall(item, "/MenuBar",
                             {"com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "@as []"});
                 const QRegularExpressionMatch id =
                     QRegularExpression(R"(\(([0-9]+), \{[^}]*'label': <'Quovant openen'>)")
                         .match(QString::fromStdString(layout));
                 ASSERT_TRUE(id.hasMatch()) << layout;
                 busCall(item, "/MenuBar",
                         {"com.canonical.dbusmenu.Event", "--", id.captured(1).toStdString(),
                          "clicked", "<0>", "0"});
             },
             mapped, nullptr},
            {"asked to maximize, it keeps its size and offers no maximize button",
             [](App& a) { a.delegate->window()->setWindowState(Qt::WindowMaximized); },
             [&](App& a) {
                 spin(300ms);
                 return mapped(a) && !window->isMaximized() && window->size() == fixed &&
                        !(window->windowFlags() & Qt::WindowMaximizeButtonHint);
             },
             nullptr},
            {"closed once more", close, closed, nullptr},
            {"a second start shows it with its activation token",
             [](App&) {
                 ChildProcess::Options options;
                 options.extraEnvironment = {"XDG_ACTIVATION_TOKEN=token-of-the-second-start"};
                 ChildProcess second({std::string(QUOVANT_TEST_BIN_DIR) + "/quovant"}, options);
                 std::optional<int> status;
                 waitUntil([&] { return (status = second.waitFor(0ms)).has_value(); }, 10s);
                 EXPECT_EQ(status, 0) << "the second start hands over and ends";
             },
             [&](App& a) {
                 return mapped(a) &&
                        activations == std::vector<QByteArray>{"token-of-the-second-start"};
             },
             "sway-second-start"},
        },
        [](const std::string& path) {
            run({"grim", path});
        });
    EXPECT_EQ(quits, 0);
}

TEST(Weston, InQtsOwnFrameAMaximizeIsUndoneAndDoesNotEndTheApplication) {
    ASSERT_EQ(QGuiApplication::platformName(), "wayland");
    const auto made = makeApp();
    App& app = *made;
    QMainWindow* window = app.delegate->window();
    const QSize fixed = window->size();
    runSteps(
        app,
        {
            {"the window shows in Qt's frame", [](App&) { spin(500ms); }, // the shell fades it in
             [&](App&) {
                 return window->isVisible() && window->frameGeometry() != window->geometry();
             },
             "weston-window"},
            {"a maximize is undone and the surface keeps its size",
             [](App& a) {
                 // As the maximize button of Qt's frame asks.
                 a.delegate->window()->windowHandle()->setWindowStates(Qt::WindowMaximized);
                 spin(300ms);
                 // A repaint commits the surface: at the wrong size in a maximized state the
                 // compositor would end the connection.
                 a.delegate->window()->findChild<QLineEdit*>()->setText("someone@example.com");
             },
             [&](App&) {
                 spin(500ms);
                 return window->isVisible() && !window->isMaximized() && window->size() == fixed;
             },
             "weston-after-maximize"},
        },
        [&](const std::string& path) {
            // The screenshooter writes into its working directory under a name of its own.
            const std::filesystem::path dir = std::filesystem::path(path).parent_path() / "shooter";
            std::filesystem::create_directories(dir);
            run({"sh", "-c", "cd '" + dir.string() + "' && weston-screenshooter"});
            for (const auto& file : std::filesystem::directory_iterator(dir))
                std::filesystem::rename(file.path(), path);
            std::filesystem::remove(dir);
        });
}

TEST(XEmbedTray, ATrayThatComesThreeSecondsLateIsUsed) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    const auto made = makeApp();
    App& app = *made;
    int quits = 0;
    app.delegate->setQuit([&] { ++quits; });
    std::unique_ptr<ChildProcess> tray;
    const auto icon = [] {
        // The item is a small window of the application's embedded in the tray.
        const std::string ids =
            run({"xdotool", "search", "--classname",
                 QCoreApplication::applicationFilePath().section('/', -1).toStdString()});
        std::istringstream lines(ids);
        for (std::string id; std::getline(lines, id);) {
            const std::string geometry = run({"xdotool", "getwindowgeometry", "--shell", id});
            const size_t w = geometry.find("WIDTH=");
            if (w != std::string::npos && std::stoi(geometry.substr(w + 6)) <= 32)
                return true;
        }
        return false;
    };
    runSteps(app,
             {
                 {"no tray for three seconds", [](App&) { spin(3s); },
                  [](App& a) { return a.delegate->trayPresence().closingQuits(); }, nullptr},
                 {"the tray comes: the item appears in it",
                  [&](App&) {
                      tray = std::make_unique<ChildProcess>(std::vector<std::string>{
                          "trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                          "--width", "64", "--height", "24", "--transparent", "false"});
                  },
                  [&](App& a) { return !a.delegate->trayPresence().closingQuits() && icon(); },
                  "xembed-late-tray"},
                 {"closing the window leaves the application running",
                  [](App& a) { a.delegate->window()->close(); },
                  [&](App& a) {
                      spin(500ms);
                      return !a.delegate->window()->isVisible() && quits == 0;
                  },
                  nullptr},
             },
             [](const std::string& path) {
                 run({"import", "-window", "root", path});
             });
    EXPECT_EQ(quits, 0);
}

} // namespace
