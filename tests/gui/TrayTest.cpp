// The tray item on a desktop whose panel speaks StatusNotifierItem: a watcher with a
// host on a private session bus, the application on an X display (Qt chooses the D-Bus
// tray there when a watcher runs). Run under dbus-run-session and xvfb-run with the
// xcb platform. The item is read back with gdbus, as a panel would read it.
#include "AppHarness.h"
#include "ChildProcess.h"
#include "TempDir.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSystemTrayIcon>
#include <fstream>
#include <future>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// gdbus runs beside the event loop, which must go on to answer it.
std::string busCall(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"gdbus", "call", "--session"});
    auto call = std::async(std::launch::async, [argv] {
        std::string out;
        runCommand(argv, &out, 10s);
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    });
    waitUntil([&] { return call.wait_for(0s) == std::future_status::ready; }, 15s);
    return call.get();
}

class Tray : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>("quovant-tray");
        ChildProcess::Options options;
        options.outputFile = (dir_->path() / "items").string();
        watcher_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{QUOVANT_TEST_TRAY_WATCHER}, options);
        ASSERT_TRUE(waitUntil([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(
                "org.kde.StatusNotifierWatcher");
        }));
    }
    static void TearDownTestSuite() {
        watcher_.reset();
        dir_.reset();
    }

    // The bus name of the first item that registered.
    static std::string registeredItem() {
        std::string item;
        waitUntil([&] {
            std::ifstream in(dir_->path() / "items");
            return static_cast<bool>(std::getline(in, item));
        });
        return item.substr(0, item.find('/'));
    }

    static inline std::unique_ptr<TempDir> dir_;
    static inline std::unique_ptr<ChildProcess> watcher_;
};

TEST_F(Tray, TheItemRegistersWithItsTitleMenuTooltipAndAnIconPerState) {
    QCoreApplication::setApplicationName("Quovant");
    App app;
    EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    const std::string item = registeredItem();
    ASSERT_FALSE(item.empty()) << "no item registered with the watcher";
    const auto property = [&](const char* name) {
        return busCall({"-d", item, "-o", "/StatusNotifierItem", "-m",
                        "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", name});
    };
    EXPECT_EQ(property("Id"), "(<'Quovant'>,)");
    EXPECT_EQ(property("Title"), "(<'Quovant'>,)");
    EXPECT_EQ(property("Status"), "(<'Active'>,)");
    EXPECT_EQ(property("Menu"), "(<objectpath '/MenuBar'>,)");
    EXPECT_NE(property("ToolTip").find("Quovant\\nNiet verbonden"), std::string::npos)
        << property("ToolTip");

    const std::string layout =
        busCall({"-d", item, "-o", "/MenuBar", "-m", "com.canonical.dbusmenu.GetLayout", "--", "0",
                 "-1", "@as []"});
    for (const char* label : {"'Quovant openen'", "'Verbinden'", "'Afsluiten'"})
        EXPECT_NE(layout.find(label), std::string::npos) << label << " in " << layout;

    // The host's Activate (a click on the item) brings a closed window back.
    app.delegate->window()->close();
    ASSERT_TRUE(waitUntil([&] { return !app.delegate->window()->isVisible(); }));
    busCall({"-d", item, "-o", "/StatusNotifierItem", "-m", "org.kde.StatusNotifierItem.Activate",
             "0", "0"});
    EXPECT_TRUE(waitUntil([&] { return app.delegate->window()->isVisible(); }));

    // Each look has its own picture, drawn at several sizes.
    const std::string disconnected = property("IconPixmap");
    EXPECT_GE(std::count(disconnected.begin(), disconnected.end(), '('), 6) << "one image per size";
    app.vpn->connectThrough(app.account);
    std::string connecting;
    EXPECT_TRUE(waitUntil([&] { return (connecting = property("IconPixmap")) != disconnected; }));
    app.vpn->updateState("CONNECTED");
    std::string connected;
    EXPECT_TRUE(waitUntil([&] {
        connected = property("IconPixmap");
        return connected != connecting && connected != disconnected;
    }));
    EXPECT_NE(property("ToolTip").find("Verbonden"), std::string::npos);
    app.vpn->ended(0, false);
    EXPECT_TRUE(waitUntil([&] { return property("IconPixmap") == disconnected; }));
}

} // namespace
