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
