#include "ui/StatusLine.h"

#include "ControllerHarness.h"
#include "ui/Translations.h"
#include "ui/UiText.h"
#include "vpn/RunMachine.h"

#include <QCoreApplication>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(StatusLine, TextsOfEachLookWithKnownFigures) {
    QLocale::setDefault(QLocale::c()); // the window's own separator, whatever the machine's
    ConnectionStats::Snapshot stats;
    const ConnectionStats::Clock::time_point t0{};
    EXPECT_EQ(StatusLine::text(StatusLine::Look::disconnected, stats, t0), "Niet verbonden");
    EXPECT_EQ(StatusLine::text(StatusLine::Look::connecting, stats, t0), "Verbinden...");
    EXPECT_EQ(StatusLine::text(StatusLine::Look::connecting, stats, t0, "looking up the server"),
              "Verbinden...\nlooking up the server");
    EXPECT_EQ(StatusLine::text(StatusLine::Look::stillReconnecting, stats, t0, "trying again"),
              "Still reconnecting; traffic outside the VPN stays blocked");

    stats.connected = true;
    stats.server = "192.0.2.7";
    stats.since = t0;
    stats.bytesIn = 1258292;
    stats.bytesOut = 348160;
    EXPECT_EQ(StatusLine::text(StatusLine::Look::connected, stats, t0 + 754s),
              "Verbonden met 192.0.2.7 \u00b7 12 min\nOntvangen 1,2 MB \u00b7 Verzonden 340 KB");
    stats.server.clear();
    stats.bytesIn = 0;
    stats.bytesOut = 1023;
    EXPECT_EQ(StatusLine::text(StatusLine::Look::connected, stats, t0 + 3h + 5min),
              "Verbonden \u00b7 3 u 05 min\nOntvangen 0 B \u00b7 Verzonden 1023 B");

    const std::pair<int64_t, const char*> durations[] = {{0, "0 min"},
                                                         {59, "59 min"},
                                                         {60, "1 u 00 min"},
                                                         {65, "1 u 05 min"},
                                                         {1510, "25 u 10 min"}};
    for (const auto& [minutes, text] : durations)
        EXPECT_EQ(StatusLine::duration(minutes), text);
}

// Each language the build carries, and one it does not: that one keeps the product's
// own texts with the locale's decimal separator.
TEST(StatusLine, SpeaksTheUsersLanguage) {
    int argc = 1;
    char name[] = "ui_unit_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const struct {
        const char* locale;
        const char* language; // of the translation installed, empty for none
        const char* text;
        const char* message; // one of the messages from below the window
        const char* nested;  // a message with a message and a system's words as its parts
    } cases[] = {
        {"nl_NL", "nl",
         "Verbonden met 192.0.2.7 \u00b7 1 u 05 min\nOntvangen 1,2 MB \u00b7 Verzonden 340 KB",
         "Er antwoordt geen VPN-hulpprogramma.",
         "Het VPN-hulpprogramma is niet bereikbaar (De verbinding met de dienst x%1 is "
         "onderbroken.)."},
        {"en_US", "en",
         "Connected to 192.0.2.7 \u00b7 1 h 05 min\nReceived 1.2 MB \u00b7 Sent 340 KB",
         "No VPN helper answers.",
         "The VPN helper could not be reached (The connection to service named x%1 was "
         "interrupted.)."},
        {"de_AT", "de",
         "Verbunden mit 192.0.2.7 \u00b7 1 h 05 min\nEmpfangen 1,2 MB \u00b7 Gesendet 340 KB",
         "Kein VPN-Helfer antwortet.",
         "Der VPN-Helfer war nicht erreichbar (Die Verbindung zum Dienst x%1 wurde "
         "unterbrochen.)."},
        {"fr_CA", "fr",
         "Connect\u00e9 \u00e0 192.0.2.7 \u00b7 1 h 05 min\nRe\u00e7u 1,2 Mo \u00b7 Envoy\u00e9 "
         "340 Ko",
         "Aucun assistant VPN ne r\u00e9pond.",
         "L'assistant VPN n'a pas pu \u00eatre joint (La connexion au service x%1 a \u00e9t\u00e9 "
         "interrompue.)."},
        {"ja_JP", "",
         "Verbonden met 192.0.2.7 \u00b7 1 u 05 min\nOntvangen 1.2 MB \u00b7 Verzonden 340 KB",
         "No VPN helper answers.",
         "The VPN helper could not be reached (The connection to service named x%1 was "
         "interrupted.)."},
    };
    // A part's own "%1" is not filled again.
    const UserMessage nested("The VPN helper could not be reached (%1).",
                             {{"The connection to service named %1 was interrupted.", {"x%1"}}});
    ConnectionStats::Snapshot stats;
    stats.connected = true;
    stats.server = "192.0.2.7";
    stats.bytesIn = 1258292;
    stats.bytesOut = 348160;
    for (const auto& c : cases) {
        QLocale::setDefault(QLocale(c.locale));
        EXPECT_EQ(Translations::install(app).toStdString(), c.language) << c.locale;
        EXPECT_EQ(StatusLine::text(StatusLine::Look::connected, stats, stats.since + 65min), c.text)
            << c.locale;
        EXPECT_EQ(UiText::message(RunMachine::noHelper), c.message) << c.locale;
        EXPECT_EQ(UiText::message(nested), c.nested) << c.locale;
        for (auto* translator : app.findChildren<QTranslator*>())
            delete translator; // a translator removes itself from the application as it goes
    }
    QLocale::setDefault(QLocale::c());
}

TEST(StatusLine, FollowsTheLooksAndTheTrafficInTheWindowAndTheTrayItem) {
    ControllerHarness h;
    EXPECT_EQ(h.view.status, "Niet verbonden");
    ASSERT_FALSE(h.itemStatuses.empty());
    EXPECT_EQ(h.itemStatuses.back(), "Niet verbonden");

    h.controller->setConnectingLook();
    EXPECT_EQ(h.view.status, "Verbinden...");

    h.vpn->connect({"a@example.com", "pw", false});
    h.account.answer(AccountReply::Outcome::succeeded, "{\"access_token\":\"t\"}");
    h.account.answer(AccountReply::Outcome::succeeded, "{\"config\":\"client\\n\"}");
    h.vpn->stateAddress("203.0.113.9");
    h.vpn->updateState("CONNECTED");
    EXPECT_EQ(h.view.status,
              "Verbonden met 203.0.113.9 \u00b7 0 min\nOntvangen 0 B \u00b7 Verzonden 0 B");
    h.vpn->byteCount(1536, 10240);
    EXPECT_EQ(h.view.status,
              "Verbonden met 203.0.113.9 \u00b7 0 min\nOntvangen 1 KB \u00b7 Verzonden 10 KB");
    EXPECT_EQ(h.itemStatuses.back(), h.view.status);

    // Traffic that arrives while the window shows another look does not overwrite it.
    h.controller->setConnectingLook();
    h.vpn->byteCount(99999, 99999);
    EXPECT_EQ(h.view.status, "Verbinden...");
}

} // namespace
