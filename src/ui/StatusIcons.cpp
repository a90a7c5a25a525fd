#include "ui/StatusIcons.h"

#include <QPixmap>

namespace {

QIcon drawn(const QString& file) {
    const QIcon scalable(file);
    QIcon icon;
    // At a device pixel ratio of 1 whatever the screen's: these are the sizes a tray asks for
    // in pixels, and a host that takes them over D-Bus scales by itself.
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(scalable.pixmap(QSize(size, size), 1.0));
    return icon;
}

} // namespace

QIcon StatusIcons::forLook(StatusLine::Look look) {
    static const QIcon connected = drawn(":/images/ic_status.svg");
    static const QIcon connecting = drawn(":/images/ic_status_connecting.svg");
    static const QIcon disconnected = drawn(":/images/ic_status_disconnected.svg");
    static const QIcon blocked = drawn(":/images/ic_status_blocked.svg");
    switch (look) {
    case StatusLine::Look::connected:
        return connected;
    case StatusLine::Look::connecting:
    case StatusLine::Look::stopping:
        return connecting;
    case StatusLine::Look::blocked:
        return blocked;
    case StatusLine::Look::disconnected:
        break;
    }
    return disconnected;
}
