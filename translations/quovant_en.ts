<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Messages</name>
    <message>
        <source>Onjuist email of wachtwoord</source>
        <translation>Incorrect email or password</translation>
    </message>
    <message>
        <source>Network connection failed</source>
        <translation>Network connection failed</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>The VPN helper stopped.</source>
        <translation>The VPN helper stopped.</translation>
    </message>
    <message>
        <source>The VPN helper is stopping.</source>
        <translation>The VPN helper is stopping.</translation>
    </message>
    <message>
        <source>No account service is set up.</source>
        <translation>No account service is set up.</translation>
    </message>
    <message>
        <source>The VPN helper did not hand over the connection to openvpn.</source>
        <translation>The VPN helper did not hand over the connection to openvpn.</translation>
    </message>
    <message>
        <source>The VPN profile or the credentials are missing.</source>
        <translation>The VPN profile or the credentials are missing.</translation>
    </message>
    <message>
        <source>The e-mail address or the password holds a control character.</source>
        <translation>The e-mail address or the password holds a control character.</translation>
    </message>
    <message>
        <source>The VPN helper&apos;s scripts are missing.</source>
        <translation>The VPN helper&apos;s scripts are missing.</translation>
    </message>
    <message>
        <source>The VPN server did not accept the e-mail address or password.</source>
        <translation>The VPN server did not accept the e-mail address or password.</translation>
    </message>
    <message>
        <source>The VPN helper stopped, so traffic outside the VPN is no longer blocked.</source>
        <translation>The VPN helper stopped, so traffic outside the VPN is no longer blocked.</translation>
    </message>
    <message>
        <source>No VPN helper answers.</source>
        <translation>No VPN helper answers.</translation>
    </message>
    <message>
        <source>The VPN helper did not start the connection in time.</source>
        <translation>The VPN helper did not start the connection in time.</translation>
    </message>
    <message>
        <source>The VPN helper did not end the connection.</source>
        <translation>The VPN helper did not end the connection.</translation>
    </message>
    <message>
        <source>The connection to the VPN&apos;s control port broke.</source>
        <translation>The connection to the VPN&apos;s control port broke.</translation>
    </message>
</context>
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
