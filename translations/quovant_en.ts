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
    <message>
        <source>The VPN profile could not be saved: %1</source>
        <translation>The VPN profile could not be saved: %1</translation>
    </message>
    <message>
        <source>the authorization program cannot be run</source>
        <translation>the authorization program cannot be run</translation>
    </message>
    <message>
        <source>no authentication agent is running</source>
        <translation>no authentication agent is running</translation>
    </message>
    <message>
        <source>the system message bus is not running</source>
        <translation>the system message bus is not running</translation>
    </message>
    <message>
        <source>the authorization service is not answering</source>
        <translation>the authorization service is not answering</translation>
    </message>
    <message>
        <source>not authorized</source>
        <translation>not authorized</translation>
    </message>
    <message>
        <source>the authorization was denied</source>
        <translation>the authorization was denied</translation>
    </message>
    <message>
        <source>Authorization failed: %1</source>
        <translation>Authorization failed: %1</translation>
    </message>
    <message>
        <source>The VPN helper is busy: %1</source>
        <translation>The VPN helper is busy: %1</translation>
    </message>
    <message>
        <source>The connection to service named %1 was invalidated.</source>
        <translation>The connection to service named %1 was invalidated.</translation>
    </message>
    <message>
        <source>Couldn&apos;t communicate with a helper application. (%1)</source>
        <translation>Couldn&apos;t communicate with a helper application. (%1)</translation>
    </message>
    <message>
        <source>The connection to service named %1 was interrupted.</source>
        <translation>The connection to service named %1 was interrupted.</translation>
    </message>
    <message>
        <source>The helper sent an overlong reply.</source>
        <translation>The helper sent an overlong reply.</translation>
    </message>
    <message>
        <source>The helper sent descriptors that fit no reply.</source>
        <translation>The helper sent descriptors that fit no reply.</translation>
    </message>
    <message>
        <source>The helper sent a reply that does not fit any request.</source>
        <translation>The helper sent a reply that does not fit any request.</translation>
    </message>
    <message>
        <source>The VPN profile could not be opened: %1.</source>
        <translation>The VPN profile could not be opened: %1.</translation>
    </message>
    <message>
        <source>The VPN connection ended unexpectedly (openvpn exit status %1).</source>
        <translation>The VPN connection ended unexpectedly (openvpn exit status %1).</translation>
    </message>
    <message>
        <source>The VPN connection was ended: %1, and automatic reconnecting is off.</source>
        <translation>The VPN connection was ended: %1, and automatic reconnecting is off.</translation>
    </message>
    <message>
        <source>The VPN helper could not be reached (%1).</source>
        <translation>The VPN helper could not be reached (%1).</translation>
    </message>
    <message>
        <source>Quovant answered something unexpected.</source>
        <translation>Quovant answered something unexpected.</translation>
    </message>
    <message>
        <source>Quovant is running but too busy to take the command; try again.</source>
        <translation>Quovant is running but too busy to take the command; try again.</translation>
    </message>
    <message>
        <source>Quovant could not be started.</source>
        <translation>Quovant could not be started.</translation>
    </message>
    <message>
        <source>Quovant is not running.</source>
        <translation>Quovant is not running.</translation>
    </message>
    <message>
        <source>Quovant did not take the command.</source>
        <translation>Quovant did not take the command.</translation>
    </message>
    <message>
        <source>Quovant did not answer in time.</source>
        <translation>Quovant did not answer in time.</translation>
    </message>
    <message>
        <source>Quovant ended.</source>
        <translation>Quovant ended.</translation>
    </message>
    <message>
        <source>No credentials are remembered. Log in once in Quovant&apos;s window with &quot;Onthoud mij&quot; ticked; quovant connect then uses them.</source>
        <translation>No credentials are remembered. Log in once in Quovant&apos;s window with &quot;Remember me&quot; ticked; quovant connect then uses them.</translation>
    </message>
    <message>
        <source>Quovant is disconnecting; connect again once it has.</source>
        <translation>Quovant is disconnecting; connect again once it has.</translation>
    </message>
    <message>
        <source>The connection failed.</source>
        <translation>The connection failed.</translation>
    </message>
    <message>
        <source>The connection was ended before it was up.</source>
        <translation>The connection was ended before it was up.</translation>
    </message>
    <message>
        <source>You may not change this computer&apos;s network: that is for the user at the computer, in its active session, or for an administrator.</source>
        <translation>You may not change this computer&apos;s network: that is for the user at the computer, in its active session, or for an administrator.</translation>
    </message>
    <message>
        <source>The VPN helper could not find out in time whether you may change this computer&apos;s network.</source>
        <translation>The VPN helper could not find out in time whether you may change this computer&apos;s network.</translation>
    </message>
    <message>
        <source>Another user&apos;s VPN connection dropped and still blocks traffic outside the VPN on this computer.</source>
        <translation>Another user&apos;s VPN connection dropped and still blocks traffic outside the VPN on this computer.</translation>
    </message>
    <message>
        <source>The VPN scripts are not the ones installed with the VPN helper.</source>
        <translation>The VPN scripts are not the ones installed with the VPN helper.</translation>
    </message>
    <message>
        <source>The VPN helper&apos;s scripts may be changed by someone other than root.</source>
        <translation>The VPN helper&apos;s scripts may be changed by someone other than root.</translation>
    </message>
    <message>
        <source>Another user&apos;s VPN connection is running on this computer.</source>
        <translation>Another user&apos;s VPN connection is running on this computer.</translation>
    </message>
    <message>
        <source>A newer connection request replaced this one.</source>
        <translation>A newer connection request replaced this one.</translation>
    </message>
    <message>
        <source>Another program of yours ended the block of traffic outside the VPN.</source>
        <translation>Another program of yours ended the block of traffic outside the VPN.</translation>
    </message>
    <message>
        <source>An administrator ended the block of traffic outside the VPN.</source>
        <translation>An administrator ended the block of traffic outside the VPN.</translation>
    </message>
    <message>
        <source>Another user of this computer ended the block of traffic outside the VPN.</source>
        <translation>Another user of this computer ended the block of traffic outside the VPN.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s name cannot be looked up while traffic outside the VPN is blocked. Disconnect, then connect again.</source>
        <translation>The VPN server&apos;s name cannot be looked up while traffic outside the VPN is blocked. Disconnect, then connect again.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s name could not be looked up.</source>
        <translation>The VPN server&apos;s name could not be looked up.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s address could not be looked up.</source>
        <translation>The VPN server&apos;s address could not be looked up.</translation>
    </message>
    <message>
        <source>No tunnel interface is free on this computer.</source>
        <translation>No tunnel interface is free on this computer.</translation>
    </message>
    <message>
        <source>The block of traffic outside the VPN could not be changed to keep the local network out.</source>
        <translation>The block of traffic outside the VPN could not be changed to keep the local network out.</translation>
    </message>
    <message>
        <source>The connection was ended before it started.</source>
        <translation>The connection was ended before it started.</translation>
    </message>
    <message>
        <source>openvpn did not open its management interface in time.</source>
        <translation>openvpn did not open its management interface in time.</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>unknown command &quot;%1&quot;</translation>
    </message>
    <message>
        <source>%1 takes no &quot;%2&quot;</source>
        <translation>%1 takes no &quot;%2&quot;</translation>
    </message>
    <message>
        <source>not a command: &quot;%1&quot;</source>
        <translation>not a command: &quot;%1&quot;</translation>
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
        <translation>Usage: quovant [--tray]
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
</translation>
    </message>
    <message>
        <source>Try &quot;quovant --help&quot;.</source>
        <translation>Try &quot;quovant --help&quot;.</translation>
    </message>
    <message>
        <source>too many connections from this user</source>
        <translation>too many connections from this user</translation>
    </message>
    <message>
        <source>too many connections</source>
        <translation>too many connections</translation>
    </message>
    <message>
        <source>The VPN profile could not be used: %1.</source>
        <translation>The VPN profile could not be used: %1.</translation>
    </message>
    <message>
        <source>The VPN profile was refused (%1).</source>
        <translation>The VPN profile was refused (%1).</translation>
    </message>
    <message>
        <source>Quovant is not running</source>
        <translation>Quovant is not running</translation>
    </message>
    <message>
        <source>The VPN&apos;s DNS settings could not be applied on this computer.</source>
        <translation>The VPN&apos;s DNS settings could not be applied on this computer.</translation>
    </message>
    <message>
        <source>The VPN helper could not tell which program asked: the one that connected had ended.</source>
        <translation>The VPN helper could not tell which program asked: the one that connected had ended.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached.</source>
        <translation>The VPN server could not be reached.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the TLS handshake failed.</source>
        <translation>The VPN server could not be reached: the TLS handshake failed.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the connection was refused.</source>
        <translation>The VPN server could not be reached: the connection was refused.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the host is unreachable.</source>
        <translation>The VPN server could not be reached: the host is unreachable.</translation>
    </message>
    <message>
        <source>trying again: the TLS handshake failed</source>
        <translation>trying again: the TLS handshake failed</translation>
    </message>
    <message>
        <source>trying again: the connection was refused</source>
        <translation>trying again: the connection was refused</translation>
    </message>
    <message>
        <source>trying again: the host is unreachable</source>
        <translation>trying again: the host is unreachable</translation>
    </message>
    <message>
        <source>trying again</source>
        <translation>trying again</translation>
    </message>
    <message>
        <source>looking up the server</source>
        <translation>looking up the server</translation>
    </message>
    <message>
        <source>connecting to the server</source>
        <translation>connecting to the server</translation>
    </message>
    <message>
        <source>waiting for the server&apos;s answer: the host is unreachable</source>
        <translation>waiting for the server&apos;s answer: the host is unreachable</translation>
    </message>
    <message>
        <source>waiting for the server&apos;s answer</source>
        <translation>waiting for the server&apos;s answer</translation>
    </message>
    <message>
        <source>logging in to the server</source>
        <translation>logging in to the server</translation>
    </message>
    <message>
        <source>setting up the tunnel</source>
        <translation>setting up the tunnel</translation>
    </message>
    <message>
        <source>The VPN connection dropped and automatic reconnecting is off, so it was ended.</source>
        <translation>The VPN connection dropped and automatic reconnecting is off, so it was ended.</translation>
    </message>
    <message>
        <source>the system is going to sleep</source>
        <translation>the system is going to sleep</translation>
    </message>
    <message>
        <source>the system woke up</source>
        <translation>the system woke up</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: this Wayland session has no X server (Xwayland) and Qt&apos;s Wayland plugin is not installed: install the package qt6-wayland</source>
        <translation>Quovant cannot show its window: this Wayland session has no X server (Xwayland) and Qt&apos;s Wayland plugin is not installed: install the package qt6-wayland</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: Qt&apos;s X11 plugin is not installed: install the package qt6-qpa-plugins</source>
        <translation>Quovant cannot show its window: Qt&apos;s X11 plugin is not installed: install the package qt6-qpa-plugins</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: there is no graphical session here (neither WAYLAND_DISPLAY nor DISPLAY is set)</source>
        <translation>Quovant cannot show its window: there is no graphical session here (neither WAYLAND_DISPLAY nor DISPLAY is set)</translation>
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
        <translation>Still reconnecting; traffic outside the VPN stays blocked</translation>
    </message>
    <message>
        <source>The keyring did not take the password, so it is kept in Quovant&apos;s settings file, which only you can read.</source>
        <translation>The keyring did not take the password, so it is kept in Quovant&apos;s settings file, which only you can read.</translation>
    </message>
</context>
</TS>
