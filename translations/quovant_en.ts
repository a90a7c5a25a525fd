<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>UiText</name>
    <message>
        <source>Verbinden</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Verbinden...</source>
        <translation>Connecting...</translation>
    </message>
    <message>
        <source>Verbinding verbreken</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>Verbinding verbreken...</source>
        <translation>Disconnecting...</translation>
    </message>
    <message>
        <source>Inschrijven</source>
        <translation>Sign up</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>Email</translation>
    </message>
    <message>
        <source>Wachtwoord</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Onthoud mij</source>
        <translation>Remember me</translation>
    </message>
    <message>
        <source>Afsluiten</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Quovant openen</source>
        <translation>Open Quovant</translation>
    </message>
    <message>
        <source>Opnieuw proberen</source>
        <translation>Try again</translation>
    </message>
    <message>
        <source>Starten bij inloggen</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>Verbinden bij starten</source>
        <translation>Connect at start</translation>
    </message>
    <message>
        <source>Blokkeer internet zonder VPN</source>
        <translation>Block internet without VPN</translation>
    </message>
    <message>
        <source>Lokaal netwerk toestaan</source>
        <translation>Allow local network</translation>
    </message>
    <message>
        <source>Opnieuw verbinden</source>
        <translation>Reconnect</translation>
    </message>
    <message>
        <source>Niet verbonden</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>Verbonden</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Verbonden met %1</source>
        <translation>Connected to %1</translation>
    </message>
    <message>
        <source>Geblokkeerd: VPN verbroken</source>
        <translation>Blocked: VPN disconnected</translation>
    </message>
    <message>
        <source>Ontvangen %1</source>
        <translation>Received %1</translation>
    </message>
    <message>
        <source>Verzonden %1</source>
        <translation>Sent %1</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 u %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>Server: %1</source>
        <translation>Server: %1</translation>
    </message>
    <message>
        <source>Verbinding weggevallen</source>
        <translation>Connection lost</translation>
    </message>
    <message>
        <source>Opnieuw verbinden...</source>
        <translation>Reconnecting...</translation>
    </message>
    <message>
        <source>Verbinden mislukt</source>
        <translation>Connecting failed</translation>
    </message>
    <message>
        <source>Email should not be empty!</source>
        <translation>Email should not be empty!</translation>
    </message>
    <message>
        <source>Password should not be empty!</source>
        <translation>Password should not be empty!</translation>
    </message>
    <message>
        <source>Internet access outside the VPN stays blocked until you reconnect or disconnect.</source>
        <translation>Internet access outside the VPN stays blocked until you reconnect or disconnect.</translation>
    </message>
    <message>
        <source>Automatisch opnieuw verbinden</source>
        <translation>Reconnect automatically</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
</context>
</TS>
