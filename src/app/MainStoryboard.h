#pragma once

#include "app/Storyboard.h"

class AppDelegate;
class Desktop;
class DesktopNotifications;
class KeyValueStore;
class NotificationCenter;
class ConnectionControl;
class PasswordStore;

// The storyboard "Main": "mainWindowController" and "mainViewController", the latter
// wired to the application delegate's connect item and the given services.
struct MainStoryboardServices {
    KeyValueStore* defaults;
    ConnectionControl* vpn;
    NotificationCenter* notifications;
    Desktop* desktop;
    // The remembered password; none keeps it in `defaults`.
    PasswordStore* passwords = nullptr;
    // Notifications of the connection's turns; none shows none.
    DesktopNotifications* desktopNotifications = nullptr;
    // Whether the window connects with the remembered credentials at load.
    bool connectAtStart = false;
};

Storyboard mainStoryboard(AppDelegate& delegate, MainStoryboardServices services);
