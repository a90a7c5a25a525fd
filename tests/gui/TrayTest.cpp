// The tray item on a desktop whose panel speaks StatusNotifierItem: a watcher with a
// host on a private session bus, the application on an X display. Run under
// dbus-run-session and xvfb-run with the xcb platform. The item and its menu are read back
// with gdbus, and their signals watched with gdbus monitor, as a panel would.
#include "AppHarness.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "app/StatusItem.h"
#include "ui/TrayMenu.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMenu>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

using namespace std::chrono_literals;

// A command run beside the event loop, which must go on to answer it; its output, or
// nothing when it failed.
std::string run(std::vector<std::string> argv) {
    auto call = std::async(std::launch::async, [argv] {
        std::string out;
        if (runCommand(argv, &out, 10s) != 0)
            return std::string();
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    });
    waitUntil([&] { return call.wait_for(0s) == std::future_status::ready; }, 15s);
    return call.get();
}

std::string busCall(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"gdbus", "call", "--session"});
    return run(argv);
}

std::vector<std::string> lines(const std::filesystem::path& file) {
    std::vector<std::string> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The names of the signals the item's connection sent from `path`, in order.
std::vector<std::string> signalsFrom(const std::filesystem::path& monitor,
                                     const std::string& path) {
    std::vector<std::string> names;
    static const QRegularExpression signal(R"(^(/\w+): [\w.]+\.(\w+) )");
    for (const std::string& line : lines(monitor))
        if (const auto m = signal.match(QString::fromStdString(line));
            m.hasMatch() && m.captured(1).toStdString() == path)
            names.push_back(m.captured(2).toStdString());
    return names;
}

// The menu's items in a GetLayout reply: id to its printed properties, in the menu's order.
std::vector<std::pair<int, std::string>> menuItems(const std::string& layout) {
    std::vector<std::pair<int, std::string>> items;
    static const QRegularExpression item(R"(<\((\d+), \{([^}]*)\})");
    for (auto m = item.globalMatch(QString::fromStdString(layout)); m.hasNext();) {
        const auto found = m.next();
        items.emplace_back(found.captured(1).toInt(), found.captured(2).toStdString());
    }
    return items;
}

int idOf(const std::vector<std::pair<int, std::string>>& items, const std::string& label) {
    for (const auto& [id, properties] : items)
        if (properties.find("'label': <'" + label + "'>") != std::string::npos)
            return id;
    return -1;
}

// The bytes of the item's w x w picture in an IconPixmap reply.
std::vector<int> pictureBytes(const std::string& pixmaps, int w) {
    // gdbus names the type of the array's first picture only.
    const std::string start = "(" + std::to_string(w) + ", " + std::to_string(w) + ", [";
    const size_t from = pixmaps.find(start);
    std::vector<int> bytes;
    if (from == std::string::npos)
        return bytes;
    size_t first = from + start.size();
    if (pixmaps.compare(first, 5, "byte ") == 0)
        first += 5;
    std::istringstream in(pixmaps.substr(first, pixmaps.find(']', first) - first));
    for (std::string token; std::getline(in, token, ',');)
        bytes.push_back(std::stoi(token, nullptr, 16));
    return bytes;
}

class Tray : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>("quovant-tray");
        startWatcher();
    }
    static void TearDownTestSuite() {
        watcher_.reset();
        dir_.reset();
    }

    // A watcher of its own each time, writing the items that register to a file of its own.
    static void startWatcher(const std::vector<std::string>& arguments = {}) {
        ChildProcess::Options options;
        registrations_ = dir_->path() / ("items-" + std::to_string(++watchers_));
        options.outputFile = registrations_.string();
        std::vector<std::string> argv{QUOVANT_TEST_TRAY_WATCHER};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        watcher_ = std::make_unique<ChildProcess>(argv, options);
        ASSERT_TRUE(waitUntil([] { return busHas("org.kde.StatusNotifierWatcher"); }));
    }
    static bool busHas(const std::string& name) {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QString::fromStdString(name));
    }

    // The bus name of the item that registered after `before` others.
    static std::string registeredItem(size_t before) {
        std::vector<std::string> items;
        waitUntil([&] { return (items = lines(registrations_)).size() > before; });
        return items.size() > before ? items[before].substr(0, items[before].find('/')) : "";
    }

    // gdbus monitor on the item's connection, started once it listens.
    static std::unique_ptr<ChildProcess> monitor(const std::string& item,
                                                 const std::filesystem::path& out) {
        const std::string owner = QDBusConnection::sessionBus()
                                      .interface()
                                      ->serviceOwner(QString::fromStdString(item))
                                      .value()
                                      .toStdString();
        ChildProcess::Options options;
        options.outputFile = out.string();
        auto process = std::make_unique<ChildProcess>(
            std::vector<std::string>{"gdbus", "monitor", "--session", "--dest", owner}, options);
        EXPECT_TRUE(waitUntil([&] {
            const auto said = lines(out);
            return !said.empty() && said.back().find("is owned by") != std::string::npos;
        })) << "gdbus monitor did not start";
        return process;
    }

    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<ChildProcess> watcher_;
    static inline std::filesystem::path registrations_;
    static inline int watchers_ = 0;
};

TEST_F(Tray, TheItemsTitleAndTooltipAreTheStatusAndItHasAnIconPerState) {
    QCoreApplication::setApplicationName("Quovant");
    const size_t before = lines(registrations_).size();
    App app;
    EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    const std::string item = registeredItem(before);
    ASSERT_FALSE(item.empty()) << "no item registered with the watcher";
    const auto watching = monitor(item, dir_->path() / "item-signals");
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QString named =
        "org.kde.StatusNotifierItem-" + QString::number(QCoreApplication::applicationPid()) + "-";
    const QStringList names =
        bus->registeredServiceNames().value().filter(QRegularExpression("^" + named));
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(bus->serviceOwner(names[0]).value().toStdString(), item) << "under its own name";
    const auto property = [&](const char* name) {
        return busCall({"-d", item, "-o", "/StatusNotifierItem", "-m",
                        "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", name});
    };
    EXPECT_EQ(property("Id"), "(<'Quovant'>,)");
    EXPECT_EQ(property("Category"), "(<'ApplicationStatus'>,)");
    EXPECT_EQ(property("Status"), "(<'Active'>,)");
    EXPECT_EQ(property("Menu"), "(<objectpath '/MenuBar'>,)");
    EXPECT_EQ(property("ItemIsMenu"), "(<false>,)");
    EXPECT_EQ(property("Title"), "(<'Quovant — Niet verbonden'>,)");
    EXPECT_EQ(property("ToolTip"), "(<('', @a(iiay) [], 'Quovant\\nNiet verbonden', '')>,)");

    // The host's Activate (a click on the item) brings a closed window back.
    app.delegate->window()->close();
    ASSERT_TRUE(waitUntil([&] { return !app.delegate->window()->isVisible(); }));
    busCall({"-d", item, "-o", "/StatusNotifierItem", "-m", "org.kde.StatusNotifierItem.Activate",
             "0", "0"});
    EXPECT_TRUE(waitUntil([&] { return app.delegate->window()->isVisible(); }));

    // Every size drawn, each ARGB32 with its bytes in network order: alpha first, nothing in
    // the corner, the shield opaque.
    const std::string disconnected = property("IconPixmap");
    for (int w : {16, 22, 24, 32, 48, 64})
        EXPECT_EQ(pictureBytes(disconnected, w).size(), size_t(w * w * 4)) << w;
    const std::vector<int> picture = pictureBytes(disconnected, 64);
    ASSERT_EQ(picture.size(), 64u * 64 * 4);
    EXPECT_EQ(picture[0], 0x00);
    EXPECT_EQ(picture[(20 * 64 + 16) * 4], 0xff);

    struct Step {
        const char* what;
        std::function<void()> act;
        std::string title;
    };
    const std::vector<Step> steps{
        {"connecting", [&] { app.vpn->connectThrough(app.account); }, "Quovant — Verbinden..."},
        {"connected; the status shown again as it is changes nothing",
         [&] {
             app.vpn->updateState("CONNECTED");
             app.delegate->mainViewController()->showStatus();
             app.delegate->mainViewController()->showStatus();
         },
         "Quovant — Verbonden · 0 min, Ontvangen 0 B · Verzonden 0 B"},
        {"disconnected", [&] { app.vpn->ended(0, false); }, "Quovant — Niet verbonden"},
    };
    std::vector<std::string> icons{disconnected};
    for (const Step& step : steps) {
        step.act();
        std::string title;
        EXPECT_TRUE(waitUntil([&] {
            return (title = property("Title")) == "(<'" + step.title + "'>,)";
        })) << step.what
            << ": " << title;
        icons.push_back(property("IconPixmap"));
    }
    EXPECT_NE(icons[1], icons[0]);
    EXPECT_NE(icons[2], icons[1]);
    EXPECT_NE(icons[2], icons[0]);
    EXPECT_EQ(icons[3], icons[0]);
    // Each turn told once, and only what changed; a signal sent after the last is never awaited,
    // but the disconnect's NewIcon comes after any that should not have been sent.
    std::vector<std::string> told;
    const std::vector<std::string> each{"NewTitle", "NewToolTip", "NewIcon"};
    std::vector<std::string> expected;
    for (size_t i = 0; i < steps.size(); ++i)
        expected.insert(expected.end(), each.begin(), each.end());
    waitUntil([&] {
        return (told = signalsFrom(dir_->path() / "item-signals", "/StatusNotifierItem")).size() >=
               expected.size();
    });
    EXPECT_EQ(told, expected);

    // A watcher that comes back knows no items: the item registers with the new one.
    watcher_.reset();
    ASSERT_TRUE(waitUntil([] { return !busHas("org.kde.StatusNotifierWatcher"); }));
    startWatcher();
    EXPECT_EQ(registeredItem(0), item);
}

TEST_F(Tray, TheMenuWorksThroughDBusMenuAndFollowsItsItems) {
    const size_t before = lines(registrations_).size();
    App app;
    const std::string item = registeredItem(before);
    ASSERT_FALSE(item.empty());
    const auto watching = monitor(item, dir_->path() / "menu-signals");
    const auto menu = [&](std::vector<std::string> call) {
        call.insert(call.begin(), {"-d", item, "-o", "/MenuBar", "-m"});
        return busCall(call);
    };
    const auto layout = [&] {
        return menu({"com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "@as []"});
    };
    const auto click = [&](int id) {
        menu({"com.canonical.dbusmenu.Event", "--", std::to_string(id), "clicked", "<0>", "0"});
    };

    const auto items = menuItems(layout());
    ASSERT_EQ(items.size(), 6u) << layout();
    const int reconnect = idOf(items, "Automatisch opnieuw verbinden");
    const int connect = idOf(items, "Verbinden");
    const int disconnect = idOf(items, "Verbinding verbreken");
    EXPECT_NE(items[0].second.find("'label': <'Quovant openen'>"), std::string::npos);
    EXPECT_NE(items[2].second.find("'visible': <false>"), std::string::npos) << "disconnect";
    EXPECT_NE(items[3].second.find("'toggle-type': <'checkmark'>"), std::string::npos);
    EXPECT_NE(items[3].second.find("'toggle-state': <1>"), std::string::npos);
    EXPECT_EQ(items[4].second, "'enabled': <true>, 'type': <'separator'>, 'visible': <true>");
    EXPECT_EQ(menu({"org.freedesktop.DBus.Properties.Get", "com.canonical.dbusmenu", "Version"}),
              "(<uint32 3>,)");
    EXPECT_EQ(
        menu({"com.canonical.dbusmenu.GetProperty", "--", std::to_string(reconnect), "label"}),
        "(<'Automatisch opnieuw verbinden'>,)");

    // Each change comes with a LayoutUpdated, after which the layout shows it.
    struct Case {
        const char* what;
        std::function<void()> act;
        std::function<bool(const std::vector<std::pair<int, std::string>>&)> shows;
    };
    const auto has = [](const std::vector<std::pair<int, std::string>>& in, int id,
                        const std::string& property) {
        for (const auto& [i, properties] : in)
            if (i == id)
                return properties.find(property) != std::string::npos;
        return false;
    };
    const std::vector<Case> cases{
        {"a click on the check item through the bus unchecks it", [&] { click(reconnect); },
         [&](const auto& in) {
             return !app.delegate->reconnectItem()->isChecked() &&
                    has(in, reconnect, "'toggle-state': <0>");
         }},
        {"clicks on no item are ignored; one of a group with them checks it again",
         [&] {
             click(4242);
             EXPECT_EQ(menu({"com.canonical.dbusmenu.EventGroup",
                             "[(4242, 'clicked', <0>, uint32 0), (" + std::to_string(reconnect) +
                                 ", 'clicked', <0>, uint32 0)]"}),
                       "([4242],)");
         },
         [&](const auto& in) {
             return app.delegate->reconnectItem()->isChecked() &&
                    has(in, reconnect, "'toggle-state': <1>");
         }},
        {"a new look retitles the connect item",
         [&] {
             app.vpn->connectThrough(app.account);
             app.vpn->updateState("CONNECTED");
         },
         [&](const auto& in) { return has(in, connect, "'label': <'Verbinding verbreken'>"); }},
        {"a drop under the block shows the disconnect item", [&] { app.vpn->ended(1, true); },
         [&](const auto& in) { return has(in, disconnect, "'visible': <true>"); }},
        {"an item added later shows above the separator, its mnemonic and '_' as dbusmenu has them",
         [&] {
             TrayMenu::insertSettings(
                 *app.delegate->statusMemu(),
                 {new QAction("&Lekken_blokkeren", app.delegate->statusMemu())});
         },
         [&](const auto& in) {
             return in.size() == 7 &&
                    in[4].second.find("'label': <'_Lekken__blokkeren'>") != std::string::npos;
         }},
    };
    for (const Case& c : cases) {
        const size_t updates = signalsFrom(dir_->path() / "menu-signals", "/MenuBar").size();
        c.act();
        EXPECT_TRUE(waitUntil([&] {
            return signalsFrom(dir_->path() / "menu-signals", "/MenuBar").size() > updates;
        })) << c.what
            << ": no LayoutUpdated";
        EXPECT_TRUE(c.shows(menuItems(layout()))) << c.what << "\n" << layout();
    }
    for (const std::string& signal : signalsFrom(dir_->path() / "menu-signals", "/MenuBar"))
        EXPECT_EQ(signal, "LayoutUpdated");

    // Odd calls get errors or empty answers, and the menu goes on answering.
    EXPECT_EQ(menu({"com.canonical.dbusmenu.GetLayout", "--", "4242", "-1", "@as []"}), "");
    EXPECT_EQ(menu({"com.canonical.dbusmenu.GetProperty", "--", "1", "no-such-property"}), "");
    EXPECT_EQ(menu({"com.canonical.dbusmenu.GetGroupProperties",
                    "[0, 4242, " + std::to_string(reconnect) + "]", "['label']"}),
              "([(0, @a{sv} {}), (" + std::to_string(reconnect) +
                  ", {'label': <'Automatisch opnieuw verbinden'>})],)");
    EXPECT_EQ(menu({"com.canonical.dbusmenu.AboutToShowGroup", "[0, 4242]"}), "(@ai [], [4242])");
    EXPECT_EQ(run({"dbus-send", "--session", "--print-reply", "--dest=" + item, "/MenuBar",
                   "com.canonical.dbusmenu.Event", "string:clicked", "int32:1"}),
              "");
    EXPECT_EQ(menuItems(layout()).size(), 7u);
}

// Started before any watcher: on X11 the item is Qt's, for an XEmbed tray.
class LateWatcher : public Tray {
protected:
    static void SetUpTestSuite() { dir_ = std::make_unique<TempDir>("quovant-tray"); }
};

TEST_F(LateWatcher, TheItemBecomesAStatusNotifierItemWithItsStatusWhenAWatcherComes) {
    App app;
    ASSERT_TRUE(app.delegate->statusItem());
    EXPECT_FALSE(app.delegate->statusItem()->isStatusNotifierItem());
    // A panel's host registers a moment after its watcher starts: only then is there a tray
    // that shows the item.
    startWatcher({"--host-after-ms", "300"});
    const std::string item = registeredItem(1);
    ASSERT_FALSE(item.empty()) << "no item registered with the watcher that came";
    EXPECT_EQ(lines(registrations_).front(), "host") << "the item registered before any host";
    EXPECT_TRUE(app.delegate->statusItem()->isStatusNotifierItem());
    EXPECT_EQ(
        busCall({"-d", item, "-o", "/StatusNotifierItem", "-m",
                 "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "Title"}),
        "(<'Quovant — Niet verbonden'>,)");
}

} // namespace
