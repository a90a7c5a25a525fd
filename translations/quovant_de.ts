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
    <message>
        <source>The VPN profile could not be saved: %1</source>
        <translation>Das VPN-Profil konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>the authorization program cannot be run</source>
        <translation>das Autorisierungsprogramm kann nicht ausgeführt werden</translation>
    </message>
    <message>
        <source>no authentication agent is running</source>
        <translation>es läuft kein Authentifizierungsagent</translation>
    </message>
    <message>
        <source>the system message bus is not running</source>
        <translation>der Systemnachrichtenbus läuft nicht</translation>
    </message>
    <message>
        <source>the authorization service is not answering</source>
        <translation>der Autorisierungsdienst antwortet nicht</translation>
    </message>
    <message>
        <source>not authorized</source>
        <translation>nicht berechtigt</translation>
    </message>
    <message>
        <source>the authorization was denied</source>
        <translation>die Autorisierung wurde verweigert</translation>
    </message>
    <message>
        <source>Authorization failed: %1</source>
        <translation>Autorisierung fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>The VPN helper is busy: %1</source>
        <translation>Der VPN-Helfer ist ausgelastet: %1</translation>
    </message>
    <message>
        <source>The connection to service named %1 was invalidated.</source>
        <translation>Die Verbindung zum Dienst %1 wurde ungültig.</translation>
    </message>
    <message>
        <source>Couldn&apos;t communicate with a helper application. (%1)</source>
        <translation>Keine Verbindung zum Hilfsprogramm möglich. (%1)</translation>
    </message>
    <message>
        <source>The connection to service named %1 was interrupted.</source>
        <translation>Die Verbindung zum Dienst %1 wurde unterbrochen.</translation>
    </message>
    <message>
        <source>The helper sent an overlong reply.</source>
        <translation>Der Helfer hat eine zu lange Antwort gesendet.</translation>
    </message>
    <message>
        <source>The helper sent descriptors that fit no reply.</source>
        <translation>Der Helfer hat Deskriptoren gesendet, die zu keiner Antwort passen.</translation>
    </message>
    <message>
        <source>The helper sent a reply that does not fit any request.</source>
        <translation>Der Helfer hat eine Antwort gesendet, die zu keiner Anfrage passt.</translation>
    </message>
    <message>
        <source>The VPN profile could not be opened: %1.</source>
        <translation>Das VPN-Profil konnte nicht geöffnet werden: %1.</translation>
    </message>
    <message>
        <source>The VPN connection ended unexpectedly (openvpn exit status %1).</source>
        <translation>Die VPN-Verbindung wurde unerwartet beendet (Exit-Status von openvpn: %1).</translation>
    </message>
    <message>
        <source>The VPN connection was ended: %1, and automatic reconnecting is off.</source>
        <translation>Die VPN-Verbindung wurde beendet: %1, und automatisches Neuverbinden ist aus.</translation>
    </message>
    <message>
        <source>The VPN helper could not be reached (%1).</source>
        <translation>Der VPN-Helfer war nicht erreichbar (%1).</translation>
    </message>
    <message>
        <source>Quovant answered something unexpected.</source>
        <translation>Quovant hat etwas Unerwartetes geantwortet.</translation>
    </message>
    <message>
        <source>Quovant is running but too busy to take the command; try again.</source>
        <translation>Quovant läuft, ist aber zu beschäftigt für den Befehl; versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Quovant could not be started.</source>
        <translation>Quovant konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Quovant is not running.</source>
        <translation>Quovant läuft nicht.</translation>
    </message>
    <message>
        <source>Quovant did not take the command.</source>
        <translation>Quovant hat den Befehl nicht angenommen.</translation>
    </message>
    <message>
        <source>Quovant did not answer in time.</source>
        <translation>Quovant hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>Quovant ended.</source>
        <translation>Quovant wurde beendet.</translation>
    </message>
    <message>
        <source>No credentials are remembered. Log in once in Quovant&apos;s window with &quot;Onthoud mij&quot; ticked; quovant connect then uses them.</source>
        <translation>Es sind keine Zugangsdaten gespeichert. Melden Sie sich einmal im Fenster von Quovant mit „Angemeldet bleiben“ an; quovant connect verwendet sie dann.</translation>
    </message>
    <message>
        <source>Quovant is disconnecting; connect again once it has.</source>
        <translation>Quovant trennt gerade die Verbindung; verbinden Sie erneut, sobald das geschehen ist.</translation>
    </message>
    <message>
        <source>The connection failed.</source>
        <translation>Die Verbindung ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The connection was ended before it was up.</source>
        <translation>Die Verbindung wurde beendet, bevor sie stand.</translation>
    </message>
    <message>
        <source>You may not change this computer&apos;s network: that is for the user at the computer, in its active session, or for an administrator.</source>
        <translation>Sie dürfen das Netzwerk dieses Computers nicht ändern: Das darf der Benutzer am Computer in seiner aktiven Sitzung oder ein Administrator.</translation>
    </message>
    <message>
        <source>The VPN helper could not find out in time whether you may change this computer&apos;s network.</source>
        <translation>Der VPN-Helfer konnte nicht rechtzeitig feststellen, ob Sie das Netzwerk dieses Computers ändern dürfen.</translation>
    </message>
    <message>
        <source>Another user&apos;s VPN connection dropped and still blocks traffic outside the VPN on this computer.</source>
        <translation>Die VPN-Verbindung eines anderen Benutzers ist abgebrochen und sperrt auf diesem Computer weiterhin den Verkehr außerhalb des VPN.</translation>
    </message>
    <message>
        <source>The VPN scripts are not the ones installed with the VPN helper.</source>
        <translation>Die VPN-Skripte sind nicht die mit dem VPN-Helfer installierten.</translation>
    </message>
    <message>
        <source>The VPN helper&apos;s scripts may be changed by someone other than root.</source>
        <translation>Die Skripte des VPN-Helfers können von jemand anderem als root geändert werden.</translation>
    </message>
    <message>
        <source>Another user&apos;s VPN connection is running on this computer.</source>
        <translation>Auf diesem Computer läuft die VPN-Verbindung eines anderen Benutzers.</translation>
    </message>
    <message>
        <source>A newer connection request replaced this one.</source>
        <translation>Eine neuere Verbindungsanfrage hat diese ersetzt.</translation>
    </message>
    <message>
        <source>Another program of yours ended the block of traffic outside the VPN.</source>
        <translation>Ein anderes Programm von Ihnen hat die Sperre des Verkehrs außerhalb des VPN aufgehoben.</translation>
    </message>
    <message>
        <source>An administrator ended the block of traffic outside the VPN.</source>
        <translation>Ein Administrator hat die Sperre des Verkehrs außerhalb des VPN aufgehoben.</translation>
    </message>
    <message>
        <source>Another user of this computer ended the block of traffic outside the VPN.</source>
        <translation>Ein anderer Benutzer dieses Computers hat die Sperre des Verkehrs außerhalb des VPN aufgehoben.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s name cannot be looked up while traffic outside the VPN is blocked. Disconnect, then connect again.</source>
        <translation>Der Name des VPN-Servers kann nicht aufgelöst werden, solange Verkehr außerhalb des VPN gesperrt ist. Trennen Sie die Verbindung und verbinden Sie dann erneut.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s name could not be looked up.</source>
        <translation>Der Name des VPN-Servers konnte nicht aufgelöst werden.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s address could not be looked up.</source>
        <translation>Die Adresse des VPN-Servers konnte nicht ermittelt werden.</translation>
    </message>
    <message>
        <source>No tunnel interface is free on this computer.</source>
        <translation>Auf diesem Computer ist keine Tunnelschnittstelle frei.</translation>
    </message>
    <message>
        <source>The block of traffic outside the VPN could not be changed to keep the local network out.</source>
        <translation>Die Sperre des Verkehrs außerhalb des VPN konnte nicht so geändert werden, dass sie das lokale Netzwerk ausschließt.</translation>
    </message>
    <message>
        <source>The connection was ended before it started.</source>
        <translation>Die Verbindung wurde beendet, bevor sie begann.</translation>
    </message>
    <message>
        <source>openvpn did not open its management interface in time.</source>
        <translation>openvpn hat seine Verwaltungsschnittstelle nicht rechtzeitig geöffnet.</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>unbekannter Befehl „%1“</translation>
    </message>
    <message>
        <source>%1 takes no &quot;%2&quot;</source>
        <translation>%1 kennt kein „%2“</translation>
    </message>
    <message>
        <source>not a command: &quot;%1&quot;</source>
        <translation>kein Befehl: „%1“</translation>
    </message>
    <message>
        <source>Usage: quovant [--tray]
       quovant connect [--wait]
       quovant disconnect [--wait]
       quovant status [--json] [--follow]
       quovant quit

Without a command, starts Quovant in the tray with its window, or brings the window
of the running Quovant forward. With --tray the window stays hidden.

Commands, for the Quovant running in this user&apos;s session:
  connect     connect with the credentials the window remembers (&quot;Onthoud mij&quot;);
              starts Quovant in the tray first when it is not running
  disconnect  end the connection, or lift the block that holds after a drop
  status      the connection&apos;s state, server, time connected and traffic
  quit        disconnect and end Quovant
Options:
  --wait      return once connected (or disconnected); when the connection
              fails, say why on standard error
  -j, --json  one JSON object per line
  -f, --follow  a line for every change, until Quovant ends

Exit status:
  0  done
  1  the connection failed (connect --wait)
  2  the command line is wrong
  3  Quovant is not running, or ended while the command waited
  4  connect: no credentials are remembered
  5  the running Quovant did not take or answer the command
</source>
        <translation>Aufruf: quovant [--tray]
        quovant connect [--wait]
        quovant disconnect [--wait]
        quovant status [--json] [--follow]
        quovant quit

Ohne Befehl startet Quovant im Infobereich mit seinem Fenster oder holt das Fenster
des laufenden Quovant nach vorn. Mit --tray bleibt das Fenster verborgen.

Befehle für das Quovant, das in der Sitzung dieses Benutzers läuft:
  connect     mit den Zugangsdaten verbinden, die das Fenster sich merkt
              („Angemeldet bleiben“); startet Quovant zuerst im Infobereich, wenn es
              nicht läuft
  disconnect  die Verbindung beenden oder die Sperre aufheben, die nach einem
              Abbruch bleibt
  status      Zustand, Server, Verbindungsdauer und Datenverkehr der Verbindung
  quit        trennen und Quovant beenden
Optionen:
  --wait      zurückkehren, sobald verbunden (oder getrennt); schlägt die Verbindung
              fehl, den Grund auf der Standardfehlerausgabe nennen
  -j, --json  ein JSON-Objekt pro Zeile
  -f, --follow  eine Zeile für jede Änderung, bis Quovant endet

Exit-Status:
  0  erledigt
  1  die Verbindung ist fehlgeschlagen (connect --wait)
  2  die Befehlszeile ist falsch
  3  Quovant läuft nicht oder endete, während der Befehl wartete
  4  connect: keine Zugangsdaten gespeichert
  5  das laufende Quovant hat den Befehl nicht angenommen oder nicht beantwortet
</translation>
    </message>
    <message>
        <source>Try &quot;quovant --help&quot;.</source>
        <translation>Siehe „quovant --help“.</translation>
    </message>
    <message>
        <source>too many connections from this user</source>
        <translation>zu viele Verbindungen dieses Benutzers</translation>
    </message>
    <message>
        <source>too many connections</source>
        <translation>zu viele Verbindungen</translation>
    </message>
    <message>
        <source>The VPN profile could not be used: %1.</source>
        <translation>Das VPN-Profil konnte nicht verwendet werden: %1.</translation>
    </message>
    <message>
        <source>The VPN profile was refused (%1).</source>
        <translation>Das VPN-Profil wurde abgelehnt (%1).</translation>
    </message>
    <message>
        <source>Quovant is not running</source>
        <translation>Quovant läuft nicht</translation>
    </message>
    <message>
        <source>The VPN&apos;s DNS settings could not be applied on this computer.</source>
        <translation>Die DNS-Einstellungen des VPN konnten auf diesem Computer nicht angewendet werden.</translation>
    </message>
    <message>
        <source>The VPN helper could not tell which program asked: the one that connected had ended.</source>
        <translation>Der VPN-Helfer konnte nicht feststellen, welches Programm gefragt hat: Das Programm, das sich verbunden hatte, war bereits beendet.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached.</source>
        <translation>Der VPN-Server war nicht erreichbar.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the TLS handshake failed.</source>
        <translation>Der VPN-Server war nicht erreichbar: Der TLS-Handshake ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the connection was refused.</source>
        <translation>Der VPN-Server war nicht erreichbar: Die Verbindung wurde abgelehnt.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the host is unreachable.</source>
        <translation>Der VPN-Server war nicht erreichbar: Der Host ist nicht erreichbar.</translation>
    </message>
    <message>
        <source>trying again: the TLS handshake failed</source>
        <translation>neuer Versuch: Der TLS-Handshake ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>trying again: the connection was refused</source>
        <translation>neuer Versuch: Die Verbindung wurde abgelehnt</translation>
    </message>
    <message>
        <source>trying again: the host is unreachable</source>
        <translation>neuer Versuch: Der Host ist nicht erreichbar</translation>
    </message>
    <message>
        <source>trying again</source>
        <translation>neuer Versuch</translation>
    </message>
    <message>
        <source>looking up the server</source>
        <translation>Server wird gesucht</translation>
    </message>
    <message>
        <source>connecting to the server</source>
        <translation>Verbindung zum Server wird hergestellt</translation>
    </message>
    <message>
        <source>waiting for the server&apos;s answer: the host is unreachable</source>
        <translation>Warten auf die Antwort des Servers: Der Host ist nicht erreichbar</translation>
    </message>
    <message>
        <source>waiting for the server&apos;s answer</source>
        <translation>Warten auf die Antwort des Servers</translation>
    </message>
    <message>
        <source>logging in to the server</source>
        <translation>Anmeldung beim Server</translation>
    </message>
    <message>
        <source>setting up the tunnel</source>
        <translation>Tunnel wird eingerichtet</translation>
    </message>
    <message>
        <source>The VPN connection dropped and automatic reconnecting is off, so it was ended.</source>
        <translation>Die VPN-Verbindung ist abgebrochen und automatisches Neuverbinden ist aus, daher wurde sie beendet.</translation>
    </message>
    <message>
        <source>the system is going to sleep</source>
        <translation>das System geht in den Ruhezustand</translation>
    </message>
    <message>
        <source>the system woke up</source>
        <translation>das System ist aus dem Ruhezustand erwacht</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: this Wayland session has no X server (Xwayland) and Qt&apos;s Wayland plugin is not installed: install the package qt6-wayland</source>
        <translation>Quovant kann sein Fenster nicht zeigen: Diese Wayland-Sitzung hat keinen X-Server (Xwayland), und das Wayland-Plugin von Qt ist nicht installiert: Installieren Sie das Paket qt6-wayland</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: Qt&apos;s X11 plugin is not installed: install the package qt6-qpa-plugins</source>
        <translation>Quovant kann sein Fenster nicht zeigen: Das X11-Plugin von Qt ist nicht installiert: Installieren Sie das Paket qt6-qpa-plugins</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: there is no graphical session here (neither WAYLAND_DISPLAY nor DISPLAY is set)</source>
        <translation>Quovant kann sein Fenster nicht zeigen: Hier gibt es keine grafische Sitzung (weder WAYLAND_DISPLAY noch DISPLAY ist gesetzt)</translation>
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
    <message>
        <source>B</source>
        <translation>B</translation>
    </message>
    <message>
        <source>KB</source>
        <translation>KB</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>GB</source>
        <translation>GB</translation>
    </message>
    <message>
        <source>Still reconnecting; traffic outside the VPN stays blocked</source>
        <translation>Verbindung wird weiterhin wiederhergestellt; Datenverkehr außerhalb des VPN bleibt gesperrt</translation>
    </message>
    <message>
        <source>The keyring did not take the password, so it is kept in Quovant&apos;s settings file, which only you can read.</source>
        <translation>Der Schlüsselbund hat das Passwort nicht angenommen; es bleibt daher in der Einstellungsdatei von Quovant, die nur Sie lesen können.</translation>
    </message>
</context>
</TS>
