#pragma once

#include "platform/UserMessage.h"

#include <QCoreApplication>
#include <QString>
#include <string>

// The words the user sees, each in one place. The source texts are the product's own:
// the window's words Dutch, its messages English, as it has always had them. Each is
// translated when it is used, so a translator installed at start decides the language;
// without one (or for a language with no translation) the source text shows.
namespace UiText {

class Text {
public:
    constexpr explicit Text(const char* source) : source_(source) {}
    QString translated() const { return QCoreApplication::translate("UiText", source_); }
    std::string str() const { return translated().toStdString(); }
    operator QString() const { return translated(); }
    operator std::string() const { return str(); }
    const char* source() const { return source_; }
    // The text with its %1 (and %2) filled in.
    std::string arg(const std::string& first) const {
        return translated().arg(QString::fromStdString(first)).toStdString();
    }
    std::string arg(const std::string& first, const std::string& second) const {
        return translated()
            .arg(QString::fromStdString(first), QString::fromStdString(second))
            .toStdString();
    }

private:
    const char* source_;
};

// A message from below the window (the account service, the connection, the helper),
// marked there with USER_TEXT("Messages", ...), in the user's language, its parts in
// the places the translation gives them. A text nobody marked (a system's error text,
// a figure) has no translation and shows as it is.
inline std::string message(const UserMessage& message) {
    return message.in([](const std::string& text) {
        return QCoreApplication::translate("Messages", text.c_str()).toStdString();
    });
}

// lupdate collects each text through its QT_TRANSLATE_NOOP marker, in context "UiText".

inline constexpr Text connect = Text(QT_TRANSLATE_NOOP("UiText", "Verbinden"));
inline constexpr Text connecting = Text(QT_TRANSLATE_NOOP("UiText", "Verbinden..."));
inline constexpr Text disconnect = Text(QT_TRANSLATE_NOOP("UiText", "Verbinding verbreken"));
inline constexpr Text disconnecting = Text(QT_TRANSLATE_NOOP("UiText", "Verbinding verbreken..."));
inline constexpr Text signUp = Text(QT_TRANSLATE_NOOP("UiText", "Inschrijven"));
inline constexpr Text help = Text(QT_TRANSLATE_NOOP("UiText", "Help"));
inline constexpr Text emailPlaceholder = Text(QT_TRANSLATE_NOOP("UiText", "Email"));
inline constexpr Text passwordPlaceholder = Text(QT_TRANSLATE_NOOP("UiText", "Wachtwoord"));
inline constexpr Text rememberMe = Text(QT_TRANSLATE_NOOP("UiText", "Onthoud mij"));
inline constexpr Text quit = Text(QT_TRANSLATE_NOOP("UiText", "Afsluiten"));
inline constexpr Text openWindow = Text(QT_TRANSLATE_NOOP("UiText", "Quovant openen"));
inline constexpr Text tryAgain = Text(QT_TRANSLATE_NOOP("UiText", "Opnieuw proberen"));
inline constexpr Text startAtLogin = Text(QT_TRANSLATE_NOOP("UiText", "Starten bij inloggen"));
inline constexpr Text connectAtStart = Text(QT_TRANSLATE_NOOP("UiText", "Verbinden bij starten"));
inline constexpr Text blockLeaks =
    Text(QT_TRANSLATE_NOOP("UiText", "Blokkeer internet zonder VPN"));
inline constexpr Text allowLocalNetwork =
    Text(QT_TRANSLATE_NOOP("UiText", "Lokaal netwerk toestaan"));
inline constexpr Text reconnect = Text(QT_TRANSLATE_NOOP("UiText", "Opnieuw verbinden"));
inline constexpr Text autoReconnect =
    Text(QT_TRANSLATE_NOOP("UiText", "Automatisch opnieuw verbinden"));
// What a screen reader calls the status line under the connect button.
inline constexpr Text statusName = Text(QT_TRANSLATE_NOOP("UiText", "Status"));

// The status line under the connect button and the tray tooltip.
inline constexpr Text notConnected = Text(QT_TRANSLATE_NOOP("UiText", "Niet verbonden"));
inline constexpr Text connected = Text(QT_TRANSLATE_NOOP("UiText", "Verbonden"));
inline constexpr Text connectedTo = Text(QT_TRANSLATE_NOOP("UiText", "Verbonden met %1"));
// The machine is cut off: the tunnel went down unasked and the block holds.
inline constexpr Text blocked = Text(QT_TRANSLATE_NOOP("UiText", "Geblokkeerd: VPN verbroken"));
inline constexpr Text received = Text(QT_TRANSLATE_NOOP("UiText", "Ontvangen %1"));
inline constexpr Text sent = Text(QT_TRANSLATE_NOOP("UiText", "Verzonden %1"));
// The units of the byte counts.
inline constexpr Text bytes = Text(QT_TRANSLATE_NOOP("UiText", "B"));
inline constexpr Text kilobytes = Text(QT_TRANSLATE_NOOP("UiText", "KB"));
inline constexpr Text megabytes = Text(QT_TRANSLATE_NOOP("UiText", "MB"));
inline constexpr Text gigabytes = Text(QT_TRANSLATE_NOOP("UiText", "GB"));
inline constexpr Text minutes = Text(QT_TRANSLATE_NOOP("UiText", "%1 min"));
inline constexpr Text hoursMinutes = Text(QT_TRANSLATE_NOOP("UiText", "%1 u %2 min"));

// Desktop notifications.
inline constexpr Text serverIs = Text(QT_TRANSLATE_NOOP("UiText", "Server: %1"));
inline constexpr Text connectionLost = Text(QT_TRANSLATE_NOOP("UiText", "Verbinding weggevallen"));
inline constexpr Text reconnecting = Text(QT_TRANSLATE_NOOP("UiText", "Opnieuw verbinden..."));
inline constexpr Text connectingFailed = Text(QT_TRANSLATE_NOOP("UiText", "Verbinden mislukt"));

inline constexpr Text emailEmpty = Text(QT_TRANSLATE_NOOP("UiText", "Email should not be empty!"));
inline constexpr Text passwordEmpty =
    Text(QT_TRANSLATE_NOOP("UiText", "Password should not be empty!"));
inline constexpr Text blockedExplained = Text(QT_TRANSLATE_NOOP(
    "UiText", "Internet access outside the VPN stays blocked until you reconnect or disconnect."));
// The tunnel that was up has been remade for long: the status line, the tray, the
// notification and the question with both ways out.
inline constexpr Text stillReconnecting =
    Text(QT_TRANSLATE_NOOP("UiText", "Still reconnecting; traffic outside the VPN stays blocked"));
// Told once, when the keyring refused the password that "Onthoud mij" keeps.
inline constexpr Text passwordKeptInFile = Text(QT_TRANSLATE_NOOP(
    "UiText", "The keyring did not take the password, so it is kept in Quovant's settings file, "
              "which only you can read."));

} // namespace UiText
