<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>Messages</name>
    <message>
        <source>Onjuist email of wachtwoord</source>
        <translation>E-Mail oder Passwort falsch</translation>
    </message>
    <message>
        <source>Network connection failed</source>
        <translation>Netzwerkverbindung fehlgeschlagen</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>The VPN helper stopped.</source>
        <translation>Der VPN-Helfer wurde beendet.</translation>
    </message>
    <message>
        <source>The VPN helper is stopping.</source>
        <translation>Der VPN-Helfer wird beendet.</translation>
    </message>
    <message>
        <source>No account service is set up.</source>
        <translation>Es ist kein Kontodienst eingerichtet.</translation>
    </message>
    <message>
        <source>The VPN helper did not hand over the connection to openvpn.</source>
        <translation>Der VPN-Helfer hat die Verbindung nicht an openvpn übergeben.</translation>
    </message>
    <message>
        <source>The VPN profile or the credentials are missing.</source>
        <translation>Das VPN-Profil oder die Zugangsdaten fehlen.</translation>
    </message>
    <message>
        <source>The e-mail address or the password holds a control character.</source>
        <translation>Die E-Mail-Adresse oder das Passwort enthält ein Steuerzeichen.</translation>
    </message>
    <message>
        <source>The VPN helper&apos;s scripts are missing.</source>
        <translation>Die Skripte des VPN-Helfers fehlen.</translation>
    </message>
    <message>
        <source>The VPN server did not accept the e-mail address or password.</source>
        <translation>Der VPN-Server hat die E-Mail-Adresse oder das Passwort nicht angenommen.</translation>
    </message>
    <message>
        <source>The VPN helper stopped, so traffic outside the VPN is no longer blocked.</source>
        <translation>Der VPN-Helfer wurde beendet; Verkehr außerhalb des VPN ist nicht mehr gesperrt.</translation>
    </message>
    <message>
        <source>No VPN helper answers.</source>
        <translation>Kein VPN-Helfer antwortet.</translation>
    </message>
    <message>
        <source>The VPN helper did not start the connection in time.</source>
        <translation>Der VPN-Helfer hat die Verbindung nicht rechtzeitig gestartet.</translation>
    </message>
    <message>
        <source>The VPN helper did not end the connection.</source>
        <translation>Der VPN-Helfer hat die Verbindung nicht beendet.</translation>
    </message>
    <message>
        <source>The connection to the VPN&apos;s control port broke.</source>
        <translation>Die Verbindung zum Steueranschluss des VPN ist abgebrochen.</translation>
    </message>
</context>
<context>
    <name>UiText</name>
    <message>
        <source>Verbinden</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>Verbinden...</source>
        <translation>Verbinden...</translation>
    </message>
    <message>
        <source>Verbinding verbreken</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>Verbinding verbreken...</source>
        <translation>Trennen...</translation>
    </message>
    <message>
        <source>Inschrijven</source>
        <translation>Registrieren</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Wachtwoord</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Onthoud mij</source>
        <translation>Angemeldet bleiben</translation>
    </message>
    <message>
        <source>Afsluiten</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Quovant openen</source>
        <translation>Quovant öffnen</translation>
    </message>
    <message>
        <source>Opnieuw proberen</source>
        <translation>Erneut versuchen</translation>
    </message>
    <message>
        <source>Starten bij inloggen</source>
        <translation>Beim Anmelden starten</translation>
    </message>
    <message>
        <source>Verbinden bij starten</source>
        <translation>Beim Start verbinden</translation>
    </message>
    <message>
        <source>Blokkeer internet zonder VPN</source>
        <translation>Internet ohne VPN sperren</translation>
    </message>
    <message>
        <source>Lokaal netwerk toestaan</source>
        <translation>Lokales Netzwerk erlauben</translation>
    </message>
    <message>
        <source>Opnieuw verbinden</source>
        <translation>Erneut verbinden</translation>
    </message>
    <message>
        <source>Niet verbonden</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>Verbonden</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Verbonden met %1</source>
        <translation>Verbunden mit %1</translation>
    </message>
    <message>
        <source>Geblokkeerd: VPN verbroken</source>
        <translation>Gesperrt: VPN getrennt</translation>
    </message>
    <message>
        <source>Ontvangen %1</source>
        <translation>Empfangen %1</translation>
    </message>
    <message>
        <source>Verzonden %1</source>
        <translation>Gesendet %1</translation>
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
        <translation>Verbindung unterbrochen</translation>
    </message>
    <message>
        <source>Opnieuw verbinden...</source>
        <translation>Erneut verbinden...</translation>
    </message>
    <message>
        <source>Verbinden mislukt</source>
        <translation>Verbinden fehlgeschlagen</translation>
    </message>
    <message>
        <source>Email should not be empty!</source>
        <translation>Die E-Mail-Adresse darf nicht leer sein!</translation>
    </message>
    <message>
        <source>Password should not be empty!</source>
        <translation>Das Passwort darf nicht leer sein!</translation>
    </message>
    <message>
        <source>Internet access outside the VPN stays blocked until you reconnect or disconnect.</source>
        <translation>Der Internetzugang außerhalb des VPN bleibt gesperrt, bis Sie erneut verbinden oder trennen.</translation>
    </message>
    <message>
        <source>Automatisch opnieuw verbinden</source>
        <translation>Automatisch erneut verbinden</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
</context>
</TS>
