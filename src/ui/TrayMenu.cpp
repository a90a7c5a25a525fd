#include "ui/TrayMenu.h"

#include <QTimer>

void TrayMenu::hideEvent(QHideEvent* event) {
    QMenu::hideEvent(event);
    // Not here: the window is still handling the close that hid the menu.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            destroy();
    });
}

void TrayMenu::insertSettings(QMenu& menu, const QList<QAction*>& items) {
    QAction* before = nullptr;
    for (QAction* action : menu.actions())
        if (action->isSeparator())
            before = action;
    menu.insertActions(before, items);
}
