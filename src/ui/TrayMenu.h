#pragma once

#include <QMenu>

// The tray icon's context menu. Qt closes a menu's native window each time the menu
// closes but keeps the window object, and every later activation of that object adds
// one more focus connection to the application that is never taken away: memory that
// grows with each time the menu is opened, for as long as the application runs. This
// menu lets go of the whole window once it has closed; the next popup makes a new one,
// as Qt does for the native window anyway.
class TrayMenu : public QMenu {
public:
    using QMenu::QMenu;

    // Puts settings items into `menu` above its last separator (the one before "Afsluiten"),
    // where every group of check items of the tray menu goes.
    static void insertSettings(QMenu& menu, const QList<QAction*>& items);

protected:
    void hideEvent(QHideEvent* event) override;
};
