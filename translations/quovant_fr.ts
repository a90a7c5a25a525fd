<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
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
