<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>Messages</name>
    <message>
        <source>Onjuist email of wachtwoord</source>
        <translation>E-mail ou mot de passe incorrect</translation>
    </message>
    <message>
        <source>Network connection failed</source>
        <translation>Échec de la connexion réseau</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Erreur inconnue</translation>
    </message>
    <message>
        <source>The VPN helper stopped.</source>
        <translation>L&apos;assistant VPN s&apos;est arrêté.</translation>
    </message>
    <message>
        <source>The VPN helper is stopping.</source>
        <translation>L&apos;assistant VPN s&apos;arrête.</translation>
    </message>
    <message>
        <source>No account service is set up.</source>
        <translation>Aucun service de compte n&apos;est configuré.</translation>
    </message>
    <message>
        <source>The VPN helper did not hand over the connection to openvpn.</source>
        <translation>L&apos;assistant VPN n&apos;a pas transmis la connexion à openvpn.</translation>
    </message>
    <message>
        <source>The VPN profile or the credentials are missing.</source>
        <translation>Le profil VPN ou les identifiants sont manquants.</translation>
    </message>
    <message>
        <source>The e-mail address or the password holds a control character.</source>
        <translation>L&apos;adresse e-mail ou le mot de passe contient un caractère de contrôle.</translation>
    </message>
    <message>
        <source>The VPN helper&apos;s scripts are missing.</source>
        <translation>Les scripts de l&apos;assistant VPN sont manquants.</translation>
    </message>
    <message>
        <source>The VPN server did not accept the e-mail address or password.</source>
        <translation>Le serveur VPN n&apos;a pas accepté l&apos;adresse e-mail ou le mot de passe.</translation>
    </message>
    <message>
        <source>The VPN helper stopped, so traffic outside the VPN is no longer blocked.</source>
        <translation>L&apos;assistant VPN s&apos;est arrêté : le trafic hors du VPN n&apos;est plus bloqué.</translation>
    </message>
    <message>
        <source>No VPN helper answers.</source>
        <translation>Aucun assistant VPN ne répond.</translation>
    </message>
    <message>
        <source>The VPN helper did not start the connection in time.</source>
        <translation>L&apos;assistant VPN n&apos;a pas démarré la connexion à temps.</translation>
    </message>
    <message>
        <source>The VPN helper did not end the connection.</source>
        <translation>L&apos;assistant VPN n&apos;a pas mis fin à la connexion.</translation>
    </message>
    <message>
        <source>The connection to the VPN&apos;s control port broke.</source>
        <translation>La connexion au port de contrôle du VPN a été interrompue.</translation>
    </message>
    <message>
        <source>The VPN profile could not be saved: %1</source>
        <translation>Le profil VPN n&apos;a pas pu être enregistré : %1</translation>
    </message>
    <message>
        <source>the authorization program cannot be run</source>
        <translation>le programme d&apos;autorisation ne peut pas être lancé</translation>
    </message>
    <message>
        <source>no authentication agent is running</source>
        <translation>aucun agent d&apos;authentification n&apos;est lancé</translation>
    </message>
    <message>
        <source>the system message bus is not running</source>
        <translation>le bus de messages du système n&apos;est pas lancé</translation>
    </message>
    <message>
        <source>the authorization service is not answering</source>
        <translation>le service d&apos;autorisation ne répond pas</translation>
    </message>
    <message>
        <source>not authorized</source>
        <translation>non autorisé</translation>
    </message>
    <message>
        <source>the authorization was denied</source>
        <translation>l&apos;autorisation a été refusée</translation>
    </message>
    <message>
        <source>Authorization failed: %1</source>
        <translation>Échec de l&apos;autorisation : %1</translation>
    </message>
    <message>
        <source>The VPN helper is busy: %1</source>
        <translation>L&apos;assistant VPN est occupé : %1</translation>
    </message>
    <message>
        <source>The connection to service named %1 was invalidated.</source>
        <translation>La connexion au service %1 a été invalidée.</translation>
    </message>
    <message>
        <source>Couldn&apos;t communicate with a helper application. (%1)</source>
        <translation>Impossible de communiquer avec l&apos;assistant. (%1)</translation>
    </message>
    <message>
        <source>The connection to service named %1 was interrupted.</source>
        <translation>La connexion au service %1 a été interrompue.</translation>
    </message>
    <message>
        <source>The helper sent an overlong reply.</source>
        <translation>L&apos;assistant a envoyé une réponse trop longue.</translation>
    </message>
    <message>
        <source>The helper sent descriptors that fit no reply.</source>
        <translation>L&apos;assistant a envoyé des descripteurs qui ne correspondent à aucune réponse.</translation>
    </message>
    <message>
        <source>The helper sent a reply that does not fit any request.</source>
        <translation>L&apos;assistant a envoyé une réponse qui ne correspond à aucune demande.</translation>
    </message>
    <message>
        <source>The VPN profile could not be opened: %1.</source>
        <translation>Le profil VPN n&apos;a pas pu être ouvert : %1.</translation>
    </message>
    <message>
        <source>The VPN connection ended unexpectedly (openvpn exit status %1).</source>
        <translation>La connexion VPN s&apos;est terminée de façon inattendue (code de sortie d&apos;openvpn : %1).</translation>
    </message>
    <message>
        <source>The VPN connection was ended: %1, and automatic reconnecting is off.</source>
        <translation>La connexion VPN a été terminée : %1, et la reconnexion automatique est désactivée.</translation>
    </message>
    <message>
        <source>The VPN helper could not be reached (%1).</source>
        <translation>L&apos;assistant VPN n&apos;a pas pu être joint (%1).</translation>
    </message>
    <message>
        <source>Quovant answered something unexpected.</source>
        <translation>Quovant a répondu quelque chose d&apos;inattendu.</translation>
    </message>
    <message>
        <source>Quovant is running but too busy to take the command; try again.</source>
        <translation>Quovant est lancé mais trop occupé pour prendre la commande ; réessayez.</translation>
    </message>
    <message>
        <source>Quovant could not be started.</source>
        <translation>Quovant n&apos;a pas pu être lancé.</translation>
    </message>
    <message>
        <source>Quovant is not running.</source>
        <translation>Quovant n&apos;est pas lancé.</translation>
    </message>
    <message>
        <source>Quovant did not take the command.</source>
        <translation>Quovant n&apos;a pas pris la commande.</translation>
    </message>
    <message>
        <source>Quovant did not answer in time.</source>
        <translation>Quovant n&apos;a pas répondu à temps.</translation>
    </message>
    <message>
        <source>Quovant ended.</source>
        <translation>Quovant s&apos;est arrêté.</translation>
    </message>
    <message>
        <source>No credentials are remembered. Log in once in Quovant&apos;s window with &quot;Onthoud mij&quot; ticked; quovant connect then uses them.</source>
        <translation>Aucun identifiant n&apos;est mémorisé. Connectez-vous une fois dans la fenêtre de Quovant avec « Se souvenir de moi » coché ; quovant connect les utilisera ensuite.</translation>
    </message>
    <message>
        <source>Quovant is disconnecting; connect again once it has.</source>
        <translation>Quovant se déconnecte ; reconnectez-vous une fois que c&apos;est fait.</translation>
    </message>
    <message>
        <source>The connection failed.</source>
        <translation>La connexion a échoué.</translation>
    </message>
    <message>
        <source>The connection was ended before it was up.</source>
        <translation>La connexion a été terminée avant d&apos;être établie.</translation>
    </message>
    <message>
        <source>You may not change this computer&apos;s network: that is for the user at the computer, in its active session, or for an administrator.</source>
        <translation>Vous ne pouvez pas modifier le réseau de cet ordinateur : cela revient à l&apos;utilisateur devant l&apos;ordinateur, dans sa session active, ou à un administrateur.</translation>
    </message>
    <message>
        <source>The VPN helper could not find out in time whether you may change this computer&apos;s network.</source>
        <translation>L&apos;assistant VPN n&apos;a pas pu savoir à temps si vous pouvez modifier le réseau de cet ordinateur.</translation>
    </message>
    <message>
        <source>Another user&apos;s VPN connection dropped and still blocks traffic outside the VPN on this computer.</source>
        <translation>La connexion VPN d&apos;un autre utilisateur est tombée et bloque encore le trafic hors du VPN sur cet ordinateur.</translation>
    </message>
    <message>
        <source>The VPN scripts are not the ones installed with the VPN helper.</source>
        <translation>Les scripts VPN ne sont pas ceux installés avec l&apos;assistant VPN.</translation>
    </message>
    <message>
        <source>The VPN helper&apos;s scripts may be changed by someone other than root.</source>
        <translation>Les scripts de l&apos;assistant VPN peuvent être modifiés par un autre que root.</translation>
    </message>
    <message>
        <source>Another user&apos;s VPN connection is running on this computer.</source>
        <translation>La connexion VPN d&apos;un autre utilisateur est active sur cet ordinateur.</translation>
    </message>
    <message>
        <source>A newer connection request replaced this one.</source>
        <translation>Une demande de connexion plus récente a remplacé celle-ci.</translation>
    </message>
    <message>
        <source>Another program of yours ended the block of traffic outside the VPN.</source>
        <translation>Un autre de vos programmes a levé le blocage du trafic hors du VPN.</translation>
    </message>
    <message>
        <source>An administrator ended the block of traffic outside the VPN.</source>
        <translation>Un administrateur a levé le blocage du trafic hors du VPN.</translation>
    </message>
    <message>
        <source>Another user of this computer ended the block of traffic outside the VPN.</source>
        <translation>Un autre utilisateur de cet ordinateur a levé le blocage du trafic hors du VPN.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s name cannot be looked up while traffic outside the VPN is blocked. Disconnect, then connect again.</source>
        <translation>Le nom du serveur VPN ne peut pas être résolu tant que le trafic hors du VPN est bloqué. Déconnectez-vous, puis reconnectez-vous.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s name could not be looked up.</source>
        <translation>Le nom du serveur VPN n&apos;a pas pu être résolu.</translation>
    </message>
    <message>
        <source>The VPN server&apos;s address could not be looked up.</source>
        <translation>L&apos;adresse du serveur VPN n&apos;a pas pu être trouvée.</translation>
    </message>
    <message>
        <source>No tunnel interface is free on this computer.</source>
        <translation>Aucune interface de tunnel n&apos;est libre sur cet ordinateur.</translation>
    </message>
    <message>
        <source>The block of traffic outside the VPN could not be changed to keep the local network out.</source>
        <translation>Le blocage du trafic hors du VPN n&apos;a pas pu être modifié pour exclure le réseau local.</translation>
    </message>
    <message>
        <source>The connection was ended before it started.</source>
        <translation>La connexion a été terminée avant de commencer.</translation>
    </message>
    <message>
        <source>openvpn did not open its management interface in time.</source>
        <translation>openvpn n&apos;a pas ouvert son interface de gestion à temps.</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>commande inconnue « %1 »</translation>
    </message>
    <message>
        <source>%1 takes no &quot;%2&quot;</source>
        <translation>%1 n&apos;accepte pas « %2 »</translation>
    </message>
    <message>
        <source>not a command: &quot;%1&quot;</source>
        <translation>pas une commande : « %1 »</translation>
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
        <translation>Utilisation : quovant [--tray]
              quovant connect [--wait]
              quovant disconnect [--wait]
              quovant status [--json] [--follow]
              quovant quit

Sans commande, lance Quovant dans la zone de notification avec sa fenêtre, ou amène
au premier plan la fenêtre du Quovant en cours d&apos;exécution. Avec --tray, la fenêtre
reste cachée.

Commandes, pour le Quovant lancé dans la session de cet utilisateur :
  connect     se connecter avec les identifiants que la fenêtre mémorise
              (« Se souvenir de moi ») ; lance d&apos;abord Quovant dans la zone de
              notification s&apos;il n&apos;est pas lancé
  disconnect  terminer la connexion, ou lever le blocage qui reste après une coupure
  status      l&apos;état de la connexion, son serveur, sa durée et son trafic
  quit        se déconnecter et quitter Quovant
Options :
  --wait      revenir une fois connecté (ou déconnecté) ; si la connexion échoue,
              en donner la raison sur la sortie d&apos;erreur
  -j, --json  un objet JSON par ligne
  -f, --follow  une ligne à chaque changement, jusqu&apos;à ce que Quovant s&apos;arrête

Code de sortie :
  0  fait
  1  la connexion a échoué (connect --wait)
  2  la ligne de commande est incorrecte
  3  Quovant n&apos;est pas lancé, ou s&apos;est arrêté pendant que la commande attendait
  4  connect : aucun identifiant n&apos;est mémorisé
  5  le Quovant lancé n&apos;a pas pris la commande ou n&apos;y a pas répondu
</translation>
    </message>
    <message>
        <source>Try &quot;quovant --help&quot;.</source>
        <translation>Essayez « quovant --help ».</translation>
    </message>
    <message>
        <source>too many connections from this user</source>
        <translation>trop de connexions de cet utilisateur</translation>
    </message>
    <message>
        <source>too many connections</source>
        <translation>trop de connexions</translation>
    </message>
    <message>
        <source>The VPN profile could not be used: %1.</source>
        <translation>Le profil VPN n&apos;a pas pu être utilisé : %1.</translation>
    </message>
    <message>
        <source>The VPN profile was refused (%1).</source>
        <translation>Le profil VPN a été refusé (%1).</translation>
    </message>
    <message>
        <source>Quovant is not running</source>
        <translation>Quovant n&apos;est pas lancé</translation>
    </message>
    <message>
        <source>The VPN&apos;s DNS settings could not be applied on this computer.</source>
        <translation>Les réglages DNS du VPN n&apos;ont pas pu être appliqués sur cet ordinateur.</translation>
    </message>
    <message>
        <source>The VPN helper could not tell which program asked: the one that connected had ended.</source>
        <translation>L&apos;assistant VPN n&apos;a pas pu savoir quel programme a demandé : celui qui s&apos;était connecté avait pris fin.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached.</source>
        <translation>Le serveur VPN n&apos;a pas pu être joint.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the TLS handshake failed.</source>
        <translation>Le serveur VPN n&apos;a pas pu être joint : la négociation TLS a échoué.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the connection was refused.</source>
        <translation>Le serveur VPN n&apos;a pas pu être joint : la connexion a été refusée.</translation>
    </message>
    <message>
        <source>The VPN server could not be reached: the host is unreachable.</source>
        <translation>Le serveur VPN n&apos;a pas pu être joint : l&apos;hôte est injoignable.</translation>
    </message>
    <message>
        <source>trying again: the TLS handshake failed</source>
        <translation>nouvel essai : la négociation TLS a échoué</translation>
    </message>
    <message>
        <source>trying again: the connection was refused</source>
        <translation>nouvel essai : la connexion a été refusée</translation>
    </message>
    <message>
        <source>trying again: the host is unreachable</source>
        <translation>nouvel essai : l&apos;hôte est injoignable</translation>
    </message>
    <message>
        <source>trying again</source>
        <translation>nouvel essai</translation>
    </message>
    <message>
        <source>looking up the server</source>
        <translation>recherche du serveur</translation>
    </message>
    <message>
        <source>connecting to the server</source>
        <translation>connexion au serveur</translation>
    </message>
    <message>
        <source>waiting for the server&apos;s answer: the host is unreachable</source>
        <translation>attente de la réponse du serveur : l&apos;hôte est injoignable</translation>
    </message>
    <message>
        <source>waiting for the server&apos;s answer</source>
        <translation>attente de la réponse du serveur</translation>
    </message>
    <message>
        <source>logging in to the server</source>
        <translation>authentification auprès du serveur</translation>
    </message>
    <message>
        <source>setting up the tunnel</source>
        <translation>configuration du tunnel</translation>
    </message>
    <message>
        <source>The VPN connection dropped and automatic reconnecting is off, so it was ended.</source>
        <translation>La connexion VPN a été interrompue et la reconnexion automatique est désactivée ; elle a donc été fermée.</translation>
    </message>
    <message>
        <source>the system is going to sleep</source>
        <translation>le système se met en veille</translation>
    </message>
    <message>
        <source>the system woke up</source>
        <translation>le système est sorti de veille</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: this Wayland session has no X server (Xwayland) and Qt&apos;s Wayland plugin is not installed: install the package qt6-wayland</source>
        <translation>Quovant ne peut pas afficher sa fenêtre : cette session Wayland n&apos;a pas de serveur X (Xwayland) et le module Wayland de Qt n&apos;est pas installé : installez le paquet qt6-wayland</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: Qt&apos;s X11 plugin is not installed: install the package qt6-qpa-plugins</source>
        <translation>Quovant ne peut pas afficher sa fenêtre : le module X11 de Qt n&apos;est pas installé : installez le paquet qt6-qpa-plugins</translation>
    </message>
    <message>
        <source>Quovant cannot show its window: there is no graphical session here (neither WAYLAND_DISPLAY nor DISPLAY is set)</source>
        <translation>Quovant ne peut pas afficher sa fenêtre : il n&apos;y a pas de session graphique ici (ni WAYLAND_DISPLAY ni DISPLAY n&apos;est défini)</translation>
    </message>
</context>
<context>
    <name>UiText</name>
    <message>
        <source>Verbinden</source>
        <translation>Se connecter</translation>
    </message>
    <message>
        <source>Verbinden...</source>
        <translation>Connexion...</translation>
    </message>
    <message>
        <source>Verbinding verbreken</source>
        <translation>Se déconnecter</translation>
    </message>
    <message>
        <source>Verbinding verbreken...</source>
        <translation>Déconnexion...</translation>
    </message>
    <message>
        <source>Inschrijven</source>
        <translation>S&apos;inscrire</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>Wachtwoord</source>
        <translation>Mot de passe</translation>
    </message>
    <message>
        <source>Onthoud mij</source>
        <translation>Se souvenir de moi</translation>
    </message>
    <message>
        <source>Afsluiten</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Quovant openen</source>
        <translation>Ouvrir Quovant</translation>
    </message>
    <message>
        <source>Opnieuw proberen</source>
        <translation>Réessayer</translation>
    </message>
    <message>
        <source>Starten bij inloggen</source>
        <translation>Démarrer à l&apos;ouverture de session</translation>
    </message>
    <message>
        <source>Verbinden bij starten</source>
        <translation>Se connecter au démarrage</translation>
    </message>
    <message>
        <source>Blokkeer internet zonder VPN</source>
        <translation>Bloquer Internet sans VPN</translation>
    </message>
    <message>
        <source>Lokaal netwerk toestaan</source>
        <translation>Autoriser le réseau local</translation>
    </message>
    <message>
        <source>Opnieuw verbinden</source>
        <translation>Se reconnecter</translation>
    </message>
    <message>
        <source>Niet verbonden</source>
        <translation>Non connecté</translation>
    </message>
    <message>
        <source>Verbonden</source>
        <translation>Connecté</translation>
    </message>
    <message>
        <source>Verbonden met %1</source>
        <translation>Connecté à %1</translation>
    </message>
    <message>
        <source>Geblokkeerd: VPN verbroken</source>
        <translation>Bloqué : VPN déconnecté</translation>
    </message>
    <message>
        <source>Ontvangen %1</source>
        <translation>Reçu %1</translation>
    </message>
    <message>
        <source>Verzonden %1</source>
        <translation>Envoyé %1</translation>
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
        <translation>Serveur : %1</translation>
    </message>
    <message>
        <source>Verbinding weggevallen</source>
        <translation>Connexion perdue</translation>
    </message>
    <message>
        <source>Opnieuw verbinden...</source>
        <translation>Reconnexion...</translation>
    </message>
    <message>
        <source>Verbinden mislukt</source>
        <translation>Échec de la connexion</translation>
    </message>
    <message>
        <source>Email should not be empty!</source>
        <translation>L&apos;adresse e-mail ne doit pas être vide !</translation>
    </message>
    <message>
        <source>Password should not be empty!</source>
        <translation>Le mot de passe ne doit pas être vide !</translation>
    </message>
    <message>
        <source>Internet access outside the VPN stays blocked until you reconnect or disconnect.</source>
        <translation>L&apos;accès à Internet hors du VPN reste bloqué jusqu&apos;à ce que vous vous reconnectiez ou vous déconnectiez.</translation>
    </message>
    <message>
        <source>Automatisch opnieuw verbinden</source>
        <translation>Se reconnecter automatiquement</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>État</translation>
    </message>
    <message>
        <source>B</source>
        <translation>o</translation>
    </message>
    <message>
        <source>KB</source>
        <translation>Ko</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>Mo</translation>
    </message>
    <message>
        <source>GB</source>
        <translation>Go</translation>
    </message>
    <message>
        <source>Still reconnecting; traffic outside the VPN stays blocked</source>
        <translation>Reconnexion toujours en cours ; le trafic hors du VPN reste bloqué</translation>
    </message>
    <message>
        <source>The keyring did not take the password, so it is kept in Quovant&apos;s settings file, which only you can read.</source>
        <translation>Le trousseau n&apos;a pas accepté le mot de passe ; il est donc conservé dans le fichier de réglages de Quovant, que vous seul pouvez lire.</translation>
    </message>
</context>
</TS>
