<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="nl">
<context>
    <name>Messages</name>
    <message>
        <source>Onjuist email of wachtwoord</source>
        <translation>Onjuist email of wachtwoord</translation>
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
        <translation>Het VPN-hulpprogramma is gestopt.</translation>
    </message>
    <message>
        <source>The VPN helper is stopping.</source>
        <translation>Het VPN-hulpprogramma wordt gestopt.</translation>
    </message>
    <message>
        <source>No account service is set up.</source>
        <translation>Er is geen accountdienst ingesteld.</translation>
    </message>
    <message>
        <source>The VPN helper did not hand over the connection to openvpn.</source>
        <translation>Het VPN-hulpprogramma heeft de verbinding niet aan openvpn overgedragen.</translation>
    </message>
    <message>
        <source>The VPN profile or the credentials are missing.</source>
        <translation>Het VPN-profiel of de inloggegevens ontbreken.</translation>
    </message>
    <message>
        <source>The e-mail address or the password holds a control character.</source>
        <translation>Het e-mailadres of het wachtwoord bevat een stuurteken.</translation>
    </message>
    <message>
        <source>The VPN helper&apos;s scripts are missing.</source>
        <translation>De scripts van het VPN-hulpprogramma ontbreken.</translation>
    </message>
    <message>
        <source>The VPN server did not accept the e-mail address or password.</source>
        <translation>De VPN-server heeft het e-mailadres of wachtwoord niet geaccepteerd.</translation>
    </message>
    <message>
        <source>The VPN helper stopped, so traffic outside the VPN is no longer blocked.</source>
        <translation>Het VPN-hulpprogramma is gestopt; verkeer buiten de VPN wordt dus niet meer geblokkeerd.</translation>
    </message>
    <message>
        <source>No VPN helper answers.</source>
        <translation>Er antwoordt geen VPN-hulpprogramma.</translation>
    </message>
    <message>
        <source>The VPN helper did not start the connection in time.</source>
        <translation>Het VPN-hulpprogramma heeft de verbinding niet op tijd gestart.</translation>
    </message>
    <message>
        <source>The VPN helper did not end the connection.</source>
        <translation>Het VPN-hulpprogramma heeft de verbinding niet beëindigd.</translation>
    </message>
    <message>
        <source>The connection to the VPN&apos;s control port broke.</source>
        <translation>De verbinding met de besturingspoort van de VPN is verbroken.</translation>
    </message>
    <message>
        <source>The VPN profile could not be saved: %1</source>
        <translation>Het VPN-profiel kon niet worden opgeslagen: %1</translation>
    </message>
    <message>
        <source>the authorization program cannot be run</source>
        <translation>het autorisatieprogramma kan niet worden uitgevoerd</translation>
    </message>
    <message>
        <source>no authentication agent is running</source>
        <translation>er draait geen authenticatieagent</translation>
    </message>
    <message>
        <source>the system message bus is not running</source>
        <translation>de systeemberichtenbus draait niet</translation>
    </message>
    <message>
        <source>the authorization service is not answering</source>
        <translation>de autorisatiedienst antwoordt niet</translation>
    </message>
    <message>
        <source>not authorized</source>
        <translation>geen toestemming</translation>
    </message>
    <message>
        <source>the authorization was denied</source>
        <translation>de autorisatie is geweigerd</translation>
    </message>
    <message>
        <source>Authorization failed: %1</source>
        <translation>Autorisatie mislukt: %1</translation>
    </message>
    <message>
        <source>The VPN helper is busy: %1</source>
        <translation>Het VPN-hulpprogramma is bezet: %1</translation>
    </message>
    <message>
        <source>The connection to service named %1 was invalidated.</source>
        <translation>De verbinding met de dienst %1 is ongeldig geworden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t communicate with a helper application. (%1)</source>
        <translation>Kon niet communiceren met een hulpprogramma. (%1)</translation>
    </message>
    <message>
        <source>The connection to service named %1 was interrupted.</source>
        <translation>De verbinding met de dienst %1 is onderbroken.</translation>
    </message>
    <message>
        <source>The helper sent an overlong reply.</source>
        <translation>Het VPN-hulpprogramma stuurde een te lang antwoord.</translation>
    </message>
    <message>
        <source>The helper sent descriptors that fit no reply.</source>
        <translation>Het VPN-hulpprogramma stuurde bestandsdescriptors die bij geen enkel antwoord horen.</translation>
    </message>
    <message>
        <source>The helper sent a reply that does not fit any request.</source>
        <translation>Het VPN-hulpprogramma stuurde een antwoord dat bij geen enkel verzoek hoort.</translation>
    </message>
    <message>
        <source>The VPN profile could not be opened: %1.</source>
        <translation>Het VPN-profiel kon niet worden geopend: %1.</translation>
    </message>
    <message>
        <source>The VPN connection ended unexpectedly (openvpn exit status %1).</source>
        <translation>De VPN-verbinding is onverwacht beëindigd (afsluitstatus van openvpn: %1).</translation>
    </message>
    <message>
        <source>The VPN connection was ended: %1, and automatic reconnecting is off.</source>
        <translation>De VPN-verbinding is beëindigd: %1, en automatisch opnieuw verbinden staat uit.</translation>
    </message>
    <message>
        <source>The VPN helper could not be reached (%1).</source>
        <translation>Het VPN-hulpprogramma is niet bereikbaar (%1).</translation>
    </message>
    <message>
        <source>Quovant answered something unexpected.</source>
        <translation>Quovant gaf een onverwacht antwoord.</translation>
    </message>
    <message>
        <source>Quovant is running but too busy to take the command; try again.</source>
        <translation>Quovant draait, maar is te druk om de opdracht aan te nemen; probeer het opnieuw.</translation>
    </message>
    <message>
        <source>Quovant could not be started.</source>
        <translation>Quovant kon niet worden gestart.</translation>
    </message>
    <message>
        <source>Quovant is not running.</source>
        <translation>Quovant draait niet.</translation>
    </message>
    <message>
        <source>Quovant did not take the command.</source>
        <translation>Quovant heeft de opdracht niet aangenomen.</translation>
    </message>
    <message>
        <source>Quovant did not answer in time.</source>
        <translation>Quovant heeft niet op tijd geantwoord.</translation>
    </message>
    <message>
        <source>Quovant ended.</source>
        <translation>Quovant is afgesloten.</translation>
    </message>
    <message>
        <source>No credentials are remembered. Log in once in Quovant&apos;s window with &quot;Onthoud mij&quot; ticked; quovant connect then uses them.</source>
        <translation>Er zijn geen inloggegevens onthouden. Log één keer in via het venster van Quovant met &quot;Onthoud mij&quot; aangevinkt; quovant connect gebruikt ze daarna.</translation>
    </message>
    <message>
        <source>Quovant is disconnecting; connect again once it has.</source>
        <translation>Quovant verbreekt de verbinding; maak opnieuw verbinding zodra dat klaar is.</translation>
    </message>
    <message>
        <source>The connection failed.</source>
        <translation>De verbinding is mislukt.</translation>
    </message>
    <message>
        <source>The connection was ended before it was up.</source>
        <translation>De verbinding is beëindigd voordat ze tot stand kwam.</translation>
    </message>
    <message>
        <source>You may not change this computer&apos;s network: that is for the user at the computer, in its active session, or for an administrator.</source>
        <translation>U mag het netwerk van deze computer niet wijzigen: dat mag alleen de gebruiker achter de computer, in de actieve sessie, of een beheerder.</translation>
    </message>
    <message>
        <source>The VPN helper could not find out in time whether you may change this computer&apos;s network.</source>
        <translation>Het VPN-hulpprogramma kon niet op tijd nagaan of u het netwerk van deze computer mag wijzigen.</translation>
    </message>
    <message>
        <source>Another user&apos;s VPN connection dropped and still blocks traffic outside the VPN on this computer.</source>
        <translation>De VPN-verbinding van een andere gebruiker is weggevallen en blokkeert nog steeds het verkeer buiten de VPN op deze computer.</translation>
    </message>
    <message>
        <source>The VPN scripts are not the ones installed with the VPN helper.</source>
        <translation>De VPN-scripts zijn niet de scripts die met het VPN-hulpprogramma zijn geïnstalleerd.</translation>
    </message>
    <message>
        <source>The VPN helper&apos;s scripts may be changed by someone other than root.</source>
        <translation>De scripts van het VPN-hulpprogramma kunnen door een ander dan root worden gewijzigd.</translation>
    </message>
    <message>
        <source>Another user&apos;s VPN connection is running on this computer.</source>
        <translation>Op deze computer loopt al een VPN-verbinding van een andere gebruiker.</translation>
    </message>
    <message>
        <source>A newer connection request replaced this one.</source>
        <translation>Een nieuwer verbindingsverzoek heeft dit verzoek vervangen.</translation>
    </message>
    <message>
        <source>Another program of yours ended the block of traffic outside the VPN.</source>
        <translation>Een ander programma van u heeft de blokkade van verkeer buiten de VPN opgeheven.</translation>
    </message>
    <message>
        <source>An administrator ended the block of traffic outside the VPN.</source>
        <translation>Een beheerder heeft de blokkade van verkeer buiten de VPN opgeheven.</translation>
    </message>
    <message>
        <source>Another user of this computer ended the block of traffic outside the VPN.</source>
        <translation>Een andere gebruiker van deze computer heeft de blokkade van verkeer buiten de VPN opgeheven.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s name cannot be looked up while traffic outside the VPN is blocked. Disconnect, then connect again.</source>
        <translation>De naam van de VPN-server kan niet worden opgezocht zolang verkeer buiten de VPN geblokkeerd is. Verbreek de verbinding en maak daarna opnieuw verbinding.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s name could not be looked up.</source>
        <translation>De naam van de VPN-server kon niet worden opgezocht.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s address could not be looked up.</source>
        <translation>Het adres van de VPN-server kon niet worden opgezocht.</translation>
    </message>
    <message>
        <source>No tunnel interface is free on this computer.</source>
        <translation>Er is geen tunnelinterface vrij op deze computer.</translation>
    </message>
    <message>
        <source>The block of traffic outside the VPN could not be changed to keep the local network out.</source>
        <translation>De blokkade van verkeer buiten de VPN kon niet worden aangepast om het lokale netwerk uit te sluiten.</translation>
    </message>
    <message>
        <source>The connection was ended before it started.</source>
        <translation>De verbinding is beëindigd voordat ze begon.</translation>
    </message>
    <message>
        <source>openvpn did not open its management interface in time.</source>
        <translation>openvpn heeft zijn beheerinterface niet op tijd geopend.</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>onbekende opdracht &quot;%1&quot;</translation>
    </message>
    <message>
        <source>%1 takes no &quot;%2&quot;</source>
        <translation>%1 kent geen &quot;%2&quot;</translation>
    </message>
    <message>
        <source>not a command: &quot;%1&quot;</source>
        <translation>geen opdracht: &quot;%1&quot;</translation>
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
        <translation>Gebruik: quovant [--tray]
         quovant connect [--wait]
         quovant disconnect [--wait]
         quovant status [--json] [--follow]
         quovant quit

Zonder opdracht start Quovant in het systeemvak met zijn venster, of haalt het
venster van de draaiende Quovant naar voren. Met --tray blijft het venster
verborgen.

Opdrachten, voor de Quovant die in de sessie van deze gebruiker draait:
  connect     verbinden met de inloggegevens die het venster onthoudt
              (&quot;Onthoud mij&quot;); start Quovant eerst in het systeemvak als het
              niet draait
  disconnect  de verbinding verbreken, of de blokkade opheffen die na een
              weggevallen verbinding blijft staan
  status      de status van de verbinding, de server, de verbindingsduur en
              het verkeer
  quit        de verbinding verbreken en Quovant afsluiten
Opties:
  --wait      pas terugkeren als de verbinding er is (of verbroken is); als de
              verbinding mislukt, de reden op standaardfout melden
  -j, --json  één JSON-object per regel
  -f, --follow  een regel bij elke wijziging, totdat Quovant afsluit

Afsluitstatus:
  0  gelukt
  1  de verbinding is mislukt (connect --wait)
  2  de opdrachtregel is onjuist
  3  Quovant draait niet, of sloot af terwijl de opdracht wachtte
  4  connect: er zijn geen inloggegevens onthouden
  5  de draaiende Quovant heeft de opdracht niet aangenomen of niet beantwoord
</translation>
    </message>
    <message>
        <source>Try &quot;quovant --help&quot;.</source>
        <translation>Probeer &quot;quovant --help&quot;.</translation>
    </message>
    <message>
        <source>too many connections from this user</source>
        <translation>te veel verbindingen van deze gebruiker</translation>
    </message>
    <message>
        <source>too many connections</source>
        <translation>te veel verbindingen</translation>
    </message>
    <message>
        <source>The VPN profile could not be used: %1.</source>
        <translation>Het VPN-profiel kon niet worden gebruikt: %1.</translation>
    </message>
    <message>
        <source>The VPN profile was refused (%1).</source>
        <translation>Het VPN-profiel is geweigerd (%1).</translation>
    </message>
    <message>
        <source>Quovant is not running</source>
        <translation>Quovant draait niet</translation>
    </message>
    <message>
        <source>The VPN connection dropped and automatic reconnecting is off, so it was ended.</source>
        <translation>De VPN-verbinding viel weg en automatisch opnieuw verbinden staat uit; daarom is ze beëindigd.</translation>
    </message>
    <message>
        <source>the system is going to sleep</source>
        <translation>het systeem gaat in de slaapstand</translation>
    </message>
    <message>
        <source>the system woke up</source>
        <translation>het systeem is uit de slaapstand gekomen</translation>
    </message>
    <message>
        <source>The VPN&apos;s DNS settings could not be applied on this computer.</source>
        <translation>De DNS-instellingen van de VPN konden niet op deze computer worden toegepast.</translation>
    </message>
    <message>
        <source>The VPN helper could not tell which program asked: the one that connected had ended.</source>
        <translation>Het VPN-hulpprogramma kon niet vaststellen welk programma het verzoek deed: het programma dat verbinding maakte was al beëindigd.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached.</source>
        <translation>De VPN-server kon niet worden bereikt.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the TLS handshake failed.</source>
        <translation>De VPN-server kon niet worden bereikt: de TLS-handshake is mislukt.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the connection was refused.</source>
        <translation>De VPN-server kon niet worden bereikt: de verbinding werd geweigerd.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the host is unreachable.</source>
        <translation>De VPN-server kon niet worden bereikt: de host is onbereikbaar.</translation>
    </message>
    <message>
        <source>trying again: the TLS handshake failed</source>
        <translation>opnieuw proberen: de TLS-handshake is mislukt</translation>
    </message>
    <message>
        <source>trying again: the connection was refused</source>
        <translation>opnieuw proberen: de verbinding werd geweigerd</translation>
    </message>
    <message>
        <source>trying again: the host is unreachable</source>
        <translation>opnieuw proberen: de host is onbereikbaar</translation>
    </message>
    <message>
        <source>trying again</source>
        <translation>opnieuw proberen</translation>
    </message>
    <message>
        <source>looking up the server</source>
        <translation>server opzoeken</translation>
    </message>
    <message>
        <source>connecting to the server</source>
        <translation>verbinden met de server</translation>
    </message>
    <message>
        <source>waiting for the server&apos;s answer: the host is unreachable</source>
        <translation>wachten op antwoord van de server: de host is onbereikbaar</translation>
    </message>
    <message>
        <source>waiting for the server&apos;s answer</source>
        <translation>wachten op antwoord van de server</translation>
    </message>
    <message>
        <source>logging in to the server</source>
        <translation>aanmelden bij de server</translation>
    </message>
    <message>
        <source>setting up the tunnel</source>
        <translation>tunnel instellen</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: this Wayland session has no X server (Xwayland) and Qt&apos;s Wayland plugin is not installed: install the package qt6-wayland</source>
        <translation>Quovant kan zijn venster niet tonen: deze Wayland-sessie heeft geen X-server (Xwayland) en de Wayland-plug-in van Qt is niet geïnstalleerd: installeer het pakket qt6-wayland</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: Qt&apos;s X11 plugin is not installed: install the package qt6-qpa-plugins</source>
        <translation>Quovant kan zijn venster niet tonen: de X11-plug-in van Qt is niet geïnstalleerd: installeer het pakket qt6-qpa-plugins</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: there is no graphical session here (neither WAYLAND_DISPLAY nor DISPLAY is set)</source>
        <translation>Quovant kan zijn venster niet tonen: er is hier geen grafische sessie (WAYLAND_DISPLAY en DISPLAY zijn allebei niet ingesteld)</translation>
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
        <translation>Verbinding verbreken</translation>
    </message>
    <message>
        <source>Verbinding verbreken...</source>
        <translation>Verbinding verbreken...</translation>
    </message>
    <message>
        <source>Inschrijven</source>
        <translation>Inschrijven</translation>
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
        <translation>Wachtwoord</translation>
    </message>
    <message>
        <source>Onthoud mij</source>
        <translation>Onthoud mij</translation>
    </message>
    <message>
        <source>Afsluiten</source>
        <translation>Afsluiten</translation>
    </message>
    <message>
        <source>Quovant openen</source>
        <translation>Quovant openen</translation>
    </message>
    <message>
        <source>Opnieuw proberen</source>
        <translation>Opnieuw proberen</translation>
    </message>
    <message>
        <source>Starten bij inloggen</source>
        <translation>Starten bij inloggen</translation>
    </message>
    <message>
        <source>Verbinden bij starten</source>
        <translation>Verbinden bij starten</translation>
    </message>
    <message>
        <source>Blokkeer internet zonder VPN</source>
        <translation>Blokkeer internet zonder VPN</translation>
    </message>
    <message>
        <source>Lokaal netwerk toestaan</source>
        <translation>Lokaal netwerk toestaan</translation>
    </message>
    <message>
        <source>Opnieuw verbinden</source>
        <translation>Opnieuw verbinden</translation>
    </message>
    <message>
        <source>Niet verbonden</source>
        <translation>Niet verbonden</translation>
    </message>
    <message>
        <source>Verbonden</source>
        <translation>Verbonden</translation>
    </message>
    <message>
        <source>Verbonden met %1</source>
        <translation>Verbonden met %1</translation>
    </message>
    <message>
        <source>Geblokkeerd: VPN verbroken</source>
        <translation>Geblokkeerd: VPN verbroken</translation>
    </message>
    <message>
        <source>Ontvangen %1</source>
        <translation>Ontvangen %1</translation>
    </message>
    <message>
        <source>Verzonden %1</source>
        <translation>Verzonden %1</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 u %2 min</source>
        <translation>%1 u %2 min</translation>
    </message>
    <message>
        <source>Server: %1</source>
        <translation>Server: %1</translation>
    </message>
    <message>
        <source>Verbinding weggevallen</source>
        <translation>Verbinding weggevallen</translation>
    </message>
    <message>
        <source>Opnieuw verbinden...</source>
        <translation>Opnieuw verbinden...</translation>
    </message>
    <message>
        <source>Verbinden mislukt</source>
        <translation>Verbinden mislukt</translation>
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
        <translation>Internettoegang buiten de VPN blijft geblokkeerd totdat u opnieuw verbinding maakt of de verbinding verbreekt.</translation>
    </message>
    <message>
        <source>Automatisch opnieuw verbinden</source>
        <translation>Automatisch opnieuw verbinden</translation>
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
        <translation>Nog steeds bezig met opnieuw verbinden; verkeer buiten de VPN blijft geblokkeerd</translation>
    </message>
    <message>
        <source>The keyring did not take the password, so it is kept in Quovant&apos;s settings file, which only you can read.</source>
        <translation>De sleutelbos heeft het wachtwoord niet aangenomen. Het wordt daarom bewaard in het instellingenbestand van Quovant, dat alleen u kunt lezen.</translation>
    </message>
</context>
</TS>
