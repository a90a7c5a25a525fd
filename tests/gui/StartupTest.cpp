#include "QtWait.h"
#include "TempDir.h"
#include "app/StartupItems.h"
#include "platform/AutostartEntry.h"
#include "platform/qt/QtSettingsStore.h"
#include "ui/UiText.h"

#include <QAction>
#include <QMenu>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sets an environment variable for one scope.
struct ScopedEnv {
    std::string name;
    std::optional<std::string> old;
    ScopedEnv(std::string n, const char* value) : name(std::move(n)) {
        if (const char* v = std::getenv(name.c_str()))
            old = v;
        value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
    }
    ~ScopedEnv() { old ? ::setenv(name.c_str(), old->c_str(), 1) : ::unsetenv(name.c_str()); }
};

TEST(Autostart, ThePathHonoursXdgConfigHomeAndFallsBackToTheHomeConfig) {
    ScopedEnv home("HOME", "/home/zoe");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg");
        EXPECT_EQ(AutostartEntry::defaultPath(), "/tmp/cfg/autostart/quovant.desktop");
    }
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", ignored);
        EXPECT_EQ(AutostartEntry::defaultPath(), "/home/zoe/.config/autostart/quovant.desktop");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(AutostartEntry::defaultPath(), "");
    EXPECT_FALSE(AutostartEntry("", "/usr/bin/quovant").write());
}

TEST(Autostart, TheEntryStartsTheExecutableAndIsRemovedAgain) {
    TempDir dir("quovant-autostart");
    const auto path = dir.path() / "autostart" / "quovant.desktop";
    const AutostartEntry entry(path, "/opt/my apps/quovant");
    EXPECT_FALSE(entry.exists());
    ASSERT_TRUE(entry.write());
    EXPECT_TRUE(entry.exists());
    EXPECT_EQ(contentOf(path), "[Desktop Entry]\n"
                               "Type=Application\n"
                               "Name=Quovant\n"
                               "Comment=VPN client\n"
                               "Exec=\"/opt/my apps/quovant\"\n"
                               "Icon=quovant\n"
                               "Terminal=false\n"
                               "X-GNOME-Autostart-enabled=true\n");
    ASSERT_TRUE(entry.remove());
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(entry.remove()) << "nothing left to remove is no failure";

    // Characters the Exec key's quoting and field codes give a meaning.
    EXPECT_NE(AutostartEntry::contentFor("/o/a\"b$c`d\\e%f")
                  .find("Exec=\"/o/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e%%f\"\n"),
              std::string::npos)
        << AutostartEntry::contentFor("/o/a\"b$c`d\\e%f");
    EXPECT_FALSE(AutostartEntry(path, "/o/quovant\nExec=/bin/evil").write());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Autostart, ALinkAtThePathIsReplacedNotWrittenThrough) {
    TempDir dir("quovant-autostart");
    std::filesystem::create_directories(dir.path() / "autostart");
    const auto victim = dir.path() / "victim";
    std::ofstream(victim) << "untouched";
    const auto path = dir.path() / "autostart" / "quovant.desktop";
    std::filesystem::create_symlink(victim, path);
    ASSERT_TRUE(AutostartEntry(path, "/usr/bin/quovant").write());
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(contentOf(victim), "untouched");
}

TEST(StartupItems, CheckItemsAboveQuitWriteTheEntryAndTheSettingAndAreRemembered) {
    TempDir dir("quovant-autostart");
    const AutostartEntry entry(dir.path() / "autostart" / "quovant.desktop", "/usr/bin/quovant");
    QtSettingsStore settings;
    QMenu menu;
    menu.addAction(UiText::connect);
    menu.addSeparator();
    menu.addAction(UiText::quit);
    {
        StartupItems items(menu, entry, settings);
        const auto actions = menu.actions();
        ASSERT_EQ(actions.size(), 5);
        EXPECT_EQ(actions[1], items.startAtLoginItem());
        EXPECT_EQ(actions[2], items.connectAtStartItem());
        EXPECT_EQ(actions[1]->text(), "Starten bij inloggen");
        EXPECT_EQ(actions[2]->text(), "Verbinden bij starten");
        EXPECT_TRUE(actions[3]->isSeparator());
        for (QAction* item : {items.startAtLoginItem(), items.connectAtStartItem()}) {
            EXPECT_TRUE(item->isCheckable());
            EXPECT_FALSE(item->isChecked());
        }
        items.startAtLoginItem()->trigger();
        EXPECT_TRUE(entry.exists());
        items.connectAtStartItem()->trigger();
        EXPECT_TRUE(StartupItems::connectAtStart(settings));
    }
    QMenu again;
    again.addSeparator();
    {
        StartupItems next(again, entry, settings);
        EXPECT_TRUE(next.startAtLoginItem()->isChecked());
        EXPECT_TRUE(next.connectAtStartItem()->isChecked());
        next.startAtLoginItem()->trigger();
        next.connectAtStartItem()->trigger();
        EXPECT_FALSE(entry.exists());
        QtSettingsStore reread;
        EXPECT_FALSE(StartupItems::connectAtStart(reread));
    }
}

TEST(StartupItems, AnEntryThatCannotBeWrittenLeavesTheItemUnchecked) {
    TempDir dir("quovant-autostart");
    std::ofstream(dir.path() / "autostart") << "a file where the directory should be";
    const AutostartEntry entry(dir.path() / "autostart" / "quovant.desktop", "/usr/bin/quovant");
    QtSettingsStore settings;
    QMenu menu;
    StartupItems items(menu, entry, settings);
    items.startAtLoginItem()->trigger();
    EXPECT_FALSE(items.startAtLoginItem()->isChecked());
    EXPECT_FALSE(entry.exists());
}

} // namespace
