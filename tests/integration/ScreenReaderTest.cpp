// Quovant as a screen reader meets it: the real window under Xvfb, Qt's AT-SPI bridge,
// at-spi2-core's bus on a private session bus, and a client that reads and drives the
// window only through that bus, against the real account service, helper and openvpn.
#include "ProductStack.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

#ifndef QUOVANT_TEST_SOURCE_DIR
#error "QUOVANT_TEST_SOURCE_DIR must name the source tree"
#endif

TEST(ScreenReader, LogsInThroughTheAccessibilityBusAndHearsTheConnection) {
    ProductStack stack(true);
    // The session is the application user's: its bus, its accessibility bus, its client.
    TempDir session("quovant-a11y");
    ASSERT_EQ(::chown(session.path().c_str(), ProductStack::appUid, ProductStack::appUid), 0);
    const std::string bus = "unix:path=" + (session / "bus").string();
    const std::vector<std::string> environment = {"DBUS_SESSION_BUS_ADDRESS=" + bus,
                                                  "XDG_RUNTIME_DIR=" + session.path().string(),
                                                  "HOME=" + session.path().string()};
    ChildProcess busDaemon({"dbus-daemon", "--nofork",
                            "--config-file=" QUOVANT_TEST_SOURCE_DIR "/tests/gui/session-bus.conf",
                            "--address=" + bus},
                           {(session / "bus.log").string(), ProductStack::appUid, environment});
    ASSERT_TRUE(pollUntil([&] { return std::filesystem::exists(session / "bus"); }, 10s));
    ChildProcess registry({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"},
                          {(session / "atspi.log").string(), ProductStack::appUid, environment});

    auto quovant = stack.startQuovant(
        {"DBUS_SESSION_BUS_ADDRESS=" + bus, "LANGUAGE=nl", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"});
    const std::string window = stack.waitForWindow();
    ASSERT_FALSE(window.empty());
    // A desktop gives the window it opens the keyboard's focus; this X server has no window
    // manager to do it.
    outputOf({"xdotool", "windowfocus", "--sync", window});
    ChildProcess reader({QUOVANT_TEST_SOURCE_DIR "/tests/integration/screen-reader-login",
                         ProductStack::email, ProductStack::password},
                        {(session / "reader.log").string(), ProductStack::appUid, environment});
    EXPECT_EQ(reader.waitFor(100s), 0) << readFile(session / "reader.log") << stack.appLog();
    EXPECT_TRUE(stack.logged("\nCONNECTED\n")) << stack.appLog();
    const std::string heard = readFile(session / "reader.log");
    EXPECT_NE(heard.find("button says: Niet verbonden"), std::string::npos) << heard;
    EXPECT_NE(heard.find("button then: Verbinding verbreken"), std::string::npos) << heard;
    // The connection's news reaches the reader through the control it is on: the button
    // the form hands the focus to as it locks.
    EXPECT_NE(heard.find("announced by the focused push button: Verbonden met "), std::string::npos)
        << heard;
    // And where the focus is elsewhere: Qt's bridge tells of a notification that shows,
    // which Orca reads out (Qt 6.8 and later announce instead).
    EXPECT_NE(heard.find("announced by a notification: Verbinden...\n"), std::string::npos)
        << heard;
    EXPECT_NE(heard.find("announced by a notification: Verbonden met "), std::string::npos)
        << heard;
    stack.screenshot(std::string(QUOVANT_TEST_SCREENSHOT_DIR) + "/screen-reader-connected.png");
}

} // namespace
