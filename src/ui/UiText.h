#pragma once

// The words the user sees, each in one place. The window's words are Dutch, its
// messages English, as the product has always had them.
namespace UiText {

inline constexpr const char* connect = "Verbinden";
inline constexpr const char* connecting = "Verbinden...";
inline constexpr const char* disconnect = "Verbinding verbreken";
inline constexpr const char* disconnecting = "Verbinding verbreken...";
inline constexpr const char* signUp = "Inschrijven";
inline constexpr const char* help = "Help";
inline constexpr const char* emailPlaceholder = "Email";
inline constexpr const char* passwordPlaceholder = "Wachtwoord";
inline constexpr const char* rememberMe = "Onthoud mij";
inline constexpr const char* quit = "Afsluiten";
inline constexpr const char* openWindow = "Quovant openen";
inline constexpr const char* tryAgain = "Opnieuw proberen";
inline constexpr const char* startAtLogin = "Starten bij inloggen";
inline constexpr const char* connectAtStart = "Verbinden bij starten";
inline constexpr const char* blockLeaks = "Blokkeer internet zonder VPN";
inline constexpr const char* allowLocalNetwork = "Lokaal netwerk toestaan";
inline constexpr const char* reconnect = "Opnieuw verbinden";

// The status line under the connect button and the tray tooltip.
inline constexpr const char* notConnected = "Niet verbonden";
inline constexpr const char* connected = "Verbonden";
inline constexpr const char* connectedTo = "Verbonden met ";
// The machine is cut off: the tunnel went down unasked and the block holds.
inline constexpr const char* blocked = "Geblokkeerd: VPN verbroken";
inline constexpr const char* received = "Ontvangen ";
inline constexpr const char* sent = "Verzonden ";
inline constexpr const char* minutes = " min";
inline constexpr const char* hours = " u ";

// Desktop notifications.
inline constexpr const char* serverIs = "Server: ";
inline constexpr const char* connectionLost = "Verbinding weggevallen";
inline constexpr const char* reconnecting = "Opnieuw verbinden...";
inline constexpr const char* connectingFailed = "Verbinden mislukt";

inline constexpr const char* emailEmpty = "Email should not be empty!";
inline constexpr const char* passwordEmpty = "Password should not be empty!";
inline constexpr const char* blockedExplained =
    "Internet access outside the VPN stays blocked until you reconnect or disconnect.";

} // namespace UiText
