#include "AppHarness.h"
#include "ChildProcess.h"
#include "QtWait.h"
#include "app/AppDelegate.h"
#include "app/MainStoryboard.h"
#include "app/SingleInstance.h"
#include "app/StatusItem.h"
#include "app/WindowRecall.h"
#include "platform/Log.h"
#include "platform/qt/QtMainQueue.h"
#include "platform/qt/QtSettingsStore.h"
#include "ui/AlertSheet.h"
#include "ui/MainViewController.h"
#include "ui/PointingHandCursor.h"
#include "ui/StyledButton.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TEST(LoginWindow, LaunchShowsTheWindowTheTrayItemAndChecksTheHelper) {
    Log::Capture log;
    App app;
    ASSERT_TRUE(app.delegate->window());
    EXPECT_TRUE(app.delegate->window()->isVisible());
    for (const char* name :
         {"connectButton", "emailEdit", "emailLine", "passwordEdit", "passwordLine",
          "rememberCheck", "signupButton", "rememberText", "helpButton"})
        EXPECT_TRUE(app.delegate->window()->findChild<QWidget*>(name)) << name;
    ASSERT_TRUE(app.delegate->statusItem());
    EXPECT_FALSE(app.delegate->statusItem()->icon().isNull());
    EXPECT_EQ(app.delegate->statusItem()->contextMenu(), app.delegate->statusMemu());
    EXPECT_EQ(app.delegate->connectItem()->text(), "Verbinden");
    EXPECT_TRUE(waitUntil([&] { return log.systemContains("Helper: Installed Version => "); }));
    EXPECT_EQ(app.terminations, 0) << "the running helper is current: nothing to install";
    EXPECT_EQ(app.outlet<QLineEdit>("emailEdit")->placeholderText(), "Email");
    EXPECT_EQ(app.outlet<QLineEdit>("passwordEdit")->placeholderText(), "Wachtwoord");
    EXPECT_EQ(app.outlet<QAbstractButton>("signupButton")->text(), "Inschrijven");
    EXPECT_EQ(app.outlet<QAbstractButton>("helpButton")->text(), "Help");
    screenshot(app.delegate->window(), "window-at-start");
}

TEST(LoginWindow, ConnectItemRunsTheButtonsActionAndTheWindowWorksWhileAnAlertIsOpen) {
    App app;
    // From the tray with the window closed: the alert comes with its window.
    app.delegate->window()->close();
    app.delegate->connectItem()->trigger();
    spin(50ms);
    EXPECT_TRUE(app.delegate->window()->isVisible());
    QMessageBox* alert = app.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), "Email should not be empty!");
    EXPECT_EQ(alert->icon(), QMessageBox::Critical);
    EXPECT_EQ(alert->windowModality(), Qt::NonModal);
    EXPECT_EQ(alert->buttons().size(), 1);
    EXPECT_TRUE(alert->isVisible());
    screenshot(alert, "alert");

    // With the alert still open, the form and its button go on working.
    QTest::keyClicks(app.outlet<QLineEdit>("emailEdit"), "me@example.com");
    QTest::mouseClick(app.outlet<QAbstractButton>("connectButton"), Qt::LeftButton);
    spin(50ms);
    ASSERT_EQ(app.alert(), alert);
    EXPECT_EQ(alert->text(), "Password should not be empty!");
}

TEST(LoginWindow, OneAlertAtATimeTheNewestMessageReplacesTheOpenOne) {
    App app;
    for (int i = 0; i < 3; ++i)
        app.delegate->connectItem()->trigger();
    spin(50ms);
    EXPECT_EQ(app.delegate->window()->findChildren<QMessageBox*>().size(), 1);

    app.outlet<QLineEdit>("emailEdit")->setText("me@example.com");
    app.outlet<QLineEdit>("passwordEdit")->setText("pw");
    // Connect, cancel, connect: the cancelled login's answer shows nothing.
    for (int i = 0; i < 3; ++i)
        app.delegate->connectItem()->trigger();
    spin(50ms);
    ASSERT_EQ(app.account.requests.size(), 2u);
    for (auto& request : app.account.requests)
        request.completion({AccountReply::Outcome::failedWithoutResponse, ""});
    spin(50ms);
    const auto alerts = app.delegate->window()->findChildren<QMessageBox*>();
    ASSERT_EQ(alerts.size(), 1) << "failures of a slow login do not stack";
    EXPECT_EQ(alerts.front()->text(), "Network connection failed");
    EXPECT_TRUE(alerts.front()->isVisible());
    alerts.front()->buttons().front()->click();
    spin(50ms);
    EXPECT_TRUE(app.delegate->window()->findChildren<QMessageBox*>().empty());
    app.outlet<QLineEdit>("emailEdit")->clear();
    app.delegate->connectItem()->trigger();
    spin(50ms);
    EXPECT_EQ(app.delegate->window()->findChildren<QMessageBox*>().size(), 1)
        << "after the answer the next failure shows again";
}

TEST(LoginWindow, AWithdrawnQuestionClosesWithoutChoosingAndOnlyItself) {
    App app;
    AlertSheet& sheet = AlertSheet::of(app.delegate->window());
    std::vector<std::string> chosen;
    auto ask = [&] {
        return sheet.ask("Blocked", {{"Again", [&] { chosen.push_back("again"); }},
                                     {"Stop", [&] { chosen.push_back("stop"); }}});
    };
    QPointer<QMessageBox> question = ask();
    spin(50ms);
    ASSERT_TRUE(app.alert());
    sheet.withdraw(question);
    spin(50ms);
    EXPECT_FALSE(app.alert()) << "closed";
    EXPECT_TRUE(chosen.empty()) << "not even the choice that closing an alert makes";

    // Once answered, a question is not withdrawn again, nor is the plain message after it.
    question = ask();
    spin(50ms);
    app.alert()->buttons().front()->click();
    sheet.withdraw(question);
    spin(50ms);
    EXPECT_EQ(chosen, std::vector<std::string>{"again"});
    sheet.show("Network connection failed");
    spin(50ms);
    sheet.withdraw(question);
    spin(50ms);
    ASSERT_TRUE(app.alert());
    EXPECT_EQ(app.alert()->text(), "Network connection failed");
}

// A message the user must see once is not dropped behind a question: it comes after it,
// however the question ends.
TEST(LoginWindow, AMessageToBeSeenWaitsForTheOpenQuestion) {
    const struct {
        const char* what;
        std::function<void(AlertSheet&, QMessageBox*)> end;
    } cases[] = {
        {"answered",
         [](AlertSheet&, QMessageBox* question) { question->buttons().front()->click(); }},
        {"closed", [](AlertSheet&, QMessageBox* question) { question->reject(); }},
        {"withdrawn", [](AlertSheet& sheet, QMessageBox* question) { sheet.withdraw(question); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        App app;
        AlertSheet& sheet = AlertSheet::of(app.delegate->window());
        QPointer<QMessageBox> question = sheet.ask("Blocked", {{"Again", {}}, {"Stop", {}}});
        sheet.showWhenFree("Kept in the file");
        spin(50ms);
        ASSERT_TRUE(app.alert());
        EXPECT_EQ(app.alert()->text(), "Blocked") << "the question stays";
        c.end(sheet, question);
        spin(50ms);
        ASSERT_TRUE(app.alert());
        EXPECT_EQ(app.alert()->text(), "Kept in the file");
        EXPECT_TRUE(app.alert()->isVisible());
        app.alert()->buttons().front()->click();
        spin(50ms);
        EXPECT_FALSE(app.alert()) << "shown once";
    }
}

// Where the desktop does not bring the window forward, it is shown anew; the alert open on
// it comes along, in front and with the focus, still open and unanswered.
TEST(LoginWindow, AWindowShownAnewBringsItsOpenAlertAlong) {
    const struct {
        const char* what;
        std::function<QMessageBox*(AlertSheet&)> open;
    } cases[] = {
        {"a message",
         [](AlertSheet& sheet) {
             sheet.show("Network connection failed");
             return sheet.current();
         }},
        {"a question",
         [](AlertSheet& sheet) {
             return sheet.ask("Blocked", {{"Again", [] { ADD_FAILURE() << "answered"; }},
                                          {"Stop", [] { ADD_FAILURE() << "answered"; }}});
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Log::Capture log;
        // A window the desktop will not activate, as a compositor that takes no token.
        QWidget window;
        window.setWindowFlag(Qt::WindowDoesNotAcceptFocus);
        window.show();
        AlertSheet& sheet = AlertSheet::of(&window);
        QPointer<QMessageBox> alert = c.open(sheet);
        QWidget cover;
        cover.show();
        cover.activateWindow();
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &cover; }));

        WindowRecall recall(window);
        recall.setSettleTime(0ms);
        recall.bringForward();
        EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == alert; }))
            << "the alert comes forward";
        const auto lines = log.systemLines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             "The desktop did not bring the window forward; showing it anew"),
                  1);
        ASSERT_TRUE(alert);
        EXPECT_TRUE(alert->isVisible());
        EXPECT_EQ(sheet.current(), alert) << "still open";
    }
}

// Without a graphical session the start says so, before the application exists, in the
// caller's language.
TEST(Product, WithoutAGraphicalSessionTheStartSaysSoInTheCallersLanguage) {
    const struct {
        const char* language;
        const char* said;
    } cases[] = {
        {"nl", "Quovant kan zijn venster niet tonen: er is hier geen grafische sessie"},
        {"de", "Quovant kann sein Fenster nicht zeigen: Hier gibt es keine grafische Sitzung"},
        {"fr", "Quovant ne peut pas afficher sa fen\u00eatre : il n'y a pas de session graphique"},
        {"en", "Quovant cannot show its window: there is no graphical session here"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        std::string output;
        const int status =
            runCommand({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                        std::string("LANGUAGE=") + c.language, "sh", "-c", "exec \"$0\" 2>&1",
                        std::string(QUOVANT_TEST_BIN_DIR) + "/quovant"},
                       &output);
        EXPECT_EQ(status, 1);
        EXPECT_NE(output.find(c.said), std::string::npos) << output;
    }
}

// Runs the application with no helper answering and the authorisation command
// replaced by scripts that answer as pkexec does.
struct Unauthorised {
    TempDir dir{"quovant-auth"};

    Unauthorised() {
        dir.write("no-agent",
                  "#!/bin/sh\necho 'Error executing command as another user: "
                  "No authentication agent found.' >&2\nexit 127\n",
                  std::filesystem::perms(0755));
        dir.write("refuse",
                  "#!/bin/sh\necho 'Error executing command as another user: Not authorized' >&2\n"
                  "exit 127\n",
                  std::filesystem::perms(0755));
        dir.write("cancel", "#!/bin/sh\nexit 126\n", std::filesystem::perms(0755));
    }
    ~Unauthorised() { ::unsetenv(HelperClient::testAuthCommandVariable); }
    void answer(const char* script) {
        ::setenv(HelperClient::testAuthCommandVariable, (dir / script).c_str(), 1);
    }
    std::string socket() const { return (dir / "nobody-listens.sock").string(); }
};

QMessageBox* visibleAlert(App& app, const QString& text) {
    for (auto* alert : app.delegate->window()->findChildren<QMessageBox*>())
        if (alert->isVisible() && alert->text() == text)
            return alert;
    return nullptr;
}

TEST(LoginWindow, FailedAuthorisationAsksToTryAgainOrQuit) {
    Unauthorised auth;
    auth.answer("no-agent");
    App app(true, auth.socket());
    const QString noAgent = "Authorization failed: no authentication agent is running";
    ASSERT_TRUE(waitUntil([&] { return visibleAlert(app, noAgent); }));
    QMessageBox* alert = visibleAlert(app, noAgent);
    EXPECT_EQ(alert->icon(), QMessageBox::Critical);
    EXPECT_EQ(alert->windowModality(), Qt::NonModal);
    ASSERT_EQ(alert->buttons().size(), 2);
    QAbstractButton* retry = alert->defaultButton();
    ASSERT_TRUE(retry);
    EXPECT_EQ(retry->text(), "Opnieuw proberen");
    EXPECT_EQ(alert->escapeButton()->text(), "Afsluiten");
    screenshot(alert, "alert-authorization-no-agent");

    app.delegate->connectItem()->trigger(); // "Email should not be empty!" must not cover it
    spin(50ms);
    EXPECT_EQ(app.delegate->window()->findChildren<QMessageBox*>().size(), 1);
    EXPECT_EQ(app.terminations, 0);

    auth.answer("refuse");
    retry->click();
    const QString refused = "Authorization failed: not authorized";
    ASSERT_TRUE(waitUntil([&] { return visibleAlert(app, refused); }))
        << "trying again runs the check and the installation again";
    screenshot(visibleAlert(app, refused), "alert-authorization-refused");
    visibleAlert(app, refused)->escapeButton()->click();
    EXPECT_TRUE(waitUntil([&] { return app.terminations == 1; }));
}

TEST(LoginWindow, CancelledAuthorisationEndsTheApplicationWithoutAnAlert) {
    Unauthorised auth;
    auth.answer("cancel");
    App app(true, auth.socket());
    EXPECT_TRUE(waitUntil([&] { return app.terminations == 1; }));
    spin(50ms);
    EXPECT_TRUE(app.delegate->window()->findChildren<QMessageBox*>().empty());
}

TEST(Product, CancelledAuthorisationAtFirstStartExitsWithAFailureStatus) {
    Unauthorised auth;
    auth.answer("cancel");
    TempDir home{"quovant-home"};
    ChildProcess::Options options;
    options.outputFile = (home / "output").string();
    options.extraEnvironment = {"QT_QPA_PLATFORM=offscreen", "HOME=" + home.path().string(),
                                "XDG_RUNTIME_DIR=" + home.path().string(),
                                "XDG_CONFIG_HOME=" + home.path().string(),
                                "QUOVANT_HELPER_SOCKET=" + auth.socket()};
    options.uid = 65534; // the application runs as a user, never as root
    ASSERT_EQ(::chown(home.path().c_str(), 65534, 65534), 0);
    ChildProcess app({std::string(QUOVANT_TEST_BIN_DIR) + "/quovant"}, options);
    EXPECT_EQ(app.waitFor(30s), HelperClient::failedExitStatus) << readFile(home / "output");
    EXPECT_NE(readFile(home / "output").find("Authorization error: "), std::string::npos);
}

TEST(LoginWindow, WithoutAViewControllerTheConnectItemDoesNothing) {
    App app(false);
    ASSERT_TRUE(app.delegate->window());
    EXPECT_FALSE(app.delegate->mainViewController());
    EXPECT_TRUE(app.delegate->window()->isVisible());
    app.delegate->connectItem()->trigger();
    spin(50ms);
    EXPECT_FALSE(app.alert());
    EXPECT_TRUE(app.delegate->statusItem())
        << "the tray item and the helper check happen all the same";
}

TEST(LoginWindow, LooksFollowTheConnectionState) {
    App app;
    auto* button = app.outlet<StyledButton>("connectButton");
    auto* email = app.outlet<QLineEdit>("emailEdit");
    auto* password = app.outlet<QLineEdit>("passwordEdit");
    auto* remember = app.outlet<QCheckBox>("rememberCheck");
    auto* rememberText = app.outlet<QLabel>("rememberText");
    QTest::keyClicks(email, "zoe@example.com");
    QTest::keyClicks(password, "correct horse");
    QTest::mouseClick(button, Qt::LeftButton);
    spin(50ms);
    ASSERT_EQ(app.account.requests.size(), 1u);
    EXPECT_EQ(app.account.requests[0].first, "zoe@example.com");
    app.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
    app.account.answer(AccountReply::Outcome::succeeded, "{\"config\":\"client\\n\"}");

    EXPECT_EQ(button->text(), "Verbinden...");
    EXPECT_EQ(button->imageName(), "bg_button");
    EXPECT_EQ(app.delegate->connectItem()->text(), "Verbinden...");
    EXPECT_FALSE(email->isEnabled());
    EXPECT_FALSE(password->isEnabled());
    EXPECT_FALSE(remember->isEnabled());
    EXPECT_TRUE(button->isEnabled()) << "the connect button is never disabled";
    for (auto* field : {email, password}) {
        const QPalette palette = field->palette();
        EXPECT_LT(palette.color(QPalette::Disabled, QPalette::Text).lightness(),
                  palette.color(QPalette::Active, QPalette::Text).lightness() - 60)
            << "a locked field is dimmed";
        EXPECT_LT(palette.color(QPalette::Disabled, QPalette::PlaceholderText).lightness(),
                  palette.color(QPalette::Active, QPalette::PlaceholderText).lightness());
    }
    EXPECT_EQ(rememberText->palette().color(QPalette::WindowText), QColor(0x9D9EA2));
    screenshot(app.delegate->window(), "look-connecting");

    app.vpn->updateState("CONNECTED");
    spin(50ms);
    EXPECT_EQ(button->text(), "Verbinding verbreken");
    EXPECT_EQ(button->imageName(), "bg_button_green");
    EXPECT_EQ(button->palette().color(QPalette::ButtonText), QColor(Qt::white));
    EXPECT_EQ(app.delegate->connectItem()->text(), "Verbinding verbreken");
    screenshot(app.delegate->window(), "look-connected");

    // Disconnect from the tray menu: the same action, now sending SIGINT.
    app.delegate->connectItem()->trigger();
    EXPECT_EQ(app.vpn->done.back(), "signal SIGINT\n");
    EXPECT_EQ(button->text(), "Verbinding verbreken...");

    app.vpn->ended(0, false);
    spin(50ms);
    EXPECT_EQ(button->text(), "Verbinden");
    EXPECT_EQ(button->palette().color(QPalette::ButtonText), QColor(0x9D9EA2));
    EXPECT_TRUE(email->isEnabled());
    EXPECT_EQ(rememberText->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(app.delegate->connectItem()->text(), "Verbinden");
    screenshot(app.delegate->window(), "look-disconnected");
}

TEST(LoginWindow, StatusLineAndTooltipShowTheServerTimeAndTrafficOfTheLiveTunnel) {
    App app;
    auto* status = app.outlet<QLabel>("statusLine");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->text(), "Niet verbonden");
    EXPECT_EQ(status->textFormat(), Qt::PlainText);
    EXPECT_EQ(app.delegate->statusItem()->toolTip(), "Quovant\nNiet verbonden");

    app.vpn->connectThrough(app.account);
    app.vpn->stateAddress("198.51.100.20");
    app.vpn->updateState("CONNECTED");
    app.vpn->byteCount(1288490, 356123);
    const QString connected = "Verbonden met 198.51.100.20 \u00b7 0 min\n"
                              "Ontvangen 1,2 MB \u00b7 Verzonden 347 KB";
    EXPECT_TRUE(waitUntil([&] { return status->text() == connected; }))
        << status->text().toStdString();
    EXPECT_EQ(app.delegate->statusItem()->toolTip(), "Quovant\n" + connected);
    screenshot(app.delegate->window(), "status-connected");

    app.vpn->byteCount(3221225472, 1048576);
    EXPECT_TRUE(waitUntil([&] {
        return status->text().endsWith("Ontvangen 3,0 GB \u00b7 Verzonden 1,0 MB");
    })) << status->text().toStdString();

    app.vpn->updateState("EXITING");
    app.vpn->ended(0, false);
    EXPECT_TRUE(waitUntil([&] { return status->text() == "Niet verbonden"; }));
    EXPECT_EQ(app.delegate->statusItem()->toolTip(), "Quovant\nNiet verbonden");
}

TEST(LoginWindow, RememberedCredentialsStayAcrossStartsInAnOwnerOnlyFile) {
    {
        App app;
        QTest::keyClicks(app.outlet<QLineEdit>("emailEdit"), "me@example.com");
        QTest::keyClicks(app.outlet<QLineEdit>("passwordEdit"), "s3cret pw");
        app.outlet<QCheckBox>("rememberCheck")->setChecked(true);
        QTest::mouseClick(app.outlet<QAbstractButton>("connectButton"), Qt::LeftButton);
        app.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
        struct stat st;
        ASSERT_EQ(::stat(app.settings.fileName().toLocal8Bit().constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    {
        App next;
        EXPECT_EQ(next.outlet<QLineEdit>("emailEdit")->text(), "me@example.com");
        EXPECT_EQ(next.outlet<QLineEdit>("passwordEdit")->text(), "s3cret pw");
        EXPECT_TRUE(next.outlet<QCheckBox>("rememberCheck")->isChecked());
        // Logging in again as filled in keeps them for the start after.
        QTest::mouseClick(next.outlet<QAbstractButton>("connectButton"), Qt::LeftButton);
        next.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
    }
    {
        App third;
        EXPECT_EQ(third.outlet<QLineEdit>("emailEdit")->text(), "me@example.com");
        EXPECT_TRUE(third.outlet<QCheckBox>("rememberCheck")->isChecked());
        // Unticked, a successful login forgets them.
        third.outlet<QCheckBox>("rememberCheck")->setChecked(false);
        QTest::mouseClick(third.outlet<QAbstractButton>("connectButton"), Qt::LeftButton);
        third.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
    }
    App fourth;
    EXPECT_EQ(fourth.outlet<QLineEdit>("emailEdit")->text(), "");
    EXPECT_FALSE(fourth.outlet<QCheckBox>("rememberCheck")->isChecked());
    QtSettingsStore().remove("email");
    QtSettingsStore().remove("password");
}

TEST(LoginWindow, ReconnectItemTurnsAutomaticReconnectingOffAndIsRemembered) {
    {
        App app;
        app.delegate->bindReconnectSetting(app.settings,
                                           [&](bool on) { app.vpn->setAutomaticReconnect(on); });
        QAction* item = app.delegate->reconnectItem();
        ASSERT_TRUE(item);
        EXPECT_EQ(item->text(), "Automatisch opnieuw verbinden");
        EXPECT_TRUE(item->isCheckable());
        EXPECT_TRUE(item->isChecked()) << "on by default";
        EXPECT_TRUE(app.vpn->automaticReconnect());
        EXPECT_TRUE(app.delegate->statusMemu()->actions().contains(item));
        item->trigger();
        EXPECT_FALSE(app.vpn->automaticReconnect());
    }
    {
        App next;
        next.vpn->setAutomaticReconnect(true);
        next.delegate->bindReconnectSetting(next.settings,
                                            [&](bool on) { next.vpn->setAutomaticReconnect(on); });
        EXPECT_FALSE(next.delegate->reconnectItem()->isChecked()) << "remembered";
        EXPECT_FALSE(next.vpn->automaticReconnect());
        next.delegate->reconnectItem()->trigger();
        EXPECT_TRUE(next.vpn->automaticReconnect());
    }
    App third;
    third.delegate->bindReconnectSetting(third.settings, [](bool) {});
    EXPECT_TRUE(third.delegate->reconnectItem()->isChecked());
    QtSettingsStore().remove(AppDelegate::reconnectKey);
}

TEST(LoginWindow, WithoutATrayClosingTheWindowQuits) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "the offscreen platform has none";
    App app;
    QTimer::singleShot(0, app.delegate->window(), &QWidget::close);
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QApplication::exec(), 0)
        << "the event loop ended because the window closed (in the wait for a tray: after it)";
}

TEST(LoginWindow, ReopenBringsTheClosedWindowBack) {
    App app;
    QApplication::setQuitOnLastWindowClosed(false); // as with a tray, which offscreen lacks
    app.delegate->window()->close();
    spin(50ms);
    EXPECT_FALSE(app.delegate->window()->isVisible());

    std::vector<QByteArray> activations;
    SingleInstance first([&](const QByteArray& activation) {
        activations.push_back(activation);
        app.delegate->applicationShouldHandleReopen(activation);
    });
    first.listen();
    SingleInstance second([](const QByteArray&) {});
    EXPECT_TRUE(second.forwardToRunning()) << "a second start finds the first";
    EXPECT_TRUE(waitUntil([&] { return activations.size() == 1; }, 5s));
    EXPECT_TRUE(app.delegate->window()->isVisible());

    // A minimized window comes back too, and the start's token goes along; a token that is
    // no token (spaces, too long) is dropped, not passed on.
    app.delegate->window()->showMinimized();
    for (const QByteArray& token :
         {QByteArray("sway-1234_TIME5"), QByteArray("a b"), QByteArray(300, 'x')}) {
        qputenv("XDG_ACTIVATION_TOKEN", token);
        EXPECT_TRUE(second.forwardToRunning());
    }
    qunsetenv("XDG_ACTIVATION_TOKEN");
    EXPECT_TRUE(waitUntil([&] { return activations.size() == 4; }, 5s));
    EXPECT_EQ(activations, (std::vector<QByteArray>{"", "sway-1234_TIME5", "", ""}));
    EXPECT_FALSE(app.delegate->window()->isMinimized());
}

TEST(LoginWindow, TheKeyboardAloneGoesThroughTheFormConnectsAndClosesTheWindow) {
    App app;
    QWidget* window = app.delegate->window();
    window->activateWindow();
    spin(50ms);
    auto* email = app.outlet<QLineEdit>("emailEdit");
    EXPECT_TRUE(email->hasFocus());
    screenshot(window, "keyboard-focus-on-the-email-field");
    for (const char* next : {"passwordEdit", "rememberCheck", "connectButton"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(QApplication::focusWidget());
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), next);
    }
    screenshot(window, "keyboard-focus-on-the-button");
    // Enter in the e-mail field is the button's click.
    QTest::keyClicks(email, "me@example.com");
    QTest::keyClick(email, Qt::Key_Return);
    spin(50ms);
    ASSERT_TRUE(app.alert());
    EXPECT_EQ(app.alert()->text(), "Password should not be empty!");
    app.alert()->close();
    window->activateWindow();
    spin(50ms);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    spin(50ms);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(app.terminations, 0);
}

// WCAG's relative luminance and contrast ratio.
double luminance(QRgb rgb) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The keyboard's focus shows as a ring round the link or the box that stands out from the
// window's background by at least 3:1 and cuts nothing of what the control shows without it.
TEST(LoginWindow, FocusRingsStandOutAndCutNothing) {
    App app;
    QWidget* window = app.delegate->window();
    window->activateWindow();
    spin(50ms);
    QWidget* form = app.outlet<QLineEdit>("emailEdit")->parentWidget();
    const QRgb background = 0xFF000000 | MainViewController::backgroundColor;
    for (const char* name : {"signupButton", "helpButton", "rememberCheck"}) {
        SCOPED_TRACE(name);
        auto* control = app.outlet<QWidget>(name);
        app.outlet<QLineEdit>("emailEdit")->setFocus();
        spin(50ms);
        const QImage without = form->grab(control->geometry()).toImage();
        control->setFocus(Qt::TabFocusReason);
        spin(50ms);
        const QImage with = form->grab(control->geometry()).toImage();
        screenshot(control, std::string("focus-ring-") + name);
        ASSERT_EQ(with.size(), without.size());
        int ring = 0, cut = 0;
        for (int y = 0; y < with.height(); ++y)
            for (int x = 0; x < with.width(); ++x) {
                const QRgb before = without.pixel(x, y);
                if (with.pixel(x, y) == before)
                    continue;
                ++ring;
                // What the ring covers was background before it came.
                cut += before != background;
            }
        EXPECT_GT(ring, 2 * (with.width() + with.height())) << "a ring all round";
        EXPECT_EQ(cut, 0) << "pixels of the control under its ring";
        // Its strength across each side's middle, away from the smoothed corners.
        const int w = with.width(), h = with.height();
        const QPoint middles[][2] = {{{w / 2, 0}, {0, 1}},
                                     {{w / 2, h - 1}, {0, -1}},
                                     {{0, h / 2}, {1, 0}},
                                     {{w - 1, h / 2}, {-1, 0}}};
        for (const auto& [edge, inward] : middles) {
            double strongest = 1;
            for (int step = 0; step < 3; ++step) {
                const QPoint at = edge + inward * step;
                strongest = std::max(strongest, contrast(with.pixel(at), background));
            }
            EXPECT_GE(strongest, 3.0) << edge.x() << "," << edge.y();
        }
    }
}

TEST(LoginWindow, EveryButtonGetsThePointingHand) {
    App app;
    for (const char* name : {"connectButton", "signupButton", "helpButton", "rememberCheck"})
        EXPECT_EQ(app.outlet<QAbstractButton>(name)->cursor().shape(), Qt::PointingHandCursor)
            << name;
    app.delegate->connectItem()->trigger();
    spin(50ms);
    ASSERT_TRUE(app.alert());
    EXPECT_EQ(app.alert()->buttons().front()->cursor().shape(), Qt::PointingHandCursor)
        << "message box buttons too";
}

TEST(LoginWindow, LinksOpenTheWebSitePages) {
    App app;
    QTest::mouseClick(app.outlet<QAbstractButton>("signupButton"), Qt::LeftButton);
    QTest::mouseClick(app.outlet<QAbstractButton>("helpButton"), Qt::LeftButton);
    ASSERT_EQ(app.desktop.opened.size(), 2u);
    EXPECT_TRUE(app.desktop.opened[0].ends_with("/prijzen/"));
    EXPECT_TRUE(app.desktop.opened[1].ends_with("/support/"));
}

} // namespace
