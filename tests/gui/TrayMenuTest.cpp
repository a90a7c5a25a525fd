// The tray's context menu opened and closed many times on a real X display: run under
// xvfb-run with the xcb platform, where Qt gives the open menu the focus as on a desktop.
#include "ui/TrayMenu.h"

#include "QtWait.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Opens the menu, has the focus object change once inside its window, and closes the
// menu as choosing an item does. Returns how often the application reported that one
// change: once, unless stale focus connections piled up on the menu's window. -1 when
// the menu never got the focus.
int reportsOfOneFocusChange(QMenu& menu) {
    menu.popup(QPoint(40, 40));
    if (!waitUntil(
            [&] {
                return menu.windowHandle() && QGuiApplication::focusWindow() == menu.windowHandle();
            },
            5s))
        return -1;
    QSignalSpy reports(qApp, &QGuiApplication::focusObjectChanged);
    emit menu.windowHandle()->focusObjectChanged(&menu);
    const auto count = static_cast<int>(reports.count());
    menu.close();
    waitUntil([&] { return !menu.isVisible() && QGuiApplication::focusWindow() == nullptr; }, 5s);
    spin(50ms); // what the close left queued
    return count;
}

TEST(TrayMenu, OpeningItAgainAndAgainLeavesNothingBehind) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under xvfb-run with the xcb platform";
    TrayMenu menu;
    menu.addAction("Verbinden");
    menu.addAction("Stoppen");
    std::vector<int> reports;
    for (int popup = 0; popup < 20; ++popup)
        reports.push_back(reportsOfOneFocusChange(menu));
    EXPECT_EQ(reports, std::vector<int>(20, 1));
}

TEST(TrayMenu, KeepsItsItemsAndWorksAfterLettingGoOfItsWindow) {
    TrayMenu menu;
    QAction* item = menu.addAction("Verbinden");
    int triggered = 0;
    QObject::connect(item, &QAction::triggered, [&] { ++triggered; });
    for (int popup = 0; popup < 3; ++popup) {
        menu.popup(QPoint(40, 40));
        ASSERT_TRUE(waitUntil([&] { return menu.isVisible(); }, 5s));
        menu.setActiveAction(item);
        item->trigger();
        menu.close();
        ASSERT_TRUE(waitUntil([&] { return !menu.isVisible(); }, 5s));
        spin(50ms);
    }
    EXPECT_EQ(triggered, 3);
    EXPECT_EQ(menu.actions(), QList<QAction*>{item});
}

} // namespace
