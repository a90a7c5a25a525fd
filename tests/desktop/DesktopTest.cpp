// The application in real desktop sessions (tests/desktop/desktop-session): natively on Wayland
// under sway with waybar's tray, and on an X display whose XEmbed tray comes late.
#include "AppHarness.h"
#include "ChildProcess.h"
#include "app/SingleInstance.h"
#include "platform/Log.h"
#include "ui/MainViewController.h"

#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
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

// How a session tells that the window is out of the user's sight, and back in front.
struct Sight {
    std::function<bool(App&)> hidden;
    std::function<bool(App&)> inFront;
};

// Where the desktop hands out the focus: the window is hidden once it lost the focus, and
// in front once it has it back, shown (`mapped`) and not minimized.
Sight byFocus(std::function<bool(App&)> mapped) {
    return {[](App& a) { return !a.delegate->window()->isActiveWindow(); },
            [mapped = std::move(mapped)](App& a) {
                QWidget* window = a.delegate->window();
                return window->isActiveWindow() && !window->isMinimized() && mapped(a);
            }};
}

// Steps that hide the window from the user: it is asked to minimize (sway keeps it as it is,
// weston and a window manager hide it) and a window of another program's comes over it,
// taking the focus where the desktop hands one out; then `recall` brings it back.
std::vector<Step> hideAndRecall(const char* what, std::function<void(App&)> recall,
                                const Sight& sight, QWidget& cover, const char* screenshot) {
    return {
        {"minimized and covered, it is out of sight",
         [&cover](App& a) {
             a.delegate->window()->showMinimized();
             cover.hide();
             cover.show();
         },
         sight.hidden, nullptr},
        {what, std::move(recall), sight.inFront, screenshot},
    };
}

// A later start of the program, which hands its activation token or startup id to the running
// one and ends.
void secondStart(App&) {
    ChildProcess::Options options;
    options.extraEnvironment = {"XDG_ACTIVATION_TOKEN=token-of-the-second-start"};
    ChildProcess second({std::string(QUOVANT_TEST_BIN_DIR) + "/quovant"}, options);
    std::optional<int> status;
    waitUntil([&] { return (status = second.waitFor(0ms)).has_value(); }, 10s);
    EXPECT_EQ(status, 0) << "the second start hands over and ends";
}

// The tray menu's first item, "Quovant openen", as a tray that draws the menu itself
// triggers it.
void openItem(App& a) {
    a.delegate->statusMemu()->actions().front()->trigger();
}

// Another program's window, which takes the focus as it maps.
std::unique_ptr<QWidget> makeCover() {
    auto cover = std::make_unique<QWidget>();
    cover->setWindowTitle("Another program");
    cover->resize(300, 200);
    return cover;
}

std::vector<Step> joined(std::vector<std::vector<Step>> parts) {
    std::vector<Step> all;
    for (auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

void runSteps(App& app, const std::vector<Step>& steps,
              const std::function<void(const std::string&)>& shoot) {
    for (const Step& step : steps) {
        step.act(app);
        EXPECT_TRUE(waitUntil([&] { return step.done(app); }, 10s)) << step.what;
        if (step.screenshot) {
            spin(200ms); // what changed is drawn
            shoot(shotPath(step.screenshot));
        }
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
    const auto shoot = [](const std::string& path) { run({"grim", path}); };
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
            {"the window maps natively under its desktop file's name, fitted to the 640x400 "
             "screen below waybar's 24, title bar and all, with a scroll bar",
             [](App&) {},
             [&](App& a) {
                 const QSize available = window->screen()->availableGeometry().size();
                 const nlohmann::json view = swayView();
                 if (view.is_null())
                     return false;
                 // The title bar sits above the window's rectangle.
                 const int top =
                     view["rect"]["y"].get<int>() - view["deco_rect"]["height"].get<int>();
                 return mapped(a) && view.value("app_id", "") == "quovant" &&
                        available == QSize(640, 400) && top >= 24 &&
                        view["rect"]["y"].get<int>() + view["rect"]["height"].get<int>() <= 400 &&
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
            {"a second start shows it with its activation token", secondStart,
             [&](App& a) {
                 return mapped(a) &&
                        activations == std::vector<QByteArray>{"token-of-the-second-start"};
             },
             "sway-second-start"},
        },
        shoot);
    // sway takes no token it did not give, so the window is shown anew; sway focuses it.
    const Sight focused =
        byFocus([&](App& a) { return mapped(a) && swayView().value("focused", false); });
    const auto cover = makeCover();
    Log::Capture log;
    runSteps(app,
             joined({hideAndRecall("a second start brings it back", secondStart, focused, *cover,
                                   "sway-second-start-recalled"),
                     hideAndRecall(
                         "the host's token and Activate bring it back",
                         [&](App&) {
                             busCall(item, "/StatusNotifierItem",
                                     {"org.kde.StatusNotifierItem."
                                      "ProvideXdgActivationToken",
                                      "token-of-the-tray"});
                             busCall(item, "/StatusNotifierItem",
                                     {"org.kde.StatusNotifierItem.Activate", "0", "0"});
                         },
                         focused, *cover, "sway-activate-recalled"),
                     hideAndRecall("the menu's open item brings it back", openItem, focused, *cover,
                                   nullptr)}),
             shoot);
    EXPECT_TRUE(log.systemContains("with the desktop's activation token"))
        << "the tray's token reached the window";
    EXPECT_EQ(quits, 0);
}

TEST(Weston, InQtsOwnFrameAMaximizeIsUndoneAndAMinimizedWindowComesBack) {
    ASSERT_EQ(QGuiApplication::platformName(), "wayland");
    const auto made = makeApp();
    App& app = *made;
    QMainWindow* window = app.delegate->window();
    SingleInstance instance([&](const QByteArray& activation) {
        app.delegate->applicationShouldHandleReopen(activation);
    });
    instance.listen();
    const QSize fixed = window->size();
    const auto cover = makeCover();
    // The screenshooter writes into its working directory under a name of its own.
    const auto shoot = [](const std::string& path) {
        const std::filesystem::path dir = std::filesystem::path(path).parent_path() / "shooter";
        std::filesystem::create_directories(dir);
        run({"sh", "-c", "cd '" + dir.string() + "' && weston-screenshooter"});
        for (const auto& file : std::filesystem::directory_iterator(dir))
            std::filesystem::rename(file.path(), path);
        std::filesystem::remove(dir);
    };
    // Headless weston has no keyboard, so it gives no window the focus; the window is in
    // sight when the screen shows its form's colour over most of the form's area.
    const auto onScreen = [&](App& a) {
        const std::string path = shotPath("weston-sight");
        shoot(path);
        const QImage screen =
            QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
        int count = 0;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                count += (screen.pixel(x, y) & 0xFFFFFF) == MainViewController::backgroundColor;
        const QSize form = a.delegate->window()->size();
        return count > form.width() * form.height() / 2;
    };
    // weston takes no activation token: the window is shown anew.
    const Sight shown{[&](App& a) { return !onScreen(a); }, onScreen};
    runSteps(
        app,
        joined(
            {{
                 {"the window shows in Qt's frame",
                  [](App&) { spin(500ms); }, // the shell fades it in
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
                      return window->isVisible() && !window->isMaximized() &&
                             window->size() == fixed;
                  },
                  "weston-after-maximize"},
             },
             hideAndRecall("a second start brings it back", secondStart, shown, *cover,
                           "weston-second-start-recalled"),
             hideAndRecall("the menu's open item brings it back", openItem, shown, *cover,
                           "weston-open-item-recalled")}),
        shoot);
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

TEST(XEmbedTray, AMinimizedOrCoveredWindowComesBackUnderAWindowManager) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    const auto made = makeApp();
    App& app = *made;
    SingleInstance instance([&](const QByteArray& activation) {
        app.delegate->applicationShouldHandleReopen(activation);
    });
    instance.listen();
    const auto cover = makeCover();
    // Qt follows the window manager's minimized state (WM_STATE) on X11.
    const Sight viewable = byFocus([](App& a) { return a.delegate->window()->isVisible(); });
    runSteps(app,
             joined({{{"the window manager gives the window the focus", [](App&) {},
                       [](App& a) { return a.delegate->window()->isActiveWindow(); }, nullptr}},
                     hideAndRecall("a second start brings it back", secondStart, viewable, *cover,
                                   "xembed-second-start-recalled"),
                     hideAndRecall("the menu's open item brings it back", openItem, viewable,
                                   *cover, nullptr)}),
             [](const std::string& path) {
                 run({"import", "-window", "root", path});
             });
}

} // namespace
