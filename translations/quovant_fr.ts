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
</context>
</TS>
